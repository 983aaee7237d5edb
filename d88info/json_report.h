// d88info --json: the facts of every disk of an image as one JSON document,
// typed, for programs (the page reads the same document). `man d88info`
// lists its fields. Records are arrays whose fields the document names once
// (recordFields), so that a crafted track of tens of thousands of records
// stays in proportion to the image; each record is given once: a track that
// an earlier track or disk reads names it instead.
#ifndef D88INFO_JSON_REPORT_H
#define D88INFO_JSON_REPORT_H

#include "disk_facts.h"
#include "json_writer.h"

#include "d88/file_kind.h"

#include <cstdint>
#include <string>

namespace d88info {

// Whether the tracks carry their records. The page shows no record and leaves
// them out.
enum class Detail { Records, TracksOnly };

// The document for an image that is a D88 image: 0, or the reader's error
// (or ENOMEM), and then nothing is to be shown.
int imageJson(d88::RecordMap& map, const char* name, JsonWriter& json, Detail detail = Detail::Records);

// The member "name" of a disk: its name's text and, since the bytes need
// not be UTF-8, the same bytes in hex.
void diskNameMember(JsonWriter& json, const char* name);

// The document for a file that is not a D88 image, with the reason.
std::string notD88Json(const char* name, const d88::FileVerdict& verdict, const std::string& reason);

} // namespace d88info

#endif

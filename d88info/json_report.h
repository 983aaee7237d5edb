// d88info --json: the facts of every disk of an image as one JSON document,
// typed, for programs (the page reads the same document). Its fields:
//   version, image, fileSize, d88 (false for a file that cannot be a D88
//   image, with the reason in notD88), diskCount, moreDisksAt (null unless
//   more than 64 disks follow), disks: for each indexed disk its index,
//   offset, readable (false when its header cannot be read again), and
//   either sameDiskAs an earlier disk at its offset, or null with d88 and
//   notD88 (is it a D88 disk, and why not), insideDisk (disk and track
//   whose records it starts inside, or null) and, for a D88 disk, name
//   (text and hex), mediaType and media (its usual meaning or null),
//   geometryLooksLike and largestTrackBytes, writeProtect and protect,
//   diskSize, diskSizeLies, extent (bytes from its offset to its end),
//   fileEndsAt (null unless the file ends inside the disk),
//   tableEntries, tracks (every track the table names: track,
//   cylinder, head, offset, state present/past-end/into-header, and either
//   sameRecordsAs a lower track or its recordCount, its own records,
//   countedBytes (the stretches only the sector counts walk through, from
//   and to, counted from the track's start) and sharedRecords (track, from,
//   to: the rest of its records, as that track lists them) or null; a
//   record's c, h, r, n, sectorCount, dataSize, available bytes, short,
//   dataSizeLied, sizeUnverified, flags in words and readPastLie in words
//   or null), recordsPerTrack, sizeCodes,
//   flags (words and records), shortRecords, recordsReadPastLies, lies (the
//   fields that lied: dataSizeRecords, sectorCountTracks, diskSize), boot
//   (found, disk A/F/null, line), map (lowR, highR, commonSizeCode, legend
//   of marks and words, rows of track, state and marks; null with no track).
#ifndef D88INFO_JSON_REPORT_H
#define D88INFO_JSON_REPORT_H

#include "disk_facts.h"
#include "json_writer.h"

#include <cstdint>
#include <string>

namespace d88info {

// Whether the tracks carry their records. The page shows no record and leaves
// them out: a crafted image holds millions, a document of hundreds of MB.
enum class Detail { Records, TracksOnly };

// The document for an open image that can be a D88 image: 0, or the
// reader's error (or ENOMEM), and then nothing is to be shown.
int imageJson(d88::D88Image& image, TrackScan& scan, const char* name, JsonWriter& json,
              Detail detail = Detail::Records);

// The document for a file that cannot be a D88 image.
std::string notD88Json(const char* name, std::int64_t fileSize, const char* reason);

} // namespace d88info

#endif

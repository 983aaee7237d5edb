// Reading d88info's track listing (`d88info IMAGE DISK`) back into its
// parts: what a track's lines say once their wrapping is undone, and the map
// with its legend. Only the layout is taken apart here; the tests say what
// the parts must hold.
#ifndef TESTS_LISTING_H
#define TESTS_LISTING_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// One track of the listing: its first line ("track   1 (C 0 H 1) at 0xb30:
// 8 records"), its records' words as one line ("0.1.1.1 0.1.2.1[data CRC
// error] ..."), and each field that lied as the words after "~ read past a
// field that lied:".
struct ListedTrack {
    std::string head;
    std::string records;
    std::vector<std::string> lies;
};

// Track `track` of the listing, or nothing when it is not listed.
std::optional<ListedTrack> listedTrack(const std::string& listing, int track);

// The map after the tracks: its heading ("map of sector numbers 1-8:"), the
// legend as one line ("'#' present, '.' missing, then the first that
// applies: ..."), the column headings and one line a track.
struct ListedMap {
    std::string heading;
    std::string legend;
    std::vector<std::string> columns;
    std::vector<std::string> rows;
};
ListedMap listedMap(const std::string& listing);

// The lines of `text` longer than `width` columns.
std::vector<std::string> linesLongerThan(const std::string& text, std::size_t width);

} // namespace testsupport

#endif

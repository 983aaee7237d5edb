#include "listing.h"

#include "test_support.h"

#include <cstdio>

namespace testsupport {

namespace {

bool startsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

// A wrapped line goes on where the next line starts with the indent: one
// space stood there.
void append(std::string& to, const std::string& words)
{
    to += (to.empty() ? "" : " ") + words;
}

} // namespace

std::optional<ListedTrack> listedTrack(const std::string& listing, int track)
{
    char start[32];
    std::snprintf(start, sizeof start, "track %3d (C ", track);
    const std::vector<std::string> lines = linesOf(listing);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!startsWith(lines[i], start))
            continue;
        ListedTrack out;
        out.head = lines[i];
        const std::string lie = "    ~ read past a field that lied: ";
        std::string* into = &out.records;
        for (++i; i < lines.size() && startsWith(lines[i], "    "); ++i) {
            if (startsWith(lines[i], lie)) {
                out.lies.push_back(lines[i].substr(lie.size()));
                into = &out.lies.back();
            } else {
                append(*into, lines[i].substr(4));
            }
        }
        return out;
    }
    return std::nullopt;
}

ListedMap listedMap(const std::string& listing)
{
    ListedMap out;
    bool inMap = false;
    for (const std::string& line : linesOf(listing)) {
        if (startsWith(line, "map of sector numbers") || startsWith(line, "map: ")) {
            inMap = true;
            out.heading = line;
        } else if (!inMap) {
            continue;
        } else if (startsWith(line, std::string(10, ' '))) {
            out.columns.push_back(line);
        } else if (startsWith(line, "  ")) {
            append(out.legend, line.substr(2));
        } else if (startsWith(line, "track ")) {
            out.rows.push_back(line);
        }
    }
    return out;
}

std::vector<std::string> linesLongerThan(const std::string& text, std::size_t width)
{
    std::vector<std::string> out;
    for (const std::string& line : linesOf(text))
        if (line.size() > width)
            out.push_back(line);
    return out;
}

} // namespace testsupport

#include "message_text.h"

#include "terminal_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fileio {

namespace {

// The length of the UTF-8 character that starts `text`, if it is one a
// terminal shows as a character: well formed (no overlong form, no
// surrogate, nothing past U+10FFFF) and not a C1 control. 0 otherwise.
std::size_t utf8Character(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code <= 0x9F)
        return 0;
    return length;
}

// The bytes to escape from the start of `text` as one $'...' escape, and
// how many they are.
std::size_t appendEscapes(std::string_view text, bool utf8, std::string* out)
{
    static const char digits[] = "01234567";
    out->append("$'");
    const std::size_t used = escapedRun(text, utf8);
    for (std::size_t i = 0; i < used; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        out->push_back('\\');
        out->push_back(digits[byte >> 6]);
        out->push_back(digits[(byte >> 3) & 7]);
        out->push_back(digits[byte & 7]);
    }
    out->push_back('\'');
    return used;
}

} // namespace

std::size_t shownAsIs(std::string_view text, bool utf8)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead >= 0x20 && lead < 0x7F)
        return 1;
    return lead >= 0x80 && utf8 ? utf8Character(text) : 0;
}

std::size_t escapedRun(std::string_view text, bool utf8)
{
    std::size_t used = 0;
    while (used < text.size() && shownAsIs(text.substr(used), utf8) == 0)
        ++used;
    return used;
}

std::string escapedText(std::string_view text, bool utf8)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t as = shownAsIs(text.substr(at), utf8);
        if (as > 0) {
            out.append(text.substr(at, as));
            at += as;
        } else {
            at += appendEscapes(text.substr(at), utf8, &out);
        }
    }
    return out;
}

void sayLine(const char* program, std::string_view line)
{
    const std::string text = std::string(program) + ": " + escapedText(line, messagesReadUtf8()) + "\n";
    std::fputs(text.c_str(), stderr);
}

} // namespace fileio

#include "message_text.h"

#include "platform.h"
#include "terminal_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fileio {

namespace {

// The length of the UTF-8 character that starts `text`, if it is one a
// terminal shows as a character: well formed and not a C1 control
// (U+0080-U+009F, C2 80-C2 9F). 0 otherwise.
std::size_t utf8Character(std::string_view text)
{
    const std::size_t length = utf8Length(text);
    if (length == 2 && static_cast<unsigned char>(text[0]) == 0xC2 && static_cast<unsigned char>(text[1]) <= 0x9F)
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

std::size_t utf8Length(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the allowed range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

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

std::string commandName(std::string_view name, bool utf8)
{
    const auto plainByte = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view(platform::kPlainPunctuation).find(c) != std::string_view::npos;
    };
    std::string out = !name.empty() && name[0] == '-' ? "-- " : "";
    bool plain = !name.empty();
    for (const char c : name)
        plain = plain && plainByte(c);
    return plain ? out.append(name) : out.append(platform::quotedWord(name, utf8));
}

void sayLine(const char* program, std::string_view line)
{
    const std::string text = std::string(program) + ": " + escapedText(line, messagesReadUtf8()) + "\n";
    std::fputs(text.c_str(), stderr);
}

} // namespace fileio

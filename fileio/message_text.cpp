#include "message_text.h"

#include "terminal_text.h"

#include <algorithm>
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
    if (length == 2 && static_cast<unsigned char>(text[0]) == 0xC2 &&
        static_cast<unsigned char>(text[1]) <= 0x9F)
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

// A letter or a digit, or one of `punctuation`.
bool plainByte(char c, std::string_view punctuation)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           punctuation.find(c) != std::string_view::npos;
}

// Whether `text` starts with U+201C, U+201D or U+201E in UTF-8.
bool typographicDoubleQuote(std::string_view text)
{
    return text.size() >= 3 && text.compare(0, 2, "\xe2\x80") == 0 &&
           static_cast<unsigned char>(text[2]) >= 0x9C && static_cast<unsigned char>(text[2]) <= 0x9E;
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

std::string posixOptionValue(std::string_view name, bool utf8)
{
    if (name == "-")
        return "-";
    if (name[0] == '-')
        return posixCommandName("./" + std::string(name), utf8);
    return posixCommandName(name, utf8);
}

std::string windowsOptionValue(std::string_view name, std::string_view what)
{
    if (name == "-")
        return "-";
    const std::string word = windowsCommandName(name);
    return word == "\"<IMAGE>\"" ? "\"<" + std::string(what) + ">\"" : word;
}

std::string posixCommandName(std::string_view name, bool utf8)
{
    std::string out = !name.empty() && name[0] == '-' ? "-- " : "";
    if (!name.empty() &&
        std::all_of(name.begin(), name.end(), [](char c) { return plainByte(c, "-_./+,:@%"); }))
        return out.append(name);
    if (name.empty())
        return "''";
    // Quoted pieces, each ' as \', each run of bytes to escape as $'\ooo'
    // between them: 'a b'\''c'$'\033''d'.
    bool quoted = false;
    for (std::size_t at = 0; at < name.size();) {
        const std::string_view rest = name.substr(at);
        const std::size_t as = name[at] == '\'' ? 0 : shownAsIs(rest, utf8);
        if ((as > 0) != quoted)
            out.push_back('\'');
        quoted = as > 0;
        if (as > 0) {
            out.append(rest.substr(0, as));
            at += as;
        } else if (name[at] == '\'') {
            out.append("\\'");
            ++at;
        } else {
            const std::size_t run = escapedRun(rest, utf8);
            out.append(escapedText(rest.substr(0, run), utf8));
            at += run;
        }
    }
    if (quoted)
        out.push_back('\'');
    return out;
}

std::string windowsCommandName(std::string_view name)
{
    // A leading '-' would be read as an option, and PowerShell drops a "--"
    // on its way to a program: .\ names the same file.
    const std::string word = (!name.empty() && name[0] == '-' ? ".\\" : "") + std::string(name);
    // Bare: nothing either shell acts on outside quotes (space & | < > ^ ( )
    // % ! for cmd.exe; ' " ` $ , ; { } # ~ and more for PowerShell, which
    // also splits at a comma and reads a word that starts with a digit, or
    // with . and a digit, as a number, and one that starts with @ or + as
    // an operator), and ASCII only (PowerShell splits at Unicode spaces too).
    const bool bareStart = !word.empty() && !(word[0] >= '0' && word[0] <= '9') &&
                           std::string_view("-+:@").find(word[0]) == std::string_view::npos &&
                           !(word[0] == '.' && word.size() > 1 && word[1] >= '0' && word[1] <= '9');
    if (bareStart && std::all_of(word.begin(), word.end(), [](char c) { return plainByte(c, "-_./\\:+@"); }))
        return word;
    // In double quotes, unless it holds what one of the shells expands even
    // there: cmd.exe %VAR% and, with delayed expansion, !VAR!; PowerShell
    // $x, $(...) and ` escapes, and it ends the string at a typographic
    // double quote as at ". A control byte or a byte that is not UTF-8 has
    // no place in a Windows name; a last \ and the closing quote the C
    // runtime reads as \", a quote. No quoting is safe in both shells for
    // those: the hint names "<IMAGE>", which no Windows file can be called,
    // for the user to replace.
    bool quotable = !name.empty() && name.back() != '\\';
    for (std::size_t at = 0; quotable && at < name.size();) {
        const std::string_view rest = name.substr(at);
        const std::size_t as = shownAsIs(rest, true);
        quotable = as > 0 && std::string_view("%!$`\"").find(rest[0]) == std::string_view::npos &&
                   !typographicDoubleQuote(rest);
        at += as;
    }
    return quotable ? "\"" + word + "\"" : "\"<IMAGE>\"";
}

void sayLine(const char* program, std::string_view line)
{
    const std::string text = std::string(program) + ": " + escapedText(line, messagesReadUtf8()) + "\n";
    std::fputs(text.c_str(), stderr);
}

} // namespace fileio

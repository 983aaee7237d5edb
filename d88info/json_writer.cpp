#include "json_writer.h"

#include <charconv>
#include <cstdio>

namespace d88info {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0
// when it does not start with one: no overlong forms, no surrogates, nothing
// past U+10FFFF.
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

} // namespace

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    while (!text.empty()) {
        // Plain ASCII is copied a stretch at a time.
        std::size_t plain = 0;
        while (plain < text.size()) {
            const auto byte = static_cast<unsigned char>(text[plain]);
            if (byte < 0x20 || byte >= 0x80 || byte == '"' || byte == '\\')
                break;
            ++plain;
        }
        out.append(text.substr(0, plain));
        text.remove_prefix(plain);
        if (text.empty())
            break;
        const char ch = text.front();
        const std::size_t length = utf8Length(text);
        if (length == 0) {
            out += "\\ufffd";
            text.remove_prefix(1);
            continue;
        }
        if (length > 1) {
            out += text.substr(0, length);
        } else if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (ch == '\r') {
            out += "\\r";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(ch));
            out += escaped;
        }
        text.remove_prefix(length);
    }
    out += '"';
}

std::string jsonString(std::string_view text)
{
    std::string out;
    appendJsonString(out, text);
    return out;
}

void JsonWriter::drain()
{
    if (!sink_ || out_.empty())
        return;
    if (!sinkFailed_ && std::fwrite(out_.data(), 1, out_.size(), sink_) != out_.size())
        sinkFailed_ = true;
    out_.clear();
}

bool JsonWriter::finish()
{
    drain();
    return !sinkFailed_;
}

void JsonWriter::beforeValue()
{
    constexpr std::size_t kBlock = 64 * 1024;
    if (sink_ && out_.size() >= kBlock)
        drain();
    if (!afterKey_ && needComma_)
        out_ += ',';
    afterKey_ = false;
    needComma_ = true;
}

void JsonWriter::open(char bracket)
{
    beforeValue();
    out_ += bracket;
    needComma_ = false;
}

void JsonWriter::close(char bracket)
{
    out_ += bracket;
    needComma_ = true;
}

void JsonWriter::key(std::string_view name)
{
    if (needComma_)
        out_ += ',';
    appendJsonString(out_, name);
    out_ += ':';
    afterKey_ = true;
}

void JsonWriter::string(std::string_view value)
{
    beforeValue();
    appendJsonString(out_, value);
}

void JsonWriter::number(std::int64_t value)
{
    beforeValue();
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out_.append(digits, written.ptr);
}

void JsonWriter::boolean(bool value)
{
    beforeValue();
    out_ += value ? "true" : "false";
}

void JsonWriter::null()
{
    beforeValue();
    out_ += "null";
}

void JsonWriter::raw(std::string_view json)
{
    beforeValue();
    out_ += json;
}

} // namespace d88info

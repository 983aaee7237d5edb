#include "json_writer.h"

#include "message_text.h"

#include <charconv>
#include <cstdio>

namespace d88info {

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
        const std::size_t length = fileio::utf8Length(text);
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

void optionalText(JsonWriter& json, std::string_view name, const std::string& text)
{
    json.key(name);
    if (text.empty())
        json.null();
    else
        json.string(text);
}

} // namespace d88info

// A JSON text built in a string, for d88info --json and the page's script:
// objects, arrays, strings, integers and booleans, with the commas put where
// they belong. Any bytes make a valid string: quotes, backslashes and control
// characters are escaped, and bytes that are not UTF-8 (a disk name in
// Shift_JIS, a cut label) become U+FFFD, since JSON.parse would otherwise
// see something else than what was meant, or nothing at all.
#ifndef D88INFO_JSON_WRITER_H
#define D88INFO_JSON_WRITER_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace d88info {

// `text` as a JSON string literal, quotes included.
std::string jsonString(std::string_view text);

class JsonWriter {
  public:
    // Builds the text in memory (text() gives it).
    JsonWriter() = default;
    // Writes the text to `sink` as it is made, a block at a time, so that
    // no document is ever held whole; finish() writes the rest.
    explicit JsonWriter(std::FILE* sink) : sink_(sink) {}
    // Writes what is still held to the sink; false when a write failed.
    bool finish();
    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }
    // The name of the next member of the object being written.
    void key(std::string_view name);
    void string(std::string_view value);
    void number(std::int64_t value);
    void boolean(bool value);
    void null();
    // A complete JSON value written elsewhere, put in as it stands.
    void raw(std::string_view json);
    // A member: the key and its value.
    template <class Value> void member(std::string_view name, const Value& value)
    {
        key(name);
        put(value);
    }
    const std::string& text() const { return out_; }

  private:
    void put(std::string_view value) { string(value); }
    void put(const char* value) { string(value); }
    void put(const std::string& value) { string(value); }
    void put(bool value) { boolean(value); }
    void put(std::int64_t value) { number(value); }
    void put(int value) { number(value); }
    void beforeValue();
    void open(char bracket);
    void close(char bracket);
    void drain();

    std::FILE* sink_ = nullptr;
    bool sinkFailed_ = false;
    std::string out_;
    bool needComma_ = false; // a value already stands in the open container
    bool afterKey_ = false;  // the value to come belongs to a key just written
};

// A member whose value is `text`, or null when it is empty.
void optionalText(JsonWriter& json, std::string_view name, const std::string& text);

} // namespace d88info

#endif

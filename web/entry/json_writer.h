// A JSON text built in a string, for handing results to the page's script:
// objects, arrays, strings, integers and booleans, with the commas put where
// they belong. Any bytes make a valid string: quotes, backslashes and control
// characters are escaped, and bytes that are not UTF-8 (a disk name in
// Shift_JIS, a cut label) become U+FFFD, since JSON.parse would otherwise
// see something else than what was meant, or nothing at all.
#ifndef ZANVO_WEB_JSON_WRITER_H
#define ZANVO_WEB_JSON_WRITER_H

#include <cstdint>
#include <string>
#include <string_view>

namespace zanvoweb {

// `text` as a JSON string literal, quotes included.
std::string jsonString(std::string_view text);

class JsonWriter {
  public:
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
    const std::string& text() const { return out_; }

  private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);

    std::string out_;
    bool needComma_ = false; // a value already stands in the open container
    bool afterKey_ = false;  // the value to come belongs to a key just written
};

} // namespace zanvoweb

#endif

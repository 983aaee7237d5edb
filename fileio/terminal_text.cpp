#include "terminal_text.h"

#include "platform.h"
#include "standard_streams.h"

#include <cstring>
#include <string>


namespace fileio {

namespace {


bool sameLetters(const char* a, const char* b, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i])
            return false;
    }
    return true;
}

} // namespace

bool localeReadsUtf8(const char* lcAll, const char* lcCtype, const char* lang)
{
    const char* name = nullptr;
    for (const char* value : {lcAll, lcCtype, lang})
        if (!name && value && *value)
            name = value;
    const char* dot = name ? std::strchr(name, '.') : nullptr;
    if (!dot)
        return false;
    const char* set = dot + 1;
    const std::size_t length = std::strcspn(set, "@");
    return (length == 5 && sameLetters(set, "utf-8", 5)) || (length == 4 && sameLetters(set, "utf8", 4));
}

TextForm textFormOf(std::FILE* stream)
{
    return isTerminal(fileno(stream)) ? platform::terminalForm() : TextForm::Bytes;
}

} // namespace fileio

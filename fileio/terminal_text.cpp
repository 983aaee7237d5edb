#include "terminal_text.h"

#include "standard_streams.h"

#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include "windows_api.h"
#endif

namespace fileio {

namespace {

#ifdef _WIN32
std::wstring wideFromUtf8(const char* utf8)
{
    std::wstring out;
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 1)
        return out;
    out.resize(static_cast<std::size_t>(length - 1));
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, out.data(), length);
    return out;
}
#endif

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
    if (!isTerminal(fileno(stream)))
        return TextForm::Bytes;
#ifdef _WIN32
    return TextForm::Console;
#else
    return localeReadsUtf8(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"))
               ? TextForm::Utf8
               : TextForm::Bytes;
#endif
}

bool writeToConsole(std::FILE* stream, const char* utf8)
{
#ifdef _WIN32
    if (!isTerminal(_fileno(stream)))
        return false;
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    const std::wstring wide = wideFromUtf8(utf8);
    DWORD written = 0;
    std::fflush(stream);
    return WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
           written == wide.size();
#else
    (void)stream;
    (void)utf8;
    return false;
#endif
}

} // namespace fileio

#include "d88/paths.h"

#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace d88 {

std::filesystem::path toPath(const char* name)
{
#ifdef _WIN32
    const std::string bytes(name);
    return std::filesystem::path(std::u8string(bytes.begin(), bytes.end()));
#else
    return std::filesystem::path(name);
#endif
}

std::FILE* openFile(const char* name, const char* mode)
{
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(toPath(name).c_str(), wideMode.c_str());
#else
    return std::fopen(name, mode);
#endif
}

std::FILE* createNewFile(const char* name)
{
#ifdef _WIN32
    // The C runtime's fopen may not know the exclusive "x" mode; _O_EXCL it does.
    const int fd =
        _wopen(toPath(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file)
        _close(fd);
    return file;
#else
    return std::fopen(name, "wbx");
#endif
}

std::string utf8FromUtf16(const wchar_t* text)
{
    std::string out;
    for (const wchar_t* p = text; *p; ++p) {
        auto unit = static_cast<std::uint32_t>(static_cast<std::uint16_t>(*p));
        std::uint32_t code = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            code = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(p[1]) - 0xDC00);
            ++p;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

int runWithUtf8Arguments(int argc, wchar_t* argv[], int (*run)(int, char*[]))
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(utf8FromUtf16(argv[i]));
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return run(argc, pointers.data());
}

} // namespace d88

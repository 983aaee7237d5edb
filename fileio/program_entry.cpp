#include "program_entry.h"

#include "interrupt_cleanup.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace fileio {

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

int runWithUtf8Arguments(int argc, wchar_t* argv[], ProgramRun run)
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

int giveUp(const char* program, const char* what, int failureStatus)
{
    removeRegisteredTemporary();
    // Memory has run out: nothing that allocates. `what` is the program's own text.
    std::fprintf(stderr, "%s: %s\n", program, what);
    return failureStatus;
}

} // namespace fileio

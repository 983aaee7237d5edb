#include "replace_file.h"

#include "error_text.h"
#include "file_identity.h"
#include "interrupt_cleanup.h"
#include "paths.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace fileio {

namespace {

namespace fs = std::filesystem;

// A hidden name beside the output, in the same folder so the rename stays
// within one file system: ".NAME.tmp-XXXXXXXX". When that is longer than a
// name may be, `fitted` gives one no longer than NAME itself, keeping the
// start of NAME (cut between characters, never inside one).
std::string temporaryName(const char* name, bool fitted)
{
    static std::mt19937 generator{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    static constexpr std::size_t kAdded = 14; // "." and ".tmp-XXXXXXXX"
#ifdef _WIN32
    constexpr const char* separators = "/\\:";
#else
    constexpr const char* separators = "/";
#endif
    // Split as bytes: the name goes back to the same functions it came from.
    const std::string path(name);
    const std::size_t cut = path.find_last_of(separators) + 1; // 0 when there is no folder
    std::string base = path.substr(cut);
    if (fitted && base.size() > kAdded) {
        std::size_t keep = base.size() - kAdded;
        while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
            --keep;
        base.resize(keep);
    }
    std::string temp = path.substr(0, cut);
    temp += '.';
    temp += base;
    temp += ".tmp-";
    for (int i = 0; i < 8; ++i)
        temp += digits[generator() & 15];
    return temp;
}

// The create is exclusive: an existing file, link or anything else at the
// temporary name is never opened. The temporary is registered for removal on
// an interrupting signal in the same step as it is created.
std::FILE* createTemporary(const char* name, std::string* temp, std::string* reason)
{
    constexpr int kAttempts = 64;
    bool fitted = false;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        *temp = temporaryName(name, fitted);
        const SignalsHeld held;
        if (!registerTemporary(temp->c_str())) {
            *reason = errorText(ENAMETOOLONG);
            return nullptr;
        }
        errno = 0;
        std::FILE* file = createNewFile(temp->c_str());
        if (file) {
            std::setvbuf(file, nullptr, _IONBF, 0); // one write for the whole file
            return file;
        }
        const int err = errno;
        unregisterTemporary();
        if (err == ENAMETOOLONG && !fitted) {
            fitted = true;
            continue;
        }
        if (err != EEXIST) {
            *reason = errorText(err);
            return nullptr;
        }
    }
    *reason = "no free temporary name";
    return nullptr;
}

// Whether `name` may be replaced: not when it is, or leads to, the
// protected file, nor when that cannot be told.
bool mayReplace(const char* name, const d88::FileIdentity* protect, std::string* reason)
{
    if (!protect)
        return true;
    int err = 0;
    switch (compareWithFile(name, *protect, &err)) {
    case Sameness::Different:
        return true;
    case Sameness::Same:
        *reason = "it is the image being read, left untouched";
        return false;
    case Sameness::Unknown:
        break;
    }
    *reason = "cannot tell whether it is the image being read (" + errorText(err) + "), left untouched";
    return false;
}

} // namespace

bool replaceFile(const char* name, const std::uint8_t* data, std::size_t length,
                 const d88::FileIdentity* protect, std::string* reason)
{
    std::string temp;
    std::FILE* file = createTemporary(name, &temp, reason);
    if (!file)
        return false;
    errno = 0;
    bool ok = std::fwrite(data, 1, length, file) == length;
    int err = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        *reason = errorText(err);
    } else if (mayReplace(name, protect, reason)) {
        // Checked just before the name is replaced, against what the image
        // is rather than what it was called.
        std::error_code ec;
        fs::rename(toPath(temp.c_str()), toPath(name), ec);
        if (!ec) {
            unregisterTemporary();
            return true;
        }
        *reason = ec.message();
    }
    std::error_code removeError;
    if (!fs::remove(toPath(temp.c_str()), removeError) && removeError)
        *reason += "; the temporary file " + temp + " could not be removed: " + removeError.message();
    unregisterTemporary();
    return false;
}

} // namespace fileio

#include "replace_file.h"

#include "paths.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace fileio {

namespace {

namespace fs = std::filesystem;

std::string errorText(int err)
{
    return err ? std::generic_category().message(err) : std::string("I/O error");
}

// A hidden name beside the output, in the same folder so the rename stays
// within one file system.
std::string temporaryName(const char* name)
{
    static std::mt19937 generator{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
#ifdef _WIN32
    constexpr const char* separators = "/\\:";
#else
    constexpr const char* separators = "/";
#endif
    // Split as bytes: the name goes back to the same functions it came from.
    const std::string path(name);
    const std::size_t cut = path.find_last_of(separators) + 1; // 0 when there is no folder
    std::string temp = path.substr(0, cut);
    temp += '.';
    temp.append(path, cut);
    temp += ".tmp-";
    for (int i = 0; i < 8; ++i)
        temp += digits[generator() & 15];
    return temp;
}

// The create is exclusive: an existing file, link or anything else at the
// temporary name is never opened.
std::FILE* createTemporary(const char* name, std::string* temp, std::string* reason)
{
    constexpr int kAttempts = 64;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        *temp = temporaryName(name);
        errno = 0;
        std::FILE* file = createNewFile(temp->c_str());
        if (file) {
            std::setvbuf(file, nullptr, _IONBF, 0); // one write for the whole file
            return file;
        }
        if (errno != EEXIST) {
            *reason = errorText(errno);
            return nullptr;
        }
    }
    *reason = "no free temporary name";
    return nullptr;
}

} // namespace

bool replaceFile(const char* name, const std::uint8_t* data, std::size_t length, const char* protectedPath,
                 std::string* reason)
{
    std::error_code ec;
    if (protectedPath && fs::equivalent(toPath(name), toPath(protectedPath), ec)) {
        *reason = "it is the image being read, left untouched";
        return false;
    }

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
    if (ok) {
        fs::rename(toPath(temp.c_str()), toPath(name), ec);
        if (!ec)
            return true;
        *reason = ec.message();
    } else {
        *reason = errorText(err);
    }
    std::error_code removeError;
    if (!fs::remove(toPath(temp.c_str()), removeError) && removeError)
        *reason += "; the temporary file " + temp + " could not be removed: " + removeError.message();
    return false;
}

} // namespace fileio

#include "replace_file.h"

#include "error_text.h"
#include "file_identity.h"
#include "interrupt_cleanup.h"
#include "output_folder.h"
#include "paths.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
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
    // splitmix64 from a seed taken once: nothing here can fail or throw.
    static std::uint64_t state = platform::randomSeed();
    static const char digits[] = "0123456789abcdef";
    static constexpr std::size_t kAdded = 14; // "." and ".tmp-XXXXXXXX"
    // Split as bytes: the name goes back to the same functions it came from.
    const std::string path(name);
    const std::size_t cut = path.find_last_of(platform::kSeparators) + 1; // 0 when there is no folder
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
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    z ^= z >> 31;
    for (int i = 0; i < 8; ++i, z >>= 4)
        temp += digits[z & 15];
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
        errno = 0;
        std::FILE* file = nullptr;
        // A name the handler cannot hold is one the system would refuse as
        // too long as well: both take the fitted name.
        if (registerTemporary(temp->c_str())) {
            file = createNewFile(temp->c_str());
            if (file) {
                std::setvbuf(file, nullptr, _IONBF, 0); // one write a piece
                return file;
            }
        } else {
            errno = ENAMETOOLONG;
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
// protected file, nor when that cannot be told. A regular file standing there
// hands its permission bits to the temporary, set only when a new file would
// get other bits: a run costs one call to learn a new file's bits, not a call
// for every file.
bool mayReplace(const char* name, std::span<const d88::FileIdentity> protect, std::FILE* file,
                std::string* reason)
{
    Standing there = inspectName(name, protect.empty() ? nullptr : &protect[0]);
    for (std::size_t i = 1; i < protect.size() && there.sameness == Sameness::Different; ++i)
        if (const Standing other = inspectName(name, &protect[i]); other.sameness != Sameness::Different) {
            there.sameness = other.sameness;
            there.error = other.error;
        }
    switch (there.sameness) {
    case Sameness::Different:
        break;
    case Sameness::Same:
        *reason = "it is the image being read, left untouched";
        return false;
    case Sameness::Unknown:
        *reason =
            "cannot tell whether it is the image being read (" + errorText(there.error) + "), left untouched";
        return false;
    }
    const int fd = fileno(file);
    if (there.mode >= 0 && there.mode != newFileMode(name, fd) && !platform::setFileMode(fd, there.mode)) {
        *reason = "cannot give it the permissions of the file it replaces (" + errorText(errno) +
                  "), left untouched";
        return false;
    }
    return true;
}

// Writes every piece of `source`; false with the errno value of a failed
// write, or with `*sourceFailed` set.
bool writePieces(ByteSource& source, std::FILE* file, int* err, bool* sourceFailed)
{
    for (;;) {
        std::span<const std::uint8_t> piece;
        if (!source.next(&piece)) {
            *sourceFailed = true;
            return false;
        }
        if (piece.empty())
            return true;
        errno = 0;
        if (std::fwrite(piece.data(), 1, piece.size(), file) != piece.size()) {
            *err = errno;
            return false;
        }
    }
}

} // namespace

bool replaceFileFrom(const char* name, ByteSource& source, const d88::FileIdentity* protect,
                     std::string* reason, bool* sourceFailed)
{
    return replaceFileFrom(name, source,
                           protect ? std::span(protect, 1) : std::span<const d88::FileIdentity>(), reason,
                           sourceFailed);
}

bool replaceFileFrom(const char* name, ByteSource& source, std::span<const d88::FileIdentity> protect,
                     std::string* reason, bool* sourceFailed)
{
    *sourceFailed = false;
    if (!folderTakesFiles(name, reason))
        return false;
    std::string temp;
    std::FILE* file = createTemporary(name, &temp, reason);
    if (!file)
        return false;
    int err = 0;
    bool ok = writePieces(source, file, &err, sourceFailed);
    if (!ok && !*sourceFailed)
        *reason = errorText(err);
    // Checked once the bytes are written, just before the name is replaced,
    // against what the image is rather than what it was called.
    ok = ok && mayReplace(name, protect, file, reason);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        *reason = errorText(errno);
    }
    if (ok) {
        std::error_code ec;
        if (moveTemporary(temp.c_str(), name, &ec))
            return true;
        *reason = ec.message();
    }
    std::error_code removeError;
    if (!fs::remove(toPath(temp.c_str()), removeError) && removeError)
        *reason += "; the temporary file " + temp + " could not be removed: " + removeError.message();
    unregisterTemporary();
    return false;
}

} // namespace fileio

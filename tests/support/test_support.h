// Helpers shared by the tests: scratch folders, running the built programs,
// reading files, and byte comparisons that print a short hex diff.
#ifndef TESTS_TEST_SUPPORT_H
#define TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Defined when the tests are built under AddressSanitizer (GCC says so by a
// macro, Clang by a feature), whose shadow memory cannot live under an
// address-space limit.
#if defined(__SANITIZE_ADDRESS__)
#define ZANVO_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZANVO_UNDER_ASAN 1
#endif
#endif

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary directory, removed with all it
// holds (permissions restored first) when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

struct RunResult {
    int status = -1; // exit status, or 128 + signal number
    std::string out; // standard output, as bytes
    std::string err; // standard error, as bytes
};

// Where standard output goes. Terminal is a pseudo-terminal and Socket one
// end of a socket pair; with both, what arrives at the other end is the
// run's `out` (from a terminal, as the terminal passes it on).
enum class StdoutKind { Capture, File, Closed, BrokenPipe, Terminal, Socket };

struct RunOptions {
    std::string argv0; // argv[0]; the program path when empty
    StdoutKind stdoutKind = StdoutKind::Capture;
    std::string stdoutTo;                           // the file, with StdoutKind::File
    int stdoutFlags = O_WRONLY | O_CREAT | O_TRUNC; // how it is opened: O_RDWR is `1<>`, O_APPEND `>>`
    std::string stderrTo;                           // a file for standard error, not captured then
    int stderrFlags = O_WRONLY | O_CREAT | O_TRUNC; // as stdoutFlags
    bool closeStdin = false;                        // standard input closed rather than /dev/null
    bool controllingTerminal = false;               // with Terminal: also the run's /dev/tty
    long long fileSizeLimit = -1;                   // RLIMIT_FSIZE in bytes; SIGXFSZ at its default
    long long addressSpaceLimit = -1;               // RLIMIT_AS in bytes
    int umask = -1;                                 // the run's umask, when not -1
    bool unprivileged = false;                      // as root: run as nobody (uid/gid 65534)
    // Standard error on a pseudo-terminal: with Terminal the same one (its
    // bytes are then the run's `out`), otherwise one of its own, whose bytes
    // are the run's `err`.
    bool stderrToTerminal = false;
    // Variables set for the run (an empty value unsets one).
    std::vector<std::pair<std::string, std::string>> environment;
};

// Runs `program` with `args` in the folder `cwd`, standard input from
// /dev/null, and captures both outputs. No core file is written.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& cwd, const RunOptions& options = {});

// Runs `body` in a forked child whose current folder is `cwd`, standard input
// /dev/null, and captures both outputs and the status it returns (or 128 +
// the signal that ended it). For in-process code that may die of a signal.
RunResult runInChild(const std::function<int()>& body, const std::filesystem::path& cwd,
                     const RunOptions& options = {});

// A test in a scratch folder of its own, where it writes its files and runs
// the programs.
class FolderTest : public ::testing::Test {
  protected:
    // `bytes` written to the folder's file `name`; its path.
    std::filesystem::path write(const std::string& name, const Bytes& bytes) const;
    RunResult run(const std::string& program, const std::vector<std::string>& args,
                  const RunOptions& options = {}) const
    {
        return runProgram(program, args, dir.path(), options);
    }
    std::vector<std::string> folder() const;

    TempDir dir;
};

// The file's bytes, or nothing when it cannot be read.
std::optional<Bytes> readFile(const std::filesystem::path& path);

// Every entry of a folder (not recursive): its kind, and its bytes for a
// regular file or its target for a link. Equal snapshots mean nothing changed.
std::map<std::string, std::string> snapshot(const std::filesystem::path& folder);

// Names of the entries of a folder, sorted.
std::vector<std::string> listFolder(const std::filesystem::path& path);

// Equal bytes, or a failure naming the first differing offset with up to 16
// bytes of each side in hex.
::testing::AssertionResult sameBytes(const Bytes& expected, const Bytes& actual);

Bytes toBytes(const std::string& text);

// UTF-8 `text` in the encoding `to` (iconv's name), for messages whose bytes
// are derived here rather than copied from the program; throws when it
// cannot be converted whole.
std::string convert(const std::string& text, const char* to);

// An independent reading of a D88 file's bytes, to hold the reader and the
// programs to: a little-endian 32-bit field, and the records a track table
// entry leads to for the disk at `base` (each record's sector count read in
// turn, up to the file's end).
std::uint32_t le32(const Bytes& file, std::size_t at);
struct RawRecord {
    int c, h, r, n, status;
    std::size_t data; // file offset of the data
    std::size_t size;
};
std::vector<RawRecord> rawTrack(const Bytes& file, std::size_t base, std::uint32_t entry);

// The line zanvo-extract ends a run with when a file is not complete: "of
// 13 files, 11 complete, 1 with holes, 1 with flagged sectors, 0 not
// written", with the program's name and a newline.
std::string cutSummary(int complete, int withHoles, int notWritten, int flagged = 0);

// The lines of `text`, without their newlines.
std::vector<std::string> linesOf(const std::string& text);

// Whether `text` holds `line` as one whole line.
bool hasLine(const std::string& text, const std::string& line);

// The thirteen files of Disk A as the title lays them out (kept here apart
// from the tool's own plan): where each run starts and its length.
struct DiskAFile {
    const char* name;
    int track, sector, length;
};
inline constexpr DiskAFile kDiskAFiles[] = {
    {"DRIVER", 10, 6, 5632},  {"ZANVO00", 11, 12, 256}, {"ZANVO01", 11, 13, 4352}, {"ZANVO02", 12, 14, 14080},
    {"ZANVO03", 16, 5, 4096}, {"ZANVO04", 17, 5, 4096}, {"ZANVO05", 18, 5, 5376},  {"ZANVO06", 19, 10, 2816},
    {"ZANVO07", 20, 5, 8960}, {"ZANVO08", 22, 8, 5376}, {"ZANVO09", 23, 13, 768},  {"ZANVO10", 23, 16, 8704},
    {"ZANVO11", 26, 2, 6144},
};

} // namespace testsupport

#endif

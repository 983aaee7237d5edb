#include "test_support.h"

#include "image_builder.h"

#include <fcntl.h>
#include <grp.h>
#include <iconv.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "zanvo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may take write or search permission away; give it back first.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

namespace {

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

namespace {

// The far end of a terminal or socket that stands for standard output, read
// while the run goes on (so a run writing much never blocks) until the last
// writer is gone.
class FarEnd {
  public:
    explicit FarEnd(StdoutKind kind)
    {
        if (kind == StdoutKind::Terminal) {
            far_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (far_ < 0 || grantpt(far_) != 0 || unlockpt(far_) != 0)
                throw std::runtime_error("no pseudo-terminal");
            near_ = open(ptsname(far_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        } else if (kind == StdoutKind::Socket) {
            int pair[2];
            if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
                throw std::runtime_error("socketpair failed");
            far_ = pair[0];
            near_ = pair[1];
        }
        if (far_ >= 0 && near_ < 0)
            throw std::runtime_error("no near end");
    }
    ~FarEnd()
    {
        if (reader_.joinable())
            reader_.join();
        if (near_ >= 0)
            close(near_);
        if (far_ >= 0)
            close(far_);
    }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;
    int nearEnd() const { return near_; }
    // In the parent once the child has its copy: reading starts.
    void start()
    {
        if (far_ < 0)
            return;
        close(near_);
        near_ = -1;
        reader_ = std::thread([this] {
            char buffer[65536];
            for (ssize_t got; (got = read(far_, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR);)
                if (got > 0)
                    received_.append(buffer, static_cast<std::size_t>(got));
        });
    }
    std::string received()
    {
        if (reader_.joinable())
            reader_.join();
        return received_;
    }

  private:
    int far_ = -1, near_ = -1;
    std::thread reader_;
    std::string received_;
};

// Forks; in the child, points the standard streams at /dev/null and the
// capture files, applies the options, enters `cwd` and calls `child`, which
// does not return. In the parent, waits and collects the result.
RunResult runForked(const std::function<void()>& child, const fs::path& cwd, const RunOptions& options)
{
    TempDir capture; // outputs kept out of the folder under test
    const bool captureOut = options.stdoutKind == StdoutKind::Capture;
    const fs::path outPath =
        options.stdoutKind == StdoutKind::File ? fs::path(options.stdoutTo) : capture / "stdout";
    const int outFlags =
        options.stdoutKind == StdoutKind::File ? options.stdoutFlags : O_WRONLY | O_CREAT | O_TRUNC;
    const bool captureErr = options.stderrTo.empty();
    const fs::path errPath = captureErr ? capture / "stderr" : fs::path(options.stderrTo);
    const int errFlags = captureErr ? O_WRONLY | O_CREAT | O_TRUNC : options.stderrFlags;
    // Standard error alone may be the terminal too, its own form told apart
    // from standard output's.
    const bool errAlone = options.stderrToTerminal && options.stdoutKind != StdoutKind::Terminal;
    FarEnd farEnd(errAlone ? StdoutKind::Terminal : options.stdoutKind);
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), outFlags, 0600);
        const int err = open(errPath.c_str(), errFlags, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(126);
        for (const int fd : {in, out, err})
            if (fd > 2)
                close(fd);
        if (options.closeStdin)
            close(0);
        if (options.stdoutKind == StdoutKind::Closed)
            close(1);
        if (options.stdoutKind == StdoutKind::BrokenPipe) {
            int fds[2];
            if (pipe(fds) != 0 || dup2(fds[1], 1) < 0)
                _exit(126);
            close(fds[0]);
            close(fds[1]);
        }
        if (farEnd.nearEnd() >= 0) {
            if (options.controllingTerminal && (setsid() < 0 || ioctl(farEnd.nearEnd(), TIOCSCTTY, 0) != 0))
                _exit(126);
            if ((!errAlone && dup2(farEnd.nearEnd(), 1) < 0) ||
                (options.stderrToTerminal && dup2(farEnd.nearEnd(), 2) < 0))
                _exit(126);
        }
        for (const auto& [name, value] : options.environment)
            if (value.empty() ? unsetenv(name.c_str()) != 0 : setenv(name.c_str(), value.c_str(), 1) != 0)
                _exit(126);
        // Tests send signals whose default leaves a core (SIGQUIT, SIGXCPU).
        const rlimit noCore{0, 0};
        if (setrlimit(RLIMIT_CORE, &noCore) != 0)
            _exit(126);
        if (options.fileSizeLimit >= 0) {
            // With its default disposition, as a user's shell leaves it.
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                               static_cast<rlim_t>(options.fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(126);
        }
        if (options.addressSpaceLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.addressSpaceLimit),
                               static_cast<rlim_t>(options.addressSpaceLimit)};
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                _exit(126);
        }
        if (options.umask >= 0)
            umask(static_cast<mode_t>(options.umask));
        if (options.unprivileged && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        child();
        _exit(127);
    }
    farEnd.start();
    int wstatus = 0;
    if (waitpid(pid, &wstatus, 0) != pid)
        throw std::runtime_error("waitpid failed");
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (captureOut)
        result.out = slurp(outPath);
    if (options.stdoutKind == StdoutKind::Terminal || options.stdoutKind == StdoutKind::Socket)
        result.out = farEnd.received();
    if (captureErr)
        result.err = slurp(errPath);
    if (errAlone)
        result.err = farEnd.received();
    return result;
}

} // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& args, const fs::path& cwd,
                     const RunOptions& options)
{
    std::vector<std::string> argvStrings;
    argvStrings.push_back(options.argv0.empty() ? program : options.argv0);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argvStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    return runForked([&] { execv(program.c_str(), argv.data()); }, cwd, options);
}

RunResult runInChild(const std::function<int()>& body, const fs::path& cwd, const RunOptions& options)
{
    return runForked(
        [&] {
            const int status = body();
            std::fflush(stdout);
            std::fflush(stderr);
            _exit(status);
        },
        cwd, options);
}

std::optional<Bytes> readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const fs::file_status status = entry.symlink_status();
        std::string what = std::to_string(static_cast<int>(status.type())) + ":";
        if (fs::is_symlink(status))
            what += fs::read_symlink(entry.path()).string();
        else if (fs::is_regular_file(status))
            what += slurp(entry.path());
        entries[entry.path().filename().string()] = what;
    }
    return entries;
}

std::vector<std::string> listFolder(const fs::path& path)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::string hexAround(const Bytes& bytes, std::size_t at)
{
    std::ostringstream out;
    out << std::hex;
    for (std::size_t i = at; i < bytes.size() && i < at + 16; ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x ", bytes[i]);
        out << buf;
    }
    return out.str();
}

} // namespace

::testing::AssertionResult sameBytes(const Bytes& expected, const Bytes& actual)
{
    const auto mismatch = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    if (mismatch.first == expected.end() && mismatch.second == actual.end())
        return ::testing::AssertionSuccess();
    const auto at = static_cast<std::size_t>(mismatch.first - expected.begin());
    // One stream for the offset's two forms: each << on the result starts a
    // stream of its own, which a manipulator would not outlast.
    std::ostringstream offset;
    offset << at << " (0x" << std::hex << at << ")";
    return ::testing::AssertionFailure()
           << "sizes " << expected.size() << " (expected) and " << actual.size()
           << " (actual); first difference at offset " << offset.str()
           << "\n  expected: " << hexAround(expected, at) << "\n  actual:   " << hexAround(actual, at);
}

Bytes toBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

std::string cutSummary(int complete, int withHoles, int notWritten, int flagged)
{
    return "zanvo-extract: of " + std::to_string(complete + withHoles + flagged + notWritten) + " files, " +
           std::to_string(complete) + " complete, " + std::to_string(withHoles) + " with holes, " +
           std::to_string(flagged) + " with flagged sectors, " + std::to_string(notWritten) +
           " not written\n";
}

std::string convert(const std::string& text, const char* to)
{
    iconv_t cd = iconv_open(to, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("no converter to ") + to);
    std::string in = text, out(text.size() * 2, '\0');
    char *from = in.data(), *into = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t rc = iconv(cd, &from, &inLeft, &into, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0)
        throw std::runtime_error("conversion failed");
    out.resize(out.size() - outLeft);
    return out;
}

std::uint32_t le32(const Bytes& file, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = value << 8 | file.at(at + i);
    return value;
}

std::vector<RawRecord> rawTrack(const Bytes& file, std::size_t base, std::uint32_t entry)
{
    std::vector<RawRecord> out;
    std::size_t at = base + entry;
    for (std::size_t i = 0, count = 1; i < count && at + 16 <= file.size(); ++i) {
        count = file[at + 4] + std::size_t{256} * file[at + 5];
        const std::size_t size = file[at + 14] + std::size_t{256} * file[at + 15];
        out.push_back({file[at], file[at + 1], file[at + 2], file[at + 3], file[at + 8], at + 16, size});
        at += 16 + size;
    }
    return out;
}

std::filesystem::path FolderTest::write(const std::string& name, const Bytes& bytes) const
{
    testimg::writeFile((dir / name).string(), bytes);
    return dir / name;
}

std::vector<std::string> FolderTest::folder() const
{
    return listFolder(dir.path());
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool hasLine(const std::string& text, const std::string& line)
{
    const std::vector<std::string> lines = linesOf(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace testsupport

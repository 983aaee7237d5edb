#include "test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
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

// Forks; in the child, points the standard streams at /dev/null and the
// capture files, applies the options, enters `cwd` and calls `child`, which
// does not return. In the parent, waits and collects the result.
RunResult runForked(const std::function<void()>& child, const fs::path& cwd, const RunOptions& options)
{
    TempDir capture; // outputs kept out of the folder under test
    const bool captureOut = options.stdoutKind == StdoutKind::Capture;
    const fs::path outPath =
        options.stdoutKind == StdoutKind::File ? fs::path(options.stdoutTo) : capture / "stdout";
    const fs::path errPath = capture / "stderr";
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(126);
        if (options.stdoutKind == StdoutKind::Closed)
            close(1);
        if (options.stdoutKind == StdoutKind::BrokenPipe) {
            int fds[2];
            if (pipe(fds) != 0 || dup2(fds[1], 1) < 0)
                _exit(126);
            close(fds[0]);
            close(fds[1]);
        }
        if (options.stdoutKind == StdoutKind::Terminal) {
            // A pseudo-terminal; its master stays open in the child.
            const int master = posix_openpt(O_RDWR | O_NOCTTY);
            if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
                _exit(126);
            const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
            if (terminal < 0 || dup2(terminal, 1) < 0)
                _exit(126);
        }
        if (options.fileSizeLimit >= 0) {
            std::signal(SIGXFSZ, SIG_IGN);
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
        if (options.unprivileged && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        if (chdir(cwd.c_str()) != 0)
            _exit(126);
        child();
        _exit(127);
    }
    int wstatus = 0;
    if (waitpid(pid, &wstatus, 0) != pid)
        throw std::runtime_error("waitpid failed");
    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (captureOut)
        result.out = slurp(outPath);
    result.err = slurp(errPath);
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

RunResult runInChild(const std::function<int()>& body, const fs::path& cwd)
{
    return runForked(
        [&] {
            const int status = body();
            std::fflush(stdout);
            std::fflush(stderr);
            _exit(status);
        },
        cwd, RunOptions{});
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
    return ::testing::AssertionFailure()
           << "sizes " << expected.size() << " (expected) and " << actual.size()
           << " (actual); first difference at offset " << at << " (0x" << std::hex << at << std::dec
           << ")\n  expected: " << hexAround(expected, at) << "\n  actual:   " << hexAround(actual, at);
}

Bytes toBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

bool hasLine(const std::string& text, const std::string& line)
{
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l == line)
            return true;
    return false;
}

} // namespace testsupport

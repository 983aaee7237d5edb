// Times two commands in alternation, each in its own folder with its output
// thrown away, and reports medians, the median of the paired ratios A/B and
// peak resident memory. A command must exit with status 0; with --status=N,
// A must exit with N instead (an export with holes, a refusal). With --swap,
// two commands that write the same names trade folders every other pair of
// rounds: the same program can run a third slower in one fresh folder than in
// another, and neither is to keep the faster one.
//   pair-timer [--status=N] [--swap] ROUNDS DIR_A CMD_A... :: DIR_B CMD_B...
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Command {
    std::string dir;
    std::vector<char*> argv;
    int status = 0; // the exit status it must end with
};

struct Sample {
    double seconds;
    long maxRssKb;
};

Sample runOnce(const Command& cmd)
{
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(cmd.dir.c_str()) != 0)
            _exit(126);
        execv(cmd.argv[0], cmd.argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != cmd.status) {
        std::fprintf(stderr, "pair-timer: %s failed (status %d)\n", cmd.argv[0], status);
        std::exit(1);
    }
    return {static_cast<double>(end.tv_sec - start.tv_sec) +
                static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9,
            usage.ru_maxrss};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char* argv[])
{
    Command a, b;
    int i = 1;
    if (argc > i && std::strncmp(argv[i], "--status=", 9) == 0)
        a.status = std::atoi(argv[i++] + 9);
    const bool swap = argc > i && std::strcmp(argv[i], "--swap") == 0;
    i += swap ? 1 : 0;
    if (argc - i < 5) {
        std::fprintf(stderr,
                     "usage: pair-timer [--status=N] [--swap] ROUNDS DIR_A CMD_A... :: DIR_B CMD_B...\n");
        return 1;
    }
    const int rounds = std::atoi(argv[i++]);
    a.dir = argv[i++];
    for (; i < argc && std::strcmp(argv[i], "::") != 0; ++i)
        a.argv.push_back(argv[i]);
    ++i;
    b.dir = argv[i++];
    for (; i < argc; ++i)
        b.argv.push_back(argv[i]);
    a.argv.push_back(nullptr);
    b.argv.push_back(nullptr);

    for (int w = 0; w < 5; ++w) { // warm the page cache and the loader
        runOnce(a);
        runOnce(b);
    }
    std::vector<double> ta, tb, ratio;
    long rssA = 0, rssB = 0;
    for (int r = 0; r < rounds; ++r) {
        Command ra = a, rb = b;
        if (swap && r / 2 % 2)
            std::swap(ra.dir, rb.dir);
        // Alternate which goes first so drift affects both alike.
        const Sample sa = r % 2 ? runOnce(ra) : Sample{};
        const Sample sb = runOnce(rb);
        const Sample sa2 = r % 2 ? sa : runOnce(ra);
        ta.push_back(sa2.seconds);
        tb.push_back(sb.seconds);
        ratio.push_back(sa2.seconds / sb.seconds);
        rssA = std::max(rssA, sa2.maxRssKb);
        rssB = std::max(rssB, sb.maxRssKb);
    }
    std::printf(
        "median_a_ms %.3f\nmedian_b_ms %.3f\nratio %.3f\nrss_a_kb %ld\nrss_b_kb %ld\nrss_ratio %.3f\n",
        median(ta) * 1e3, median(tb) * 1e3, median(ratio), rssA, rssB,
        static_cast<double>(rssA) / static_cast<double>(rssB));
    return 0;
}

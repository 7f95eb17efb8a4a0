#include "bench/children.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pugixml.hpp>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/counting.hpp"
#include "bench/dom_refresh.hpp"
#include "bench/refresh_paths.hpp"
#if CRUNCHWATCH_BENCH_WINDOW
#include "bench/window_bench.hpp"
#endif

extern char** environ;

namespace crunchwatch::bench {
namespace {

std::string selfPath() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

// The resident set of this process, in kB: its "VmRSS" or its high-water
// mark "VmHWM" from /proc/self/status. getrusage's ru_maxrss would not do: it
// survives exec, so a child started from this big process begins at our peak.
long statusKb(std::string_view field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) != 0 || line.size() <= field.size() || line[field.size()] != ':') continue;
        long kb = 0;
        std::istringstream(line.substr(field.size() + 1)) >> kb;
        return kb;
    }
    return -1;
}

}  // namespace

int runProcess(const std::vector<std::string>& args, std::string* output) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (output && ::pipe(pipeFds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
        ::close(pipeFds[1]);
        if (rc == 0) {
            char buf[4096];
            ssize_t n;
            while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
                if (n > 0) output->append(buf, static_cast<std::size_t>(n));
        }
        ::close(pipeFds[0]);
    }
    if (rc != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The child's side: one pass of `mode` over the file, then one line:
// "<resident kB before> <high-water kB after> <peak live heap growth, bytes>".
// The high-water mark is first brought down to the resident set (writing 5
// to clear_refs), so that start-up leaves nothing in it.
int peakMemoryChild(std::string_view mode, const std::string& path) {
    pugi::set_memory_management_functions(countedMalloc, countedFree);
#if CRUNCHWATCH_BENCH_WINDOW
    // The window's own start-up (Qt's libraries, fonts, styles) is the same
    // for every file; what a file adds is measured from there.
    int argc = 1;
    char name[] = "crunchwatch-bench";
    char* argv[] = {name, nullptr};
    std::optional<QtApplication> qt;
    if (mode == "window") qt.emplace(argc, argv);
#endif
    { std::ofstream("/proc/self/clear_refs") << "5"; }
    const long before = statusKb("VmRSS");
    startCounting();
    std::size_t result = 0;
    if (mode == "ours") result = oursRefresh(path);
    else if (mode == "pugixml") result = domRefresh(path);
    else if (mode == "floor") result = floorPass(path) >= 0 ? 1 : 0;
#if CRUNCHWATCH_BENCH_WINDOW
    else if (mode == "window") result = OffscreenWindow(path).refreshCount() > 0 ? 1 : 0;
#endif
    else return 2;
    const HeapCounts heap = heapCounts();
    stopCounting();
    const long after = statusKb("VmHWM");
    std::printf("%ld %ld %lld\n", before, after, static_cast<long long>(heap.peakLive));
    return result > 0 ? 0 : 1;
}

std::optional<PeakMemory> measurePeakMemory(const std::string& mode, const std::string& path) {
    std::vector<double> rss, heap;
    for (int i = 0; i < 3; ++i) {
        std::string out;
        if (runProcess({selfPath(), "--peak-memory", mode, path}, &out) != 0) return std::nullopt;
        long before = 0, after = 0;
        long long live = 0;
        std::istringstream in(out);
        if (!(in >> before >> after >> live)) return std::nullopt;
        rss.push_back(static_cast<double>(after - before) * 1024.0);
        heap.push_back(static_cast<double>(live));
    }
    std::sort(rss.begin(), rss.end());
    std::sort(heap.begin(), heap.end());
    return PeakMemory{rss[1], heap[1]};
}

// A process started from this one would begin its resident high-water mark
// at ours (the mark survives exec), so the measured program is started from a
// small fresh process: this program run again as --process-peak, which forks
// and waits for it.
int processPeakChild(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    std::printf("%ld %.6f\n", usage.ru_maxrss, seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return WIFEXITED(status) && WEXITSTATUS(status) != 127 ? 0 : 1;
}

std::optional<ProcessCost> processCost(const std::vector<std::string>& args) {
    std::vector<double> peaks, seconds;
    for (int i = 0; i < 3; ++i) {
        std::vector<std::string> all{selfPath(), "--process-peak"};
        all.insert(all.end(), args.begin(), args.end());
        std::string out;
        if (runProcess(all, &out) != 0) return std::nullopt;
        long kb = 0;
        double cpu = 0;
        std::istringstream in(out);
        if (!(in >> kb >> cpu)) return std::nullopt;
        peaks.push_back(static_cast<double>(kb) * 1024.0);
        seconds.push_back(cpu);
    }
    std::sort(peaks.begin(), peaks.end());
    std::sort(seconds.begin(), seconds.end());
    return ProcessCost{peaks[1], seconds[1]};
}

int repeatForProfiling(std::string_view mode, const std::string& path, std::string_view times) {
    int n = 0;
    std::from_chars(times.data(), times.data() + times.size(), n);
    std::size_t sink = 0;
    for (int i = 0; i < n; ++i) {
        if (mode == "ours") sink += oursRefresh(path);
        else if (mode == "pugixml") sink += domRefresh(path);
        else if (mode == "floor") sink += static_cast<std::size_t>(floorPass(path));
        else return 2;
    }
    return sink > 0 ? 0 : 1;
}

}  // namespace crunchwatch::bench

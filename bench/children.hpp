#pragma once
// The benchmark's child processes: programs timed as whole processes, and
// this program started again to measure one pass's peak memory, or to repeat
// one pass under perf or callgrind.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace crunchwatch::bench {

// Runs a program with its output thrown away (or captured into `output`) and
// waits for it. Returns its exit status, or -1 when it could not be started.
int runProcess(const std::vector<std::string>& args, std::string* output = nullptr);

// The growth of one pass over the file, in bytes: of the resident high-water
// mark, and of the live heap (operator new, and pugixml's allocations).
struct PeakMemory {
    double rssGrowth = 0;
    double heapGrowth = 0;
};

// The median of three child processes, each making one pass of `mode`
// ("floor", "ours", "pugixml", or "window": the window opened on the file)
// over the file.
std::optional<PeakMemory> measurePeakMemory(const std::string& mode, const std::string& path);

// The child's side of measurePeakMemory (crunchwatch-bench --peak-memory MODE FILE).
int peakMemoryChild(std::string_view mode, const std::string& path);

// A whole process running `args`: its peak resident memory in bytes and
// the processor time it took (user and system), each the median of three
// runs. Processor time, not the clock's: other builds on the machine slow
// the clock, not the work.
struct ProcessCost {
    double peakBytes = 0;
    double seconds = 0;
};
std::optional<ProcessCost> processCost(const std::vector<std::string>& args);
// Its child's side (crunchwatch-bench --process-peak PROGRAM ARGS...).
int processPeakChild(const std::vector<std::string>& args);

// crunchwatch-bench --repeat MODE FILE TIMES: one pass, TIMES times, for a profiler.
int repeatForProfiling(std::string_view mode, const std::string& path, std::string_view times);

}  // namespace crunchwatch::bench

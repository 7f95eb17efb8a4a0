// crunchwatch-bench-history: the job log reader on a generated log of
// 1,000,000 lines (fixed seed): the floor (read the file and count its lines
// with memchr), a full parse, the re-read after one appended line, and a
// refresh of an unchanged history directory; then the history's memory
// against the file's size. Ends with a summary and the targets.
//
// usage: crunchwatch-bench-history [--lines N] [Google Benchmark flags]

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench/median_reporter.hpp"
#include "state/file_read.hpp"
#include "state/history.hpp"
#include "state/job_log.hpp"

namespace {

namespace fs = std::filesystem;
using namespace crunchwatch;

// Lines as current clients write them, with names of the lengths real projects use.
std::string jobLogLine(std::mt19937_64& rng, std::uint64_t moment) {
    static const char* const patterns[] = {"h1_%04u.%02u_O3aC01Cl1In0__O3AS1a_%04u.50Hz_%u_0",
                                           "MCM1_%07u_%04u_%u_%u", "5x5_denovo_cyc_pep_v3_SAVE_ALL_OUT_%u_%u_%u_%u_0",
                                           "de_modfit_14_bundle4_3s_south4s_%u_%u_%u_%u"};
    char name[128], line[320];
    std::uniform_int_distribution<unsigned> n(0, 9999999);
    std::snprintf(name, sizeof name, patterns[rng() % 4], n(rng) % 10000, n(rng) % 100, n(rng), n(rng));
    std::uniform_real_distribution<double> seconds(600, 40000);
    const double ue = seconds(rng), ct = ue * 0.9, et = ct * 1.05;
    std::snprintf(line, sizeof line, "%llu ue %.6f ct %.6f fe %.0f nm %s et %.6f es %d\n",
                  static_cast<unsigned long long>(moment), ue, ct, ue * 4e9, name, et, rng() % 100 == 0 ? 1 : 0);
    return line;
}

struct Fixture {
    fs::path dir, log;
    std::size_t lines = 0, bytes = 0;
    std::mt19937_64 rng{20261209};
    std::uint64_t moment = 1700000000;
};
Fixture g;

void floorReadAndCountLines(benchmark::State& state) {
    for (auto _ : state) {
        auto text = readWholeFile(g.log.string());
        std::size_t lines = 0;
        for (const char *p = text->data(), *end = p + text->size(); (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))); ++p)
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g.bytes));
}

void parseWholeLog(benchmark::State& state) {
    for (auto _ : state) {
        JobLog log;
        log.update(g.log.string());
        benchmark::DoNotOptimize(log.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g.bytes));
}

// Each iteration appends one line and reads the log again: what a refresh
// costs after a task finished.
void rereadAfterOneAppendedLine(benchmark::State& state) {
    JobLog log;
    log.update(g.log.string());
    std::ofstream out(g.log, std::ios::app | std::ios::binary);
    for (auto _ : state) {
        state.PauseTiming();
        out << jobLogLine(g.rng, ++g.moment) << std::flush;
        state.ResumeTiming();
        log.update(g.log.string());
    }
    benchmark::DoNotOptimize(log.size());
}

// A refresh of the history directory when nothing changed: a listing and a
// stat per file.
void unchangedHistoryRefresh(benchmark::State& state) {
    History h;
    h.refresh(g.dir.string());
    for (auto _ : state) benchmark::DoNotOptimize(h.refresh(g.dir.string()));
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args{argv[0]};
    static char reps[] = "--benchmark_repetitions=9";
    args.push_back(reps);
    std::size_t lines = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--lines" && i + 1 < argc) lines = std::stoul(argv[++i]);
        else args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    std::string pattern = (fs::temp_directory_path() / "crunchwatch-bench-history-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    g.dir = pattern;
    g.log = g.dir / "job_log_einstein.phys.uwm.edu.txt";
    {
        std::ofstream out(g.log, std::ios::binary);
        for (std::size_t i = 0; i < lines; ++i) out << jobLogLine(g.rng, g.moment += 60);
        for (int p = 0; p < 40; ++p) std::ofstream(g.dir / ("statistics_p" + std::to_string(p) + ".xml")) << "<x/>";
    }
    g.lines = lines;
    g.bytes = fs::file_size(g.log);
    std::cout << "job log: " << lines << " lines, " << static_cast<double>(g.bytes) / 1e6 << " MB\n";

    // Memory first, on a fresh heap: what one log holds, and how far the
    // process grew to read it.
    const std::size_t before = residentBytes();
    std::size_t held = 0;
    {
        JobLog log;
        log.update(g.log.string());
        held = log.memoryBytes();
        std::cout << "history memory: " << static_cast<double>(held) / 1e6 << " MB held ("
                  << static_cast<double>(held) / static_cast<double>(g.bytes) << "x the file), resident growth "
                  << static_cast<double>(residentBytes() - before) / static_cast<double>(g.bytes) << "x\n";
    }

    benchmark::RegisterBenchmark("floor_read_and_count_lines", floorReadAndCountLines)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("parse_whole_log", parseWholeLog)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("reread_after_one_appended_line", rereadAfterOneAppendedLine)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("unchanged_history_refresh", unchangedHistoryRefresh)->Unit(benchmark::kMicrosecond);
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double floor = reporter.median("floor_read_and_count_lines"), parse = reporter.median("parse_whole_log");
    const double append = reporter.median("reread_after_one_appended_line");
    const double ratio = floor > 0 ? parse / floor : 0, memory = static_cast<double>(held) / static_cast<double>(g.bytes);
    std::cout << "\nSummary (medians)\n"
              << "  floor, read and count lines:   " << floor * 1e3 << " ms\n"
              << "  parse the whole log:           " << parse * 1e3 << " ms (" << ratio << "x the floor; target 3x)\n"
              << "  re-read after one line:        " << append * 1e6 << " us (target under 1000 us)\n"
              << "  unchanged directory refresh:   " << reporter.median("unchanged_history_refresh") * 1e6 << " us (41 files)\n"
              << "  memory held:                   " << memory << "x the file (target 2x)\n";
    std::error_code ec;
    fs::remove_all(g.dir, ec);
    benchmark::Shutdown();
    return ratio <= 3 && append < 1e-3 && memory <= 2 ? 0 : 1;
}

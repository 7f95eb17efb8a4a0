// crunchwatch-bench-words: the event log reader on a generated stdoutdae.txt
// of 2 MB, the size at which the client rotates it (fixed seed): the floor
// (read the file and count its lines with memchr), a full parse, the re-read
// after one appended line; then the log's memory against the file's size,
// and the notices reader on an archive of 1,000 notices. Ends with a summary
// and the targets.
//
// usage: crunchwatch-bench-words [--megabytes N] [Google Benchmark flags]

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

#include "bench/median_reporter.hpp"
#include "state/event_log.hpp"
#include "state/file_read.hpp"
#include "state/notices.hpp"

namespace {

namespace fs = std::filesystem;
using namespace crunchwatch;

// Lines as a busy client writes them: task starts and ends, transfers,
// scheduler requests, now and then a debug line with a long text.
std::string logLine(std::mt19937_64& rng, int second) {
    static const char* const projects[] = {"Einstein@Home", "Rosetta@home", "World Community Grid", "---", "LHC@home"};
    static const char* const texts[] = {
        "Starting task h1_%04u.%02u_O3aC01Cl1In0__O3AS1a_%04u.50Hz_%u_0",
        "Computation for task MCM1_%07u_%04u_%u_%u finished",
        "Started download of de_modfit_14_bundle4_3s_south4s_%u_%u_%u_%u",
        "Finished upload of 5x5_denovo_cyc_pep_v3_SAVE_ALL_OUT_%u_%u_%u_%u_0_r%u",
        "Sending scheduler request: To fetch work.",
        "Scheduler request completed: got %u new tasks",
        "[sched_op] CPU work request: %u.00 seconds; 0.00 devices",
        "Not requesting tasks: don't need (CPU: job cache full; NVIDIA GPU: ) %u %u %u %u"};
    std::uniform_int_distribution<unsigned> n(0, 9999999);
    char text[256], line[400];
    std::snprintf(text, sizeof text, texts[rng() % 8], n(rng) % 10000, n(rng) % 100, n(rng), n(rng), n(rng));
    std::snprintf(line, sizeof line, "09-Dec-2026 %02d:%02d:%02d [%s] %s\n", second / 3600 % 24, second / 60 % 60,
                  second % 60, projects[rng() % 5], text);
    return line;
}

std::string noticesArchive(std::size_t count) {
    std::string text = "<notices>\n";
    for (std::size_t i = 0; i < count; ++i)
        text += "<notice>\n    <title>News " + std::to_string(i) +
                "</title>\n    <description><![CDATA[<p>We have released a new application version; "
                "see <a href=\"https://example.invalid/forum\">the forum</a>.</p>]]></description>\n"
                "    <create_time>" + std::to_string(1700000000 + i * 3600) + ".000000</create_time>\n"
                "    <arrival_time>1796825131.000000</arrival_time>\n    <is_private>0</is_private>\n"
                "    <project_name>Einstein@Home</project_name>\n    <category>news</category>\n"
                "    <link><![CDATA[https://example.invalid/n/" + std::to_string(i) + "]]></link>\n"
                "    <guid>https://example.invalid/n/" + std::to_string(i) + "</guid>\n</notice>\n";
    return text + "</notices>\n";
}

struct Fixture {
    fs::path dir, log, archive;
    std::size_t bytes = 0;
    std::mt19937_64 rng{20261209};
    int second = 0;
};
Fixture g;

void floorReadAndCountLines(benchmark::State& state) {
    for (auto _ : state) {
        auto text = readWholeFile(g.log.string());
        std::size_t lines = 0;
        for (const char *p = text->data(), *end = p + text->size();
             (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))); ++p)
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g.bytes));
}

void parseWholeLog(benchmark::State& state) {
    for (auto _ : state) {
        EventLog log;
        ReadFailure why{};
        EventLogFile(g.log.string(), std::nullopt).readOn(log, why);
        benchmark::DoNotOptimize(log.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g.bytes));
}

// Each iteration appends one line and reads on: what the watchdog's tick
// costs when the client wrote a message.
void rereadAfterOneAppendedLine(benchmark::State& state) {
    EventLog log;
    ReadFailure why{};
    EventLogFile file(g.log.string(), std::nullopt);
    file.readOn(log, why);
    std::ofstream out(g.log, std::ios::app | std::ios::binary);
    for (auto _ : state) {
        state.PauseTiming();
        out << logLine(g.rng, ++g.second) << std::flush;
        state.ResumeTiming();
        file.readOn(log, why);
    }
    benchmark::DoNotOptimize(log.size());
}

void readNoticesArchive1000(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(readNoticeFiles(g.dir.string() + "/").notices.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args{argv[0]};
    static char reps[] = "--benchmark_repetitions=9";
    args.push_back(reps);
    double megabytes = 2;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--megabytes" && i + 1 < argc) megabytes = std::stod(argv[++i]);
        else args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    std::string pattern = (fs::temp_directory_path() / "crunchwatch-bench-words-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    g.dir = pattern;
    g.log = g.dir / "stdoutdae.txt";
    {
        std::ofstream out(g.log, std::ios::binary);
        for (std::size_t written = 0; written < megabytes * 1e6;) {
            const std::string line = logLine(g.rng, ++g.second);
            out << line;
            written += line.size();
        }
        fs::create_directory(g.dir / "notices");
        std::ofstream(g.dir / "notices" / "archive_einstein.phys.uwm.edu_forum_rss.xml") << noticesArchive(1000);
    }
    g.bytes = fs::file_size(g.log);
    std::size_t held = 0, entries = 0;
    {
        EventLog log;
        ReadFailure why{};
        EventLogFile(g.log.string(), std::nullopt).readOn(log, why);
        held = log.memoryBytes();
        entries = log.size();
    }
    std::cout << "event log: " << entries << " entries, " << static_cast<double>(g.bytes) / 1e6 << " MB\n";

    benchmark::RegisterBenchmark("floor_read_and_count_lines", floorReadAndCountLines)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("parse_whole_log", parseWholeLog)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("reread_after_one_appended_line", rereadAfterOneAppendedLine)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("read_notices_archive_1000", readNoticesArchive1000)->Unit(benchmark::kMillisecond);
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double floor = reporter.median("floor_read_and_count_lines"), parse = reporter.median("parse_whole_log");
    const double append = reporter.median("reread_after_one_appended_line");
    const double ratio = floor > 0 ? parse / floor : 0, memory = static_cast<double>(held) / static_cast<double>(g.bytes);
    std::cout << "\nSummary (medians)\n"
              << "  floor, read and count lines:   " << floor * 1e3 << " ms\n"
              << "  parse the whole log:           " << parse * 1e3 << " ms (" << ratio << "x the floor; target 3x)\n"
              << "  re-read after one line:        " << append * 1e6 << " us (target under 1000 us)\n"
              << "  1,000 notices:                 " << reporter.median("read_notices_archive_1000") * 1e3 << " ms\n"
              << "  memory held:                   " << memory << "x the file (target 2x)\n";
    std::error_code ec;
    fs::remove_all(g.dir, ec);
    benchmark::Shutdown();
    return ratio <= 3 && append < 1e-3 && memory <= 2 ? 0 : 1;
}

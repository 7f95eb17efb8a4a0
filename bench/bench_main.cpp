// crunchwatch-bench: one run measures, side by side on the typical and the
// big generated state file, the floor (read the file, count its lines), a
// DOM parser doing the same job, our own refresh (with its stages), the
// window's part of a refresh offscreen, a watchdog tick, and the headless
// dump as a whole process (text tables and Prometheus metrics); then the peak
// memory of a refresh, in a child process of its own. It ends with a summary
// and the targets.
//
// usage: crunchwatch-bench [--state-dir DIR] [Google Benchmark flags]
// Default flags: --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench/children.hpp"
#include "bench/counting.hpp"
#include "bench/dom_refresh.hpp"
#include "bench/memory_shapes.hpp"
#include "bench/refresh_paths.hpp"
#include "bench/state_generator.hpp"
#include "state/file_read.hpp"
#include "state/projects.hpp"
#include "state/sections.hpp"
#include "tables/rows.hpp"
#include "tables/snapshot.hpp"
#include "tables/refresher.hpp"
#include "tables/results_cells.hpp"
#include "tables/table_definition.hpp"
#if CRUNCHWATCH_BENCH_WINDOW
#include "bench/window_bench.hpp"
#include "tables/columns.hpp"
#endif

namespace crunchwatch::bench {
namespace {

struct PresetFile {
    const StatePreset* preset;
    std::string path;
    std::size_t size;
};

double megabytes(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

// ------------------------------------------------------------ timing capture

struct Timing {
    std::vector<double> seconds;  // per iteration, one per repetition
    double median() const {
        std::vector<double> s = seconds;
        std::sort(s.begin(), s.end());
        const std::size_t n = s.size();
        return n == 0 ? 0 : (n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2);
    }
    double min() const { return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end()); }
    double max() const { return seconds.empty() ? 0 : *std::max_element(seconds.begin(), seconds.end()); }
};

// Shows the aggregates on the console and keeps every repetition's time for
// the summary.
class CapturingReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate) {
                shown.push_back(r);
            } else if (!r.error_occurred && r.iterations > 0) {
                m_timings[r.run_name.function_name].seconds.push_back(
                    r.real_accumulated_time / static_cast<double>(r.iterations));
            }
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }
    const Timing* timing(const std::string& name) const {
        const auto it = m_timings.find(name);
        return it == m_timings.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Timing> m_timings;
};

// ---------------------------------------------------------------- benchmarks

template <class F>
void registerCase(const std::string& name, const PresetFile& file, double minTime, F&& pass) {
    const std::size_t size = file.size;
    benchmark::RegisterBenchmark(name.c_str(), [pass, size](benchmark::State& state) {
        for (auto _ : state) {
            auto r = pass();
            benchmark::DoNotOptimize(r);
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
    })
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime()
        ->MinTime(minTime);
}

std::string caseName(std::string_view what, const PresetFile& f) { return std::string(what) + "/" + std::string(f.preset->name); }

#if CRUNCHWATCH_BENCH_WINDOW
std::map<std::string, std::unique_ptr<OffscreenWindow>> g_windows;
OffscreenWindow& windowFor(const std::string& path, int sortColumn = -1) {
    auto& w = g_windows[path + "#" + std::to_string(sortColumn)];
    if (!w) {
        w = std::make_unique<OffscreenWindow>(path);
        if (sortColumn >= 0) w->sortResults(sortColumn);
    }
    return *w;
}
// The results table's columns the sorted resets sort by: a moment, and a text
// that differs on every row.
constexpr int completesColumn = indexOf(ResultColumn::ETC);
constexpr int workUnitColumn = indexOf(ResultColumn::WUnit);
#endif

void registerAll(const std::vector<PresetFile>& files) {
    for (const PresetFile& f : files) {
        const bool big = f.size > 8'000'000;
        const double t = big ? 0.3 : 0.1;
        const std::string path = f.path;
        registerCase(caseName("floor", f), f, t, [path] { return floorPass(path); });
        registerCase(caseName("pugixml", f), f, t, [path] { return domRefresh(path); });
        registerCase(caseName("ours", f), f, t, [path] { return oursRefresh(path); });
        registerCase(caseName("ours.read", f), f, t, [path] { return readWholeFile(path).has_value(); });
        registerCase(caseName("ours.prepare", f), f, t, [path] { return przygotujPlik(path).has_value(); });
        registerCase(caseName("ours.load", f), f, t, [path] { return loadClientState(path).has_value(); });
        registerCase(caseName("ours.rows", f), f, t, [path] { return takeSnapshot(path).rows.main_result_table.size(); });
        {
            // The alert rules over a value already made: what each refresh adds.
            const auto text = readWholeFile(path);
            const RefreshValuePtr value = valueOfText(text ? text->view() : std::string_view());
            registerCase(caseName("ours.alerts", f), f, t, [value] {
                return evaluateAlerts(*value, AlertThresholds{}, &value->alerts->memory).alerts.size();
            });
        }
#if CRUNCHWATCH_BENCH_WINDOW
        registerCase(caseName("window.update", f), f, t, [path] {
            windowFor(path).update();
            return windowFor(path).resultPaints();
        });
        // The time reported is the longest the window's thread was busy on
        // one event during an Update: its sort, model reset and paint.
        benchmark::RegisterBenchmark(caseName("window.busy", f).c_str(), [path](benchmark::State& state) {
            for (auto _ : state) state.SetIterationTime(windowFor(path, completesColumn).update());
        })
            ->Unit(benchmark::kMicrosecond)
            ->UseManualTime()
            ->MinTime(t);
        registerCase(caseName("window.reset_paint", f), f, 0.1, [path] {
            windowFor(path).resetAndPaint();
            return windowFor(path).resultPaints();
        });
        registerCase(caseName("window.reset_sorted_completes", f), f, 0.1, [path] {
            windowFor(path, completesColumn).resetAndPaint();
            return windowFor(path, completesColumn).resultPaints();
        });
        registerCase(caseName("window.reset_sorted_work_unit", f), f, 0.1, [path] {
            windowFor(path, workUnitColumn).resetAndPaint();
            return windowFor(path, workUnitColumn).resultPaints();
        });
        registerCase(caseName("tick", f), f, 0.1, [path] {
            windowFor(path).tick();
            return 0;
        });
#endif
        const std::string dump = CRUNCHWATCH_DUMP_EXE;
        const std::string reader = CRUNCHWATCH_READ_FILE_EXE;
        registerCase(caseName("process.read", f), f, t, [reader, path] { return runProcess({reader, path}); });
        registerCase(caseName("process.dump", f), f, t, [dump, path] {
            return runProcess({dump, "--now", "1796150000", path});
        });
        registerCase(caseName("process.prometheus", f), f, t, [dump, path] {
            return runProcess({dump, "--prometheus", "--now", "1796150000", path});
        });
        registerCase(caseName("process.prometheus_tasks", f), f, t, [dump, path] {
            return runProcess({dump, "--prometheus-tasks", "--now", "1796150000", path});
        });
    }
}

// ------------------------------------------------------------------ summary

std::string fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string timeText(double s) {
    if (s >= 1e-3) return fixed(s * 1e3, 2) + " ms";
    if (s >= 1e-6) return fixed(s * 1e6, 2) + " us";
    return fixed(s * 1e9, 0) + " ns";
}

std::string cpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
    return "unknown";
}

struct Targets {
    std::vector<std::string> lines;
    bool allMet = true;
    void check(bool met, const std::string& what) {
        lines.push_back(std::string(met ? "  met     " : "  MISSED  ") + what);
        allMet = allMet && met;
    }
};

const char* const caseTitles[][2] = {
    {"floor", "floor: read + count lines"},
    {"pugixml", "pugixml DOM + same tables"},
    {"ours", "ours: full refresh + cells"},
    {"ours.read", "  stage: read"},
    {"ours.prepare", "  stage: + normalise, sections"},
    {"ours.load", "  stage: + records"},
    {"ours.rows", "  stage: + rows, totals"},
    {"window.update", "window: Update + paint"},
    {"window.busy", "  window's thread busy (longest)"},
    {"window.reset_paint", "window: model reset + paint"},
    {"window.reset_sorted_completes", "  sorted by Completes"},
    {"window.reset_sorted_work_unit", "  sorted by Work unit"},
    {"tick", "watchdog tick (unchanged)"},
    {"process.read", "process: read the file"},
    {"process.dump", "process: crunchwatch-dump"},
    {"process.prometheus", "process: dump --prometheus"},
    {"process.prometheus_tasks", "process: dump --prometheus-tasks"},
};

// ------------------------------------------------------- memory on any input

// The dump's modes, each measured as a whole process.
constexpr std::array<std::pair<const char*, const char*>, 4> dumpModes{{
    {"text", nullptr}, {"json", "--json"}, {"prom", "--prometheus"}, {"tasks", "--prometheus-tasks"}}};

std::vector<std::string> dumpArgs(std::size_t mode, const std::string& path) {
    std::vector<std::string> args{CRUNCHWATCH_DUMP_EXE};
    if (dumpModes[mode].second) args.emplace_back(dumpModes[mode].second);
    args.push_back(path);
    return args;
}

// One file's peak memory, each figure divided by the file's size: one
// refresh in a process of its own (the larger of resident and heap growth),
// the window opened on it, and crunchwatch-dump in each mode as a whole
// process with the processor time it took; the last two above what they
// need for an empty state file.
struct FileMemory {
    std::string name, description;
    double size = 0;
    std::optional<double> ours, window;
    std::array<std::optional<double>, dumpModes.size()> dump{}, dumpSeconds{};
};

// The memory bound: whatever the file holds, a refresh needs at most this
// many times its size (the file's own text included), plus a constant.
constexpr double memoryBound = 3.0;
// And the dump takes at most this long for each 10 MB of file, in every mode.
constexpr double secondsPer10MB = 1.0;

// What the window and the dump in each mode need for a state file without projects.
struct MemoryBaseline {
    double window = 0;
    std::array<double, dumpModes.size()> dump{};
};

FileMemory measureFileMemory(std::string name, std::string description, const std::string& path,
                             const MemoryBaseline& baseline) {
    FileMemory m{std::move(name), std::move(description), static_cast<double>(std::filesystem::file_size(path)), {}, {}, {}, {}};
    if (const auto ours = measurePeakMemory("ours", path)) m.ours = std::max(ours->rssGrowth, ours->heapGrowth) / m.size;
#if CRUNCHWATCH_BENCH_WINDOW
    if (const auto window = measurePeakMemory("window", path))
        m.window = std::max(0.0, window->rssGrowth - baseline.window) / m.size;
#endif
    for (std::size_t mode = 0; mode < dumpModes.size(); ++mode)
        if (const auto cost = processCost(dumpArgs(mode, path))) {
            m.dump[mode] = std::max(0.0, cost->peakBytes - baseline.dump[mode]) / m.size;
            m.dumpSeconds[mode] = cost->seconds;
        }
    return m;
}

std::vector<FileMemory> measureMemory(const std::vector<PresetFile>& presets, const std::filesystem::path& dir,
                                      MemoryBaseline& baseline) {
    const std::filesystem::path empty = dir / "empty_client_state.xml";
    std::ofstream(empty) << "<client_state></client_state>\n";
    for (std::size_t mode = 0; mode < dumpModes.size(); ++mode)
        baseline.dump[mode] = processCost(dumpArgs(mode, empty.string())).value_or(ProcessCost{}).peakBytes;
#if CRUNCHWATCH_BENCH_WINDOW
    if (const auto window = measurePeakMemory("window", empty.string())) baseline.window = window->rssGrowth;
#endif
    std::vector<FileMemory> out;
    for (const PresetFile& f : presets)
        out.push_back(measureFileMemory(std::string(f.preset->name), "generated, real-shaped", f.path, baseline));
    for (const MemoryShape& shape : memoryShapes) {
        const std::filesystem::path file = dir / (std::string(shape.name) + "_shape.xml");
        {
            const std::string text = generateMemoryShape(shape.name);
            std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
        }
        out.push_back(measureFileMemory(std::string(shape.name), std::string(shape.description), file.string(), baseline));
        std::filesystem::remove(file);
    }
    return out;
}

std::string ratioText(const std::optional<double>& r) { return r ? fixed(*r, 2) + "x" : std::string("-"); }
std::string secondsText(const std::optional<double>& s) { return s ? fixed(*s, 2) + "s" : std::string("-"); }

void printMemory(const std::vector<FileMemory>& files, const MemoryBaseline& baseline, Targets& targets) {
    std::cout << "memory on any input: peak of one pass over the file's size, the file's text included\n"
              << "  ours    = one refresh in a process of its own (the larger of resident and heap growth)\n"
              << "  window  = the window opened on the file, resident growth after Qt's start-up, above its\n"
              << "            " << fixed(baseline.window / 1e6, 1) << " MB on an empty state file (the first paint's fonts and styles)\n"
              << "  text, json, prom, tasks = crunchwatch-dump, --json, --prometheus, --prometheus-tasks as whole\n"
              << "            processes, above their " << fixed(baseline.dump[0] / 1e6, 1) << " to "
              << fixed(*std::max_element(baseline.dump.begin(), baseline.dump.end()) / 1e6, 1)
              << " MB on an empty state file, and the processor time each took\n";
    std::printf("  %-9s %-46s %7s %7s %7s", "file", "", "MB", "ours", "window");
    for (const auto& mode : dumpModes) std::printf(" %7s %6s", mode.first, "");
    std::printf("\n");
    for (const FileMemory& f : files) {
        std::printf("  %-9s %-46s %7.2f %7s %7s", f.name.c_str(), f.description.c_str(), f.size / 1e6,
                    ratioText(f.ours).c_str(), ratioText(f.window).c_str());
        for (std::size_t mode = 0; mode < dumpModes.size(); ++mode)
            std::printf(" %7s %6s", ratioText(f.dump[mode]).c_str(), secondsText(f.dumpSeconds[mode]).c_str());
        std::printf("\n");
        double worst = std::max(f.ours.value_or(99), f.window.value_or(0));
        double slowest = 0;
        for (std::size_t mode = 0; mode < dumpModes.size(); ++mode) {
            worst = std::max(worst, f.dump[mode].value_or(99));
            slowest = std::max(slowest, f.dumpSeconds[mode].value_or(99) / (f.size / 1e7));
        }
        targets.check(worst <= memoryBound, f.name + ": peak memory within " + fixed(memoryBound, 0) +
                                                "x the file in a refresh, the window and every mode of the dump (" +
                                                fixed(worst, 2) + "x)");
        // A small file's time is the process's start.
        if (f.size >= 1e6)
            targets.check(slowest <= secondsPer10MB, f.name + ": every mode of the dump within " +
                                                         fixed(secondsPer10MB, 0) + " s per 10 MB (" +
                                                         fixed(slowest, 2) + " s)");
    }
    std::cout << "\n";
}

struct TickCounts {
    HeapCounts heap;
    FileCallCounts calls;
    int ticks = 0;
    int statsPerTick = 0;  // the state file's, the lockfile's, and one per running task's slot file
    bool refreshed = false;
};

// What a tick asks of the file system on an unchanged folder without a
// lockfile: the state file's attributes, the lockfile's (absent, so never
// opened), and the checkpoint file's of each task shown as running.
int tickStats(const std::string& path) {
    const RefreshValuePtr value = Refresher().refresh(StatePath(path));
    int running = 0;
    for (std::size_t i = 0; i < resultsTable.size(*value); ++i) {
        const resultRow row = resultRowOf(*value, i);
        if (row.get(Key::slot) && stateText(row) == "running...") ++running;
    }
    return 2 + running;
}

int printSummary(const CapturingReporter& rep, const std::vector<PresetFile>& files,
                 const std::map<std::string, TickCounts>& ticks, const std::filesystem::path& dir) {
    Targets targets;
    std::cout << "\n==== crunchwatch benchmark summary\n"
              << "machine: " << cpuModel() << ", " << ::sysconf(_SC_NPROCESSORS_ONLN) << " cores online\n"
              << "times: median over the repetitions of the time per pass (min..max in brackets)\n\n";
    for (const PresetFile& f : files) {
        const std::string p(f.preset->name);
        std::cout << p << " preset: " << fixed(megabytes(f.size), 2) << " MB, " << f.preset->projects << " projects, "
                  << f.preset->results << " results\n";
        const Timing* floorT = rep.timing("floor/" + p);
        const Timing* domT = rep.timing("pugixml/" + p);
        const Timing* oursT = rep.timing("ours/" + p);
        std::printf("  %-31s %12s %10s %9s   %s\n", "case", "median", "MB/s", "x floor", "spread");
        for (const auto& [id, title] : caseTitles) {
            const Timing* t = rep.timing(std::string(id) + "/" + p);
            if (!t || t->seconds.empty()) continue;
            const double m = t->median();
            const std::string mbps = std::string_view(id) == "tick" ? "-" : fixed(megabytes(f.size) / m, 0);
            const std::string xf = floorT ? fixed(m / floorT->median(), 2) : "-";
            std::printf("  %-31s %12s %10s %9s   [%s..%s]\n", title, timeText(m).c_str(), mbps.c_str(), xf.c_str(),
                        timeText(t->min()).c_str(), timeText(t->max()).c_str());
        }
        if (oursT && floorT && domT) {
            const double toFloor = oursT->median() / floorT->median();
            const double toDom = oursT->median() / domT->median();
            std::cout << "  ours/floor = " << fixed(toFloor, 2) << "   ours/pugixml = " << fixed(toDom, 3) << "\n";
            if (p == "big") {
                targets.check(toFloor <= 2.0, "big: full refresh <= 2x the floor (" + fixed(toFloor, 2) + "x)");
                targets.check(toDom <= 0.4, "big: full refresh <= 0.4x pugixml (" + fixed(toDom, 3) + "x)");
            } else if (p == "typical") {
                targets.check(oursT->median() < 2e-3,
                              "typical: full refresh under 2 ms in-process (" + timeText(oursT->median()) + ")");
            }
        }
        const Timing* reset = rep.timing("window.reset_paint/" + p);
        if (reset && p == "big") {
            if (const Timing* small = rep.timing("window.reset_paint/typical")) {
                const double ratio = reset->median() / small->median();
                std::cout << "  model reset + paint, big/typical = " << fixed(ratio, 2)
                          << " (the view's cost does not follow the row count)\n";
            }
        }
        if (const Timing* busy = rep.timing("window.busy/" + p); busy && p == "big")
            targets.check(busy->max() <= 16e-3, "big: the window's thread busy at most 16 ms at a time during a "
                                                 "sorted refresh (longest " + timeText(busy->max()) + ")");
        for (const auto& [id, column] : {std::pair{"window.reset_sorted_completes", "Completes"},
                                         std::pair{"window.reset_sorted_work_unit", "Work unit"}}) {
            const Timing* t = rep.timing(std::string(id) + "/" + p);
            if (t && p == "big")
                targets.check(t->median() < 20e-3, std::string("big: model reset + paint sorted by ") + column +
                                                       " under 20 ms (" + timeText(t->median()) + ")");
        }
        const Timing* dumpT = rep.timing("process.dump/" + p);
        const Timing* readT = rep.timing("process.read/" + p);
        if (dumpT && readT) {
            const double r = dumpT->median() / readT->median();
            std::cout << "  crunchwatch-dump (text) / read-only process = " << fixed(r, 2) << "\n";
            if (p == "big") targets.check(r <= 2.5, "big: crunchwatch-dump within 2.5x of a process that only reads "
                                                    "the file (" + fixed(r, 2) + "x)");
        }
        // The metrics against the text dump, both as whole processes.
        const Timing* promT = rep.timing("process.prometheus/" + p);
        const Timing* tasksT = rep.timing("process.prometheus_tasks/" + p);
        if (dumpT && promT && tasksT) {
            const double r = promT->median() / dumpT->median();
            const double rt = tasksT->median() / dumpT->median();
            std::cout << "  --prometheus / text dump = " << fixed(r, 2) << "   --prometheus-tasks / text dump = "
                      << fixed(rt, 2) << "\n";
            if (p == "big") {
                targets.check(r <= 1.0, "big: --prometheus costs no more than the text dump (" + fixed(r, 2) + "x)");
                targets.check(rt < 2.0, "big: --prometheus-tasks under 2x the text dump (" + fixed(rt, 2) + "x)");
            }
        }

        std::cout << "  peak memory of one pass, each in a child process of its own (median of 3):\n"
                  << "    rss = growth of the child's resident high-water mark (VmHWM, reset through\n"
                  << "    /proc/self/clear_refs) over its resident set before the pass;\n"
                  << "    heap = peak live bytes above that level, counted in operator new (ours) and in\n"
                  << "    pugixml's allocation functions (pugixml), the file buffer included\n";
        for (const char* mode : {"floor", "ours", "pugixml"}) {
            const auto m = measurePeakMemory(mode, f.path);
            if (!m) {
                std::cout << "    " << mode << ": could not be measured\n";
                continue;
            }
            std::printf("    %-8s rss %8.1f MB (%.2fx the file)   heap %8.1f MB (%.2fx the file)\n", mode,
                        m->rssGrowth / 1e6, m->rssGrowth / static_cast<double>(f.size), m->heapGrowth / 1e6,
                        m->heapGrowth / static_cast<double>(f.size));
            if (p == "big" && std::string_view(mode) == "ours") {
                const double worst = std::max(m->rssGrowth, m->heapGrowth) / static_cast<double>(f.size);
                targets.check(worst <= 2.0, "big: peak memory of a refresh <= 2x the file's size (" + fixed(worst, 2) +
                                                "x, the larger of rss and heap)");
            }
        }
        const auto tc = ticks.find(p);
        if (tc != ticks.end() && tc->second.ticks > 0) {
            const TickCounts& c = tc->second;
            const double n = c.ticks;
            std::cout << "  watchdog tick on the unchanged file, per tick over " << c.ticks << " ticks: "
                      << fixed(static_cast<double>(c.calls.stats) / n, 2) << " stat, "
                      << fixed(static_cast<double>(c.calls.opens) / n, 2) << " open, "
                      << fixed(static_cast<double>(c.heap.allocations) / n, 2) << " allocations of "
                      << fixed(static_cast<double>(c.heap.bytes) / n, 1) << " bytes"
                      << (c.refreshed ? "  (it REFRESHED)" : "") << "\n";
        }
        std::cout << "\n";
    }
    const auto typicalTick = ticks.find("typical");
    const auto bigTick = ticks.find("big");
    if (typicalTick != ticks.end() && bigTick != ticks.end()) {
        const TickCounts& a = typicalTick->second;
        const TickCounts& b = bigTick->second;
        const bool oneStat = a.calls.stats == a.ticks * a.statsPerTick && b.calls.stats == b.ticks * b.statsPerTick;
        const bool noOpen = a.calls.opens == 0 && b.calls.opens == 0;
        // The date text holds the file's size in decimal: a few more digits
        // for a bigger file, within the same allocation. The tick's trip to
        // the reading thread and back allocates the same each time, but for
        // the event loop's own now and then (seen up to a few dozen in a
        // thousand ticks); one per running task would be 42 a tick here.
        const auto near = [](double x, double y, double slack) { return std::abs(x - y) <= slack; };
        const bool flat = near(static_cast<double>(a.heap.allocations), static_cast<double>(b.heap.allocations),
                               0.1 * a.ticks) &&
                          near(static_cast<double>(a.heap.bytes), static_cast<double>(b.heap.bytes),
                               0.05 * static_cast<double>(a.heap.bytes) + 16.0 * a.ticks);
        targets.check(oneStat && noOpen && flat && !a.refreshed && !b.refreshed,
                      "tick: a stat of the state file, the lockfile and each running task's slot file, no open, "
                      "allocations that do not grow with the file");
    }
    MemoryBaseline baseline;
    const std::vector<FileMemory> memory = measureMemory(files, dir, baseline);
    printMemory(memory, baseline, targets);
    std::cout << "targets:\n";
    for (const std::string& l : targets.lines) std::cout << l << "\n";
    return targets.allMet ? 0 : 3;
}

// The paths must agree before their times mean anything.
bool pathsAgree(const PresetFile& f) {
    const Snapshot ours = takeSnapshot(f.path);
    const auto dom = loadWithDom(f.path);
    if (!ours || !dom) return false;
    const ResultRows& a = ours.rows;
    const ResultRows b = buildResultRows(dom->projectInfo);
    return allCellTexts(ours.state.projectInfo, a) == allCellTexts(dom->projectInfo, b) &&
           a.totalCredit == b.totalCredit && a.totalShare == b.totalShare;
}

std::vector<PresetFile> writeStateFiles(const std::filesystem::path& dir) {
    std::vector<PresetFile> files;
    for (const StatePreset* preset : {&typicalPreset, &bigPreset}) {
        const std::string text = generateClientState(*preset);
        const std::filesystem::path file = dir / (std::string(preset->name) + "_client_state.xml");
        std::ofstream out(file, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) throw std::runtime_error("cannot write " + file.string());
        files.push_back({preset, file.string(), text.size()});
    }
    return files;
}

}  // namespace
}  // namespace crunchwatch::bench

int main(int argc, char** argv) {
    using namespace crunchwatch::bench;
    if (argc == 4 && std::string_view(argv[1]) == "--peak-memory") return peakMemoryChild(argv[2], argv[3]);
    if (argc == 5 && std::string_view(argv[1]) == "--repeat") return repeatForProfiling(argv[2], argv[3], argv[4]);
    if (argc >= 3 && std::string_view(argv[1]) == "--process-peak")
        return processPeakChild(std::vector<std::string>(argv + 2, argv + argc));
    if (argc == 2 && std::string_view(argv[1]) == "--memory-only") {
        // Only the memory table, without the timings.
        const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("crunchwatch-memory-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const std::vector<PresetFile> files = writeStateFiles(dir);
        Targets targets;
        MemoryBaseline baseline;
        const std::vector<FileMemory> memory = measureMemory(files, dir, baseline);
        printMemory(memory, baseline, targets);
        for (const std::string& l : targets.lines) std::cout << l << "\n";
        std::filesystem::remove_all(dir);
        return targets.allMet ? 0 : 3;
    }

    std::vector<char*> args{argv[0]};
    std::string stateDir;
    static char reps[] = "--benchmark_repetitions=7";
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.push_back(reps);
    args.push_back(interleave);
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--state-dir" && i + 1 < argc) stateDir = argv[++i];
        else args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
#if CRUNCHWATCH_BENCH_WINDOW
    QtApplication qt(count, args.data());
#endif

    const bool temporary = stateDir.empty();
    std::filesystem::path dir = stateDir;
    if (temporary) {
        std::string pattern = (std::filesystem::temp_directory_path() / "crunchwatch-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::cerr << "crunchwatch-bench: cannot make a temporary directory\n";
            return 1;
        }
        dir = pattern;
    } else {
        std::filesystem::create_directories(dir);
    }
    const std::vector<PresetFile> files = writeStateFiles(dir);
    for (const PresetFile& f : files) {
        const bool agree = pathsAgree(f);
        std::cout << f.preset->name << ": " << f.path << ", " << fixed(megabytes(f.size), 2) << " MB; pugixml path "
                  << (agree ? "gives the same cells as ours" : "DIFFERS from ours") << "\n";
        if (!agree) return 1;
    }

    registerAll(files);
    CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // The tick's calls and allocations, counted over many ticks.
    std::map<std::string, TickCounts> ticks;
#if CRUNCHWATCH_BENCH_WINDOW
    for (const PresetFile& f : files) {
        OffscreenWindow& w = windowFor(f.path);
        const int refreshes = w.refreshCount();
        TickCounts c;
        c.ticks = 1000;
        c.statsPerTick = tickStats(f.path);
        startCounting();
        for (int i = 0; i < c.ticks; ++i) w.tick();
        c.heap = heapCounts();
        c.calls = fileCallCounts();
        stopCounting();
        c.refreshed = w.refreshCount() != refreshes;
        ticks[std::string(f.preset->name)] = c;
    }
    g_windows.clear();
#endif
    const int status = printSummary(reporter, files, ticks, dir);
    if (temporary) {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    benchmark::Shutdown();
    return status;
}

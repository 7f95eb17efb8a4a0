// crunchwatch-bench-disk: the disk walk on a generated data folder of
// 100,000 files (fixed seed: four projects of folders of files of mixed
// sizes, a few running slots, the client's own files), beside `du -s` of the
// same folder run as a process, both timed alike after a warm-up, medians of
// repeated runs. Ends with a summary and the target: the walk at most twice
// as long as du.
//
// usage: crunchwatch-bench-disk [--files N | --dir DATA_FOLDER] [Google Benchmark flags]
// --dir walks an existing data folder instead, every folder under its
// projects/ a project (and leaves it as it is).

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/median_reporter.hpp"
#include "state/disk_usage.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace crunchwatch;

struct Fixture {
    fs::path dir;
    std::vector<ProjectFolders> projects;
    std::size_t files = 100'000;
    bool made = true;
};
Fixture g;

// A data folder as a busy client keeps it: each project's files in folders
// of about a thousand, most small, some of a few hundred kilobytes; two
// slots per project; the state file and logs at the top; a locale folder.
void makeDataFolder(std::size_t files) {
    std::mt19937_64 rng(20261210);
    const std::string chunk(300'000, 'x');
    const auto write = [&](const fs::path& p) {
        const std::size_t bytes = rng() % 10 == 0 ? 4096 + rng() % 300'000 : rng() % 4000;
        std::ofstream(p, std::ios::binary).write(chunk.data(), static_cast<std::streamsize>(bytes));
    };
    const char* const names[] = {"einstein.phys.uwm.edu", "boinc.bakerlab.org_rosetta", "www.worldcommunitygrid.org",
                                 "lhcathome.cern.ch_lhcathome"};
    std::size_t made = 0;
    for (int p = 0; p < 4; ++p) {
        g.projects.push_back({names[p], {std::to_string(2 * p), std::to_string(2 * p + 1)}});
        for (const std::string& slot : g.projects.back().slotDirs) {
            fs::create_directories(g.dir / "slots" / slot);
            for (int i = 0; i < 20; ++i, ++made) write(g.dir / "slots" / slot / ("out_" + std::to_string(i)));
        }
    }
    for (int i = 0; i < 20; ++i, ++made) write(g.dir / ("top_" + std::to_string(i) + ".xml"));
    fs::create_directories(g.dir / "locale/de");
    for (int i = 0; i < 20; ++i, ++made) write(g.dir / "locale/de" / ("BOINC-" + std::to_string(i) + ".mo"));
    for (std::size_t folder = 0; made < files; ++folder) {
        const fs::path f = g.dir / "projects" / g.projects[folder % 4].dir / ("set_" + std::to_string(folder));
        fs::create_directories(f);
        for (int i = 0; i < 1000 && made < files; ++i, ++made) write(f / ("wu_" + std::to_string(i)));
    }
}

void findProjects() {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(g.dir / "projects", ec))
        if (e.is_directory() && !e.is_symlink()) g.projects.push_back({e.path().filename().string(), {}});
}

DiskWalk walkOnce() { return walkDisk(g.dir.string(), g.projects); }

// `du -s` of the data folder, its output thrown away.
bool runDu() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const std::string dir = g.dir.string();
    char du[] = "du", s[] = "-s";
    char* argv[] = {du, s, const_cast<char*>(dir.c_str()), nullptr};
    pid_t child = 0;
    const int failed = ::posix_spawnp(&child, "du", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return failed == 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void walkDiskTree(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(walkOnce().projectsBytes());
}

void duTree(benchmark::State& state) {
    for (auto _ : state)
        if (!runDu()) state.SkipWithError("du -s failed");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args{argv[0]};
    static char reps[] = "--benchmark_repetitions=9";
    args.push_back(reps);
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--files" && i + 1 < argc) {
            g.files = std::stoul(argv[++i]);
        } else if (std::string_view(argv[i]) == "--dir" && i + 1 < argc) {
            g.dir = argv[++i];
            g.made = false;
        } else {
            args.push_back(argv[i]);
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    if (g.made) {
        std::string pattern = (fs::temp_directory_path() / "crunchwatch-bench-disk-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return 1;
        g.dir = pattern;
        makeDataFolder(g.files);
    } else {
        findProjects();
    }
    // The warm-up: both read the same folders, so both find them cached.
    const DiskWalk walk = walkOnce();
    const bool duRuns = runDu();
    std::cout << "data folder: " << walk.entries << " entries, " << walk.projectsBytes() + walk.clientBytes
              << " bytes counted" << (duRuns ? "" : "; du -s failed") << "\n";

    benchmark::RegisterBenchmark("walk_disk", walkDiskTree)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("du_s", duTree)->Unit(benchmark::kMillisecond)->UseRealTime();
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double walked = reporter.median("walk_disk"), du = reporter.median("du_s");
    const double ratio = du > 0 ? walked / du : 0;
    std::cout << "\nSummary (medians)\n"
              << "  walkDisk:  " << walked * 1e3 << " ms\n"
              << "  du -s:     " << du * 1e3 << " ms\n"
              << "  ratio:     " << ratio << "x du -s (target 2x)\n";
    std::error_code ec;
    if (g.made) fs::remove_all(g.dir, ec);
    benchmark::Shutdown();
    return duRuns && !walk.stopped && walk.problems.empty() && ratio <= 2 ? 0 : 1;
}

#pragma once
// Realistic client state files for the benchmarks, written from a fixed seed
// so that every run measures the same bytes: host information, projects with
// their forty-odd child elements, apps, files, app versions, workunits and
// results spread unevenly over the projects, and an active-task set, indented
// as the client writes its file.

#include <cstdint>
#include <string>
#include <string_view>

namespace crunchwatch::bench {

struct StatePreset {
    std::string_view name;
    int projects = 0;
    int results = 0;
    // Results of the one busiest project (0: no project stands out); the rest
    // are spread over the other projects, a few of which get none.
    int busiestProjectResults = 0;
    int activeTasks = 0;
};

// A desktop with a handful of projects: about 0.7 MB.
inline constexpr StatePreset typicalPreset{"typical", 8, 300, 0, 8};
// A big cruncher: forty projects, twenty thousand results, one project with
// several thousand of them: about 40 MB.
inline constexpr StatePreset bigPreset{"big", 40, 20000, 6000, 64};

inline constexpr std::uint64_t defaultSeed = 20260512;

// The whole file. The same preset and seed always give the same text.
std::string generateClientState(const StatePreset& preset, std::uint64_t seed = defaultSeed);

// The preset of that name ("typical" or "big"), or nullptr.
const StatePreset* presetNamed(std::string_view name);

}  // namespace crunchwatch::bench

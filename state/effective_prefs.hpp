#pragma once
// The preferences the client really uses: it applies the local override
// (global_prefs_override.xml, written by its manager) over the web
// preferences (global_prefs.xml); a value the override sets wins, the rest
// come from the web file, and what neither sets takes the client's default.
// Values are the files' text, verbatim.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace crunchwatch {

// globalPrefsOverrideLocation: "global_prefs_override.xml" beside the state file.
inline constexpr std::string_view prefsOverrideFileName = "global_prefs_override.xml";

enum class PrefSource : unsigned char { override_file, global_prefs, client_default };
// "override", "global_prefs", "default": the dump's words.
std::string_view prefSourceName(PrefSource source) noexcept;
// "global_prefs_override.xml", "global_prefs.xml", "the client's default": the window's.
std::string_view prefSourceText(PrefSource source) noexcept;

// What a preference is about, for grouping them.
enum class PrefGroup : unsigned char { computing, memory, disk, network, when };
std::string_view prefGroupText(PrefGroup group) noexcept;  // "Processor", "Memory", "Disk", "Network", "When to compute"

struct PrefName {
    std::string_view name;      // the element's name
    PrefGroup group;
    std::string_view label;     // for people: "Use at most (% of the processors)"
    std::string_view unit;      // "%", "GB", "minutes", "seconds", "days", "bytes/s", "MB", "hour", "" (a flag, 0/1)
    std::string_view fallback;  // the client's default, as text; empty when it has none worth naming
};
// Every preference shown, in the order shown.
extern const std::array<PrefName, 36> prefNames;

struct EffectivePref {
    std::string_view name;  // one of prefNames'
    std::string value;      // verbatim; a flag present as an empty element is "1"
    PrefSource source;
};

struct EffectivePrefs {
    // Every preference of prefNames that either file sets or that has a
    // default, in prefNames' order.
    std::vector<EffectivePref> values;
    bool overrideFound = false;  // the override file was there and read
    bool webFound = false;       // the web file's <global_preferences> was read

    const EffectivePref* find(std::string_view name) const noexcept;
    // The value as a number, when it is one (locale-independent).
    std::optional<double> number(std::string_view name) const noexcept;
};

// Merges the two files' <global_preferences> bodies (either may be absent).
// Only the top level counts: a <venue> block's values are another place's.
EffectivePrefs effectivePrefs(const std::optional<std::string>& overrideBody,
                              const std::optional<std::string>& webBody);

// What the client may use of the disk, as it computes it: the smallest of
// disk_max_used_gb x 2^30 (when above 0), d_total x disk_max_used_pct / 100
// (when above 0) and (the client's total + d_free) - disk_min_free_gb x 2^30,
// never below 0.
struct DiskAllowance {
    enum class Bound : unsigned char { max_used_gb, max_used_pct, min_free_gb };
    std::optional<double> bytes;  // none without d_total and d_free
    Bound bound = Bound::min_free_gb;  // the limit that set it
};
DiskAllowance diskAllowance(const EffectivePrefs& prefs, std::optional<double> dTotal, std::optional<double> dFree,
                            double clientTotalBytes);
std::string_view boundText(DiskAllowance::Bound bound) noexcept;  // "disk_max_used_gb", …

}  // namespace crunchwatch

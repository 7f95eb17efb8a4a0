#include "state/effective_prefs.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "state/scan.hpp"

namespace crunchwatch {
namespace {

using G = PrefGroup;

// The client's defaults are those Debian's 7.20.5 reports as its working
// preferences when neither file sets them. A limit of 0 means none.
constexpr std::array<PrefName, 36> names{{
    {"max_ncpus_pct", G::computing, "Use at most this share of the processors", "%", ""},
    {"max_ncpus", G::computing, "Use at most this many processors", "", ""},
    {"cpu_usage_limit", G::computing, "Use at most this share of processor time", "%", "100"},
    {"suspend_cpu_usage", G::computing, "Suspend when other programs use more processor than", "%", "25"},
    {"cpu_scheduling_period_minutes", G::computing, "Switch between tasks every", "minutes", "60"},
    {"work_buf_min_days", G::computing, "Store at least this much work", "days", "0.1"},
    {"work_buf_additional_days", G::computing, "Store up to this much more work", "days", "0.5"},
    {"leave_apps_in_memory", G::computing, "Leave tasks in memory while suspended", "", "0"},
    {"ram_max_used_busy_pct", G::memory, "Use at most this share of memory while the computer is in use", "%", "50"},
    {"ram_max_used_idle_pct", G::memory, "Use at most this share of memory while it is not in use", "%", "90"},
    {"vm_max_used_pct", G::memory, "Use at most this share of swap space", "%", "75"},
    {"disk_max_used_gb", G::disk, "Use no more than", "GB", "0"},
    {"disk_max_used_pct", G::disk, "Use no more than this share of the disk", "%", "90"},
    {"disk_min_free_gb", G::disk, "Leave at least this much free", "GB", "0.1"},
    {"disk_interval", G::disk, "Write to disk at most every", "seconds", "60"},
    {"dont_verify_images", G::disk, "Do not verify downloaded images", "", "0"},
    {"max_bytes_sec_down", G::network, "Limit download rate to", "bytes/s", "0"},
    {"max_bytes_sec_up", G::network, "Limit upload rate to", "bytes/s", "0"},
    {"daily_xfer_limit_mb", G::network, "Transfer at most", "MB", "0"},
    {"daily_xfer_period_days", G::network, "… every", "days", "0"},
    {"network_wifi_only", G::network, "Transfer only over Wi-Fi", "", "0"},
    {"confirm_before_connecting", G::network, "Confirm before connecting", "", "1"},
    {"hangup_if_dialed", G::network, "Hang up when done", "", "0"},
    {"run_on_batteries", G::when, "Compute while on batteries", "", "0"},
    {"run_if_user_active", G::when, "Compute while the computer is in use", "", "1"},
    {"run_gpu_if_user_active", G::when, "Use the GPU while the computer is in use", "", "0"},
    {"idle_time_to_run", G::when, "In use means input within the last", "minutes", "3"},
    {"suspend_if_no_recent_input", G::when, "Suspend when there was no input for", "minutes", "0"},
    {"start_hour", G::when, "Compute only from", "hour", "0"},
    {"end_hour", G::when, "… until", "hour", "0"},
    {"net_start_hour", G::when, "Transfer only from", "hour", "0"},
    {"net_end_hour", G::when, "… until", "hour", "0"},
    {"battery_charge_min_pct", G::when, "Compute only above this battery charge", "%", "90"},
    {"battery_max_temperature", G::when, "Compute only below this battery temperature", "°C", "40"},
    {"source_project", G::when, "Web preferences from", "", ""},
    {"mod_time", G::when, "Web preferences changed", "seconds since 1970", ""},
}};

// The stretches of a preferences body that are not its top level: another
// place's values (<venue>) and one weekday's hours (<day_prefs>).
std::vector<std::pair<std::size_t, std::size_t>> nestedBlocks(std::string_view body) {
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    for (const auto& [open, close] : {std::pair<std::string_view, std::string_view>{"<venue", "</venue>"},
                                      {"<day_prefs>", "</day_prefs>"}}) {
        for (std::size_t at = 0; (at = findFrom(body, open, at)) != std::string_view::npos;) {
            std::size_t end = findFrom(body, close, at);
            end = end == std::string_view::npos ? body.size() : end + close.size();
            blocks.emplace_back(at, end);
            at = end;
        }
    }
    // Merged where one lies in another (a venue's day_prefs), so that they
    // are ordered both by start and by end.
    std::sort(blocks.begin(), blocks.end());
    std::vector<std::pair<std::size_t, std::size_t>> merged;
    for (const auto& b : blocks) {
        if (!merged.empty() && b.first < merged.back().second) merged.back().second = std::max(merged.back().second, b.second);
        else merged.push_back(b);
    }
    return merged;
}

// The top-level value of `name` in `body`: "<name>value</name>", or "1" for
// a flag written as "<name/>". Searches skip the nested blocks, so the cost
// stays one pass per name.
std::optional<std::string> topLevelValue(std::string_view body,
                                         const std::vector<std::pair<std::size_t, std::size_t>>& nested,
                                         std::string_view name) {
    const std::string open = "<" + std::string(name) + ">";
    const std::string flag = "<" + std::string(name) + "/>";
    // Where the nested block holding `at` ends; `at` itself when none does.
    const auto skipNested = [&](std::size_t at) {
        auto b = std::upper_bound(nested.begin(), nested.end(), at,
                                  [](std::size_t x, const auto& block) { return x < block.second; });
        return b != nested.end() && b->first <= at ? b->second : at;
    };
    for (std::size_t at = 0; (at = findFrom(body, open, at)) != std::string_view::npos;) {
        if (const std::size_t after = skipNested(at); after != at) {
            at = after;
            continue;
        }
        const std::size_t from = at + open.size();
        const std::size_t end = findFrom(body, "</" + std::string(name) + ">", from);
        return std::string(body.substr(from, (end == std::string_view::npos ? body.size() : end) - from));
    }
    for (std::size_t at = 0; (at = findFrom(body, flag, at)) != std::string_view::npos;) {
        const std::size_t after = skipNested(at);
        if (after == at) return std::string("1");
        at = after;
    }
    return std::nullopt;
}

}  // namespace

const std::array<PrefName, 36> prefNames = names;

std::string_view prefSourceName(PrefSource source) noexcept {
    switch (source) {
        case PrefSource::override_file: return "override";
        case PrefSource::global_prefs: return "global_prefs";
        case PrefSource::client_default: break;
    }
    return "default";
}

std::string_view prefSourceText(PrefSource source) noexcept {
    switch (source) {
        case PrefSource::override_file: return prefsOverrideFileName;
        case PrefSource::global_prefs: return "global_prefs.xml";
        case PrefSource::client_default: break;
    }
    return "the client's default";
}

std::string_view prefGroupText(PrefGroup group) noexcept {
    switch (group) {
        case PrefGroup::computing: return "Processor";
        case PrefGroup::memory: return "Memory";
        case PrefGroup::disk: return "Disk";
        case PrefGroup::network: return "Network";
        case PrefGroup::when: break;
    }
    return "When to compute";
}

const EffectivePref* EffectivePrefs::find(std::string_view name) const noexcept {
    for (const EffectivePref& p : values)
        if (p.name == name) return &p;
    return nullptr;
}

std::optional<double> EffectivePrefs::number(std::string_view name) const noexcept {
    const EffectivePref* p = find(name);
    if (!p) return std::nullopt;
    std::string_view text = p->value;
    while (!text.empty() && (text.front() == ' ' || text.front() == '+')) text.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end == text.data() || !std::isfinite(v)) return std::nullopt;
    return v;
}

EffectivePrefs effectivePrefs(const std::optional<std::string>& overrideBody, const std::optional<std::string>& webBody) {
    EffectivePrefs prefs;
    prefs.overrideFound = overrideBody.has_value();
    prefs.webFound = webBody.has_value();
    const auto overrideNested = overrideBody ? nestedBlocks(*overrideBody) : decltype(nestedBlocks({})){};
    const auto webNested = webBody ? nestedBlocks(*webBody) : decltype(nestedBlocks({})){};
    for (const PrefName& n : prefNames) {
        if (overrideBody)
            if (auto v = topLevelValue(*overrideBody, overrideNested, n.name)) {
                prefs.values.push_back({n.name, std::move(*v), PrefSource::override_file});
                continue;
            }
        if (webBody)
            if (auto v = topLevelValue(*webBody, webNested, n.name)) {
                prefs.values.push_back({n.name, std::move(*v), PrefSource::global_prefs});
                continue;
            }
        if (!n.fallback.empty()) prefs.values.push_back({n.name, std::string(n.fallback), PrefSource::client_default});
    }
    return prefs;
}

DiskAllowance diskAllowance(const EffectivePrefs& prefs, std::optional<double> dTotal, std::optional<double> dFree,
                            double clientTotalBytes) {
    constexpr double gib = 1024.0 * 1024.0 * 1024.0;
    DiskAllowance a;
    if (!dTotal || !dFree) return a;
    const double maxGb = prefs.number("disk_max_used_gb").value_or(0);
    const double maxPct = prefs.number("disk_max_used_pct").value_or(0);
    const double minFree = prefs.number("disk_min_free_gb").value_or(0);
    double bytes = clientTotalBytes + *dFree - minFree * gib;
    a.bound = DiskAllowance::Bound::min_free_gb;
    if (maxGb > 0 && maxGb * gib < bytes) {
        bytes = maxGb * gib;
        a.bound = DiskAllowance::Bound::max_used_gb;
    }
    if (maxPct > 0 && *dTotal * maxPct / 100.0 < bytes) {
        bytes = *dTotal * maxPct / 100.0;
        a.bound = DiskAllowance::Bound::max_used_pct;
    }
    // Limits of absurd size leave no figure rather than an infinite one.
    if (std::isfinite(bytes)) a.bytes = std::max(0.0, bytes);
    return a;
}

std::string_view boundText(DiskAllowance::Bound bound) noexcept {
    switch (bound) {
        case DiskAllowance::Bound::max_used_gb: return "disk_max_used_gb";
        case DiskAllowance::Bound::max_used_pct: return "disk_max_used_pct";
        case DiskAllowance::Bound::min_free_gb: break;
    }
    return "disk_min_free_gb";
}

}  // namespace crunchwatch

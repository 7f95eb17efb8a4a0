#pragma once
// What the state file's two targets share: how an input becomes a state file
// and the refresh's parameters, the refresh itself, and its three reports.
// The refresh and the reports are each made in one small function here, the
// only place the targets name the dump's calls.
//
// The parameters come from the end of the input (FuzzedDataProvider takes
// integers from there), the date format is the last bytes of what remains,
// and the rest is the state file; so a plain state file is a useful seed.

#include <algorithm>
#include <cstdlib>
#include <bit>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "dump/metrics_report.hpp"
#include "dump/report.hpp"
#include "fuzz_support.hpp"
#include "state/global_prefs.hpp"
#include "state/scan.hpp"

namespace crunchwatch::fuzz {

struct RefreshInput {
    unsigned levelChoice = 0;  // which vector level reads the file
    double now = 0;
    std::size_t width = 100;
    std::optional<std::string> dateFormat;
    std::string file;
};

inline RefreshInput splitRefreshInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    RefreshInput p;
    p.levelChoice = in.ConsumeIntegral<std::uint8_t>();
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: p.now = 1.7e9 + in.ConsumeIntegral<std::int32_t>(); break;  // near today
        case 1: p.now = std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>()); break;  // NaN, inf, anything
        default: p.now = in.ConsumeFloatingPoint<double>(); break;
    }
    p.width = in.ConsumeIntegralInRange<std::size_t>(0, 400);
    const bool hasFormat = in.ConsumeBool();
    std::size_t formatLength = in.ConsumeIntegralInRange<std::size_t>(0, 2048);
    p.file = in.ConsumeRemainingBytesAsString();
    if (hasFormat) {
        formatLength = std::min(formatLength, p.file.size());
        p.dateFormat = p.file.substr(p.file.size() - formatLength);
        p.file.resize(p.file.size() - formatLength);
    }
    return p;
}

// The refresh as the window and the dump run it, of `p`'s file written to
// client_state.xml in a folder of its own, at the vector level `p` chooses.
// The file's text must read. The client's words come from this machine's
// journal and log, not from the input: a target that checks nothing of them
// passes WordsOptions{.read = false}.
inline RefreshValuePtr refresh(const RefreshInput& p, const WordsOptions& words = {}) {
    static InputFile stateFile("client_state.xml", Beside::ownFolder);
    useLevelChosenBy(p.levelChoice);
    stateFile.write(p.file);
    RefreshValuePtr value = readReport(stateFile.path(), words);
    require(static_cast<bool>(value->status), "a readable regular file was refused");
    return value;
}

// The local time both state targets read dates in: a zone with summer
// time, spelled out so no time zone database is needed.
inline void useFuzzingTimeZone() { ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1); }

struct ReportTexts {
    std::string json, text, metrics;
};

// The dump's three reports of `report`, per task metrics included. No
// preferences file lies beside the fuzzed one, so the preferences' values
// are cut from the state file's own text, and the reports show some.
inline ReportTexts reportsOf(const Report& value, const RefreshInput& p) {
    Report report = value;
    const auto prefsBody =
        wytnij(value.snapshot->state.file.text.view(), "<global_preferences>", "</global_preferences>");
    auto prefs = std::make_shared<Preferences>(*value.prefs);
    prefs->values = wyciagamyDaneGlobalPrefs(prefsBody ? std::optional<std::string>(*prefsBody) : std::nullopt);
    report.prefs = std::move(prefs);
    const ReportOptions options{"/proc/self/fd/client_state.xml", p.now, p.dateFormat, p.width};
    std::ostringstream json, text, metrics;
    writeJsonReport(json, report, options);
    writeTextReport(text, report, options);
    writePrometheusReport(metrics, &report, MetricsOptions{options.stateFileAsGiven, p.now, p.now, true});
    return {std::move(json).str(), std::move(text).str(), std::move(metrics).str()};
}

}  // namespace crunchwatch::fuzz

#include "tables/results_cells.hpp"

#include <cmath>

#include "state/numbers.hpp"
#include "tables/duration.hpp"
#include "tables/format.hpp"

namespace crunchwatch {
namespace {

Cell textOrEmpty(std::optional<std::string_view> v) { return v ? Cell::ofText(std::string(*v)) : Cell::empty(); }

Cell durationCell(double seconds) {
    auto text = czasHMSzSekund(seconds);
    return text ? Cell::ofText(std::move(*text), seconds) : Cell::empty();
}

// The processor time still needed: time used / fraction done * fraction left.
// Nothing when the inputs are absent or nothing is done yet.
std::optional<double> remainingSeconds(const resultRow& row) {
    const auto cpuText = row.get("current_cpu_time");
    const auto fText = row.get("fraction_done");
    if (!cpuText || !fText) return std::nullopt;
    const double f = readNumber(fText);
    if (f == 0.0) return std::nullopt;
    return (readNumber(cpuText) / f) * (1.0 - f);
}

}  // namespace

std::optional<std::string> stateText(const resultRow& row) {
    const auto state = row.get("state");
    if (!state) return std::nullopt;
    switch (readInteger(state)) {
        case 1: return "Downloading";
        case 2: {
            const auto scheduler = row.get("scheduler_state");
            if (!scheduler) return "Waiting";
            switch (readInteger(scheduler)) {
                case 1: return "Paused";
                case 2: return "running...";
                default: return std::string(*scheduler);
            }
        }
        case 4: return "Finished";
        case 5: return "Sent";
        default: return std::string(*state);
    }
}

Cell resultCell(const resultRow& row, std::string_view id, double now) {
    if (id == "WUnit") return textOrEmpty(row.get("wu_name"));
    if (id == "PName") return textOrEmpty(row.get("project_name"));
    if (id == "Version") {
        const auto v = row.get("version_num");
        if (!v) return Cell::empty();
        const double version = readNumber(v) / 100.0;
        return Cell::ofText(formatFixed(version, 2), version);
    }
    if (id == "State") {
        auto text = stateText(row);
        return text ? Cell::ofText(std::move(*text)) : Cell::empty();
    }
    if (id == "Progress") {
        const auto fText = row.get("fraction_done");
        if (!fText) return Cell::empty();
        const double percent = readNumber(fText) * 100.0;
        if (percent == 0.0 && readInteger(row.get("scheduler_state")) == 2) return Cell::ofText("checking...", 0.0);
        return Cell::ofText(formatFixed(percent, 2) + "%", percent);
    }
    if (id == "CPUTime") {
        const auto cpu = row.get("current_cpu_time");
        return cpu ? durationCell(readNumber(cpu)) : Cell::empty();
    }
    if (id == "ETR") {
        const auto etr = remainingSeconds(row);
        return etr ? durationCell(*etr) : Cell::empty();
    }
    if (id == "ETC") {
        const auto etr = remainingSeconds(row);
        const auto total = row.get("rsc_share");
        const auto shareText = row.get("resource_share");
        if (!etr || !total || !shareText) return Cell::empty();
        // A project with no share gets no processor time: it has no completion moment.
        const double share = readNumber(shareText);
        if (share == 0.0) return Cell::empty();
        const double moment = now + *etr * readNumber(total) / share;
        return std::isfinite(moment) ? Cell::ofDate(moment) : Cell::empty();
    }
    return Cell::ofDate(readNumber(row.get("report_deadline")));
}

}  // namespace crunchwatch

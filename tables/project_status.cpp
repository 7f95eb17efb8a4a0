#include "tables/project_status.hpp"

#include <cmath>

#include "state/numbers.hpp"
#include "tables/date_value.hpp"
#include "tables/duration.hpp"

namespace crunchwatch {
namespace {

constexpr double longestCountdown = 9999.0 * 3600.0;

// The phrases of the flags that say why work does not come, in flag order;
// null for a flag that says nothing about it (its value is in the tooltip).
constexpr std::array<const char*, 9> flagPhrases{
    "Suspended by user",
    "Won't get new tasks",
    "Will detach when its tasks are done",
    "Project has ended",
    nullptr,  // attached through an account manager
    "Fetching the project's master page",
    "Contacting the scheduler",
    "Trickle-up message waiting to be sent",
    nullptr,  // its applications use little processor time
};

constexpr std::array<const char*, 9> flagMeanings{
    "suspended by the user",
    "no new tasks requested",
    "detach when its tasks are done",
    "the project has ended",
    "attached through an account manager",
    "master page fetch pending",
    "scheduler request in progress",
    "trickle-up message pending",
    "non-CPU-intensive applications",
};

std::string textOf(MaybeText v) { return v ? std::string(*v) : std::string("absent"); }

// When a moment lies in the future, how long until then.
std::optional<std::string> untilMoment(MaybeText moment, double now) {
    if (!moment) return std::nullopt;
    return countdown(readNumber(moment) - now);
}

void join(std::string& text, std::string_view part) {
    if (!text.empty()) text += " \u00b7 ";
    text += part;
}

std::string momentLine(const char* label, MaybeText moment, double now, const std::optional<std::string>& format) {
    std::string line = std::string(label) + ": " + textOf(moment);
    if (!moment) return line;
    const double at = readNumber(moment);
    if (at > 0) {
        if (const auto date = formatDaty(at, format)) line += " (" + *date + ")";
        if (const auto left = countdown(at - now)) line += ", in " + *left;
    }
    return line;
}

}  // namespace

std::optional<std::string> countdown(double seconds) {
    if (!(seconds > 0)) return std::nullopt;
    if (seconds > longestCountdown) return std::string("more than 9999 hours");
    return czasHMSzSekund(seconds);
}

std::string projectStatusText(const ProjectStatus& s, double now) {
    std::string text;
    for (std::size_t f = 0; f < flagPhrases.size(); ++f)
        if (flagPhrases[f] && s.has(static_cast<ProjectFlag>(f))) join(text, flagPhrases[f]);
    if (const auto left = untilMoment(s.min_rpc_time, now)) join(text, "Communication deferred " + *left);
    if (readNumber(s.sched_rpc_pending) != 0.0) {
        const auto reason = rpcReasonText(s.sched_rpc_pending);
        join(text, "Scheduler request pending" + (reason ? ": " + std::string(*reason) : std::string()));
    }
    for (const Backoff& b : s.backoffs)
        if (const auto left = untilMoment(b.time, now))
            join(text, (b.name ? std::string(*b.name) : std::string("processor")) + " work fetch backed off " + *left);
    return text;
}

std::string projectStatusTip(const ProjectStatus& s, double now, const std::optional<std::string>& format) {
    std::string tip;
    for (std::size_t f = 0; f < flagMeanings.size(); ++f)
        if (s.has(static_cast<ProjectFlag>(f)))
            tip += std::string(projectFlagNames[f]) + ": " + flagMeanings[f] + "\n";
    const auto reason = rpcReasonText(s.sched_rpc_pending);
    tip += "Scheduler request pending (sched_rpc_pending): " + textOf(s.sched_rpc_pending) +
           (reason ? " (" + std::string(*reason) + ")" : std::string()) + "\n";
    tip += momentLine("Communication deferred until (min_rpc_time)", s.min_rpc_time, now, format) + "\n";
    tip += momentLine("Contact requested by the project at (next_rpc_time)", s.next_rpc_time, now, format) + "\n";
    tip += momentLine("Last successful contact (last_rpc_time)", s.last_rpc_time, now, format) + "\n";
    tip += "Failed contacts in a row (nrpc_failures): " + textOf(s.nrpc_failures) + "\n";
    tip += "Failed master page fetches (master_fetch_failures): " + textOf(s.master_fetch_failures) + "\n";
    for (const Backoff& b : s.backoffs) {
        const std::string name = b.name ? std::string(*b.name) : std::string("?");
        tip += momentLine(("Work fetch for " + name + " backed off until (rsc_backoff_time)").c_str(), b.time, now,
                          format) +
               "\n";
        tip += "Work fetch backoff interval for " + name + " (rsc_backoff_interval): " + textOf(b.interval) + "\n";
    }
    tip += "Tasks succeeded (njobs_success): " + textOf(s.njobs_success) + "\n";
    tip += "Tasks failed (njobs_error): " + textOf(s.njobs_error);
    return tip;
}

}  // namespace crunchwatch

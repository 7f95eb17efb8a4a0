#include "tables/task_details.hpp"

#include "state/client_status.hpp"
#include "state/numbers.hpp"
#include "state/scan.hpp"
#include "tables/date_value.hpp"
#include "tables/duration.hpp"
#include "tables/format.hpp"
#include "tables/results_cells.hpp"

namespace crunchwatch {
namespace {

bool within(std::string_view text, std::string_view part) {
    return !text.empty() && part.data() >= text.data() && part.data() + part.size() <= text.data() + text.size();
}

// The element that holds `inside`: from the last `open` before it to the
// first `close` after it, but never past the next element's `open` or a
// `stop` (a block's start): an element left unclosed ends there, and finding
// its end costs no more than its own length.
std::optional<std::string_view> enclosing(std::string_view text, std::optional<std::string_view> inside,
                                          std::string_view open, std::string_view close, std::string_view stop) {
    if (!inside || !within(text, *inside)) return std::nullopt;
    const std::size_t at = static_cast<std::size_t>(inside->data() - text.data());
    const std::size_t start = text.rfind(open, at);
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t from = at + inside->size();
    // Each search looks only as far as the nearest bound found so far.
    std::size_t bound = findFrom(text, open, from);
    if (bound == std::string_view::npos) bound = text.size();
    if (const std::size_t s = findFrom(text.substr(0, bound), stop, from); s != std::string_view::npos) bound = s;
    const std::size_t end = findFrom(text.substr(0, bound), close, from);
    return text.substr(start, (end == std::string_view::npos ? bound : end + close.size()) - start);
}

// Each top-level child of an element, as (name, value): a flag's value is
// its own name; a child that is not closed runs to the element's end.
template <class F>
void forEachChild(std::string_view element, F&& f) {
    std::size_t pos = element.find('>');
    if (pos == std::string_view::npos) return;
    ++pos;
    while (pos < element.size()) {
        const std::size_t lt = element.find('<', pos);
        if (lt == std::string_view::npos || lt + 1 >= element.size() || element[lt + 1] == '/') return;
        const std::size_t gt = element.find('>', lt);
        if (gt == std::string_view::npos) return;
        std::string_view tag = element.substr(lt + 1, gt - lt - 1);
        if (!tag.empty() && tag.back() == '/') {
            tag.remove_suffix(1);
            while (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
            if (!tag.empty()) f(tag, tag);
            pos = gt + 1;
            continue;
        }
        const std::string_view name = tag.substr(0, tag.find(' '));
        if (name.empty() || name.size() > 64) return;
        char closeTag[68] = "</";
        name.copy(closeTag + 2, name.size());
        closeTag[name.size() + 2] = '>';
        const std::string_view close(closeTag, name.size() + 3);
        const std::size_t end = findFrom(element, close, gt + 1);
        if (end == std::string_view::npos) {
            f(name, element.substr(gt + 1));
            return;
        }
        f(name, element.substr(gt + 1, end - gt - 1));
        pos = end + close.size();
    }
}

std::string_view withoutCdata(std::string_view v) {
    constexpr std::string_view open = "<![CDATA[", close = "]]>";
    if (v.substr(0, open.size()) == open) v.remove_prefix(open.size());
    if (v.size() >= close.size() && v.substr(v.size() - close.size()) == close) v.remove_suffix(close.size());
    return v;
}

std::string yesNo(bool v) { return v ? "yes" : "no"; }

std::string dateText(std::optional<std::string_view> v, const std::optional<std::string>& format) {
    if (!v) return {};
    const auto date = formatDaty(readNumber(v), format);
    return date ? *date + " (" + std::string(*v) + ")" : std::string(*v);
}

std::string durationText(std::optional<double> seconds) {
    if (!seconds) return {};
    return czasHMSzSekund(*seconds).value_or(formatFixed(*seconds, 0) + " s");
}

std::string bytesText(std::optional<std::string_view> v) {
    if (!v) return {};
    return formatFixed(readNumber(v) / (1024.0 * 1024.0), 1) + " MiB (" + std::string(*v) + ")";
}

}  // namespace

std::optional<std::string_view> childValue(std::string_view element, std::string_view name) {
    std::optional<std::string_view> found;
    forEachChild(element, [&](std::string_view n, std::string_view v) {
        if (!found && n == name && !v.empty()) found = v;
    });
    return found;
}

std::optional<std::string_view> resultElement(const resultRow& row) {
    return enclosing(row.text, row.result.get(Key::name), "<result>", "</result>", "<project>");
}

std::optional<std::string_view> activeTaskElement(const resultRow& row) {
    return enclosing(row.text, row.result.get(Key::result_name), "<active_task>", "</active_task>",
                     "</active_task_set>");
}

std::optional<std::string_view> workunitElement(const resultRow& row) {
    const auto url = row.project.values.get(Key::master_url);
    const auto result = resultElement(row);
    const auto wu = row.get(Key::wu_name);
    if (!url || !result || !wu || !within(row.text, *url) || url->data() > result->data()) return std::nullopt;
    // The project's block, up to this result: its workunits come before its results.
    std::string_view rest(url->data(), static_cast<std::size_t>(result->data() - url->data()));
    for (;;) {
        const auto element = sekcja(rest, "<workunit>", "</workunit>");
        if (!element) return std::nullopt;
        if (childValue(*element, "name") == wu) return element;
        rest = textAfter(rest, *element);
    }
}

std::optional<std::string_view> applicationName(const resultRow& row) {
    const auto app = row.get(Key::app_name);
    if (!app) return std::nullopt;
    if (row.project.status)
        for (const AppName& a : row.project.status->apps)
            if (a.name == app && a.user_friendly_name) return a.user_friendly_name;
    return app;
}

std::optional<double> elapsedSeconds(const resultRow& row) {
    if (const auto result = resultElement(row))
        if (const auto final = childValue(*result, "final_elapsed_time"); final && readNumber(final) > 0)
            return readNumber(final);
    if (row.checkpoint && row.checkpoint->checkpoint_elapsed_time)
        return readNumber(*row.checkpoint->checkpoint_elapsed_time);
    if (const auto task = activeTaskElement(row))
        if (const auto elapsed = childValue(*task, "checkpoint_elapsed_time")) return readNumber(elapsed);
    return std::nullopt;
}

std::optional<std::string> exitStatusMeaning(std::int32_t code) {
    switch (code) {
        case 0: return std::nullopt;
        case 192: return "the client could not write its state file";
        case 193: return "the application was stopped by a signal";
        case 194: return "aborted by the client";
        case 195: return "a child process of the application failed";
        case 196: return "it used more disk space than allowed";
        case 197: return "it ran longer than allowed";
        case 198: return "it used more memory than allowed";
        case 199: return "the client was exiting";
        case 200: return "not started before its deadline";
        case 201: return "a GPU it needs is missing";
        case 202: return "aborted by the project";
        case 203: return "aborted by the user";
        case 204: return "it ended for a reason the client does not know";
        case 205: return "it ran out of memory";
        case 206: return "the application could not start";
        case 207: return "it had no sub-tasks to run";
        case 208: return "a sub-task failed";
        default: return code < 0 ? "an error of the client (" + std::to_string(code) + ")"
                                 : "the application's own exit code: it failed";
    }
}

std::vector<Detail> taskDetails(const resultRow& row, double now, const std::optional<std::string>& format) {
    std::vector<Detail> d;
    const auto result = resultElement(row);
    const auto workunit = workunitElement(row);
    const auto task = activeTaskElement(row);
    const auto fromResult = [&](std::string_view name) { return result ? childValue(*result, name) : std::nullopt; };
    const auto add = [&](std::string label, std::string value) {
        if (!value.empty()) d.push_back({std::move(label), std::move(value)});
    };
    const auto text = [](std::optional<std::string_view> v) { return v ? std::string(*v) : std::string(); };

    add("Task", text(row.get(Key::name)));
    add("Project", text(row.get(Key::project_name)));
    std::string app = text(applicationName(row));
    if (const auto v = row.get(Key::version_num)) app += " " + formatFixed(readNumber(v) / 100.0, 2);
    add("Application", app);
    std::string state = text(stateText(row));
    if (const std::string why = stateExplanation(row); !why.empty()) state += " (" + why + ")";
    add("State", state);
    add("Received", dateText(fromResult("received_time"), format));
    add("Report deadline", dateText(row.get(Key::report_deadline), format));
    if (const auto fpops = workunit ? childValue(*workunit, "rsc_fpops_est") : std::nullopt)
        add("Estimated size", formatFixed(readNumber(fpops) / 1e9, 2) + " GFLOP (" + std::string(*fpops) + ")");
    const auto cpu = row.get(Key::current_cpu_time) ? row.get(Key::current_cpu_time) : fromResult("final_cpu_time");
    if (cpu) add("Processor time", durationText(readNumber(cpu)));
    add("Elapsed time", durationText(elapsedSeconds(row)));
    std::optional<std::string_view> checkpointCpu = row.get(Key::checkpoint_cpu_time);
    if (row.checkpoint && row.checkpoint->checkpoint_cpu_time) checkpointCpu = *row.checkpoint->checkpoint_cpu_time;
    if (checkpointCpu) add("Processor time at the last checkpoint", durationText(readNumber(checkpointCpu)));
    if (const auto fraction = fractionDone(row))
        add("Fraction done", formatFixed(readNumber(fraction->text) * 100.0, 3) + "% (" +
                                 progressExplanation(row).value_or("") + ")");
    add("Remaining", durationText(remainingSeconds(row)));
    if (const auto completes = cellText(columnOf(ResultColumn::ETC).cell(row, now), format))
        add("Completes", *completes);
    add("Slot", text(row.get(Key::slot)));
    if (task) {
        add("Working set", bytesText(childValue(*task, "working_set_size")));
        add("Swap size", bytesText(childValue(*task, "swap_size")));
    }
    add("Plan class", text(fromResult("plan_class")));
    if (const auto exit = row.get(Key::exit_status)) {
        const auto meaning = exitStatusMeaning(readInteger(exit));
        add("Exit status", std::string(*exit) + (meaning ? " (" + *meaning + ")" : std::string()));
    }
    add("Ready to report", yesNo(row.has(Key::ready_to_report)));
    add("Acknowledged by the project", yesNo(fromResult("got_server_ack").has_value()));
    add("Suspended by user", yesNo(row.has(Key::suspended_via_gui)));
    add("Report immediately", yesNo(fromResult("report_immediately").has_value()));

    const auto every = [&](const char* heading, std::optional<std::string_view> element) {
        if (!element) return;
        d.push_back({{}, heading});
        forEachChild(*element, [&](std::string_view name, std::string_view value) {
            d.push_back({std::string(name), std::string(withoutCdata(value))});
        });
    };
    every("Result", result);
    every("Workunit", workunit);
    every("Active task", task);
    return d;
}

std::string detailsText(const std::vector<Detail>& details) {
    std::string out;
    for (const Detail& d : details) out += (d.label.empty() ? "\n" + d.value : d.label + ": " + d.value) + "\n";
    return out;
}

}  // namespace crunchwatch

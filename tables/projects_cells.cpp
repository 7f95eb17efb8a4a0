#include "tables/projects_cells.hpp"

#include <algorithm>
#include <array>
#include <utility>

#include "state/numbers.hpp"
#include "tables/format.hpp"
#include "tables/project_status.hpp"

namespace crunchwatch {
namespace {

// Credits and times are numbers shown as text; their value sorts them.
template <Key key>
Cell numberTextCell(const projectRecord& project, double) {
    const auto v = project.values.get(key);
    return v ? Cell::ofText(std::string(*v), readNumber(v)) : Cell::empty();
}
template <Key key>
SortValue numberTextSort(const projectRecord& project, double) {
    const auto v = project.values.get(key);
    return v ? SortValue::ofNumber(readNumber(v)) : SortValue::none();
}

template <Key key>
Cell textCell(const projectRecord& project, double) {
    const auto v = project.values.get(key);
    return v ? Cell::ofText(std::string(*v)) : Cell::empty();
}
template <Key key>
SortValue textSort(const projectRecord& project, double) {
    const auto v = project.values.get(key);
    return v ? SortValue::ofText(*v) : SortValue::none();
}

// An absent time reads as 0, the start of 1970.
template <Key key>
Cell dateCell(const projectRecord& project, double) {
    return Cell::ofDate(readNumber(project.values.get(key)));
}
// The times and the share: the number of the key, 0 when it is absent.
template <Key key>
SortValue numberSort(const projectRecord& project, double) {
    return SortValue::ofNumber(readNumber(project.values.get(key)));
}

Cell shareCell(const projectRecord& project, double) {
    const double share = readNumber(project.values.get(Key::resource_share));
    return Cell::ofText(formatFixed(share, 2), share);
}

using ProjectCell = Cell (*)(const projectRecord&, double);
using ProjectSort = SortValue (*)(const projectRecord&, double);
// A column's identifier is the name of the key it shows.
constexpr TableColumn<projectRecord> column(Key key, std::string_view title, std::string_view tooltip,
                                            ProjectCell cell, ProjectSort sortValue) {
    return tableColumn<projectRecord>({keyName(key), title, tooltip}, cell, sortValue);
}

// What holds the project back, from its scheduling state; empty where the
// table has none for it.
Cell statusCell(const projectRecord& project, double now) {
    if (!project.status) return Cell::empty();
    std::string text = projectStatusText(*project.status, now);
    return text.empty() ? Cell::empty() : Cell::ofText(std::move(text));
}
// By how much holds the project back: the number of its phrases, then how
// long its communication is still deferred.
SortValue statusSort(const projectRecord& project, double now) {
    if (!project.status) return SortValue::none();
    const std::string text = projectStatusText(*project.status, now);
    if (text.empty()) return SortValue::none();
    double parts = 1;
    for (std::size_t at = 0; (at = text.find("\u00b7", at)) != std::string::npos; at += 2) ++parts;
    const double deferred = readNumber(project.status->min_rpc_time) - now;
    return SortValue::ofNumber(parts * 1e9 + (deferred > 0 ? std::min(deferred, 1e8) : 0.0));
}
std::optional<std::string> statusTip(const projectRecord& project, double now) {
    if (!project.status) return std::nullopt;
    return projectStatusTip(*project.status, now, std::nullopt);
}

}  // namespace

constexpr std::array<TableColumn<projectRecord>, projectColumnCount> projectColumns{{
    column(Key::project_name, "Project", "The project's name", &textCell<Key::project_name>, &textSort<Key::project_name>),
    column(Key::user_total_credit, "User credit", "Total credit of your account", &numberTextCell<Key::user_total_credit>,
           &numberTextSort<Key::user_total_credit>),
    column(Key::user_expavg_credit, "User average", "Recent average credit of your account",
           &numberTextCell<Key::user_expavg_credit>, &numberTextSort<Key::user_expavg_credit>),
    column(Key::user_create_time, "User since", "When your account was created", &dateCell<Key::user_create_time>,
           &numberSort<Key::user_create_time>),
    column(Key::host_total_credit, "Host credit", "Total credit of this computer", &numberTextCell<Key::host_total_credit>,
           &numberTextSort<Key::host_total_credit>),
    column(Key::host_expavg_credit, "Host average", "Recent average credit of this computer",
           &numberTextCell<Key::host_expavg_credit>, &numberTextSort<Key::host_expavg_credit>),
    column(Key::host_create_time, "Host since", "When this computer joined the project", &dateCell<Key::host_create_time>,
           &numberSort<Key::host_create_time>),
    column(Key::exp_avg_mod_time, "Average updated", "When the recent averages were last updated",
           &dateCell<Key::exp_avg_mod_time>, &numberSort<Key::exp_avg_mod_time>),
    // The next contact's time, shown as the file stores it rather than as a date.
    column(Key::min_rpc_time, "Next contact", "Earliest time of the next scheduler request (seconds since 1970)",
           &numberTextCell<Key::min_rpc_time>, &numberTextSort<Key::min_rpc_time>),
    column(Key::resource_share, "Share", "The project's resource share", &shareCell, &numberSort<Key::resource_share>),
    column(Key::app_name, "Application", "The first application named in the project's records", &textCell<Key::app_name>,
           &textSort<Key::app_name>),
    tableColumn<projectRecord>({"status", "Status",
                                "What holds the project back or is under way, counted from now: suspended, no new "
                                "tasks, communication deferred, a scheduler request pending, work fetch backed off"},
                               &statusCell, &statusSort, &statusTip),
}};

namespace {

// Each enumerator names its column's identifier.
constexpr bool listedInEnumOrder() {
    using enum ProjectColumn;
    constexpr std::pair<ProjectColumn, std::string_view> named[] = {
        {project_name, "project_name"},     {user_total_credit, "user_total_credit"},
        {user_expavg_credit, "user_expavg_credit"}, {user_create_time, "user_create_time"},
        {host_total_credit, "host_total_credit"},   {host_expavg_credit, "host_expavg_credit"},
        {host_create_time, "host_create_time"},     {exp_avg_mod_time, "exp_avg_mod_time"},
        {min_rpc_time, "min_rpc_time"},     {ProjectColumn::resource_share, "resource_share"},
        {app_name, "app_name"}, {status, "status"}};
    for (const auto& [column, id] : named)
        if (projectColumns[static_cast<std::size_t>(column)].id != id) return false;
    return std::size(named) == projectColumnCount;
}
static_assert(listedInEnumOrder(), "projectColumns follows ProjectColumn");

}  // namespace

std::optional<ProjectColumn> projectColumnOf(std::string_view id) {
    for (std::size_t i = 0; i < projectColumns.size(); ++i)
        if (projectColumns[i].id == id) return static_cast<ProjectColumn>(i);
    return std::nullopt;
}

}  // namespace crunchwatch

#include "tables/projects_cells.hpp"

#include <array>
#include <utility>

#include "state/numbers.hpp"
#include "tables/format.hpp"

namespace crunchwatch {
namespace {

// Credits and times are numbers shown as text; their value sorts them.
template <const char* key>
Cell numberTextCell(const projectRecord& project, double) {
    const auto v = project.values.get(key);
    return v ? Cell::ofText(std::string(*v), readNumber(v)) : Cell::empty();
}

template <const char* key>
Cell textCell(const projectRecord& project, double) {
    const auto v = project.values.get(key);
    return v ? Cell::ofText(std::string(*v)) : Cell::empty();
}

template <const char* key>
Cell dateCell(const projectRecord& project, double) {
    return Cell::ofDate(readNumber(project.values.get(key)));
}

Cell shareCell(const projectRecord& project, double) {
    const double share = readNumber(project.values.get("resource_share"));
    return Cell::ofText(formatFixed(share, 2), share);
}

// Forty rows at most in practice: every column sorts by its cell.
template <Cell (*cellOf)(const projectRecord&, double)>
SortValue byCell(const projectRecord& project, double now) {
    return sortValueOf(cellOf(project, now));
}

template <Cell (*cellOf)(const projectRecord&, double)>
constexpr TableColumn<projectRecord> column(std::string_view id, std::string_view title, std::string_view tooltip) {
    return {{id, title, tooltip}, cellOf, &byCell<cellOf>};
}

constexpr char project_name[] = "project_name";
constexpr char user_total_credit[] = "user_total_credit";
constexpr char user_expavg_credit[] = "user_expavg_credit";
constexpr char user_create_time[] = "user_create_time";
constexpr char host_total_credit[] = "host_total_credit";
constexpr char host_expavg_credit[] = "host_expavg_credit";
constexpr char host_create_time[] = "host_create_time";
constexpr char exp_avg_mod_time[] = "exp_avg_mod_time";
constexpr char min_rpc_time[] = "min_rpc_time";
constexpr char app_name[] = "app_name";

}  // namespace

constexpr std::array<TableColumn<projectRecord>, projectColumnCount> projectColumns{{
    column<&textCell<project_name>>(project_name, "Project", "The project's name"),
    column<&numberTextCell<user_total_credit>>(user_total_credit, "User credit", "Total credit of your account"),
    column<&numberTextCell<user_expavg_credit>>(user_expavg_credit, "User average",
                                                "Recent average credit of your account"),
    column<&dateCell<user_create_time>>(user_create_time, "User since", "When your account was created"),
    column<&numberTextCell<host_total_credit>>(host_total_credit, "Host credit", "Total credit of this computer"),
    column<&numberTextCell<host_expavg_credit>>(host_expavg_credit, "Host average",
                                                "Recent average credit of this computer"),
    column<&dateCell<host_create_time>>(host_create_time, "Host since", "When this computer joined the project"),
    column<&dateCell<exp_avg_mod_time>>(exp_avg_mod_time, "Average updated",
                                        "When the recent averages were last updated"),
    // The next contact's time, shown as the file stores it rather than as a date.
    column<&numberTextCell<min_rpc_time>>(min_rpc_time, "Next contact",
                                          "Earliest time of the next scheduler request (seconds since 1970)"),
    column<&shareCell>("resource_share", "Share", "The project's resource share"),
    column<&textCell<app_name>>(app_name, "Application", "The first application named in the project's records"),
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
        {min_rpc_time, "min_rpc_time"},     {resource_share, "resource_share"},
        {app_name, "app_name"}};
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

#include "tables/projects_cells.hpp"

#include <array>

#include "state/numbers.hpp"
#include "tables/format.hpp"

namespace crunchwatch {
namespace {

constexpr std::array<std::string_view, 7> verbatimColumns{
    "project_name", "user_total_credit", "user_expavg_credit", "host_total_credit",
    "host_expavg_credit", "min_rpc_time", "app_name"};
constexpr std::array<std::string_view, 3> dateColumns{"user_create_time", "host_create_time", "exp_avg_mod_time"};

template <std::size_t N>
bool isOneOf(std::string_view id, const std::array<std::string_view, N>& ids) {
    for (std::string_view c : ids)
        if (c == id) return true;
    return false;
}

}  // namespace

Cell projectCell(const projectRecord& project, std::string_view id) {
    const Record& values = project.values;
    if (isOneOf(id, verbatimColumns)) {
        const auto v = values.get(id);
        if (!v) return Cell::empty();
        // Credits and times are numbers shown as text; their value sorts them.
        const bool numeric = id != "project_name" && id != "app_name";
        return Cell::ofText(std::string(*v), numeric ? std::optional<double>(readNumber(v)) : std::nullopt);
    }
    if (isOneOf(id, dateColumns)) return Cell::ofDate(readNumber(values.get(id)));
    if (id == "resource_share") {
        const double share = readNumber(values.get("resource_share"));
        return Cell::ofText(formatFixed(share, 2), share);
    }
    return Cell::empty();
}

}  // namespace crunchwatch

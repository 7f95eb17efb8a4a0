#include "tables/rows.hpp"

#include "state/numbers.hpp"
#include "tables/format.hpp"

namespace crunchwatch {

std::optional<std::string_view> resultRow::get(std::string_view key) const noexcept {
    if (key == "rsc_share") return rsc_share;
    if (auto v = result->get(key)) return v;
    return project->values.get(key);
}

ResultRows buildResultRows(const ProjectInfo& projectInfo) {
    ResultRows rows;
    std::size_t resultCount = 0;
    for (const projectRecord& p : projectInfo) {
        rows.totalShare += readNumber(p.values.get("resource_share"));
        resultCount += p.result.size();
    }
    rows.rscShareText = std::make_shared<const std::string>(formatFixed(rows.totalShare, 6));
    const std::string_view rsc = *rows.rscShareText;
    rows.main_result_table.reserve(resultCount);
    for (const projectRecord& p : projectInfo) {
        rows.totalCredit += readNumber(p.values.get("user_total_credit"));
        for (const resultRecord& r : p.result) rows.main_result_table.push_back({&p, &r, rsc});
    }
    return rows;
}

}  // namespace crunchwatch

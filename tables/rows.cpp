#include "tables/rows.hpp"

#include "state/numbers.hpp"
#include "tables/format.hpp"

namespace crunchwatch {

std::optional<std::string_view> resultRow::get(Key key) const noexcept {
    if (key == Key::rsc_share) return rsc_share;
    if (auto v = result.get(key)) return v;
    return project.values.get(key);
}

ResultTable::ResultTable(const ProjectInfo& projectInfo, std::string_view rscShare)
    : m_store(&projectInfo.store()), m_rscShare(rscShare) {
    m_projectOfRow.reserve(projectInfo.resultCount());
    for (std::size_t p = 0; p < projectInfo.size(); ++p)
        m_projectOfRow.insert(m_projectOfRow.end(), projectInfo[p].result.size(), static_cast<std::uint32_t>(p));
}

ResultRows buildResultRows(const ProjectInfo& projectInfo) {
    ResultRows rows;
    for (const projectRecord& p : projectInfo) {
        rows.totalShare += readNumber(p.values.get(Key::resource_share));
        rows.totalCredit += readNumber(p.values.get(Key::user_total_credit));
    }
    rows.rscShareText = std::make_shared<const std::string>(formatFixed(rows.totalShare, 6));
    rows.main_result_table = ResultTable(projectInfo, *rows.rscShareText);
    return rows;
}

}  // namespace crunchwatch

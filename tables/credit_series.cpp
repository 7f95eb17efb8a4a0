#include "tables/credit_series.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "state/numbers.hpp"

namespace crunchwatch {
namespace {

std::optional<std::string_view> valueOf(const DailyStatistics& d, CreditMetric m) {
    switch (m) {
        case CreditMetric::userTotal: return d.user_total_credit;
        case CreditMetric::userAverage: return d.user_expavg_credit;
        case CreditMetric::hostTotal: return d.host_total_credit;
        case CreditMetric::hostAverage: return d.host_expavg_credit;
    }
    return std::nullopt;
}

}  // namespace

std::string_view creditMetricTitle(CreditMetric metric) {
    switch (metric) {
        case CreditMetric::userTotal: return "User total credit";
        case CreditMetric::userAverage: return "User average credit";
        case CreditMetric::hostTotal: return "Host total credit";
        case CreditMetric::hostAverage: return "Host average credit";
    }
    return {};
}

std::vector<CreditSeries> creditSeries(const History& history, const std::vector<std::string>& labels,
                                       CreditMetric metric) {
    std::vector<CreditSeries> out;
    const auto& files = history.statisticsFiles();
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i].statistics) continue;
        CreditSeries s{i < labels.size() ? labels[i] : files[i].name, {}};
        for (const DailyStatistics& d : files[i].statistics->days) {
            const auto value = valueOf(d, metric);
            if (!d.day || !value) continue;
            const CreditPoint p{readNumber(d.day), readNumber(value)};
            if (std::isfinite(p.day) && std::isfinite(p.value)) s.points.push_back(p);
        }
        // The client writes its days in order; a file edited by hand may not be.
        std::stable_sort(s.points.begin(), s.points.end(), [](const CreditPoint& a, const CreditPoint& b) { return a.day < b.day; });
        if (!s.points.empty()) out.push_back(std::move(s));
    }
    return out;
}

CreditSeries totalSeries(const std::vector<CreditSeries>& series, std::string label) {
    // Each series' value changes on its own days: the sum moves by the change.
    std::map<double, double> changes;
    for (const CreditSeries& s : series) {
        double last = 0;
        for (const CreditPoint& p : s.points) {
            changes[p.day] += p.value - last;
            last = p.value;
        }
    }
    CreditSeries total{std::move(label), {}};
    total.points.reserve(changes.size());
    double sum = 0;
    for (const auto& [day, change] : changes) total.points.push_back({day, sum += change});
    return total;
}

std::vector<CreditSeries> largestSeries(std::vector<CreditSeries> series, std::size_t keep, std::string othersLabel) {
    if (series.size() <= keep) return series;
    std::vector<std::size_t> order(series.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return series[a].points.back().value > series[b].points.back().value;
    });
    std::vector<bool> kept(series.size(), false);
    for (std::size_t i = 0; i < keep; ++i) kept[order[i]] = true;
    std::vector<CreditSeries> out, others;
    for (std::size_t i = 0; i < series.size(); ++i) (kept[i] ? out : others).push_back(std::move(series[i]));
    out.push_back(totalSeries(others, std::move(othersLabel)));
    return out;
}

}  // namespace crunchwatch

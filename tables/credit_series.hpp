#pragma once
// The Statistics view's lines: per statistics file and credit metric, the
// (day, value) points in the order of the days, and the total over all
// projects. No widgets: the charts draw these.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "state/history.hpp"

namespace crunchwatch {

enum class CreditMetric { userTotal, userAverage, hostTotal, hostAverage };
inline constexpr std::array<CreditMetric, 4> creditMetrics{CreditMetric::userTotal, CreditMetric::userAverage,
                                                           CreditMetric::hostTotal, CreditMetric::hostAverage};
std::string_view creditMetricTitle(CreditMetric metric);

struct CreditPoint {
    double day;  // seconds since 1970
    double value;
};

struct CreditSeries {
    std::string label;
    std::vector<CreditPoint> points;  // by day; days without both values left out
};

// One series per statistics file that was read (`labels` in the same order),
// each with at least one point.
std::vector<CreditSeries> creditSeries(const History& history, const std::vector<std::string>& labels,
                                       CreditMetric metric);

// On every day that any series has, the sum over the series of each one's
// value on that day, or of its last value before it (a project that reports
// no new day keeps its credit), from the series' first day on.
CreditSeries totalSeries(const std::vector<CreditSeries>& series, std::string label);

// The `keep` series with the greatest last value, in their order; the others
// summed into one series (like the total) labelled `othersLabel`, when any.
std::vector<CreditSeries> largestSeries(std::vector<CreditSeries> series, std::size_t keep, std::string othersLabel);

}  // namespace crunchwatch

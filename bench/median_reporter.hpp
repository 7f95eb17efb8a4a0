#pragma once
// A console reporter that shows only the aggregates of repeated runs and
// keeps every run's time, so that a benchmark program can end with a
// summary of medians and its targets.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace crunchwatch::bench {

class MedianReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate) shown.push_back(r);
            else if (!r.error_occurred && r.iterations > 0)
                m_seconds[r.run_name.function_name].push_back(r.real_accumulated_time / static_cast<double>(r.iterations));
        }
        if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
    }
    double median(const std::string& name) const {
        const auto it = m_seconds.find(name);
        if (it == m_seconds.end() || it->second.empty()) return 0;
        std::vector<double> s = it->second;
        std::sort(s.begin(), s.end());
        return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
    }

private:
    std::map<std::string, std::vector<double>> m_seconds;
};

}  // namespace crunchwatch::bench

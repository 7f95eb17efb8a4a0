// Fuzzes the statistics file reader: the file read and normalised, the
// master URL and every day's values, against a reference that normalises by
// the contract and cuts with std::string_view's own search.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "state/statistics.hpp"
#include "text_references.hpp"

using namespace crunchwatch;

namespace {

// What lies between the first `open` and the first `close` after it (or the
// end of the text); nothing when that is empty.
std::optional<std::string_view> cut(std::string_view text, std::string_view open, std::string_view close) {
    const std::size_t start = text.find(open);
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t from = start + open.size();
    std::size_t end = text.find(close, from);
    if (end == std::string_view::npos) end = text.size();
    if (end == from) return std::nullopt;
    return text.substr(from, end - from);
}

// Each day: from its <daily_statistics> up to the next </daily_statistics>
// (or the end of the text), where the search for the next day goes on.
std::vector<std::string_view> days(std::string_view text) {
    static constexpr std::string_view open = "<daily_statistics>", close = "</daily_statistics>";
    std::vector<std::string_view> found;
    for (std::size_t from = 0;;) {
        const std::size_t start = text.find(open, from);
        if (start == std::string_view::npos) break;
        std::size_t end = text.find(close, start + open.size());
        if (end == std::string_view::npos) end = text.size();
        found.push_back(text.substr(start, end - start));
        from = end;
        if (end == text.size()) break;
    }
    return found;
}

struct DayValue {
    std::optional<std::string_view> DailyStatistics::*member;
    std::string_view open, close;
    const char* differs;
};
constexpr DayValue dayValues[] = {
    {&DailyStatistics::day, "<day>", "</day>", "a day differs"},
    {&DailyStatistics::user_total_credit, "<user_total_credit>", "</user_total_credit>", "a user total differs"},
    {&DailyStatistics::user_expavg_credit, "<user_expavg_credit>", "</user_expavg_credit>", "a user average differs"},
    {&DailyStatistics::host_total_credit, "<host_total_credit>", "</host_total_credit>", "a host total differs"},
    {&DailyStatistics::host_expavg_credit, "<host_expavg_credit>", "</host_expavg_credit>", "a host average differs"},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("statistics_x.xml");
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    file.write(contents);
    const auto read = readStatisticsFile(file.path());
    fuzz::require(read.has_value(), "a readable regular file was refused");
    fuzz::requireNormalised(read->text.view(), size);

    const std::string text = fuzz::referenceNormalised(contents);
    fuzz::require(read->text.view() == text, "normalisation differs from its contract");
    fuzz::require(read->master_url == cut(text, "<master_url>", "</master_url>"), "the master URL differs");

    const std::vector<std::string_view> expected = days(text);
    fuzz::require(read->days.size() == expected.size(), "the number of days differs");
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const DailyStatistics& d = read->days[i];
        for (const DayValue& v : dayValues)
            fuzz::require(d.*v.member == cut(expected[i], v.open, v.close), v.differs);
        for (auto v : {d.day, d.user_total_credit, d.host_expavg_credit})
            fuzz::require(!v || (!v->empty() && fuzz::isWithin(*v, read->text.view())),
                          "a value is empty or not a view");
    }
    return 0;
}

// Fuzzes the statistics file reader: the file read and normalised, the
// master URL and every day's values, against a slow reference that
// normalises by the contract and cuts with std::string's own search.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "state/statistics.hpp"

using namespace crunchwatch;

namespace {

std::optional<std::string> cut(const std::string& text, const std::string& tag) {
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    const std::size_t start = text.find(open);
    if (start == std::string::npos) return std::nullopt;
    const std::size_t from = start + open.size();
    std::size_t end = text.find(close, from);
    if (end == std::string::npos) end = text.size();
    if (end == from) return std::nullopt;
    return text.substr(from, end - from);
}

std::optional<std::string> owned(std::optional<std::string_view> v) {
    return v ? std::optional<std::string>(std::string(*v)) : std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::MemoryFile file("statistics_x.xml");
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    file.write(contents);
    const auto read = readStatisticsFile(file.path());
    fuzz::require(read.has_value(), "a readable regular file was refused");
    fuzz::requireNormalised(read->text.view(), size);

    const std::string text = fuzz::referenceNormalised(contents);
    fuzz::require(read->text.view() == text, "normalisation differs from its contract");
    fuzz::require(owned(read->master_url) == cut(text, "master_url"), "the master URL differs");

    std::vector<std::string> days;
    for (std::size_t from = 0;;) {
        const std::size_t start = text.find("<daily_statistics>", from);
        if (start == std::string::npos) break;
        std::size_t end = text.find("</daily_statistics>", start + 18);
        if (end == std::string::npos) end = text.size();
        days.push_back(text.substr(start, end - start));
        from = end;
        if (end == text.size()) break;
    }
    fuzz::require(read->days.size() == days.size(), "the number of days differs");
    for (std::size_t i = 0; i < days.size(); ++i) {
        const DailyStatistics& d = read->days[i];
        fuzz::require(owned(d.day) == cut(days[i], "day"), "a day differs");
        fuzz::require(owned(d.user_total_credit) == cut(days[i], "user_total_credit"), "a user total differs");
        fuzz::require(owned(d.user_expavg_credit) == cut(days[i], "user_expavg_credit"), "a user average differs");
        fuzz::require(owned(d.host_total_credit) == cut(days[i], "host_total_credit"), "a host total differs");
        fuzz::require(owned(d.host_expavg_credit) == cut(days[i], "host_expavg_credit"), "a host average differs");
        for (auto v : {d.day, d.user_total_credit, d.host_expavg_credit})
            fuzz::require(!v || (!v->empty() && fuzz::isWithin(*v, read->text.view())), "a value is empty or not a view");
    }
    return 0;
}

// Numbers and date formats that no client writes: overflowing, negative, NaN,
// infinite, denormal, absurdly long, in every field that is converted, and
// user date formats that are empty, huge, or nothing but conversions. Every
// cell of both tables must come out sound (or empty), never undefined.

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tables/refresher.hpp"

#include "dump/json_writer.hpp"
#include "dump/report.hpp"
#include "tables/columns.hpp"
#include "tables/date_value.hpp"
#include "tables/projects_cells.hpp"
#include "tables/project_status.hpp"
#include "tables/results_cells.hpp"
#include "tables/table_definition.hpp"
#include "tables/task_details.hpp"

#include "state_text.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

using namespace std::string_literals;
using Text = std::optional<std::string>;

constexpr double now = 1796150000;  // 2026-12-01 18:33:20 UTC

// Every field that a cell or a total converts to a number.
constexpr const char* convertedFields[] = {
    "report_deadline", "user_create_time", "host_create_time", "exp_avg_mod_time",  // dates
    "current_cpu_time",                                                              // durations
    "fraction_done", "resource_share", "version_num",                               // fractions, shares, versions
    "user_total_credit", "state", "scheduler_state",                                // credits, states
};

const std::string hostileNumbers[] = {
    "1e309", "-1e309", "1e-400", "-1e-400", "4.9e-324", "1.7976931348623157e308", "-1.7976931348623157e308",
    "nan", "-nan", "NaN", "inf", "-inf", "infinity", "-0", "-5", "-0.000001", "0x1p10",
    "99999999999999999999999999", "-99999999999999999999999999", "9223372036854775808", "2147483648",
    "-2147483649", "4294967297", "1e15", "-1e15", "1e18", "4.6e18", "-4.6e18", "1e19",
    std::string(1000, '9'), "0." + std::string(1000, '0') + "1", "1e" + std::string(400, '9'),
    ".", "-", "+", "e5", "1e", "1e+", "--1", "\xFF\xFE", "1\0002"s,
};

// A state file with two projects, the first with one result running; every
// converted field is present, `field` holding `value`.
std::string stateWith(const std::string& field, const std::string& value) {
    using test::el;
    const auto v = [&](const char* name, const char* normal) { return el(name, field == name ? value : normal); };
    return test::stateFile(
        test::project("http://a/", el("project_name", "A") + v("user_total_credit", "12.5") +
                                       v("user_create_time", "1500000000") + v("host_create_time", "1500000001") +
                                       v("exp_avg_mod_time", "1700000000.5") + v("resource_share", "100")) +
            test::workunit("wu", "app", v("version_num", "712")) +
            test::result("r", "wu", v("state", "2") + v("report_deadline", "1796200000")) +
            test::project("http://b/", el("resource_share", "300") + el("user_total_credit", "1e308")),
        test::task("http://a/", "r",
                   v("scheduler_state", "2") + v("fraction_done", "0.25") + v("current_cpu_time", "3600")));
}

struct Loaded {
    explicit Loaded(const std::string& text) : value{*valueOfText(text)}, snapshot{*value.snapshot} {}
    Text result(std::string_view id, const Text& format = "%Y-%m-%d %H:%M:%S") const {
        return cellText(resultCell(snapshot.rows.main_result_table[0], id, now), format);
    }
    Text project(std::string_view id, const Text& format = "%Y-%m-%d %H:%M:%S") const {
        return cellText(projectCell(snapshot.state.projectInfo.at(0), id), format);
    }
    Report value;
    const Snapshot& snapshot;
};

class HostileValues : public ::testing::Test {
protected:
    // Dates are shown in the local zone: UTC here, so expectations are fixed.
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) m_tz = tz;
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
    }
    void TearDown() override {
        if (m_tz) ::setenv("TZ", m_tz->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> m_tz;
};

bool isValidUtf8(const std::string& s) { return validUtf8(s) == s; }

// The shape of a cell's text: each run of digits (with a minus sign before it
// at the start or after a colon) becomes "9", everything else stays.
std::string shapeOf(const std::string& s) {
    std::string shape;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool digit = s[i] >= '0' && s[i] <= '9';
        const bool sign = s[i] == '-' && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9' &&
                          (i == 0 || s[i - 1] == ':');
        if (sign) continue;
        if (!digit) shape += s[i];
        else if (shape.empty() || shape.back() != '9' || (i > 0 && !(s[i - 1] >= '0' && s[i - 1] <= '9')))
            shape += '9';
    }
    return shape;
}
bool isDuration(const std::string& s) { return shapeOf(s) == "9:9:9"; }
bool isDate(const std::string& s) { return shapeOf(s) == "9-9-9 9:9:9"; }
// "%.2f" of a number: two decimals, or printf's words for the non-finite ones.
bool isFixed(const std::string& s) {
    if (s == "inf" || s == "-inf" || s == "nan" || s == "-nan") return true;
    return shapeOf(s) == "9.9" && s.size() >= 4 && s[s.size() - 3] == '.';
}

// Every cell of both tables, for every hostile value in every converted field:
// each is empty or of its column's form, and both reports are valid UTF-8.
TEST_F(HostileValues, EveryCellOfEveryConvertedFieldIsSound) {
    for (const char* field : convertedFields) {
        for (const std::string& value : hostileNumbers) {
            SCOPED_TRACE(std::string(field) + " = " + value.substr(0, 40));
            const Loaded l(stateWith(field, value));
            ASSERT_EQ(l.snapshot.rows.main_result_table.size(), 1u);
            for (const auto& c : resultColumns) {
                SCOPED_TRACE(c.id);
                const Text text = l.result(c.id);
                if (!text) continue;
                bool sound = true;
                if (c.id == "CPUTime" || c.id == "ETR") sound = isDuration(*text);
                if (c.id == "ETC" || c.id == "Deadline") sound = isDate(*text);
                if (c.id == "Version") sound = isFixed(*text);
                if (c.id == "Progress")
                    sound = *text == "checking..." || (text->back() == '%' && isFixed(text->substr(0, text->size() - 1)));
                EXPECT_TRUE(sound) << *text;
            }
            for (const auto& c : projectColumns) {
                SCOPED_TRACE(c.id);
                const Text text = l.project(c.id);
                if (!text) continue;
                bool sound = true;
                if (c.id.ends_with("_time") && c.id != "min_rpc_time") sound = isDate(*text);
                if (c.id == "resource_share") sound = isFixed(*text);
                EXPECT_TRUE(sound) << *text;
            }
            std::ostringstream json, table;
            const ReportOptions options{"f", now, std::nullopt, 100};
            writeJsonReport(json, l.value, options);
            writeTextReport(table, l.value, options);
            EXPECT_TRUE(isValidUtf8(json.str()));
            EXPECT_TRUE(isValidUtf8(table.str()));
        }
    }
}

// What particular hostile values show: a moment or a duration that cannot be
// represented is an empty cell; an infinite number shows as printf writes it.
TEST_F(HostileValues, ParticularValuesShowSoundly) {
    const struct {
        const char* field;
        std::string value;
        bool project;  // a projects-table column, else a results-table one
        const char* column;
        Text expected;
    } cases[] = {
        {"report_deadline", "1e309", false, "Deadline", std::nullopt},
        {"report_deadline", "-1e309", false, "Deadline", std::nullopt},
        {"report_deadline", "1e19", false, "Deadline", std::nullopt},   // beyond a 64-bit time
        {"report_deadline", "1e18", false, "Deadline", std::nullopt},   // a year beyond an int
        {"report_deadline", "nan", false, "Deadline", "1970-01-01 00:00:00"},  // not a number: 0
        {"report_deadline", "-0", false, "Deadline", "1970-01-01 00:00:00"},
        {"report_deadline", "-1.5", false, "Deadline", "1969-12-31 23:59:58"},  // floored
        {"report_deadline", "1e-400", false, "Deadline", "1970-01-01 00:00:00"},
        {"user_create_time", "1e309", true, "user_create_time", std::nullopt},
        {"user_create_time", "-4.6e18", true, "user_create_time", std::nullopt},
        {"current_cpu_time", "1e15", false, "CPUTime", std::nullopt},
        {"current_cpu_time", "-1e309", false, "CPUTime", std::nullopt},
        {"current_cpu_time", "999999999999999", false, "CPUTime", "277777777777:46:39"},
        {"current_cpu_time", "-90", false, "CPUTime", "00:-1:-30"},
        {"current_cpu_time", "1e309", false, "ETR", std::nullopt},
        {"current_cpu_time", "1e309", false, "ETC", std::nullopt},
        {"fraction_done", "1e-400", false, "Progress", "checking..."},
        {"fraction_done", "1e-400", false, "ETR", std::nullopt},  // nothing done yet
        {"fraction_done", "4.9e-324", false, "ETR", std::nullopt},  // time used / tiny = infinite
        {"fraction_done", "4.9e-324", false, "ETC", std::nullopt},
        {"fraction_done", "1e309", false, "Progress", "inf%"},
        {"fraction_done", "-1e309", false, "Progress", "-inf%"},
        {"fraction_done", "1e309", false, "ETR", std::nullopt},  // 0 times -inf
        {"fraction_done", "-5", false, "ETR", "-1:-12:00"},  // 3600 / -5 * 6 = -4320 s
        {"resource_share", "1e309", true, "resource_share", "inf"},
        {"resource_share", "-1e309", true, "resource_share", "-inf"},
        {"resource_share", "0", false, "ETC", std::nullopt},  // no share: never completes
        {"resource_share", "-0", false, "ETC", std::nullopt},
        {"version_num", "1e309", false, "Version", "inf"},
        {"version_num", "-5", false, "Version", "-0.05"},
        {"version_num", "nan", false, "Version", "0.00"},
        {"state", "99999999999999999999", false, "State", "99999999999999999999"},
        {"state", "-2147483649", false, "State", "-2147483649"},
        {"state", "4294967297", false, "State", "4294967297"},  // never wraps round to 1
        {"scheduler_state", "4294967298", false, "State", "4294967298"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " = " + c.value + ", column " + c.column);
        const Loaded l(stateWith(c.field, c.value));
        EXPECT_EQ(c.project ? l.project(c.column) : l.result(c.column), c.expected);
    }
}

// Totals over projects whose credits or shares overflow: shown as printf
// writes an infinity in the text, as null in JSON; never a crash.
TEST_F(HostileValues, OverflowingTotals) {
    std::string text = stateWith("user_total_credit", "1.7976931348623157e308");
    const Loaded l(text);
    EXPECT_EQ(l.snapshot.rows.totalCredit, std::numeric_limits<double>::infinity());
    std::ostringstream json, table;
    writeJsonReport(json, l.value, {"f", now, std::nullopt, 100});
    writeTextReport(table, l.value, {"f", now, std::nullopt, 100});
    EXPECT_NE(json.str().find(R"("total_credit":null)"), std::string::npos);
    EXPECT_NE(table.str().find("Total credit: inf\n"), std::string::npos);
}

// The user's date format, however odd: empty, huge, all conversions, widths
// beyond any buffer, NUL bytes, cut UTF-8. A date text never exceeds the limit
// and is never cut inside a UTF-8 sequence.
TEST_F(HostileValues, DateFormatsOfAnyShape) {
    const std::string euro = "\xE2\x82\xAC";
    std::string euros;
    for (int i = 0; i < 1000; ++i) euros += euro;
    std::string conversions;
    for (const char c : "aAbBcCdDeFgGhHIjklmMnpPrRsStTuUVwWxXyYzZ+%") conversions += "%"s + c;
    std::string manyConversions;
    while (manyConversions.size() < (1u << 20)) manyConversions += conversions;
    std::string nothing;
    while (nothing.size() < (1u << 20)) nothing += "%5000Y";

    const struct {
        const char* what;
        std::string format;
        Text expected;  // when known exactly
    } cases[] = {
        {"empty", "", ""},
        {"only text", "deadline", "deadline"},
        {"a percent sign", "%%", "%"},
        {"lone percent at the end", "x%", std::nullopt},
        {"lone modifiers", "%E%O%_%-%0%^%#", std::nullopt},
        {"unknown conversions", "%q%J%K%L%N%Q%v%@%!", std::nullopt},
        {"width beyond the buffer", "%5000Y", std::nullopt},
        {"width beyond an int", "%99999999999999999999Y|", std::nullopt},
        {"flags and width together", "%-_0^#10Y", std::nullopt},
        {"every conversion", conversions, std::nullopt},
        {"a megabyte of conversions", manyConversions, std::nullopt},
        {"a megabyte of text", std::string(1u << 20, 'x'), std::string(maxDateTextLength, 'x')},
        {"a hundred thousand percent signs", std::string(100000, '%'), std::string(maxDateTextLength, '%')},
        {"a megabyte of conversions that write nothing", nothing, ""},
        {"NUL bytes", "%Y\0%m\0"s, std::nullopt},
        {"invalid UTF-8", "\xFF%Y\xC3", std::nullopt},
        {"three-byte characters", euros, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Loaded l(stateWith("", ""));
        for (const char* column : {"Deadline", "ETC"}) {
            const Text text = l.result(column, c.format);
            ASSERT_TRUE(text);
            EXPECT_LE(text->size(), maxDateTextLength);
            EXPECT_TRUE(!c.expected || *text == *c.expected) << *text;
            EXPECT_TRUE(!isValidUtf8(c.format) || isValidUtf8(*text)) << *text;
        }
        const Text created = l.project("user_create_time", c.format);
        ASSERT_TRUE(created);
        EXPECT_LE(created->size(), maxDateTextLength);
    }
    const Loaded l(stateWith("", ""));
    EXPECT_EQ(l.result("Deadline", euros), [&] {
        std::string cut;
        while (cut.size() + euro.size() <= maxDateTextLength) cut += euro;
        return cut;
    }());
}

}  // namespace
}  // namespace crunchwatch

namespace crunchwatch {
namespace {

// Every value the scheduling state, the transfers and a task's details read,
// holding the same hostile number at once; and the running task's slot
// checkpoint file of 64 MB, newer than the state file, which is not read.
// Every cell, status text, tooltip and detail is made (values stay verbatim,
// whatever their bytes: the reports make them valid UTF-8), a countdown is
// hours:minutes:seconds or says it is beyond them, and both reports stay
// valid.
TEST_F(HostileValues, EveryValueOfWhyNothingRunsIsSound) {
    using test::el;
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "slots/0");
    const auto slotFile = dir.path() / "slots/0/boinc_task_state.xml";
    std::ofstream(slotFile) << "<active_task><project_master_url>http://a/</project_master_url>"
                            << "<result_name>r</result_name>" << std::string(64u << 20, ' ')
                            << "<fraction_done>0.9</fraction_done></active_task>";
    std::filesystem::last_write_time(slotFile, std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
    const auto countdownShaped = [](const std::string& text, std::string_view after) {
        const std::size_t at = text.find(after);
        if (at == std::string::npos) return true;
        const std::string rest = text.substr(at + after.size(), text.find(" \u00b7", at) - at - after.size());
        return rest == "more than 9999 hours" || isDuration(rest);
    };
    for (const std::string& n : hostileNumbers) {
        SCOPED_TRACE(n.substr(0, 40));
        const auto v = [&](const char* name) { return el(name, n); };
        const std::string xfer = "<persistent_file_xfer>" + v("num_retries") + v("first_request_time") +
                                 v("next_request_time") + v("time_so_far") + v("last_bytes_xferred") +
                                 v("is_upload") + "</persistent_file_xfer>";
        const std::string text = test::stateFile(
            test::project("http://a/", v("sched_rpc_pending") + v("min_rpc_time") + v("next_rpc_time") +
                                           v("last_rpc_time") + v("nrpc_failures") + v("njobs_error") +
                                           "<rsc_backoff_time><name>CPU</name>" + v("value") +
                                           "</rsc_backoff_time>") +
                "<file>" + el("name", "f") + v("nbytes") + xfer + "<file_xfer>" + v("bytes_xferred") +
                "</file_xfer></file><file>" + el("name", "g") + v("nbytes") + xfer + "</file>" +
                test::workunit("wu", "app", v("rsc_fpops_est")) +
                test::result("r", "wu", el("state", "2") + v("received_time") + v("final_elapsed_time") +
                                            v("exit_status")),
            test::task("http://a/", "r",
                       el("slot", "0") + el("active_task_state", "1") + v("checkpoint_elapsed_time") +
                           v("working_set_size") + v("swap_size") + v("checkpoint_fraction_done") +
                           v("current_cpu_time")));
        const StatePath path(dir.write("client_state.xml", text));
        const RefreshValuePtr value = Refresher().refresh(path);
        ASSERT_TRUE(*value);
        EXPECT_TRUE(value->around->checkpoints.empty()) << "a 64 MB checkpoint file is not read";
        const resultRow row = resultRowOf(*value, 0);
        for (const auto& c : resultColumns) (void)cellText(c.cell(row, now), std::nullopt);
        EXPECT_FALSE(detailsText(taskDetails(row, now, std::nullopt)).empty());
        const projectRecord project = projectRowOf(*value, 0);
        const std::string status = projectStatusText(*project.status, now);
        EXPECT_TRUE(countdownShaped(status, "Communication deferred ")) << status;
        EXPECT_TRUE(countdownShaped(status, "work fetch backed off ")) << status;
        EXPECT_FALSE(projectStatusTip(*project.status, now, std::nullopt).empty());
        for (std::size_t i = 0; i < transfersTable.size(*value); ++i) {
            const TransferRow t = transferRowOf(*value, i);
            for (const auto& c : transferColumns) {
                const auto cell = cellText(c.cell(t, now), std::nullopt);
                if (cell && c.id == "next_request_time") {
                    EXPECT_TRUE(*cell == "active" || countdownShaped(*cell, "retry in ")) << *cell;
                }
            }
        }
        std::ostringstream json, table;
        const ReportOptions options{"f", now, std::nullopt, 100};
        writeJsonReport(json, *value, options);
        writeTextReport(table, *value, options);
        EXPECT_TRUE(isValidUtf8(json.str()));
        EXPECT_TRUE(isValidUtf8(table.str()));
    }
}

}  // namespace
}  // namespace crunchwatch

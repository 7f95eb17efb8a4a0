#include "tables/projects_cells.hpp"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"


namespace crunchwatch {
namespace {

constexpr const char* iso = "%Y-%m-%d %H:%M:%S";

class ProjectCells : public test::ZonedTest {
protected:

    // The one project of a state file whose project element holds `values`.
    projectRecord project(const std::string& values) {
        m_state = clientStateFromText("<client_state><project>\n<master_url>http://p/</master_url>\n" + values +
                                      "\n</project>\n</client_state>\n");
        EXPECT_EQ(m_state.projectInfo.size(), 1u);
        return m_state.projectInfo.at(0);
    }

    std::optional<std::string> text(const projectRecord& p, std::string_view id) {
        return cellText(projectCell(p, id), iso);
    }

private:
    ClientState m_state;
};

const std::string fullProject =
    "<project_name>Einstein@Home</project_name>\n"
    "<user_total_credit>1234.567890</user_total_credit>\n"
    "<user_expavg_credit>3456.789012</user_expavg_credit>\n"
    "<user_create_time>1442317920.000000</user_create_time>\n"
    "<rpc_seqno>1873</rpc_seqno>\n"
    "<host_total_credit>456789.123456000</host_total_credit>\n"
    "<host_expavg_credit>1e3</host_expavg_credit>\n"
    "<host_create_time>1702384455.9</host_create_time>\n"
    "<exp_avg_mod_time>1796141120.514207</exp_avg_mod_time>\n"
    "<min_rpc_time>1150000000.5</min_rpc_time>\n"
    "<resource_share>33.333</resource_share>\n"
    "<app_name>einstein_O3AS</app_name>\n";

struct ProjectCase {
    std::string_view id;
    std::optional<std::string> text;
};

TEST_F(ProjectCells, EveryIdentifierOfAFullProject) {
    const projectRecord& p = project(fullProject);
    const ProjectCase cases[] = {
        {"project_name", "Einstein@Home"},
        // Credits and the next-contact time show exactly as stored.
        {"user_total_credit", "1234.567890"},
        {"user_expavg_credit", "3456.789012"},
        {"host_total_credit", "456789.123456000"},
        {"host_expavg_credit", "1e3"},
        {"min_rpc_time", "1150000000.5"},
        // The three times are dates, floored to the second.
        {"user_create_time", "2015-09-15 11:52:00"},
        {"host_create_time", "2023-12-12 12:34:15"},
        {"exp_avg_mod_time", "2026-12-01 16:05:20"},
        {"resource_share", "33.33"},
        {"app_name", "einstein_O3AS"},
        // Keys of the record that are not columns, and unknown identifiers.
        {"master_url", std::nullopt},
        {"rpc_seqno", std::nullopt},
        {"Project_name", std::nullopt},
        {"", std::nullopt},
        {"result", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(text(p, c.id), c.text) << c.id;
}

TEST_F(ProjectCells, AbsentValues) {
    const projectRecord& p = project("");
    for (const auto id : {"project_name", "user_total_credit", "user_expavg_credit", "host_total_credit",
                          "host_expavg_credit", "min_rpc_time", "app_name"})
        EXPECT_EQ(text(p, id), std::nullopt) << id;
    // An absent time reads as 0 and an absent share as 0.
    for (const auto id : {"user_create_time", "host_create_time", "exp_avg_mod_time"})
        EXPECT_EQ(text(p, id), "1970-01-01 00:00:00") << id;
    EXPECT_EQ(text(p, "resource_share"), "0.00");
}

TEST_F(ProjectCells, ResourceShareHasTwoDecimals) {
    const struct {
        const char* stored;
        const char* shown;
    } cases[] = {
        {"100", "100.00"}, {"33.333", "33.33"}, {"100.000000", "100.00"}, {"0.125", "0.12"},
        {"abc", "0.00"},   {"-5", "-5.00"},     {"12abc", "12.00"},       {"1e2", "100.00"},
    };
    for (const auto& c : cases) {
        const projectRecord& p = project(std::string("<resource_share>") + c.stored + "</resource_share>");
        EXPECT_EQ(text(p, "resource_share"), c.shown) << c.stored;
    }
}

TEST_F(ProjectCells, TimesAreDatesOfTheirNumber) {
    const projectRecord& p = project("<user_create_time>0</user_create_time><host_create_time>-0.5</host_create_time>"
                                     "<exp_avg_mod_time>junk</exp_avg_mod_time>");
    EXPECT_EQ(text(p, "user_create_time"), "1970-01-01 00:00:00");
    EXPECT_EQ(text(p, "host_create_time"), "1969-12-31 23:59:59");
    EXPECT_EQ(text(p, "exp_avg_mod_time"), "1970-01-01 00:00:00");
    EXPECT_EQ(projectCell(p, "host_create_time").kind, Cell::Kind::Date);
    // Beyond the calendar: nothing rather than a wrong date.
    const projectRecord& far = project("<user_create_time>1e300</user_create_time>");
    EXPECT_EQ(text(far, "user_create_time"), std::nullopt);
}

TEST_F(ProjectCells, NumbersIgnoreTheProcessLocale) {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    const projectRecord& p = project(fullProject);
    EXPECT_EQ(text(p, "resource_share"), "33.33");
    EXPECT_EQ(text(p, "user_total_credit"), "1234.567890");
    EXPECT_EQ(projectCell(p, "user_total_credit").value, 1234.56789);
}

}  // namespace
}  // namespace crunchwatch

// What the Computer and Disk tabs make of a state file and the preferences:
// the preferences in force, the allowance the client computes, the lines.

#include "tables/computer.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "tables/refresher.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

constexpr double gib = 1024.0 * 1024.0 * 1024.0;

std::optional<std::string> prefsBody(std::string_view values) { return std::string(values); }

TEST(EffectivePrefs, TheOverrideWinsAndTheRestComeFromTheWebFile) {
    const EffectivePrefs p = effectivePrefs(
        prefsBody("<disk_max_used_gb>5</disk_max_used_gb>\n<run_on_batteries/>\n"),
        prefsBody("<disk_max_used_gb>50</disk_max_used_gb>\n<cpu_scheduling_period_minutes>30</cpu_scheduling_period_minutes>\n"
                  "<venue name=\"home\">\n<disk_min_free_gb>9</disk_min_free_gb>\n</venue>\n"
                  "<day_prefs>\n<day_of_week>1</day_of_week>\n<start_hour>8</start_hour>\n</day_prefs>\n"));
    const auto is = [&](const char* name, const char* value, PrefSource source) {
        SCOPED_TRACE(name);
        const EffectivePref* v = p.find(name);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->value, value);
        EXPECT_EQ(v->source, source);
    };
    is("disk_max_used_gb", "5", PrefSource::override_file);
    is("run_on_batteries", "1", PrefSource::override_file);
    is("cpu_scheduling_period_minutes", "30", PrefSource::global_prefs);
    // Another place's values and one weekday's hours are not the top level's.
    is("disk_min_free_gb", "0.1", PrefSource::client_default);
    is("start_hour", "0", PrefSource::client_default);
    EXPECT_EQ(p.number("disk_max_used_gb"), 5.0);
    EXPECT_FALSE(p.find("max_ncpus"));  // neither file sets it, and 0 means nothing to name
}

TEST(DiskAllowance, TheSmallestLimitWins) {
    struct Case {
        const char* name;
        const char* prefs;
        double dTotal, dFree, clientTotal;
        std::optional<double> bytes;
        DiskAllowance::Bound bound;
    };
    using B = DiskAllowance::Bound;
    const double t = 1000 * gib, f = 300 * gib;
    const Case cases[] = {
        // Debian's client with no preferences: 90% of the disk is more than the free space.
        {"defaults", "", t, f, gib, gib + f - 0.1 * gib, B::min_free_gb},
        {"gb smallest", "<disk_max_used_gb>2</disk_max_used_gb>", t, f, gib, 2 * gib, B::max_used_gb},
        {"pct smallest", "<disk_max_used_pct>10</disk_max_used_pct>", t, f, gib, 100 * gib, B::max_used_pct},
        {"min free", "<disk_min_free_gb>250</disk_min_free_gb>", t, f, gib, 51 * gib, B::min_free_gb},
        {"zeros mean no limit", "<disk_max_used_gb>0</disk_max_used_gb><disk_max_used_pct>0</disk_max_used_pct>"
                                "<disk_min_free_gb>0</disk_min_free_gb>", t, f, gib, 301 * gib, B::min_free_gb},
        {"never below 0", "<disk_min_free_gb>400</disk_min_free_gb>", t, f, gib, 0.0, B::min_free_gb},
        {"no host figures", "", -1, -1, gib, std::nullopt, B::min_free_gb},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EffectivePrefs p = effectivePrefs(prefsBody(c.prefs), std::nullopt);
        const DiskAllowance a = diskAllowance(p, c.dTotal < 0 ? std::nullopt : std::optional(c.dTotal),
                                              c.dFree < 0 ? std::nullopt : std::optional(c.dFree), c.clientTotal);
        ASSERT_EQ(a.bytes.has_value(), c.bytes.has_value());
        if (!c.bytes) continue;
        EXPECT_DOUBLE_EQ(*a.bytes, *c.bytes);
        EXPECT_EQ(a.bound, c.bound);
    }
}

TEST(ComputerTables, LinesAndDiskFiguresOfAStateFile) {
    const auto value = valueOfText(
        "<client_state>\n<host_info>\n<domain_name>vm</domain_name>\n<p_ncpus>2</p_ncpus>\n"
        "<m_nbytes>25276157952.000000</m_nbytes>\n<d_total>1000</d_total>\n<d_free>400</d_free>\n"
        "<coprocs>\n</coprocs>\n</host_info>\n<time_stats>\n<on_frac>0.874000</on_frac>\n</time_stats>\n"
        "<project>\n<master_url>http://crunch.invalid/test/</master_url>\n<project_name>Crunch</project_name>\n"
        "<disk_usage>94208.000000</disk_usage>\n</project>\n<active_task_set>\n</active_task_set>\n"
        "<platform_name>x86_64-pc-linux-gnu</platform_name>\n<user_run_request>2</user_run_request>\n</client_state>\n");
    const auto line = [&](std::string_view name) -> const ComputerLine* {
        for (const ComputerLine& l : value->computer->lines)
            if (l.name == name) return &l;
        return nullptr;
    };
    ASSERT_TRUE(line("Memory"));
    EXPECT_EQ(line("Memory")->value, "23.54 GiB (25\u202F276\u202F157\u202F952 bytes)");
    EXPECT_EQ(line("Memory")->element, "<m_nbytes>");
    EXPECT_EQ(line("Client running")->value, "87.4%");
    EXPECT_EQ(line("Computing")->value, "according to preferences");
    EXPECT_EQ(line("Switch between tasks every")->value, "60 minutes");
    EXPECT_EQ(line("Switch between tasks every")->tooltip, "From the client's default");

    const DiskFigures& d = value->computer->disk;
    ASSERT_EQ(d.rowCount(), 2u);
    EXPECT_EQ(d.row(0).name, "Crunch");
    EXPECT_EQ(d.row(0).recorded, "94208.000000");
    EXPECT_FALSE(d.row(0).bytes);  // nothing walked
    EXPECT_EQ(d.row(1).name, "BOINC client");
    ASSERT_TRUE(d.allowed.bytes);  // the record stands in for the count
    EXPECT_DOUBLE_EQ(*d.allowed.bytes, 0.0);  // 94208 + 400 bytes free, less 0.1 GiB
}

TEST(ComputerTables, LiveFiguresOnlyForTheDiskTheFileDescribesAndHostileNumbersShownAsWritten) {
    const auto stateWith = [](const char* dTotal, const char* more) {
        return valueOfText(std::string("<client_state>\n<host_info>\n<d_total>") + dTotal +
                           "</d_total>\n<d_free>100</d_free>\n" + more +
                           "</host_info>\n<project>\n<master_url>http://a/</master_url>\n"
                           "<disk_usage>1e30</disk_usage>\n</project>\n</client_state>\n");
    };
    auto walk = std::make_shared<DiskWalk>();
    walk->projectBytes = {4096};
    walk->clientBytes = 8192;
    walk->freeBytes = 5000;
    walk->fileSystemBytes = 1000000;
    struct Case {
        const char* dTotal;
        bool live;
        double free;
    };
    for (const Case c : {Case{"1000000.000000", true, 5000}, Case{"2000000", false, 100}}) {
        SCOPED_TRACE(c.dTotal);
        const auto v = stateWith(c.dTotal, "");
        const DiskFigures d = diskFigures(std::shared_ptr<const ClientState>(v->snapshot, &v->snapshot->state),
                                          v->snapshot->state.host, v->prefs->effective, walk);
        EXPECT_EQ(d.live, c.live);
        EXPECT_EQ(d.freeBytes, c.free);
        EXPECT_EQ(d.totalBytes, 4096u + 8192u);
        EXPECT_EQ(d.row(0).bytes, 4096u);
    }
    // Numbers no host has: shown as written, never wrapped or infinite.
    const auto v = stateWith("1e300", "<timezone>1e300</timezone>\n<m_nbytes>1e19</m_nbytes>\n");
    const DiskFigures& d = v->computer->disk;
    EXPECT_FALSE(d.row(0).bytes);
    EXPECT_TRUE(!d.allowed.bytes || std::isfinite(*d.allowed.bytes));
    for (const ComputerLine& l : v->computer->lines) {
        if (l.name == "Time zone" || l.name == "Memory") {
            EXPECT_EQ(l.value, l.name == "Memory" ? "10000000000000000000 bytes" : "1e300");
        }
    }
}

TEST(ComputerTables, ProjectFoldersHoldTheActiveTasksSlots) {
    const auto value = valueOfText(
        "<client_state>\n<project>\n<master_url>https://www.example.org/a b/</master_url>\n</project>\n"
        "<workunit>\n<name>w</name>\n<app_name>x</app_name>\n</workunit>\n"
        "<result>\n<name>r</name>\n<wu_name>w</wu_name>\n</result>\n<active_task_set>\n<active_task>\n"
        "<project_master_url>https://www.example.org/a b/</project_master_url>\n<result_name>r</result_name>\n"
        "<slot>3</slot>\n</active_task>\n</active_task_set>\n</client_state>\n");
    const auto folders = projectFolders(value->snapshot->state);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders.at(0).dir, "www.example.org_a_b");
    EXPECT_EQ(folders.at(0).slotDirs, std::vector<std::string>{"3"});
}

TEST(ComputerTables, TheDiskIsCountedOncePerPeriodAndAtOnceWhenTheProjectsChange) {
    test::TempDir dir;
    const auto state = [&](std::initializer_list<const char*> urls) {
        std::string text = "<client_state>\n";
        for (const char* url : urls) text += std::string("<project>\n<master_url>") + url + "</master_url>\n</project>\n";
        return dir.write("client_state.xml", text + "</client_state>\n");
    };
    std::filesystem::create_directories(dir.path() / "projects" / "a.invalid");
    std::filesystem::create_directories(dir.path() / "projects" / "b.invalid");
    dir.write("projects/a.invalid/f", std::string(10000, 'x'));
    const StatePath path(state({"http://a.invalid/"}));
    Refresher r;
    r.setDiskWalk({true, 3600, mostWalkEntries});
    const auto bytesOf = [&](std::size_t row) { return r.last()->computer->disk.row(row).bytes.value_or(0); };
    r.refresh(path);
    const std::uint64_t first = bytesOf(0);
    EXPECT_GT(first, 0u);
    const auto walk = r.last()->computer->disk.walk;

    dir.write("projects/a.invalid/g", std::string(10000, 'y'));
    r.refresh(path);
    EXPECT_EQ(r.last()->computer->disk.walk, walk) << "counted again before its time";
    EXPECT_EQ(bytesOf(0), first);

    state({"http://a.invalid/", "http://b.invalid/"});
    r.refresh(path);
    EXPECT_NE(r.last()->computer->disk.walk, walk) << "a new project waits for the period";
    EXPECT_GT(bytesOf(0), first);
    EXPECT_EQ(r.last()->computer->disk.rowCount(), 3u);
}

}  // namespace
}  // namespace crunchwatch

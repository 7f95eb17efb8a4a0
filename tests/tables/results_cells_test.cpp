#include "tables/results_cells.hpp"

#include <clocale>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "state_text.hpp"
#include "test_support.hpp"

#include "state/numbers.hpp"
#include "tables/columns.hpp"
#include "tables/snapshot.hpp"

namespace crunchwatch {
namespace {

constexpr const char* iso = "%Y-%m-%d %H:%M:%S";
constexpr double now = 1796150000;  // 2026-12-01 18:33:20 UTC

using Opt = std::optional<std::string>;

// The values one row is built from; absent ones are left out of the file.
struct RowValues {
    Opt wu_name = "wu1";
    Opt project_name = "Alpha";
    Opt version_num{};
    Opt state{};
    Opt scheduler_state{};
    Opt fraction_done{};
    Opt current_cpu_time{};
    Opt active_task_state{};  // what current clients write instead of the two above
    Opt checkpoint_fraction_done{};
    Opt checkpoint_cpu_time{};
    Opt report_deadline{};
    Opt resource_share{};
    Opt otherShare{};  // "resource_share" of a second project without results
};

// A state file with one result, its workunit, and the active task running it
// when any task value is given. The row is built as a refresh builds it.
struct OneRow {
    explicit OneRow(const RowValues& s) {
        using test::el;
        std::optional<std::string> task;
        if (s.scheduler_state || s.fraction_done || s.current_cpu_time || s.active_task_state ||
            s.checkpoint_fraction_done || s.checkpoint_cpu_time)
            task = test::task("http://a/", "r1",
                              el("active_task_state", s.active_task_state) + el("scheduler_state", s.scheduler_state) +
                                  el("checkpoint_cpu_time", s.checkpoint_cpu_time) +
                                  el("fraction_done", s.fraction_done) + el("current_cpu_time", s.current_cpu_time) +
                                  el("checkpoint_fraction_done", s.checkpoint_fraction_done));
        snapshot = snapshotOfText(test::stateFile(
            test::project("http://a/", el("project_name", s.project_name) + el("resource_share", s.resource_share)) +
                test::workunit(s.wu_name.value_or("wu1"), std::nullopt, el("version_num", s.version_num)) +
                test::result("r1", s.wu_name, el("state", s.state) + el("report_deadline", s.report_deadline)) +
                (s.otherShare ? test::project("http://b/", el("resource_share", s.otherShare)) : ""),
            task));
    }
    resultRow row() const { return snapshot.rows.main_result_table[0]; }
    std::optional<std::string> text(std::string_view id) const { return cellText(resultCell(row(), id, now), iso); }

    Snapshot snapshot;
};

std::optional<std::string> cell(const RowValues& given, std::string_view id) { return OneRow(given).text(id); }

using ResultCells = test::ZonedTest;

struct StateCase {
    Opt state, scheduler_state, shown;
    Opt active_task_state{};
};

TEST_F(ResultCells, StateText) {
    const StateCase cases[] = {
        {"1", {}, "Downloading"},
        {"2", {}, "Waiting"},
        {"2", "0", "0"},
        {"2", "1", "Paused"},
        {"2", "2", "running..."},
        {"2", "3", "3"},
        {"2", "-1", "-1"},
        {"2", "x", "x"},
        {"2", " 2", "running..."},
        {"2", "2.9", "running..."},
        {"3", {}, "3"},
        {"3", "2", "3"},
        {"4", {}, "Finished"},
        {"5", "2", "Sent"},
        {"0", {}, "0"},
        {"7", {}, "7"},
        {"-1", {}, "-1"},
        {" 2", {}, "Waiting"},
        {"2.9", "1", "Paused"},
        {"abc", {}, "abc"},
        {"99999999999", {}, "99999999999"},
        {"4294967297", {}, "4294967297"},  // would wrap round to 1 in 32 bits
        {{}, "2", {}},
        // A current client's process state: executing runs, suspended is
        // paused, anything else waits; a stored scheduler state wins.
        {"2", {}, "running...", "1"},
        {"2", {}, "Paused", "9"},
        {"2", {}, "Waiting", "0"},
        {"2", {}, "Waiting", "2"},
        {"2", {}, "Waiting", "5"},
        {"2", {}, "Waiting", "x"},
        {"2", {}, "running...", " 1.0"},
        {"2", "1", "Paused", "1"},
        {"2", "0", "0", "1"},
        {"5", {}, "Sent", "1"},
    };
    for (const auto& c : cases) {
        RowValues given;
        given.state = c.state;
        given.scheduler_state = c.scheduler_state;
        given.active_task_state = c.active_task_state;
        if (c.active_task_state) given.current_cpu_time = "1";
        EXPECT_EQ(cell(given, "State"), c.shown)
            << "state " << c.state.value_or("(absent)") << ", scheduler_state " << c.scheduler_state.value_or("(absent)")
            << ", active_task_state " << c.active_task_state.value_or("(absent)");
    }
}

struct ProgressCase {
    Opt fraction_done, scheduler_state, shown;
    Opt checkpoint_fraction_done{}, active_task_state{};
};

TEST_F(ResultCells, Progress) {
    const ProgressCase cases[] = {
        {"0.456789", "2", "45.68%"},
        {"0.456789", {}, "45.68%"},
        {"0", "2", "checking..."},
        {"0.000000", "2", "checking..."},
        {"-0", "2", "checking..."},
        {"abc", "2", "checking..."},  // present, reads as 0
        {"0", {}, "0.00%"},
        {"0", "1", "0.00%"},
        {"0", "0", "0.00%"},
        {"0", "x", "0.00%"},
        {"0.00001", "2", "0.00%"},  // not exactly zero
        {"1", "2", "100.00%"},
        {"0.5", {}, "50.00%"},
        {"0.99999", {}, "100.00%"},
        {{}, "2", {}},
        // The number of the scheduler state decides, not its integer part.
        {"0", "2.0", "checking..."},
        {"-0", "20e-1", "checking..."},
        {"0", "2.9", "0.00%"},
        {"0", "20", "0.00%"},
        // A current client: the fraction at the last checkpoint, and the
        // process state in place of the scheduler state.
        {{}, {}, "12.35%", "0.123456", "1"},
        {{}, {}, "checking...", "0", "1"},
        {{}, {}, "0.00%", "0", "9"},
        {{}, {}, "0.00%", "0", "0"},
        {{}, {}, {}, {}, "1"},
        {"0.5", {}, "50.00%", "0.25", "1"},  // the live fraction wins
        {"0", "1", "0.00%", "0", "1"},        // and so does the stored scheduler state
    };
    for (const auto& c : cases) {
        RowValues given;
        given.fraction_done = c.fraction_done;
        given.scheduler_state = c.scheduler_state;
        given.checkpoint_fraction_done = c.checkpoint_fraction_done;
        given.active_task_state = c.active_task_state;
        given.current_cpu_time = "1";  // keep the active task
        EXPECT_EQ(cell(given, "Progress"), c.shown)
            << "fraction_done " << c.fraction_done.value_or("(absent)") << ", scheduler_state "
            << c.scheduler_state.value_or("(absent)") << ", checkpoint " << c.checkpoint_fraction_done.value_or("(absent)")
            << ", process " << c.active_task_state.value_or("(absent)");
    }
}

TEST_F(ResultCells, VersionIsHundredthsWithTwoDecimals) {
    const struct {
        Opt stored, shown;
    } cases[] = {
        {"512", "5.12"}, {"4", "0.04"},   {"107", "1.07"},  {"0", "0.00"},
        {"abc", "0.00"}, {"1e3", "10.00"}, {"-250", "-2.50"}, {{}, {}},
    };
    for (const auto& c : cases) {
        RowValues given;
        given.version_num = c.stored;
        EXPECT_EQ(cell(given, "Version"), c.shown) << c.stored.value_or("(absent)");
    }
}

TEST_F(ResultCells, TextColumns) {
    RowValues given;
    given.wu_name = "h1_0412.35_O3aC01Cl1In0";
    given.project_name = "Einstein@Home";
    EXPECT_EQ(cell(given, "WUnit"), "h1_0412.35_O3aC01Cl1In0");
    EXPECT_EQ(cell(given, "PName"), "Einstein@Home");
    given.wu_name.reset();
    given.project_name.reset();
    EXPECT_EQ(cell(given, "WUnit"), std::nullopt);
    EXPECT_EQ(cell(given, "PName"), std::nullopt);
}

struct EstimateCase {
    Opt cpu, fraction, share, other;
    Opt cpuTime, etr, etc;
    Opt checkpointFraction{}, checkpointCpu{};
};

TEST_F(ResultCells, TimeUsedRemainingAndCompletion) {
    const EstimateCase cases[] = {
        // 3600 s for a quarter: 10800 s left; the project has 50 of 150 shares.
        {"3600", "0.25", "50", "100", "01:00:00", "03:00:00", "2026-12-02 03:33:20"},
        {"3600", "0.25", "100", {}, "01:00:00", "03:00:00", "2026-12-01 21:33:20"},
        {"3600", "1", "100", {}, "01:00:00", "00:00:00", "2026-12-01 18:33:20"},
        {"3725.9", "0.5", "100", {}, "01:02:05", "01:02:05", "2026-12-01 19:35:25"},
        // Nothing done yet: no remaining time, no completion.
        {"3600", "0", "100", {}, "01:00:00", {}, {}},
        {"3600", "abc", "100", {}, "01:00:00", {}, {}},
        // A project without share gets no processor time.
        {"3600", "0.25", "0", "100", "01:00:00", "03:00:00", {}},
        {"3600", "0.25", "none", "100", "01:00:00", "03:00:00", {}},
        {"3600", "0.25", {}, "100", "01:00:00", "03:00:00", {}},
        // Inputs absent.
        {{}, "0.25", "100", {}, {}, {}, {}},
        {"3600", {}, "100", {}, "01:00:00", {}, {}},
        {"abc", "0.25", "100", {}, "00:00:00", "00:00:00", "2026-12-01 18:33:20"},
        // Too large to show.
        {"1e300", "0.5", "100", {}, {}, {}, {}},
        {"1e300", "1e-300", "100", {}, {}, {}, {}},
        // At a checkpoint: 900 s for a quarter makes 3600 s for the task,
        // of which 1000 s are used.
        {"1000", {}, "100", {}, "00:16:40", "00:43:20", "2026-12-01 19:16:40", "0.25", "900"},
        {"1000", {}, "50", "100", "00:16:40", "00:43:20", "2026-12-01 20:43:20", "0.25", "900"},
        // Past its estimate: nothing left, never a negative time.
        {"5000", {}, "100", {}, "01:23:20", "00:00:00", "2026-12-01 18:33:20", "0.25", "900"},
        // No checkpoint time: the time used stands in, as for a live fraction.
        {"3600", {}, "100", {}, "01:00:00", "03:00:00", "2026-12-01 21:33:20", "0.25", {}},
        // A live fraction ignores the checkpoint time.
        {"3600", "0.25", "100", {}, "01:00:00", "03:00:00", "2026-12-01 21:33:20", "0.5", "900"},
        {"1000", {}, "100", {}, "00:16:40", {}, {}, "0", "900"},
        {{}, {}, "100", {}, {}, {}, {}, "0.25", "900"},
    };
    for (const auto& c : cases) {
        RowValues given;
        given.current_cpu_time = c.cpu;
        given.fraction_done = c.fraction;
        given.resource_share = c.share;
        given.otherShare = c.other;
        given.checkpoint_fraction_done = c.checkpointFraction;
        given.checkpoint_cpu_time = c.checkpointCpu;
        if (!c.cpu && !c.fraction) given.scheduler_state = "2";
        const OneRow row(given);
        const auto what = "cpu " + c.cpu.value_or("(absent)") + ", fraction " + c.fraction.value_or("(absent)") +
                          ", share " + c.share.value_or("(absent)") + ", checkpoint " +
                          c.checkpointFraction.value_or("(absent)") + " at " + c.checkpointCpu.value_or("(absent)");
        EXPECT_EQ(row.text("CPUTime"), c.cpuTime) << what;
        EXPECT_EQ(row.text("ETR"), c.etr) << what;
        EXPECT_EQ(row.text("ETC"), c.etc) << what;
    }
}

TEST_F(ResultCells, CompletionIsCountedFromNow) {
    const OneRow row({.fraction_done = "0.25", .current_cpu_time = "3600", .resource_share = "50", .otherShare = "100"});
    ASSERT_EQ(row.row().get(Key::rsc_share), "150.000000");
    for (const double at : {0.0, now, -1e9}) {
        const Cell etc = resultCell(row.row(), "ETC", at);
        ASSERT_EQ(etc.kind, Cell::Kind::Date);
        EXPECT_EQ(etc.moment, at + 32400);
    }
    EXPECT_EQ(resultCell(row.row(), "ETR", now).value, 10800.0);
    EXPECT_EQ(resultCell(row.row(), "CPUTime", now).value, 3600.0);
}

TEST_F(ResultCells, CompletionPastTheDeadline) {
    // 3 hours left at a full share: completes at now + 10800.
    const struct {
        Opt deadline;
        std::optional<double> late;
    } cases[] = {
        {"1796160800", {}},       // 10800 s from now: just in time
        {"1796160799", 1.0},
        {"1796150000", 10800.0},  // already passed
        {{}, {}},
        {"soon", 1796160800.0},   // reads as 1970
    };
    for (const auto& c : cases) {
        const OneRow row({.fraction_done = "0.25", .current_cpu_time = "3600", .report_deadline = c.deadline,
                          .resource_share = "100"});
        EXPECT_EQ(completionPastDeadline(row.row(), now), c.late) << c.deadline.value_or("(absent)");
    }
    const OneRow waiting({.report_deadline = "1"});
    EXPECT_EQ(completionPastDeadline(waiting.row(), now), std::nullopt);
}

TEST_F(ResultCells, ExplanationsOfTheClientsCodes) {
    const struct {
        RowValues given;
        std::string state;
        Opt progress;
    } cases[] = {
        {{.state = "3"}, "Result state 3: computation error: the application failed or was stopped", {}},
        {{.state = "2", .active_task_state = "9", .checkpoint_fraction_done = "0.5"},
         "Result state 2: ready to run: its input files are here; its process is suspended",
         "Progress at the task's last checkpoint: a current client writes the fraction done into its state file "
         "only when the task checkpoints, so the live figure may be ahead of it"},
        {{.state = "2", .scheduler_state = "2", .fraction_done = "0.5"},
         "Result state 2: ready to run: its input files are here; the client is running it",
         "Progress as the client last wrote it into its state file"},
        {{.state = "2"}, "Result state 2: ready to run: its input files are here; no task has been started for it", {}},
        {{.state = "42"}, "Result state 42: a code this monitor does not know", {}},
        {{}, "", {}},
    };
    for (const auto& c : cases) {
        const OneRow row(c.given);
        EXPECT_EQ(stateExplanation(row.row()), c.state);
        EXPECT_EQ(progressExplanation(row.row()), c.progress);
    }
}

// Real clients, current since 2011, had just stopped their tasks: every
// result with an active task shows the fraction at its checkpoint and, once
// that is above zero, a remaining time.
TEST_F(ResultCells, RealClientsShowCheckpointProgress) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    std::size_t tasks = 0;
    for (const auto& entry : std::filesystem::directory_iterator(test::realDataDir())) {
        const auto path = entry.path() / "client_state.xml";
        if (!std::filesystem::is_regular_file(path)) continue;
        const Snapshot snapshot = takeSnapshot(path.string());
        ASSERT_TRUE(snapshot) << path;
        for (const auto& row : snapshot.rows.main_result_table) {
            const auto checkpoint = row.get(Key::checkpoint_fraction_done);
            if (!row.get(Key::result_name)) continue;
            ++tasks;
            ASSERT_TRUE(checkpoint) << path;
            const Cell progress = resultCell(row, "Progress", now);
            EXPECT_EQ(progress.value, readNumber(checkpoint) * 100.0) << path;
            if (readNumber(checkpoint) > 0) {
                EXPECT_TRUE(resultCell(row, "ETR", now).value.has_value()) << path;
            }
        }
    }
    EXPECT_GE(tasks, 5u);
}

TEST_F(ResultCells, AnyOtherIdentifierIsTheReportDeadline) {
    const OneRow row({.report_deadline = "1796586544.000000"});
    for (const auto id : {"Deadline", "", "deadline", "wu_name", "resource_share"}) {
        EXPECT_EQ(row.text(id), "2026-12-06 19:49:04") << id;
        EXPECT_EQ(resultCell(row.row(), id, now).kind, Cell::Kind::Date) << id;
    }
    const struct {
        Opt stored, shown;
    } cases[] = {
        {"-0.5", "1969-12-31 23:59:59"},
        {"0", "1970-01-01 00:00:00"},
        {{}, "1970-01-01 00:00:00"},  // absent reads as 0
        {"soon", "1970-01-01 00:00:00"},
        {"1e20", {}},
        {"nan", "1970-01-01 00:00:00"},  // not a decimal number: 0
        {"1e400", {}},                    // beyond the double range: infinite
    };
    for (const auto& c : cases) {
        RowValues given;
        given.report_deadline = c.stored;
        EXPECT_EQ(cell(given, "Deadline"), c.shown) << c.stored.value_or("(absent)");
    }
}

TEST_F(ResultCells, EveryColumnOfTheTableIsKnown) {
    RowValues given;
    given.version_num = "512";
    given.state = "2";
    given.scheduler_state = "2";
    given.fraction_done = "0.25";
    given.current_cpu_time = "3600";
    given.resource_share = "100";
    given.report_deadline = "1796586544";
    const OneRow row(given);
    const Opt expected[] = {"wu1",      "Alpha",    "5.12",
                            "running...", "25.00%", "01:00:00",
                            "03:00:00", "2026-12-01 21:33:20", "2026-12-06 19:49:04"};
    ASSERT_EQ(std::size(expected), resultColumnsShown);
    for (std::size_t i = 0; i < resultColumnsShown; ++i)
        EXPECT_EQ(row.text(resultColumns[i].id), expected[i]) << resultColumns[i].id;
}

// Every column sorts by what its cell shows: nothing for an empty cell, its
// number when it has one, else its text. Some columns compute the value
// without the cell, and must not drift from it.
TEST_F(ResultCells, EveryColumnSortsByWhatItsCellShows) {
    const RowValues rows[] = {
        {.wu_name = {}, .project_name = {}},
        {.version_num = "512", .state = "2", .scheduler_state = "2", .fraction_done = "0.25",
         .current_cpu_time = "3600", .report_deadline = "1796586544", .resource_share = "100"},
        {.state = "2", .scheduler_state = "2", .fraction_done = "0", .current_cpu_time = "0"},
        {.state = "2", .active_task_state = "1", .checkpoint_fraction_done = "0.5", .checkpoint_cpu_time = "100",
         .resource_share = "0"},
        {.version_num = "nan", .state = "abc", .fraction_done = "1e400", .current_cpu_time = "-1e300",
         .report_deadline = "1e400", .resource_share = "-5"},
    };
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    for (const RowValues& given : rows) {
        const OneRow row(given);
        for (const auto& c : resultColumns) {
            SCOPED_TRACE(c.id);
            if (&c == &columnOf(ResultColumn::State)) continue;  // by its meaning: below
            const Cell cell = c.cell(row.row(), now);  // the expected text is a view of it
            const SortValue expected = sortValueOf(cell);
            const SortValue sorted = c.sortValue(row.row(), now);
            EXPECT_EQ(sorted.kind, expected.kind);
            EXPECT_TRUE(same(sorted.number, expected.number)) << sorted.number << " " << expected.number;
            EXPECT_EQ(sorted.text, expected.text);
        }
    }
}

// The State column sorts by meaning, not by its text: what runs, what could,
// what waits for its files, what is done; then the client's codes by number.
TEST_F(ResultCells, StateSortsByMeaning) {
    const RowValues inOrder[] = {
        {.state = "2", .scheduler_state = "2"},  // running...
        {.state = "2", .scheduler_state = "1"},  // Paused
        {.state = "2"},                          // Waiting
        {.state = "1"},                          // Downloading
        {.state = "4"},                          // Finished
        {.state = "5"},                          // Sent
        {.state = "-3"},
        {.state = "abc"},  // no number: 0
        {.state = "3"},
        {.state = "6"},
        {.state = "1000"},
    };
    const auto& column = columnOf(ResultColumn::State);
    double last = -1;
    for (const RowValues& given : inOrder) {
        const OneRow row(given);
        SCOPED_TRACE(row.text("State").value_or("(empty)"));
        const SortValue v = column.sortValue(row.row(), now);
        ASSERT_EQ(v.kind, SortValue::Kind::Number);
        EXPECT_GT(v.number, last);
        last = v.number;
    }
    EXPECT_EQ(column.sortValue(OneRow({}).row(), now).kind, SortValue::Kind::None);
}

TEST_F(ResultCells, NumbersIgnoreTheProcessLocale) {
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    RowValues given;
    given.version_num = "512";
    given.fraction_done = "0.456789";
    given.current_cpu_time = "3600.5";
    given.resource_share = "50.5";
    given.otherShare = "100";
    const OneRow row(given);
    EXPECT_EQ(row.row().get(Key::rsc_share), "150.500000");
    EXPECT_EQ(row.text("Version"), "5.12");
    EXPECT_EQ(row.text("Progress"), "45.68%");
    EXPECT_EQ(row.text("CPUTime"), "01:00:00");
    EXPECT_EQ(resultCell(row.row(), "Version", now).value, 5.12);
}

}  // namespace
}  // namespace crunchwatch

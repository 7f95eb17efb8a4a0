#include "state/projects.hpp"

#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "state_text.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

using Opt = std::optional<std::string_view>;
using Entries = std::vector<std::pair<std::string, std::string>>;

Entries entriesOf(const Record& r) {
    Entries out;
    for (const Entry& e : r.entries()) out.emplace_back(e.key, e.value);
    return out;
}

using test::el, test::project, test::workunit, test::result, test::task, test::stateFile;

TEST(Projects, ValuesAreCutInKeyOrderAndEmptyOrAbsentOnesLeftOut) {
    // Written in reverse order, without rpc_seqno, with an empty resource_share.
    const auto st = clientStateFromText(stateFile(
        "<project><app_name>app</app_name><resource_share></resource_share><min_rpc_time>9</min_rpc_time>"
        "<exp_avg_mod_time>8</exp_avg_mod_time><exp_avg_cpu>7</exp_avg_cpu><host_create_time>6</host_create_time>"
        "<host_expavg_credit>5</host_expavg_credit><host_total_credit>4</host_total_credit>"
        "<user_create_time>3</user_create_time><user_expavg_credit>2</user_expavg_credit>"
        "<user_total_credit>1</user_total_credit><project_name>A &amp; B &lt;x&gt;</project_name>"
        "<master_url>http://a/</master_url></project>"));
    ASSERT_EQ(st.projectInfo.size(), 1u);
    const Entries expected = {{"master_url", "http://a/"}, {"project_name", "A &amp; B &lt;x&gt;"},
                              {"user_total_credit", "1"}, {"user_expavg_credit", "2"}, {"user_create_time", "3"},
                              {"host_total_credit", "4"}, {"host_expavg_credit", "5"}, {"host_create_time", "6"},
                              {"exp_avg_cpu", "7"}, {"exp_avg_mod_time", "8"}, {"min_rpc_time", "9"},
                              {"app_name", "app"}};
    EXPECT_EQ(entriesOf(st.projectInfo[0].values), expected);
    EXPECT_TRUE(st.projectInfo[0].result.empty());
}

TEST(Projects, AppNameIsTheFirstOneInTheBlock) {
    const auto st = clientStateFromText(stateFile(project("a") + project("b") + workunit("w1", "first") +
                                                  workunit("w2", "second") + project("c") + workunit("w3", "third")));
    ASSERT_EQ(st.projectInfo.size(), 3u);
    EXPECT_EQ(st.projectInfo[0].values.get(Key::app_name), std::nullopt);
    EXPECT_EQ(st.projectInfo[1].values.get(Key::app_name), Opt("first"));
    EXPECT_EQ(st.projectInfo[2].values.get(Key::app_name), Opt("third"));
}

TEST(Projects, MissingEndTagRunsToTheEndOfTheBlock) {
    const auto st = clientStateFromText(stateFile("<project><master_url>u</master_url><min_rpc_time>12"
                                                  "<resource_share>100</resource_share>" + project("u")));
    ASSERT_EQ(st.projectInfo.size(), 2u);  // the same URL twice still gives two records
    EXPECT_EQ(st.projectInfo[0].values.get(Key::min_rpc_time), Opt("12<resource_share>100</resource_share>"));
    EXPECT_EQ(st.projectInfo[0].values.get(Key::resource_share), Opt("100"));
    EXPECT_FALSE(st.projectInfo[1].values.has(Key::min_rpc_time));
}

TEST(Projects, NoProjectSectionGivesAnEmptyList) {
    for (const std::string& text : {std::string(), stateFile("", ""), stateFile("<projects/>", task("u", "r"))}) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(clientStateFromText(text).projectInfo.empty());
    }
}

// The last block ends where the active-task set begins.
TEST(Projects, LastBlockHoldsNothingOfTheActiveTaskSet) {
    const auto st = clientStateFromText(
        stateFile("<project><master_url>u</master_url>", task("u", "r", el("app_name", "x") + result("r", "w"))));
    ASSERT_EQ(st.projectInfo.size(), 1u);
    EXPECT_FALSE(st.projectInfo[0].values.has(Key::app_name));
    EXPECT_TRUE(st.projectInfo[0].result.empty());
}

TEST(Results, KeysComeInOrderWithReadyToReportOnlyForTheMarker) {
    const auto st = clientStateFromText(stateFile(
        project("u") + workunit("w", "app", el("version_num", "701")) +
                 "<result><ready_to_report/><report_deadline>5</report_deadline><wu_name>w</wu_name><state>2</state>"
                 "<exit_status>0</exit_status><name>r1</name></result>" +
                 result("r2", "w", el("ready_to_report", "1")) + result("r3", "w", "<ready_to_report />")));
    ASSERT_EQ(st.projectInfo.size(), 1u);
    const auto& results = st.projectInfo[0].result;
    ASSERT_EQ(results.size(), 3u);
    const Entries expected = {{"name", "r1"}, {"exit_status", "0"}, {"state", "2"}, {"wu_name", "w"},
                              {"report_deadline", "5"}, {"ready_to_report", "ready_to_report"},
                              {"app_name", "app"}, {"version_num", "701"}};
    EXPECT_EQ(entriesOf(results[0]), expected);
    EXPECT_FALSE(results[1].has(Key::ready_to_report));
    EXPECT_FALSE(results[2].has(Key::ready_to_report));
}

TEST(Results, TagsMatchAsWholeLiterals) {
    struct Case {
        const char* element;
        const char* key;
        Opt expected;
    };
    const Case cases[] = {
        {"<result><wu_name>w</wu_name></result>", "name", std::nullopt},
        {"<result><wu_name>w</wu_name><name>n</name></result>", "name", "n"},
        {"<result><result_name>w</result_name></result>", "name", std::nullopt},
        {"<result><scheduler_state>1</scheduler_state></result>", "state", std::nullopt},
        {"<result><scheduler_state>1</scheduler_state><state>2</state></result>", "state", "2"},
        {"<result><Name>n</Name></result>", "name", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        const auto st = clientStateFromText(stateFile(project("u") + c.element));
        ASSERT_EQ(st.projectInfo.at(0).result.size(), 1u);
        EXPECT_EQ(st.projectInfo[0].result[0].getNamed(c.key), c.expected);
    }
}

TEST(Results, HundredAdjacentElementsAreEachTakenOnceInOrder) {
    std::string block;
    const std::string padding = el("rsc_fpops_est", std::string(200, '1'));
    for (int i = 0; i < 100; ++i) block += workunit("w" + std::to_string(i), "app" + std::to_string(i), padding);
    for (int i = 0; i < 100; ++i) block += result("r" + std::to_string(i), "w" + std::to_string(i), padding);
    const auto st = clientStateFromText(stateFile(project("u") + block + project("v")));
    ASSERT_EQ(st.projectInfo.size(), 2u);
    const auto& results = st.projectInfo[0].result;
    ASSERT_EQ(results.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE(i);
        const std::string name = "r" + std::to_string(i), app = "app" + std::to_string(i);
        EXPECT_EQ(results[i].get(Key::name), Opt(name));
        EXPECT_EQ(results[i].get(Key::app_name), Opt(app));
    }
    EXPECT_TRUE(st.projectInfo[1].result.empty());
}

TEST(Results, ElementWithoutEndTagRunsToTheNextEndTagOrTheBlockEnd) {
    const auto st = clientStateFromText(stateFile(
        project("u") + result("a", "w") + "<result><name>b</name><state>2</state>" + project("v") + result("c", "w") +
        project("x") + "<result><name>d</name><result><name>e</name></result>"));
    ASSERT_EQ(st.projectInfo.size(), 3u);
    const auto& first = st.projectInfo[0].result;
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1].get(Key::name), Opt("b"));
    EXPECT_EQ(first[1].get(Key::state), Opt("2"));
    ASSERT_EQ(st.projectInfo[1].result.size(), 1u);
    EXPECT_EQ(st.projectInfo[1].result[0].get(Key::name), Opt("c"));
    // The unclosed element swallows the one after it.
    ASSERT_EQ(st.projectInfo[2].result.size(), 1u);
    EXPECT_EQ(st.projectInfo[2].result[0].get(Key::name), Opt("d"));
}

// Blocks of up to sixteen workunits are searched in order, larger ones
// through an index; both must give the first workunit of a name.
TEST(Join, FirstWorkunitOfTheNameWinsAtEverySize) {
    for (int filler : {0, 40}) {
        SCOPED_TRACE(filler);
        std::string block = workunit("other", "x") + workunit("w", "first") + "<workunit><app_name>unnamed</app_name>"
                            "</workunit>" + workunit("v", "noversion");
        for (int i = 0; i < filler; ++i) block += workunit("f" + std::to_string(i), "filler", el("version_num", "1"));
        block += workunit("w", "second", el("version_num", "2"));
        block += result("r1", "w") + "<result><name>r2</name></result>" + result("r3", "v") + result("r4", "W");
        const auto st = clientStateFromText(stateFile(project("u") + block));
        const auto& r = st.projectInfo.at(0).result;
        ASSERT_EQ(r.size(), 4u);
        EXPECT_EQ(r[0].get(Key::app_name), Opt("first"));
        EXPECT_FALSE(r[0].has(Key::version_num));
        EXPECT_FALSE(r[1].has(Key::app_name));  // no wu_name never matches the unnamed workunit
        EXPECT_EQ(r[2].get(Key::app_name), Opt("noversion"));
        EXPECT_FALSE(r[2].has(Key::version_num));
        EXPECT_FALSE(r[3].has(Key::app_name));  // names are case-sensitive
    }
}

TEST(Join, WorkunitOfAnotherProjectGivesNothing) {
    const auto st = clientStateFromText(stateFile(project("a") + workunit("wb", "appB") + result("ra", "wa") +
                                                  project("b") + workunit("wa", "appA") + result("rb", "wb")));
    ASSERT_EQ(st.projectInfo.size(), 2u);
    EXPECT_FALSE(st.projectInfo[0].result.at(0).has(Key::app_name));
    EXPECT_FALSE(st.projectInfo[1].result.at(0).has(Key::app_name));
}

TEST(Merge, TwoTasksOnOneResultAreMergedInOrderLaterValuesRemain) {
    const auto st = clientStateFromText(stateFile(
        project("u") + result("r", "w", el("state", "2")),
        task("u", "r", el("slot", "0") + el("fraction_done", "0.1") + el("scheduler_state", "1")) +
            task("u", "r", el("fraction_done", "0.2") + el("current_cpu_time", "30"))));
    const Entries expected = {{"name", "r"}, {"state", "2"}, {"wu_name", "w"}, {"project_master_url", "u"},
                              {"result_name", "r"}, {"slot", "0"}, {"scheduler_state", "1"},
                              {"fraction_done", "0.2"}, {"current_cpu_time", "30"}};
    EXPECT_EQ(entriesOf(st.projectInfo.at(0).result.at(0)), expected);
}

TEST(Merge, TaskStopsAtTheFirstProjectWithItsUrl) {
    const auto st = clientStateFromText(stateFile(project("u") + result("a", "w") + project("u") + result("b", "w"),
                                                  task("u", "b", el("slot", "1")) + task("u", "a", el("slot", "2"))));
    ASSERT_EQ(st.projectInfo.size(), 2u);
    EXPECT_EQ(st.projectInfo[0].result.at(0).get(Key::slot), Opt("2"));
    EXPECT_FALSE(st.projectInfo[1].result.at(0).has(Key::slot));
}

TEST(Merge, UnmatchedOrIncompleteTasksChangeNothing) {
    const std::string projects = project("u") + result("r", "w") + "<project>" + result("n", "w");  // no master_url
    const std::string tasks[] = {
        "",                                          // set without <active_task>
        "<slot>1</slot>",                            // values outside any task
        task("other", "r", el("slot", "1")),         // no such project
        task("u", "R", el("slot", "1")),             // no such result; names are case-sensitive
        "<active_task><result_name>r</result_name><slot>1</slot></active_task>",  // no URL
        "<active_task><project_master_url>u</project_master_url><slot>1</slot></active_task>",  // no name
        "<active_task><result_name>n</result_name><slot>1</slot></active_task>",  // URL absent on both sides
    };
    for (const std::string& t : tasks) {
        SCOPED_TRACE(t);
        const auto st = clientStateFromText(stateFile(projects, t));
        ASSERT_EQ(st.projectInfo.size(), 2u);
        EXPECT_EQ(st.projectInfo[0].result.at(0).size(), 2u);
        EXPECT_EQ(st.projectInfo[1].result.at(0).size(), 2u);
    }
}

// The last task runs to the set's end tag; text after it is no task's.
TEST(Merge, LastTaskEndsAtTheSetEndTag) {
    auto text = stateFile(project("u") + result("r", "w"), task("u", "r"));
    text.insert(text.find("<platform_name>"), el("fraction_done", "0.9"));
    const auto st = clientStateFromText(text);
    EXPECT_TRUE(st.projectInfo.at(0).result.at(0).has(Key::result_name));
    EXPECT_FALSE(st.projectInfo[0].result[0].has(Key::fraction_done));
}

// Projects with more than sixteen results are searched through an index.
TEST(Merge, ManyResultsFirstOfTheNameTakesTheTask) {
    std::string block;
    for (int i = 0; i < 40; ++i) block += result(i == 5 || i == 30 ? "dup" : "r" + std::to_string(i), "w");
    const auto st = clientStateFromText(stateFile(
        project("u") + block, task("u", "dup", el("slot", "1")) + task("u", "r39", el("slot", "2")) +
                                 task("u", "r41", el("slot", "3"))));
    const auto& r = st.projectInfo.at(0).result;
    ASSERT_EQ(r.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r[i].get(Key::slot), i == 5 ? Opt("1") : i == 39 ? Opt("2") : std::nullopt);
    }
}

TEST(ClientState, LoadsAHandWrittenFile) {
    const auto st = loadClientState(std::string(CRUNCHWATCH_TEST_DATA_DIR) + "/state-two-projects.xml");
    ASSERT_TRUE(st);
    ASSERT_EQ(st->projectInfo.size(), 2u);
    EXPECT_EQ(st->projectInfo[0].values.get(Key::project_name), Opt("Alpha &amp; Omega"));
    EXPECT_EQ(st->projectInfo[1].values.get(Key::project_name), Opt("Beta@home"));
    const auto& r = st->projectInfo[1].result;
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].get(Key::version_num), Opt("701"));
    EXPECT_EQ(r[0].get(Key::fraction_done), Opt("0.456789"));
    EXPECT_EQ(r[1].get(Key::ready_to_report), Opt("ready_to_report"));
    EXPECT_FALSE(r[1].has(Key::fraction_done));
    EXPECT_FALSE(loadClientState(std::string(CRUNCHWATCH_TEST_DATA_DIR) + "/no-such-file.xml"));
}

TEST(ClientState, RealClientFilesLoadWithTheirCounts) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    struct Case {
        const char* dir;
        std::vector<std::size_t> resultsPerProject;
        std::size_t merged;
    };
    const Case cases[] = {{"michaelzhye-seti-cas", {0, 5}, 2}, {"michaelzhye-downloading", {0, 5}, 1},
                          {"michaelzhye-3proj", {1, 0, 0}, 1}, {"michaelzhye-milkyway", {1}, 1},
                          {"caoyuwei-ikits", {0}, 0}, {"highkali-android", {}, 0},
                          {"punctum-alpine", {}, 0}, {"juppiega-cuda", {}, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        const auto st = loadClientState((test::realDataDir() / c.dir / "client_state.xml").string());
        ASSERT_TRUE(st);
        std::vector<std::size_t> counts;
        std::size_t merged = 0;
        for (const projectRecord& p : st->projectInfo) {
            counts.push_back(p.result.size());
            EXPECT_TRUE(p.values.has(Key::master_url));
            for (const resultRecord& r : p.result) {
                EXPECT_TRUE(r.has(Key::name) && r.has(Key::wu_name) && r.has(Key::app_name) && r.has(Key::version_num));
                if (r.has(Key::current_cpu_time)) ++merged;
            }
        }
        EXPECT_EQ(counts, c.resultsPerProject);
        EXPECT_EQ(merged, c.merged);
    }
    // Every state file there is covered above.
    std::size_t files = 0;
    for (const auto& d : std::filesystem::directory_iterator(test::realDataDir()))
        files += std::filesystem::exists(d.path() / "client_state.xml");
    EXPECT_EQ(files, std::size(cases));
}

TEST(ClientState, RealSetiFileMergesItsRunningTasks) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    const auto st = loadClientState((test::realDataDir() / "michaelzhye-seti-cas" / "client_state.xml").string());
    ASSERT_TRUE(st);
    ASSERT_EQ(st->projectInfo.size(), 2u);
    EXPECT_EQ(st->projectInfo[1].values.get(Key::project_name), Opt("SETI@home"));
    EXPECT_EQ(st->projectInfo[1].values.get(Key::app_name), Opt("setiathome_v7"));
    const Entries expected = {{"name", "09dc14ab.8135.2112.438086664201.12.22.vlar_0"}, {"exit_status", "0"},
                              {"state", "2"}, {"wu_name", "09dc14ab.8135.2112.438086664201.12.22.vlar"},
                              {"report_deadline", "1444318812.000000"}, {"app_name", "setiathome_v7"},
                              {"version_num", "701"}, {"project_master_url", "http://setiathome.berkeley.edu/"},
                              {"result_name", "09dc14ab.8135.2112.438086664201.12.22.vlar_0"}, {"slot", "0"},
                              {"checkpoint_cpu_time", "115.087000"}, {"current_cpu_time", "139.991200"},
                              {"active_task_state", "2"}, {"checkpoint_fraction_done", "0.002899"}};
    EXPECT_EQ(entriesOf(st->projectInfo[1].result.at(0)), expected);
}

}  // namespace
}  // namespace crunchwatch

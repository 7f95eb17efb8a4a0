#include "bench/dom_refresh.hpp"

#include <array>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bench/refresh_paths.hpp"
#include "tables/rows.hpp"

// How the DOM reading approximates the monitor's literal cuts. On the
// generated files both give the same values (the benchmark checks every cell
// before it times anything); on unusual files they may differ:
// - A value is the text of the element's direct child of that name, with
//   entities decoded by the parser; the monitor cuts the first occurrence of
//   the tag anywhere in the element's text, verbatim.
// - A project's block is its <project> element and the sibling elements that
//   follow it up to the next <project>, as in the client's file.
// - A project's "app_name" is the first direct <app_name> child of the project
//   or of an element of its block (its first app version or workunit); the
//   monitor takes the first "<app_name>" anywhere in the block.
// - "ready_to_report" is set when the result has a <ready_to_report/> child.
// - Active tasks are the <active_task> children of <active_task_set>.
// - A file that is not well-formed XML is not read at all.

namespace crunchwatch::bench {
namespace {

struct Tag {
    std::string_view key;
    const char* name;
};

constexpr std::array<Tag, 13> projectTags{{
    {"master_url", "master_url"},
    {"project_name", "project_name"},
    {"user_total_credit", "user_total_credit"},
    {"user_expavg_credit", "user_expavg_credit"},
    {"user_create_time", "user_create_time"},
    {"rpc_seqno", "rpc_seqno"},
    {"host_total_credit", "host_total_credit"},
    {"host_expavg_credit", "host_expavg_credit"},
    {"host_create_time", "host_create_time"},
    {"exp_avg_cpu", "exp_avg_cpu"},
    {"exp_avg_mod_time", "exp_avg_mod_time"},
    {"min_rpc_time", "min_rpc_time"},
    {"resource_share", "resource_share"},
}};
constexpr std::array<Tag, 3> workunitTags{{{"name", "name"}, {"app_name", "app_name"}, {"version_num", "version_num"}}};
constexpr std::array<Tag, 5> resultTags{{{"name", "name"},
                                         {"exit_status", "exit_status"},
                                         {"state", "state"},
                                         {"wu_name", "wu_name"},
                                         {"report_deadline", "report_deadline"}}};
constexpr std::array<Tag, 7> activeTaskTags{{{"project_master_url", "project_master_url"},
                                             {"result_name", "result_name"},
                                             {"slot", "slot"},
                                             {"scheduler_state", "scheduler_state"},
                                             {"checkpoint_cpu_time", "checkpoint_cpu_time"},
                                             {"fraction_done", "fraction_done"},
                                             {"current_cpu_time", "current_cpu_time"}}};

// The child's text; nothing when the child is absent or empty.
std::optional<std::string_view> childText(pugi::xml_node node, const char* name) {
    const char* v = node.child_value(name);
    if (!*v) return std::nullopt;
    return std::string_view(v);
}

template <std::size_t N>
Record valuesOf(pugi::xml_node node, const std::array<Tag, N>& tags) {
    Record r;
    for (const Tag& t : tags) r.setIfPresent(t.key, childText(node, t.name));
    return r;
}

// The first record of each value of `key`, as the monitor's join keeps it.
std::unordered_map<std::string_view, std::size_t> firstByKey(const std::vector<Record>& records, std::string_view key) {
    std::unordered_map<std::string_view, std::size_t> index;
    index.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        if (auto v = records[i].get(key)) index.try_emplace(*v, i);
    return index;
}

void joinWorkunits(projectRecord& project, const std::vector<Record>& workunits) {
    const auto byName = firstByKey(workunits, "name");
    for (resultRecord& r : project.result) {
        const auto wuName = r.get("wu_name");
        if (!wuName) continue;
        const auto it = byName.find(*wuName);
        if (it == byName.end()) continue;
        r.setIfPresent("app_name", workunits[it->second].get("app_name"));
        r.setIfPresent("version_num", workunits[it->second].get("version_num"));
    }
}

void mergeActiveTasks(pugi::xml_node taskSet, ProjectInfo& projects) {
    std::unordered_map<std::string_view, std::size_t> projectByUrl;
    for (std::size_t i = 0; i < projects.size(); ++i)
        if (auto url = projects[i].values.get("master_url")) projectByUrl.try_emplace(*url, i);
    std::unordered_map<std::size_t, std::unordered_map<std::string_view, std::size_t>> resultsByName;
    for (pugi::xml_node task : taskSet.children("active_task")) {
        const Record values = valuesOf(task, activeTaskTags);
        const auto url = values.get("project_master_url");
        const auto name = values.get("result_name");
        if (!url || !name) continue;
        const auto p = projectByUrl.find(*url);
        if (p == projectByUrl.end()) continue;
        auto& results = projects[p->second].result;
        auto found = resultsByName.find(p->second);
        if (found == resultsByName.end()) found = resultsByName.emplace(p->second, firstByKey(results, "name")).first;
        const auto r = found->second.find(*name);
        if (r == found->second.end()) continue;
        for (const Entry& e : values.entries()) results[r->second].set(e.key, e.value);
    }
}

}  // namespace

std::unique_ptr<DomState> loadWithDom(const std::string& path) {
    auto state = std::make_unique<DomState>();
    if (!state->document.load_file(path.c_str())) return nullptr;
    const pugi::xml_node root = state->document.child("client_state");

    ProjectInfo& projects = state->projectInfo;
    std::vector<Record> workunits;
    bool hasAppName = false;
    const auto finishProject = [&] {
        if (!projects.empty()) joinWorkunits(projects.back(), workunits);
        workunits.clear();
    };
    for (pugi::xml_node node : root.children()) {
        const std::string_view name = node.name();
        if (name == "project") {
            finishProject();
            projects.push_back({valuesOf(node, projectTags), {}});
            hasAppName = false;
        } else if (projects.empty()) {
            continue;
        }
        if (name == "active_task_set") break;  // the project section ends here
        projectRecord& project = projects.back();
        if (!hasAppName) {
            if (const auto app = childText(node, "app_name")) {
                project.values.set("app_name", *app);
                hasAppName = true;
            }
        }
        if (name == "workunit") {
            workunits.push_back(valuesOf(node, workunitTags));
        } else if (name == "result") {
            Record r = valuesOf(node, resultTags);
            if (node.child("ready_to_report")) r.set("ready_to_report", "ready_to_report");
            project.result.push_back(r);
        }
    }
    finishProject();
    mergeActiveTasks(root.child("active_task_set"), projects);
    return state;
}

std::size_t domRefresh(const std::string& path) {
    const auto state = loadWithDom(path);
    if (!state) return 0;
    if (state->projectInfo.empty()) return 1;
    const ResultRows rows = buildResultRows(state->projectInfo);
    return visibleCellTexts(state->projectInfo, rows);
}

}  // namespace crunchwatch::bench

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
// - "ready_to_report" ("suspended_via_gui") is set when the result has a
//   <ready_to_report/> (<suspended_via_gui/>) child.
// - Active tasks are the <active_task> children of <active_task_set>.
// - A file that is not well-formed XML is not read at all.

namespace crunchwatch::bench {
namespace {

struct Tag {
    Key key;
    const char* name;
};

constexpr std::array<Tag, 13> projectTags{{
    {Key::master_url, "master_url"},
    {Key::project_name, "project_name"},
    {Key::user_total_credit, "user_total_credit"},
    {Key::user_expavg_credit, "user_expavg_credit"},
    {Key::user_create_time, "user_create_time"},
    {Key::rpc_seqno, "rpc_seqno"},
    {Key::host_total_credit, "host_total_credit"},
    {Key::host_expavg_credit, "host_expavg_credit"},
    {Key::host_create_time, "host_create_time"},
    {Key::exp_avg_cpu, "exp_avg_cpu"},
    {Key::exp_avg_mod_time, "exp_avg_mod_time"},
    {Key::min_rpc_time, "min_rpc_time"},
    {Key::resource_share, "resource_share"},
}};
constexpr std::array<Tag, 3> workunitTags{{{Key::name, "name"}, {Key::app_name, "app_name"}, {Key::version_num, "version_num"}}};
constexpr std::array<Tag, 5> resultTags{{{Key::name, "name"},
                                         {Key::exit_status, "exit_status"},
                                         {Key::state, "state"},
                                         {Key::wu_name, "wu_name"},
                                         {Key::report_deadline, "report_deadline"}}};
constexpr std::array<Tag, 7> activeTaskTags{{{Key::project_master_url, "project_master_url"},
                                             {Key::result_name, "result_name"},
                                             {Key::slot, "slot"},
                                             {Key::scheduler_state, "scheduler_state"},
                                             {Key::checkpoint_cpu_time, "checkpoint_cpu_time"},
                                             {Key::fraction_done, "fraction_done"},
                                             {Key::current_cpu_time, "current_cpu_time"}}};

// The child's text; nothing when the child is absent or empty.
std::optional<std::string_view> childText(pugi::xml_node node, const char* name) {
    const char* v = node.child_value(name);
    if (!*v) return std::nullopt;
    return std::string_view(v);
}

template <std::size_t N>
RecordDraft valuesOf(pugi::xml_node node, const std::array<Tag, N>& tags) {
    RecordDraft r;
    for (const Tag& t : tags) r.setIfPresent(t.key, childText(node, t.name));
    return r;
}

// The first item of each value of `key`, as the monitor's join keeps it.
template <class KeyAt>
std::unordered_map<std::string_view, std::size_t> firstByKey(std::size_t count, KeyAt keyAt) {
    std::unordered_map<std::string_view, std::size_t> index;
    index.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        if (auto v = keyAt(i)) index.try_emplace(*v, i);
    return index;
}

// A project read from the tree, before it is stored.
struct DomProject {
    RecordDraft values;
    std::vector<RecordDraft> results, workunits;
};

void storeProject(DomProject& project, ProjectInfo& projects) {
    const auto byName = firstByKey(project.workunits.size(), [&](std::size_t i) { return project.workunits[i].get(Key::name); });
    projects.addProject(project.values);
    for (RecordDraft& r : project.results) {
        if (const auto wuName = r.get(Key::wu_name)) {
            if (const auto it = byName.find(*wuName); it != byName.end()) {
                r.setIfPresent(Key::app_name, project.workunits[it->second].get(Key::app_name));
                r.setIfPresent(Key::version_num, project.workunits[it->second].get(Key::version_num));
            }
        }
        projects.addResult(r);
    }
}

void mergeActiveTasks(pugi::xml_node taskSet, ProjectInfo& projects) {
    const auto projectByUrl = firstByKey(projects.size(), [&](std::size_t i) { return projects[i].values.get(Key::master_url); });
    std::unordered_map<std::size_t, std::unordered_map<std::string_view, std::size_t>> resultsByName;
    for (pugi::xml_node task : taskSet.children("active_task")) {
        const RecordDraft values = valuesOf(task, activeTaskTags);
        const auto url = values.get(Key::project_master_url);
        const auto name = values.get(Key::result_name);
        if (!url || !name) continue;
        const auto p = projectByUrl.find(*url);
        if (p == projectByUrl.end()) continue;
        const ResultList results = projects[p->second].result;
        auto found = resultsByName.find(p->second);
        if (found == resultsByName.end())
            found = resultsByName
                        .emplace(p->second, firstByKey(results.size(), [&](std::size_t i) { return results[i].get(Key::name); }))
                        .first;
        const auto r = found->second.find(*name);
        if (r == found->second.end()) continue;
        projects.mergeIntoRecord(results.firstRecord() + r->second, values);
    }
}

}  // namespace

std::unique_ptr<DomState> loadWithDom(const std::string& path) {
    auto state = std::make_unique<DomState>();
    // Parsed in place, so that every value the records hold lies in one buffer.
    auto contents = readWholeFile(path);
    if (!contents) return nullptr;
    state->text = std::move(*contents);
    if (!state->document.load_buffer_inplace(state->text.data(), state->text.size())) return nullptr;
    const pugi::xml_node root = state->document.child("client_state");

    ProjectInfo projects(state->text.data());
    std::optional<DomProject> project;
    bool hasAppName = false;
    for (pugi::xml_node node : root.children()) {
        const std::string_view name = node.name();
        if (name == "project") {
            if (project) storeProject(*project, projects);
            project.emplace();
            project->values = valuesOf(node, projectTags);
            hasAppName = false;
        } else if (!project) {
            continue;
        }
        if (name == "active_task_set") break;  // the project section ends here
        if (!hasAppName) {
            if (const auto app = childText(node, "app_name")) {
                project->values.set(Key::app_name, *app);
                hasAppName = true;
            }
        }
        if (name == "workunit") {
            project->workunits.push_back(valuesOf(node, workunitTags));
        } else if (name == "result") {
            RecordDraft r = valuesOf(node, resultTags);
            if (const pugi::xml_node flag = node.child("ready_to_report")) r.set(Key::ready_to_report, flag.name());
            if (const pugi::xml_node flag = node.child("suspended_via_gui")) r.set(Key::suspended_via_gui, flag.name());
            project->results.push_back(r);
        }
    }
    if (project) storeProject(*project, projects);
    mergeActiveTasks(root.child("active_task_set"), projects);
    state->projectInfo = std::move(projects);
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

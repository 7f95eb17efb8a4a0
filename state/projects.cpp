#include "state/projects.hpp"

#include <array>
#include <unordered_map>

#include "state/scan.hpp"

namespace crunchwatch {
namespace {

struct Tag {
    std::string_view key, open, close;
};

// The project values, in the order they are set.
constexpr std::array<Tag, 14> projectTags{{
    {"master_url", "<master_url>", "</master_url>"},
    {"project_name", "<project_name>", "</project_name>"},
    {"user_total_credit", "<user_total_credit>", "</user_total_credit>"},
    {"user_expavg_credit", "<user_expavg_credit>", "</user_expavg_credit>"},
    {"user_create_time", "<user_create_time>", "</user_create_time>"},
    {"rpc_seqno", "<rpc_seqno>", "</rpc_seqno>"},
    {"host_total_credit", "<host_total_credit>", "</host_total_credit>"},
    {"host_expavg_credit", "<host_expavg_credit>", "</host_expavg_credit>"},
    {"host_create_time", "<host_create_time>", "</host_create_time>"},
    {"exp_avg_cpu", "<exp_avg_cpu>", "</exp_avg_cpu>"},
    {"exp_avg_mod_time", "<exp_avg_mod_time>", "</exp_avg_mod_time>"},
    {"min_rpc_time", "<min_rpc_time>", "</min_rpc_time>"},
    {"resource_share", "<resource_share>", "</resource_share>"},
    {"app_name", "<app_name>", "</app_name>"},
}};

constexpr std::array<Tag, 3> workunitTags{{
    {"name", "<name>", "</name>"},
    {"app_name", "<app_name>", "</app_name>"},
    {"version_num", "<version_num>", "</version_num>"},
}};

constexpr std::array<Tag, 5> resultTags{{
    {"name", "<name>", "</name>"},
    {"exit_status", "<exit_status>", "</exit_status>"},
    {"state", "<state>", "</state>"},
    {"wu_name", "<wu_name>", "</wu_name>"},
    {"report_deadline", "<report_deadline>", "</report_deadline>"},
}};

constexpr std::array<Tag, 7> activeTaskTags{{
    {"project_master_url", "<project_master_url>", "</project_master_url>"},
    {"result_name", "<result_name>", "</result_name>"},
    {"slot", "<slot>", "</slot>"},
    {"scheduler_state", "<scheduler_state>", "</scheduler_state>"},
    {"checkpoint_cpu_time", "<checkpoint_cpu_time>", "</checkpoint_cpu_time>"},
    {"fraction_done", "<fraction_done>", "</fraction_done>"},
    {"current_cpu_time", "<current_cpu_time>", "</current_cpu_time>"},
}};

template <std::size_t N>
Record cutValues(std::string_view text, const std::array<Tag, N>& tags) noexcept {
    Record r;
    for (const Tag& t : tags) r.setIfPresent(t.key, wytnij(text, t.open, t.close));
    return r;
}

// Cuts text into consecutive blocks that each run from one `tag` up to the
// next (the last to the end), as projects and active tasks are cut.
template <class F>
void forEachBlock(std::string_view text, std::string_view tag, F&& f) {
    while (!text.empty()) {
        const auto block = sekcja(text, tag, tag);
        if (!block) break;
        f(*block);
        text = textAfter(text, *block);
    }
}

// Walks the elements of one kind in a project block, each from its start tag
// up to the next end tag (or the end of the block), each taken once in order.
// The walk's region would end at "<active_task_set>", but the project section
// ends before that tag, so no block holds it: the region is the block from its
// first start tag on.
template <class F>
void forEachElement(std::string_view block, std::string_view open, std::string_view close, F&& f) {
    const std::size_t first = findFrom(block, open);
    if (first == std::string_view::npos) return;
    std::string_view region = block.substr(first);
    for (;;) {
        const auto element = sekcja(region, open, close);
        if (!element) break;
        f(*element);
        region = textAfter(region, *element);
    }
}

// First-match lookup by a key's value over a list of records. Short lists are
// searched in order; long ones (a project with thousands of results) through
// an index that keeps the first record of each value, so the result is the same.
class FirstMatch final {
public:
    FirstMatch(const std::vector<Record>& records, std::string_view key) : m_records(records), m_key(key) {
        if (records.size() <= linearLimit) return;
        m_index.reserve(records.size());
        for (std::size_t i = 0; i < records.size(); ++i)
            if (auto v = records[i].get(key)) m_index.try_emplace(*v, i);
    }
    // The first record whose key equals `value`; an absent value matches nothing.
    const Record* find(std::optional<std::string_view> value) const {
        if (!value) return nullptr;
        if (m_records.size() <= linearLimit) {
            for (const Record& r : m_records)
                if (r.get(m_key) == value) return &r;
            return nullptr;
        }
        const auto it = m_index.find(*value);
        return it == m_index.end() ? nullptr : &m_records[it->second];
    }
    std::size_t indexOf(const Record* r) const { return static_cast<std::size_t>(r - m_records.data()); }

private:
    static constexpr std::size_t linearLimit = 16;
    const std::vector<Record>& m_records;
    std::string_view m_key;
    std::unordered_map<std::string_view, std::size_t> m_index;
};

// The block steps: workunits, results, and the join of each result with the
// first workunit of its own block that bears its "wu_name".
void readResults(std::string_view block, projectRecord& project) {
    std::vector<Record> workunits;
    forEachElement(block, "<workunit>", "</workunit>",
                   [&](std::string_view el) { workunits.push_back(cutValues(el, workunitTags)); });
    forEachElement(block, "<result>", "</result>", [&](std::string_view el) {
        Record r = cutValues(el, resultTags);
        if (findFrom(el, "<ready_to_report/>") != std::string_view::npos) r.set("ready_to_report", "ready_to_report");
        project.result.push_back(r);
    });
    const FirstMatch byName(workunits, "name");
    for (resultRecord& r : project.result) {
        if (const Record* wu = byName.find(r.get("wu_name"))) {
            r.setIfPresent("app_name", wu->get("app_name"));
            r.setIfPresent("version_num", wu->get("version_num"));
        }
    }
}

// The active-task stage: each task's values go into the result it names, in
// the first project whose master URL it names. The search ends at that first
// project; a task that matches nothing there is dropped.
void mergeActiveTasks(const Sections& sekcje, ProjectInfo& projects) {
    if (!sekcje.active_task_set) return;
    const auto taskText = sekcja(*sekcje.active_task_set, "<active_task>", "</active_task_set>");
    if (!taskText) return;

    std::unordered_map<std::string_view, std::size_t> firstProjectByUrl;
    for (std::size_t i = 0; i < projects.size(); ++i)
        if (auto url = projects[i].values.get("master_url")) firstProjectByUrl.try_emplace(*url, i);
    // Built only for the projects that tasks name, on first use.
    std::unordered_map<std::size_t, FirstMatch> resultsByName;

    forEachBlock(*taskText, "<active_task>", [&](std::string_view block) {
        const Record task = cutValues(block, activeTaskTags);
        const auto url = task.get("project_master_url");
        if (!url) return;
        const auto p = firstProjectByUrl.find(*url);
        if (p == firstProjectByUrl.end()) return;
        auto& results = projects[p->second].result;
        const FirstMatch& byName = resultsByName.try_emplace(p->second, results, "name").first->second;
        const Record* match = byName.find(task.get("result_name"));
        if (!match) return;
        resultRecord& target = results[byName.indexOf(match)];
        for (const Entry& e : task.entries()) target.set(e.key, e.value);
    });
}

}  // namespace

ProjectInfo wyciagamyDane(const Sections& sekcje) {
    ProjectInfo projectInfo;
    if (sekcje.project) {
        forEachBlock(*sekcje.project, "<project>", [&](std::string_view block) {
            projectRecord project{cutValues(block, projectTags), {}};
            readResults(block, project);
            projectInfo.push_back(std::move(project));
        });
    }
    mergeActiveTasks(sekcje, projectInfo);
    return projectInfo;
}

std::optional<ClientState> loadClientState(const std::string& path) {
    auto file = przygotujPlik(path);
    if (!file) return std::nullopt;
    ClientState state{std::move(*file), {}};
    state.projectInfo = wyciagamyDane(state.file.sekcje);
    return state;
}

ClientState clientStateFromText(std::string_view contents) {
    ClientState state{prepareText(TextBuffer::copyOf(contents)), {}};
    state.projectInfo = wyciagamyDane(state.file.sekcje);
    return state;
}

}  // namespace crunchwatch

#include "state/projects.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "state/element_walk.hpp"
#include "state/first_match.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"
#include "state/text_hash.hpp"

namespace crunchwatch {
namespace {

struct Tag {
    std::string_view key, open, close;
};

// The project values, in the order they are set: these thirteen, then
// "app_name", whose first occurrence in the block usually lies far into it
// (in the first app version or workunit), so it is looked for alongside the
// walks over the block.
constexpr std::array<Tag, 13> projectTagsButAppName{{
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
}};
constexpr Tag appNameTag{"app_name", "<app_name>", "</app_name>"};

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

// The first seven are what old clients write; current clients (6.12.26 on)
// no longer store "scheduler_state" or "fraction_done" and write the process
// state and the fraction at the last checkpoint instead.
constexpr std::array<Tag, 9> activeTaskTags{{
    {"project_master_url", "<project_master_url>", "</project_master_url>"},
    {"result_name", "<result_name>", "</result_name>"},
    {"slot", "<slot>", "</slot>"},
    {"scheduler_state", "<scheduler_state>", "</scheduler_state>"},
    {"checkpoint_cpu_time", "<checkpoint_cpu_time>", "</checkpoint_cpu_time>"},
    {"fraction_done", "<fraction_done>", "</fraction_done>"},
    {"current_cpu_time", "<current_cpu_time>", "</current_cpu_time>"},
    {"active_task_state", "<active_task_state>", "</active_task_state>"},
    {"checkpoint_fraction_done", "<checkpoint_fraction_done>", "</checkpoint_fraction_done>"},
}};

template <std::size_t N>
Record cutValues(std::string_view text, const std::array<Tag, N>& tags) noexcept {
    Record r;
    for (const Tag& t : tags) r.setIfPresent(t.key, wytnij(text, t.open, t.close));
    return r;
}

// A workunit lives only while its block is read: just the values the join uses.
struct Workunit {
    std::optional<std::string_view> name, app_name, version_num;
};

Workunit workunitOf(std::string_view element) noexcept {
    return {wytnij(element, workunitTags[0].open, workunitTags[0].close),
            wytnij(element, workunitTags[1].open, workunitTags[1].close),
            wytnij(element, workunitTags[2].open, workunitTags[2].close)};
}

void readResult(std::string_view element, resultRecord& r) noexcept {
    for (const Tag& t : resultTags) r.setIfPresent(t.key, wytnij(element, t.open, t.close));
    if (findFrom(element, "<ready_to_report/>") != std::string_view::npos) r.set("ready_to_report", "ready_to_report");
}

// Buffers reused from block to block.
struct BlockScratch {
    std::vector<Workunit> workunits;
    std::vector<std::string_view> resultElements;
};

// The hash of each result's "name", per project, for the active-task stage:
// taken while the block is still in the cache, so that the stage, which may
// look into the results of every project, reads a short list instead.
using NameHashes = std::vector<std::vector<std::uint64_t>>;
constexpr std::uint64_t noName = 0;  // a hash may equal it too: a match is always confirmed by the name

// A result's name, as the key of a FirstMatch index over a project's results.
// A task never sets "name", so the index stays true while tasks are merged.
struct ResultName {
    std::optional<std::string_view> operator()(const resultRecord& r) const noexcept { return r.get("name"); }
};

// One project block: its values, its workunits and results, and the join of
// each result with the first workunit of its own block that bears its
// "wu_name". Every value is cut from the whole block or its own element, as
// if each were cut on its own; the walks merely share their pass over the
// block.
projectRecord readBlock(std::string_view block, BlockScratch& scratch, std::vector<std::uint64_t>& nameHashes) {
    projectRecord project{cutValues(block, projectTagsButAppName), {}};
    scratch.workunits.clear();
    scratch.resultElements.clear();
    ElementWalk workunits(block, "<workunit>", "</workunit>");
    ElementWalk results(block, "<result>", "</result>");
    FirstTag appName(block, appNameTag.open);
    for (std::size_t limit = 0; limit < block.size();) {
        limit = std::min(block.size(), limit + blockStretch);
        appName.advanceTo(limit);
        workunits.advanceTo(limit, [&](std::string_view el) { scratch.workunits.push_back(workunitOf(el)); });
        results.advanceTo(limit, [&](std::string_view el) { scratch.resultElements.push_back(el); });
    }
    // The last of the project's values, in its place after the others.
    project.values.setIfPresent(appNameTag.key, appName.value(appNameTag.close));

    project.result.resize(scratch.resultElements.size());
    nameHashes.resize(scratch.resultElements.size());
    for (std::size_t i = 0; i < scratch.resultElements.size(); ++i) {
        readResult(scratch.resultElements[i], project.result[i]);
        const auto name = project.result[i].get("name");
        nameHashes[i] = name ? hashOf(*name) : noName;
    }

    const FirstMatch byName(scratch.workunits, [](const Workunit& w) { return w.name; });
    for (resultRecord& r : project.result) {
        if (const Workunit* wu = byName.find(r.get("wu_name"))) {
            r.setIfPresent("app_name", wu->app_name);
            r.setIfPresent("version_num", wu->version_num);
        }
    }
    return project;
}

// The active-task stage: each task's values go into the result it names, in
// the first project whose master URL it names. The search ends at that first
// project; a task that matches nothing there is dropped.
void mergeActiveTasks(const Sections& sekcje, ProjectInfo& projects, const NameHashes& nameHashes) {
    if (!sekcje.active_task_set) return;
    const auto taskText = sekcja(*sekcje.active_task_set, "<active_task>", "</active_task_set>");
    if (!taskText) return;

    std::unordered_map<std::string_view, std::size_t> firstProjectByUrl;
    for (std::size_t i = 0; i < projects.size(); ++i)
        if (auto url = projects[i].values.get("master_url")) firstProjectByUrl.try_emplace(*url, i);

    // A project's results are scanned in order for its first few tasks (a
    // client runs about one task per processor); after that they are found
    // through an index, so that a file with very many tasks and results costs
    // their sum, not their product.
    constexpr std::uint32_t scansBeforeIndex = 32;
    std::vector<std::uint32_t> scans(projects.size(), 0);
    std::unordered_map<std::size_t, FirstMatch<resultRecord, ResultName>> indexes;

    forEachBlock(*taskText, "<active_task>", [&](std::string_view block) {
        const Record task = cutValues(block, activeTaskTags);
        const auto url = task.get("project_master_url");
        const auto name = task.get("result_name");
        if (!url || !name) return;
        const auto p = firstProjectByUrl.find(*url);
        if (p == firstProjectByUrl.end()) return;
        auto& results = projects[p->second].result;
        resultRecord* target = nullptr;
        if (scans[p->second] < scansBeforeIndex) {
            ++scans[p->second];
            const std::vector<std::uint64_t>& hashes = nameHashes[p->second];
            const std::uint64_t h = hashOf(*name);
            for (std::size_t i = 0; i < hashes.size() && !target; ++i)
                if (hashes[i] == h && results[i].get("name") == name) target = &results[i];
        } else {
            const auto& byName = indexes.try_emplace(p->second, results, ResultName{}).first->second;
            if (const resultRecord* match = byName.find(name)) target = &results[byName.indexOf(match)];
        }
        if (target)
            for (const Entry& e : task.entries()) target->set(e.key, e.value);
    });
}

// The pass, block by block: the blocks' records, then the active tasks.
class Extraction final {
public:
    void addBlock(std::string_view block) {
        m_projectInfo.push_back(readBlock(block, m_scratch, m_nameHashes.emplace_back()));
    }
    ProjectInfo finish(const Sections& sekcje) {
        mergeActiveTasks(sekcje, m_projectInfo, m_nameHashes);
        return std::move(m_projectInfo);
    }

private:
    ProjectInfo m_projectInfo;
    NameHashes m_nameHashes;
    BlockScratch m_scratch;
};

}  // namespace

ProjectInfo wyciagamyDane(const Sections& sekcje) {
    Extraction extraction;
    if (sekcje.project)
        forEachBlock(*sekcje.project, "<project>", [&](std::string_view block) { extraction.addBlock(block); });
    return extraction.finish(sekcje);
}

std::optional<ClientState> loadClientState(const std::string& path) {
    ReadFailure ignored{};
    return loadClientState(path, ignored);
}

std::optional<ClientState> loadClientState(const std::string& path, ReadFailure& why) {
    auto contents = readWholeFile(path, why);
    if (!contents) return std::nullopt;
    contents->shrinkTo(normaliseInPlace(contents->data(), contents->size()));
    ClientState state{StateFile{std::move(*contents), {}}, {}};
    // The same as przygotujPlik and wyciagamyDane, with each project block
    // read as the section cut passes over it, while the block is still in
    // the processor's cache: a big file is then read from memory once less.
    Extraction extraction;
    state.file.sekcje =
        sekcje(state.file.text.view(), [&](std::string_view block) { extraction.addBlock(block); });
    state.projectInfo = extraction.finish(state.file.sekcje);
    return state;
}

ClientState clientStateFromText(std::string_view contents) {
    ClientState state{prepareText(TextBuffer::copyOf(contents)), {}};
    state.projectInfo = wyciagamyDane(state.file.sekcje);
    return state;
}

}  // namespace crunchwatch

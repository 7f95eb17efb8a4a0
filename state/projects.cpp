#include "state/projects.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "state/client_status.hpp"
#include "state/element_walk.hpp"
#include "state/first_match.hpp"
#include "state/local_folder.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"
#include "state/text_hash.hpp"

namespace crunchwatch {
namespace {

struct Tag {
    Key key;
    std::string_view open, close;
};

// The project values, in the order they are set: these thirteen, then
// "app_name", whose first occurrence in the block usually lies far into it
// (in the first app version or workunit), so it is looked for alongside the
// walks over the block.
constexpr std::array<Tag, 13> projectTagsButAppName{{
    {Key::master_url, "<master_url>", "</master_url>"},
    {Key::project_name, "<project_name>", "</project_name>"},
    {Key::user_total_credit, "<user_total_credit>", "</user_total_credit>"},
    {Key::user_expavg_credit, "<user_expavg_credit>", "</user_expavg_credit>"},
    {Key::user_create_time, "<user_create_time>", "</user_create_time>"},
    {Key::rpc_seqno, "<rpc_seqno>", "</rpc_seqno>"},
    {Key::host_total_credit, "<host_total_credit>", "</host_total_credit>"},
    {Key::host_expavg_credit, "<host_expavg_credit>", "</host_expavg_credit>"},
    {Key::host_create_time, "<host_create_time>", "</host_create_time>"},
    {Key::exp_avg_cpu, "<exp_avg_cpu>", "</exp_avg_cpu>"},
    {Key::exp_avg_mod_time, "<exp_avg_mod_time>", "</exp_avg_mod_time>"},
    {Key::min_rpc_time, "<min_rpc_time>", "</min_rpc_time>"},
    {Key::resource_share, "<resource_share>", "</resource_share>"},
}};
constexpr Tag appNameTag{Key::app_name, "<app_name>", "</app_name>"};

constexpr Tag workunitName{Key::name, "<name>", "</name>"};
constexpr Tag workunitAppName{Key::app_name, "<app_name>", "</app_name>"};
constexpr Tag workunitVersion{Key::version_num, "<version_num>", "</version_num>"};

constexpr std::array<Tag, 5> resultTags{{
    {Key::name, "<name>", "</name>"},
    {Key::exit_status, "<exit_status>", "</exit_status>"},
    {Key::state, "<state>", "</state>"},
    {Key::wu_name, "<wu_name>", "</wu_name>"},
    {Key::report_deadline, "<report_deadline>", "</report_deadline>"},
}};
// A flag element: present or not. Its value is its own name, cut from the
// element itself, so that like every value it lies in the file's text.
constexpr std::string_view readyToReportTag = "<ready_to_report/>";
constexpr std::string_view suspendedTag = "<suspended_via_gui/>";

// The first seven are what old clients write; current clients (6.12.26 on)
// no longer store "scheduler_state" or "fraction_done" and write the process
// state and the fraction at the last checkpoint instead.
constexpr std::array<Tag, 9> activeTaskTags{{
    {Key::project_master_url, "<project_master_url>", "</project_master_url>"},
    {Key::result_name, "<result_name>", "</result_name>"},
    {Key::slot, "<slot>", "</slot>"},
    {Key::scheduler_state, "<scheduler_state>", "</scheduler_state>"},
    {Key::checkpoint_cpu_time, "<checkpoint_cpu_time>", "</checkpoint_cpu_time>"},
    {Key::fraction_done, "<fraction_done>", "</fraction_done>"},
    {Key::current_cpu_time, "<current_cpu_time>", "</current_cpu_time>"},
    {Key::active_task_state, "<active_task_state>", "</active_task_state>"},
    {Key::checkpoint_fraction_done, "<checkpoint_fraction_done>", "</checkpoint_fraction_done>"},
}};

std::optional<std::string_view> cut(std::string_view text, const Tag& t) noexcept { return wytnij(text, t.open, t.close); }

template <std::size_t N>
RecordDraft cutValues(std::string_view text, const std::array<Tag, N>& tags) noexcept {
    RecordDraft r;
    for (const Tag& t : tags) r.setIfPresent(t.key, cut(text, t));
    return r;
}

// A stretch of a block, as 32-bit offsets from the block's start: the
// scratch lists below hold one per element found, so they stay at a
// fraction of the block's own size. Empty means absent (no value is empty).
struct Span {
    std::uint32_t offset = 0, length = 0;

    static Span within(std::string_view block, std::optional<std::string_view> part) noexcept {
        if (!part) return {};
        return {static_cast<std::uint32_t>(part->data() - block.data()), static_cast<std::uint32_t>(part->size())};
    }
    std::optional<std::string_view> in(std::string_view block) const noexcept {
        if (length == 0) return std::nullopt;
        return block.substr(offset, length);
    }
};

// A workunit lives only while its block is read: just the values the join uses.
struct Workunit {
    Span name, app_name, version_num;
};

// Buffers reused from block to block.
struct BlockScratch {
    std::vector<Workunit> workunits;
    std::vector<Span> resultElements;
};

RecordDraft readResult(std::string_view element) noexcept {
    RecordDraft r = cutValues(element, resultTags);
    if (const std::size_t at = findFrom(element, readyToReportTag); at != std::string_view::npos)
        r.set(Key::ready_to_report, element.substr(at + 1, keyName(Key::ready_to_report).size()));
    if (const std::size_t at = findFrom(element, suspendedTag); at != std::string_view::npos)
        r.set(Key::suspended_via_gui, element.substr(at + 1, keyName(Key::suspended_via_gui).size()));
    return r;
}

// One project block: its values, its workunits and results, and the join of
// each result with the first workunit of its own block that bears its
// "wu_name". Every value is cut from the whole block or its own element, as
// if each were cut on its own; the walks merely share their pass over the
// block.
void readBlock(std::string_view block, BlockScratch& scratch, ProjectInfo& info, ClientStatus& status) {
    RecordDraft values = cutValues(block, projectTagsButAppName);
    BlockStatusReader statusReader(block, info.size(), status);
    scratch.workunits.clear();
    scratch.resultElements.clear();
    ElementWalk workunits(block, "<workunit>", "</workunit>");
    ElementWalk results(block, "<result>", "</result>");
    FirstTag appName(block, appNameTag.open);
    for (std::size_t limit = 0; limit < block.size();) {
        limit = std::min(block.size(), limit + blockStretch);
        appName.advanceTo(limit);
        workunits.advanceTo(limit, [&](std::string_view el) {
            scratch.workunits.push_back({Span::within(block, cut(el, workunitName)),
                                         Span::within(block, cut(el, workunitAppName)),
                                         Span::within(block, cut(el, workunitVersion))});
        });
        results.advanceTo(limit, [&](std::string_view el) { scratch.resultElements.push_back(Span::within(block, el)); });
        statusReader.advanceTo(limit);
    }
    statusReader.finish();
    // The last of the project's values, in its place after the others.
    values.setIfPresent(appNameTag.key, appName.value(appNameTag.close));
    info.addProject(values);

    const FirstMatch byName(scratch.workunits.size(),
                            [&](std::size_t i) { return scratch.workunits[i].name.in(block); });
    for (const Span& element : scratch.resultElements) {
        RecordDraft r = readResult(*element.in(block));
        if (const std::size_t wu = byName.find(r.get(Key::wu_name)); wu != byName.none) {
            r.setIfPresent(Key::app_name, scratch.workunits[wu].app_name.in(block));
            r.setIfPresent(Key::version_num, scratch.workunits[wu].version_num.in(block));
        }
        info.addResult(r);
    }
}

// The keys first-match indexes look things up by.
struct MasterUrlOf {
    const ProjectInfo* projects;
    std::optional<std::string_view> operator()(std::size_t i) const noexcept { return (*projects)[i].values.get(Key::master_url); }
};
// A task never sets "name", so an index by it stays true while tasks are merged.
struct ResultNameOf {
    ResultList results;
    std::optional<std::string_view> operator()(std::size_t i) const noexcept { return results[i].get(Key::name); }
};

// The active-task stage: each task's values go into the result it names, in
// the first project whose master URL it names. The search ends at that first
// project; a task that matches nothing there is dropped. A project's results
// are indexed by name when a task first looks into them, so that a file with
// very many tasks and results costs their sum, not their product.
void mergeActiveTasks(const Sections& sekcje, ProjectInfo& projects) {
    if (!sekcje.active_task_set) return;
    const auto taskText = sekcja(*sekcje.active_task_set, "<active_task>", "</active_task_set>");
    if (!taskText) return;

    const FirstMatch byUrl(projects.size(), MasterUrlOf{&projects});
    std::unordered_map<std::size_t, FirstMatch<ResultNameOf>> byName;
    forEachBlock(*taskText, "<active_task>", [&](std::string_view block) {
        const RecordDraft task = cutValues(block, activeTaskTags);
        const auto url = task.get(Key::project_master_url);
        const auto name = task.get(Key::result_name);
        if (!url || !name) return;
        const std::size_t p = byUrl.find(url);
        if (p == byUrl.none) return;
        const ResultList results = projects[p].result;
        const auto& index = byName.try_emplace(p, results.size(), ResultNameOf{results}).first->second;
        if (const std::size_t r = index.find(name); r != index.none)
            projects.mergeIntoRecord(results.firstRecord() + r, task);
    });
}

// The pass, block by block: the blocks' records, then the active tasks.
class Extraction final {
public:
    explicit Extraction(const char* base) : m_projectInfo(base), m_status(base) {}
    void addBlock(std::string_view block) { readBlock(block, m_scratch, m_projectInfo, m_status); }
    ProjectInfo finish(const Sections& sekcje) {
        mergeActiveTasks(sekcje, m_projectInfo);
        m_status.client = readClientInfo(sekcje);
        return std::move(m_projectInfo);
    }
    // What the blocks said of why work does or does not run (after finish).
    ClientStatus takeStatus() { return std::move(m_status); }

private:
    ProjectInfo m_projectInfo;
    ClientStatus m_status;
    BlockScratch m_scratch;
};

}  // namespace

ProjectInfo::ProjectInfo(const char* base) : m_store(std::make_unique<ProjectStore>()) { m_store->records.base = base; }

std::optional<StoredEntry> ProjectInfo::stored(Key key, std::string_view value) const noexcept {
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(value.data());
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(m_store->records.base);
    // Never so for the file's own text (see largestReadableFile).
    if (at < base || at - base > UINT32_MAX || value.size() > UINT32_MAX - (at - base)) return std::nullopt;
    return StoredEntry{static_cast<std::uint32_t>(at - base), static_cast<std::uint32_t>(value.size()), key};
}

void ProjectInfo::store(const RecordDraft& values) {
    RecordStore& s = m_store->records;
    s.recordBegin.push_back(static_cast<std::uint32_t>(s.entries.size()));
    for (std::size_t i = 0; i < values.size(); ++i)
        if (const auto entry = stored(values.keyAt(i), values.valueAt(i))) s.entries.push_back(*entry);
    s.ownEnd = static_cast<std::uint32_t>(s.entries.size());
}

void ProjectInfo::addProject(const RecordDraft& values) {
    m_store->valuesRecord.push_back(static_cast<std::uint32_t>(m_store->records.recordCount()));
    store(values);
}

void ProjectInfo::addResult(const RecordDraft& values) {
    if (!empty()) store(values);
}

void ProjectInfo::mergeIntoRecord(std::size_t record, const RecordDraft& values) {
    RecordStore& s = m_store->records;
    if (s.extraOf.empty()) s.extraOf.append(s.recordCount(), 0);
    if (s.extraOf[record] == 0) {
        const auto end = static_cast<std::uint32_t>(s.entries.size());
        s.extraRuns.push_back({end, end});
        s.extraOf[record] = static_cast<std::uint32_t>(s.extraRuns.size());
    }
    RecordStore::Run& run = s.extraRuns[s.extraOf[record] - 1];
    // A key the run has takes the new value where it stands; the others follow
    // the run's entries. A run that is not the last one stored moves to the
    // end first, leaving its old place unused: that happens only when a task
    // brings a key an earlier task for the same result lacked.
    RecordDraft added;
    for (std::size_t i = 0; i < values.size(); ++i) {
        bool had = false;
        for (std::uint32_t e = run.begin; e < run.end && !had; ++e)
            if (s.entries[e].key == values.keyAt(i)) {
                if (const auto entry = stored(values.keyAt(i), values.valueAt(i))) s.entries[e] = *entry;
                had = true;
            }
        if (!had) added.set(values.keyAt(i), values.valueAt(i));
    }
    if (added.size() == 0) return;
    if (run.end != s.entries.size()) {
        const auto begin = static_cast<std::uint32_t>(s.entries.size());
        for (std::uint32_t e = run.begin; e < run.end; ++e) s.entries.push_back(StoredEntry(s.entries[e]));
        run.begin = begin;
    }
    for (std::size_t i = 0; i < added.size(); ++i)
        if (const auto entry = stored(added.keyAt(i), added.valueAt(i))) s.entries.push_back(*entry);
    run.end = static_cast<std::uint32_t>(s.entries.size());
}

namespace {

// Every block of a file already sectioned, read.
Extraction extractionOf(const Sections& sekcje) {
    // Every value lies in the project section or after it.
    Extraction extraction(sekcje.project ? sekcje.project->data() : nullptr);
    if (sekcje.project)
        forEachBlock(*sekcje.project, "<project>", [&](std::string_view block) { extraction.addBlock(block); });
    return extraction;
}

}  // namespace

ProjectInfo wyciagamyDane(const Sections& sekcje) { return extractionOf(sekcje).finish(sekcje); }

std::optional<ClientState> loadClientState(const std::string& path) {
    ReadFailure ignored{};
    return loadClientState(path, ignored);
}

std::optional<ClientState> loadClientState(const std::string& path, ReadFailure& why) {
    return loadClientState(LocalFolder(), path, why);
}

std::optional<ClientState> loadClientState(const Folder& folder, std::string_view name, ReadFailure& why) {
    auto contents = folder.readWhole(name, why);
    if (!contents) return std::nullopt;
    contents->shrinkTo(normaliseInPlace(contents->data(), contents->size()));
    ClientState state{StateFile{std::move(*contents), {}}, ProjectInfo(), {}, {}};
    // The same as przygotujPlik and wyciagamyDane, with each project block
    // read as the section cut passes over it, while the block is still in
    // the processor's cache: a big file is then read from memory once less.
    Extraction extraction(state.file.text.view().data());
    state.file.sekcje =
        sekcje(state.file.text.view(), [&](std::string_view block) { extraction.addBlock(block); });
    state.projectInfo = extraction.finish(state.file.sekcje);
    state.clientStatus = extraction.takeStatus();
    state.host = readHostReport(state.file.text.view(), state.file.sekcje);
    return state;
}

ClientState clientStateFromText(std::string_view contents) {
    ClientState state{prepareText(TextBuffer::copyOf(contents)), ProjectInfo(), {}, {}};
    Extraction extraction = extractionOf(state.file.sekcje);
    state.projectInfo = extraction.finish(state.file.sekcje);
    state.clientStatus = extraction.takeStatus();
    state.host = readHostReport(state.file.text.view(), state.file.sekcje);
    return state;
}

}  // namespace crunchwatch

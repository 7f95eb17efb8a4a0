#include "state/projects.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "state/normalise.hpp"
#include "state/scan.hpp"

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
// up to the next end tag (or the end of the block), each taken once in order:
// the next element is looked for from the end tag of the one before. The
// walk's region would end at "<active_task_set>", but the project section
// ends before that tag, so no block holds it.
//
// The walk advances one stretch of the block at a time (see readBlock): it
// takes the elements that start before `limit` and stops there, to go on
// from the same place when called with a further limit.
class ElementWalk final {
public:
    ElementWalk(std::string_view block, std::string_view open, std::string_view close)
        : m_block(block), m_open(open), m_close(close) {}

    template <class F>
    void advanceTo(std::size_t limit, F&& f) {
        // Start tags that begin before the limit lie within this view.
        const std::string_view upToLimit = m_block.substr(0, limit + m_open.size() - 1);
        while (!m_done && m_from < limit) {
            const std::size_t start = findFrom(upToLimit, m_open, m_from);
            if (start == std::string_view::npos) {
                m_from = limit;
                return;
            }
            std::size_t end = findFrom(m_block, m_close, start + m_open.size());
            if (end == std::string_view::npos) end = m_block.size();
            f(m_block.substr(start, end - start));
            m_from = end;
            m_done = end == m_block.size();  // nothing follows: the walk is over
        }
    }

private:
    std::string_view m_block, m_open, m_close;
    std::size_t m_from = 0;  // where the next start tag is looked for
    bool m_done = false;
};

// The first occurrence of a tag in a block, looked for one stretch at a time
// alongside the walks.
class FirstTag final {
public:
    FirstTag(std::string_view block, std::string_view tag) : m_block(block), m_tag(tag) {}
    void advanceTo(std::size_t limit) {
        if (m_found != std::string_view::npos || m_from >= limit) return;
        m_found = findFrom(m_block.substr(0, limit + m_tag.size() - 1), m_tag, m_from);
        m_from = limit;
    }
    // What wytnij would cut from the block for this start tag and `close`.
    std::optional<std::string_view> value(std::string_view close) const {
        if (m_found == std::string_view::npos) return std::nullopt;
        return wytnij(m_block.substr(m_found), m_tag, close);
    }

private:
    std::string_view m_block, m_tag;
    std::size_t m_from = 0;
    std::size_t m_found = std::string_view::npos;
};

// A hash of the whole text, sixteen bytes at a time in two independent lanes.
std::uint64_t hashOf(std::string_view s) noexcept {
    constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ULL, k2 = 0xBF58476D1CE4E5B9ULL;
    const auto rotate = [](std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); };
    std::uint64_t a = s.size() * k1, b = k2;
    const char* p = s.data();
    std::size_t n = s.size();
    for (; n >= 16; p += 16, n -= 16) {
        std::uint64_t w1, w2;
        std::memcpy(&w1, p, 8);
        std::memcpy(&w2, p + 8, 8);
        a = (rotate(a, 23) ^ w1) * k1;
        b = (rotate(b, 29) ^ w2) * k2;
    }
    if (n >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        a = (rotate(a, 23) ^ w) * k1;
        p += 8;
        n -= 8;
    }
    if (n != 0) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, n);
        b = (rotate(b, 29) ^ w) * k2;
    }
    std::uint64_t h = (a ^ rotate(b, 31)) * 0x94D049BB133111EBULL;
    h ^= h >> 29;
    h *= 0xD6E8FEB86659FD93ULL;
    return h ^ (h >> 32);
}

// First-match lookup by a key's value over a list. Short lists are searched
// in order; long ones (a project with thousands of results) through an index
// that keeps the first item of each value, so the result is the same. The
// index is one flat table: building it allocates once.
template <class T, class KeyOf>
class FirstMatch final {
public:
    FirstMatch(const std::vector<T>& items, KeyOf keyOf) : m_items(items), m_keyOf(keyOf) {
        if (items.size() <= linearLimit) return;
        std::size_t capacity = 64;
        while (capacity < 2 * items.size()) capacity *= 2;
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::optional<std::string_view> key = m_keyOf(items[i]);
            if (!key) continue;
            const std::uint64_t h = hashOf(*key);
            std::size_t at = static_cast<std::size_t>(h) & m_mask;
            for (;; at = (at + 1) & m_mask) {
                Slot& slot = m_slots[at];
                if (slot.item == 0) {
                    slot = Slot{h, static_cast<std::uint32_t>(i + 1)};
                    break;
                }
                if (slot.hash == h && m_keyOf(m_items[slot.item - 1]) == key) break;  // keep the first
            }
        }
    }
    // The first item whose key equals `value`; an absent value matches nothing.
    const T* find(std::optional<std::string_view> value) const {
        if (!value) return nullptr;
        if (m_slots.empty()) {
            for (const T& item : m_items)
                if (m_keyOf(item) == value) return &item;
            return nullptr;
        }
        const std::uint64_t h = hashOf(*value);
        for (std::size_t at = static_cast<std::size_t>(h) & m_mask;; at = (at + 1) & m_mask) {
            const Slot& slot = m_slots[at];
            if (slot.item == 0) return nullptr;
            if (slot.hash == h && m_keyOf(m_items[slot.item - 1]) == value) return &m_items[slot.item - 1];
        }
    }
    std::size_t indexOf(const T* item) const { return static_cast<std::size_t>(item - m_items.data()); }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t item = 0;  // index + 1; 0 for an empty slot
    };
    static constexpr std::size_t linearLimit = 16;
    const std::vector<T>& m_items;
    KeyOf m_keyOf;
    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
};

template <class T, class KeyOf>
FirstMatch(const std::vector<T>&, KeyOf) -> FirstMatch<T, KeyOf>;

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

// A stretch of a block that stays in the processor's cache while every walk
// passes over it: a big block is then read from memory once, not once a walk.
constexpr std::size_t stretchLength = 128 * 1024;

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
        limit = std::min(block.size(), limit + stretchLength);
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

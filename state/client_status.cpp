#include "state/client_status.hpp"

#include <algorithm>
#include <vector>

#include "state/element_walk.hpp"
#include "state/numbers.hpp"
#include "state/scan.hpp"

namespace crunchwatch {
namespace {

MaybeText cutTag(std::string_view text, std::string_view name) {
    // "<name>" and "</name>" without building strings: every name is short.
    char open[48], close[48];
    if (name.size() + 3 > sizeof open) return std::nullopt;
    open[0] = '<';
    name.copy(open + 1, name.size());
    open[name.size() + 1] = '>';
    close[0] = '<';
    close[1] = '/';
    name.copy(close + 2, name.size());
    close[name.size() + 2] = '>';
    return wytnij(text, {open, name.size() + 2}, {close, name.size() + 3});
}

bool hasEmptyElement(std::string_view text, std::string_view name) {
    char tag[48];
    if (name.size() + 3 > sizeof tag) return false;
    tag[0] = '<';
    name.copy(tag + 1, name.size());
    tag[name.size() + 1] = '/';
    tag[name.size() + 2] = '>';
    return findFrom(text, {tag, name.size() + 3}) != std::string_view::npos;
}

// The project's own element: its block up to the first "</project>".
std::string_view projectElement(std::string_view block) {
    const std::size_t end = findFrom(block, "</project>");
    return end == std::string_view::npos ? block : block.substr(0, end);
}

// A client keeps one backoff per kind of processor (CPU and a few GPU
// makers); names beyond these many are not kept, so that a file of very many
// costs no more than its length.
constexpr std::size_t mostBackoffs = 16;

std::vector<Backoff> backoffsOf(std::string_view element) {
    std::vector<Backoff> out;
    const auto add = [&](std::string_view open, std::string_view close, bool isTime) {
        for (std::size_t from = 0;;) {
            const std::size_t start = findFrom(element, open, from);
            if (start == std::string_view::npos) return;
            std::size_t end = findFrom(element, close, start);
            if (end == std::string_view::npos) end = element.size();
            const std::string_view inner = element.substr(start + open.size(), end - start - open.size());
            from = end;
            const MaybeText name = cutTag(inner, "name");
            const MaybeText value = cutTag(inner, "value");
            Backoff* slot = nullptr;
            for (Backoff& b : out)
                if (b.name == name) slot = &b;
            if (!slot && out.size() == mostBackoffs) continue;
            if (!slot) slot = &out.emplace_back(Backoff{name, {}, {}});
            (isTime ? slot->time : slot->interval) = value;
        }
    };
    add("<rsc_backoff_time>", "</rsc_backoff_time>", true);
    add("<rsc_backoff_interval>", "</rsc_backoff_interval>", false);
    return out;
}

// The values of a project's own element, in StatusKey's order.
constexpr std::array<std::string_view, statusValueCount> statusValueNames{
    "sched_rpc_pending", "min_rpc_time", "next_rpc_time", "last_rpc_time", "nrpc_failures",
    "master_fetch_failures", "njobs_success", "njobs_error", "disk_usage",
};

std::uint8_t keyOf(StatusKey k) { return static_cast<std::uint8_t>(k); }
std::uint8_t keyOf(TransferKey k) { return static_cast<std::uint8_t>(k); }

void storeValue(StatusStore& store, StatusStore::Items<StatusEntry>& into, std::uint8_t key, MaybeText value) {
    if (value) into.push_back(store.entryOf(key, value));
}

// One "<file>"'s transfer, its values in TransferKey's order.
void storeTransfer(StatusStore& store, std::string_view file, std::string_view xfer, std::size_t project) {
    store.transfers.push_back({static_cast<std::uint32_t>(project), static_cast<std::uint32_t>(store.transferEntries.size())});
    // The file's own values come before its transfer's elements.
    const std::string_view own = file.substr(0, static_cast<std::size_t>(xfer.data() - file.data()));
    const auto add = [&](TransferKey key, MaybeText value) { storeValue(store, store.transferEntries, keyOf(key), value); };
    add(TransferKey::name, cutTag(own, "name"));
    add(TransferKey::nbytes, cutTag(own, "nbytes"));
    add(TransferKey::status, cutTag(own, "status"));
    add(TransferKey::is_upload, cutTag(xfer, "is_upload"));
    add(TransferKey::num_retries, cutTag(xfer, "num_retries"));
    add(TransferKey::first_request_time, cutTag(xfer, "first_request_time"));
    add(TransferKey::next_request_time, cutTag(xfer, "next_request_time"));
    add(TransferKey::time_so_far, cutTag(xfer, "time_so_far"));
    add(TransferKey::last_bytes_xferred, cutTag(xfer, "last_bytes_xferred"));
    add(TransferKey::error_msg, cutTag(file, "error_msg"));
    if (const auto active = sekcja(file, "<file_xfer>", "</file_xfer>"))
        add(TransferKey::bytes_xferred, cutTag(*active, "bytes_xferred"));
}

// Where a stored item's entries end: the next one's begin, or the pool's end.
template <class Items>
std::size_t endOf(const Items& items, std::size_t i, std::size_t poolSize) {
    return i + 1 < items.size() ? items[i + 1].begin : poolSize;
}

}  // namespace

StatusEntry StatusStore::entryOf(std::uint8_t key, std::optional<std::string_view> value) const noexcept {
    if (!value) return {0, 0, key, false};
    const auto at = reinterpret_cast<std::uintptr_t>(value->data());
    const auto from = reinterpret_cast<std::uintptr_t>(base);
    if (at < from || at - from > UINT32_MAX || value->size() > UINT32_MAX - (at - from)) return {0, 0, key, false};
    return {static_cast<std::uint32_t>(at - from), static_cast<std::uint32_t>(value->size()), key, true};
}

template <>
Backoff StatusItems<Backoff>::operator[](std::size_t i) const noexcept {
    const auto text = [&](std::size_t k) { return m_store->textOf(m_store->projectEntries[m_begin + 3 * i + k]); };
    return {text(0), text(1), text(2)};
}

template <>
AppName StatusItems<AppName>::operator[](std::size_t i) const noexcept {
    const MaybeText app = m_store->textOf(m_store->projectEntries[m_begin + i]);
    return {cutTag(app.value_or(""), "name"), cutTag(app.value_or(""), "user_friendly_name")};
}

template <>
std::size_t StoredList<ProjectStatus>::size() const noexcept {
    return m_store ? m_store->projects.size() : 0;
}

template <>
ProjectStatus StoredList<ProjectStatus>::operator[](std::size_t i) const noexcept {
    const StatusStore::Project& p = m_store->projects[i];
    ProjectStatus s;
    s.project = p.project;
    s.flags = p.flags;
    MaybeText* fields[statusValueCount] = {&s.sched_rpc_pending, &s.min_rpc_time, &s.next_rpc_time,
                                           &s.last_rpc_time, &s.nrpc_failures, &s.master_fetch_failures,
                                           &s.njobs_success, &s.njobs_error, &s.disk_usage};
    for (std::size_t e = p.begin; e < p.begin + p.values; ++e) {
        const StatusEntry& entry = m_store->projectEntries[e];
        *fields[entry.key] = m_store->textOf(entry);
    }
    const std::size_t backoffs = p.begin + p.values;
    const std::size_t apps = backoffs + 3 * std::size_t{p.backoffs};
    s.backoffs = StatusItems<Backoff>(m_store, backoffs, p.backoffs);
    s.apps = StatusItems<AppName>(m_store, apps, endOf(m_store->projects, i, m_store->projectEntries.size()) - apps);
    return s;
}

template <>
std::size_t StoredList<Transfer>::size() const noexcept {
    return m_store ? m_store->transfers.size() : 0;
}

template <>
Transfer StoredList<Transfer>::operator[](std::size_t i) const noexcept {
    Transfer t;
    t.project = m_store->transfers[i].project;
    MaybeText* fields[] = {&t.name, &t.nbytes, &t.status, &t.is_upload, &t.num_retries, &t.first_request_time,
                           &t.next_request_time, &t.time_so_far, &t.last_bytes_xferred, &t.error_msg,
                           &t.bytes_xferred};
    const std::size_t end = endOf(m_store->transfers, i, m_store->transferEntries.size());
    for (std::size_t e = m_store->transfers[i].begin; e < end; ++e) {
        const StatusEntry& entry = m_store->transferEntries[e];
        *fields[entry.key] = m_store->textOf(entry);
    }
    return t;
}

bool ProjectStatus::empty() const noexcept {
    return flags == 0 && !sched_rpc_pending && !min_rpc_time && !next_rpc_time && !last_rpc_time && !nrpc_failures &&
           !master_fetch_failures && !njobs_success && !njobs_error && !disk_usage && backoffs.empty() && apps.empty();
}

ClientStatus::ClientStatus(const char* base) : m_store(std::make_unique<StatusStore>()) { m_store->base = base; }

ProjectStatus ClientStatus::of(std::size_t project) const noexcept {
    if (!m_store || m_store->projects.empty()) return {};  // none stored (or moved from)
    const StatusStore::Items<StatusStore::Project>& stored = m_store->projects;
    std::size_t low = 0, high = stored.size();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (stored[mid].project < project) low = mid + 1;
        else high = mid;
    }
    return low < stored.size() && stored[low].project == project ? projects()[low] : ProjectStatus{};
}

bool Transfer::upload() const noexcept { return readInteger(is_upload) != 0; }

std::optional<std::string> ClientInfo::version() const {
    if (!major || !minor || !release) return std::nullopt;
    return std::string(*major) + '.' + std::string(*minor) + '.' + std::string(*release);
}

BlockStatusReader::BlockStatusReader(std::string_view block, std::size_t project, ClientStatus& into)
    : m_block(block),
      m_store(*into.m_store),
      m_appWalk(block, "<app>", "</app>"),
      m_files(block, "<file>", "</file>") {
    const std::string_view element = projectElement(block);
    m_status.project = static_cast<std::uint32_t>(project);
    m_status.begin = static_cast<std::uint32_t>(m_store.projectEntries.size());
    for (std::size_t f = 0; f < projectFlagNames.size(); ++f)
        if (hasEmptyElement(element, projectFlagNames[f])) m_status.flags |= static_cast<std::uint16_t>(1u << f);
    for (std::size_t k = 0; k < statusValueNames.size(); ++k)
        if (const MaybeText value = cutTag(element, statusValueNames[k])) {
            storeValue(m_store, m_store.projectEntries, static_cast<std::uint8_t>(k), value);
            ++m_status.values;
        }
    const std::vector<Backoff> backoffs = backoffsOf(element);
    for (const Backoff& b : backoffs) {
        m_store.projectEntries.push_back(m_store.entryOf(keyOf(StatusKey::backoff_name), b.name));
        m_store.projectEntries.push_back(m_store.entryOf(keyOf(StatusKey::backoff_time), b.time));
        m_store.projectEntries.push_back(m_store.entryOf(keyOf(StatusKey::backoff_interval), b.interval));
    }
    m_status.backoffs = static_cast<std::uint8_t>(backoffs.size());
}

void BlockStatusReader::advanceTo(std::size_t limit) {
    m_appWalk.advanceTo(limit, [&](std::string_view app) {
        m_store.projectEntries.push_back(m_store.entryOf(keyOf(StatusKey::app), app));
        ++m_apps;
    });
    m_files.advanceTo(limit, [&](std::string_view file) {
        if (const auto xfer = sekcja(file, "<persistent_file_xfer>", "</persistent_file_xfer>"))
            storeTransfer(m_store, file, *xfer, m_status.project);
    });
}

void BlockStatusReader::finish() {
    if (m_status.flags != 0 || m_status.values != 0 || m_status.backoffs != 0 || m_apps != 0)
        m_store.projects.push_back(m_status);
}

ClientInfo readClientInfo(const Sections& sekcje) {
    // The client's own values follow its task list, at the file's end; a
    // file without projects (a client attached to none yet) has no task
    // list either, and they lie after its host's values.
    const std::string_view tail =
        sekcje.project || !sekcje.host_info ? sekcje.platform_name : *sekcje.host_info;
    ClientInfo c;
    c.platform_name = cutTag(tail, "platform_name");
    c.major = cutTag(tail, "core_client_major_version");
    c.minor = cutTag(tail, "core_client_minor_version");
    c.release = cutTag(tail, "core_client_release");
    c.user_run_request = cutTag(tail, "user_run_request");
    c.user_run_prev_request = cutTag(tail, "user_run_prev_request");
    c.user_gpu_request = cutTag(tail, "user_gpu_request");
    c.user_gpu_prev_request = cutTag(tail, "user_gpu_prev_request");
    c.user_network_request = cutTag(tail, "user_network_request");
    c.user_network_prev_request = cutTag(tail, "user_network_prev_request");
    return c;
}

ClientStatus readClientStatus(const Sections& sekcje) {
    ClientStatus status(sekcje.project ? sekcje.project->data() : nullptr);
    if (sekcje.project) {
        std::size_t index = 0;
        forEachBlock(*sekcje.project, "<project>", [&](std::string_view block) {
            BlockStatusReader reader(block, index++, status);
            reader.advanceTo(block.size());
            reader.finish();
        });
    }
    status.client = readClientInfo(sekcje);
    return status;
}

std::optional<std::string_view> runModeText(MaybeText mode) {
    if (!mode) return std::nullopt;
    switch (readInteger(mode)) {
        case 1: return "always";
        case 2: return "according to preferences";
        case 3: return "never";
        default: return std::nullopt;
    }
}

std::optional<std::string_view> rpcReasonText(MaybeText reason) {
    if (!reason) return std::nullopt;
    switch (readInteger(reason)) {
        case 1: return "requested by user";
        case 2: return "to report completed tasks";
        case 3: return "need work";
        case 4: return "trickle-up message";
        case 5: return "account manager request";
        case 6: return "project initialization";
        case 7: return "requested by project";
        default: return std::nullopt;
    }
}

}  // namespace crunchwatch

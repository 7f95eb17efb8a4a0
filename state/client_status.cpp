#include "state/client_status.hpp"

#include <algorithm>

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

ProjectStatus projectStatusOf(std::string_view block, std::size_t index) {
    const std::string_view element = projectElement(block);
    ProjectStatus s;
    s.project = index;
    for (std::size_t f = 0; f < projectFlagNames.size(); ++f)
        if (hasEmptyElement(element, projectFlagNames[f])) s.flags |= static_cast<std::uint16_t>(1u << f);
    s.sched_rpc_pending = cutTag(element, "sched_rpc_pending");
    s.min_rpc_time = cutTag(element, "min_rpc_time");
    s.next_rpc_time = cutTag(element, "next_rpc_time");
    s.last_rpc_time = cutTag(element, "last_rpc_time");
    s.nrpc_failures = cutTag(element, "nrpc_failures");
    s.master_fetch_failures = cutTag(element, "master_fetch_failures");
    s.njobs_success = cutTag(element, "njobs_success");
    s.njobs_error = cutTag(element, "njobs_error");
    s.disk_usage = cutTag(element, "disk_usage");
    s.backoffs = backoffsOf(element);
    return s;
}

Transfer transferOf(std::string_view file, std::string_view xfer, std::size_t project) {
    Transfer t;
    t.project = project;
    // The file's own values come before its transfer's elements.
    const std::string_view own = file.substr(0, static_cast<std::size_t>(xfer.data() - file.data()));
    t.name = cutTag(own, "name");
    t.nbytes = cutTag(own, "nbytes");
    t.status = cutTag(own, "status");
    t.error_msg = cutTag(file, "error_msg");
    t.num_retries = cutTag(xfer, "num_retries");
    t.first_request_time = cutTag(xfer, "first_request_time");
    t.next_request_time = cutTag(xfer, "next_request_time");
    t.time_so_far = cutTag(xfer, "time_so_far");
    t.last_bytes_xferred = cutTag(xfer, "last_bytes_xferred");
    t.is_upload = cutTag(xfer, "is_upload");
    if (const auto active = sekcja(file, "<file_xfer>", "</file_xfer>"))
        t.bytes_xferred = cutTag(*active, "bytes_xferred");
    return t;
}

}  // namespace

bool ProjectStatus::empty() const noexcept {
    return flags == 0 && !sched_rpc_pending && !min_rpc_time && !next_rpc_time && !last_rpc_time && !nrpc_failures &&
           !master_fetch_failures && !njobs_success && !njobs_error && !disk_usage && backoffs.empty() && apps.empty();
}

const ProjectStatus& ClientStatus::of(std::size_t project) const noexcept {
    static const ProjectStatus none;
    const auto it = std::lower_bound(projects.begin(), projects.end(), project,
                                     [](const ProjectStatus& s, std::size_t p) { return s.project < p; });
    return it != projects.end() && it->project == project ? *it : none;
}

bool Transfer::upload() const noexcept { return readInteger(is_upload) != 0; }

std::optional<std::string> ClientInfo::version() const {
    if (!major || !minor || !release) return std::nullopt;
    return std::string(*major) + '.' + std::string(*minor) + '.' + std::string(*release);
}

BlockStatusReader::BlockStatusReader(std::string_view block, std::size_t project, ClientStatus& into)
    : m_block(block),
      m_into(into),
      m_status(projectStatusOf(block, project)),
      m_apps(block, "<app>", "</app>"),
      m_files(block, "<file>", "</file>") {}

void BlockStatusReader::advanceTo(std::size_t limit) {
    m_apps.advanceTo(limit, [&](std::string_view app) {
        m_status.apps.push_back({cutTag(app, "name"), cutTag(app, "user_friendly_name")});
    });
    m_files.advanceTo(limit, [&](std::string_view file) {
        if (const auto xfer = sekcja(file, "<persistent_file_xfer>", "</persistent_file_xfer>"))
            m_into.transfers.push_back(transferOf(file, *xfer, m_status.project));
    });
}

void BlockStatusReader::finish() {
    if (!m_status.empty()) m_into.projects.push_back(std::move(m_status));
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
    ClientStatus status;
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

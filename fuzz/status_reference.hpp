#pragma once
// The scheduling state, transfers and client values of a state file, read
// the plain way from their rules, for the state target to check the real
// reading against: blocks split at every "<project>", values cut with
// std::string_view::find, elements walked one after another.

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "state/client_status.hpp"

namespace crunchwatch::fuzz {

using Found = std::optional<std::string_view>;

// text.find(what, from), by the C library's memmem: one call per search,
// where string_view::find compares through memcmp at every '<', and
// libFuzzer's hook on each of those calls costs more than the search.
CRUNCHWATCH_FUZZ_CHECK inline std::size_t find(std::string_view text, std::string_view what, std::size_t from = 0) {
    if (from > text.size()) return std::string_view::npos;
    const void* at = ::memmem(text.data() + from, text.size() - from, what.data(), what.size());
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - text.data()) : std::string_view::npos;
}

// An element's two tags, "<name>" and "</name>", spelt once for every input.
struct Tags {
    std::string open, close;
    explicit Tags(std::string_view name) : open("<" + std::string(name) + ">"), close("</" + std::string(name) + ">") {}
};

// What lies between the first "<name>" and the first "</name>" after it (or the end); nothing when empty.
CRUNCHWATCH_FUZZ_CHECK inline Found referenceValue(std::string_view text, const Tags& tags) {
    const std::size_t start = find(text, tags.open);
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t from = start + tags.open.size();
    const std::size_t end = find(text, tags.close, from);
    const std::string_view v = text.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
    return v.empty() ? std::nullopt : Found(v);
}

// Each element from its start tag up to the next end tag (or the end), the
// next looked for from that end tag.
CRUNCHWATCH_FUZZ_CHECK inline std::vector<std::string_view> referenceElements(std::string_view text,
                                                                              std::string_view open,
                                                                              std::string_view close) {
    std::vector<std::string_view> out;
    for (std::size_t pos = 0;;) {
        const std::size_t start = find(text, open, pos);
        if (start == std::string_view::npos) return out;
        std::size_t end = find(text, close, start + open.size());
        if (end == std::string_view::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        if (end == text.size()) return out;
        pos = end;
    }
}

// The names the reference looks for, each with its tags.
struct StatusTags {
    std::vector<std::string> flags;  // "<ended/>", in projectFlagNames' order
    Tags sched_rpc_pending{"sched_rpc_pending"}, min_rpc_time{"min_rpc_time"}, next_rpc_time{"next_rpc_time"},
        last_rpc_time{"last_rpc_time"}, nrpc_failures{"nrpc_failures"}, master_fetch_failures{"master_fetch_failures"},
        njobs_success{"njobs_success"}, njobs_error{"njobs_error"}, disk_usage{"disk_usage"}, name{"name"},
        value{"value"}, user_friendly_name{"user_friendly_name"}, nbytes{"nbytes"}, status{"status"},
        error_msg{"error_msg"},
        num_retries{"num_retries"}, first_request_time{"first_request_time"}, next_request_time{"next_request_time"},
        time_so_far{"time_so_far"}, last_bytes_xferred{"last_bytes_xferred"}, is_upload{"is_upload"},
        bytes_xferred{"bytes_xferred"}, platform_name{"platform_name"}, major{"core_client_major_version"},
        minor{"core_client_minor_version"}, release{"core_client_release"}, user_run_request{"user_run_request"},
        user_run_prev_request{"user_run_prev_request"}, user_gpu_request{"user_gpu_request"},
        user_gpu_prev_request{"user_gpu_prev_request"}, user_network_request{"user_network_request"},
        user_network_prev_request{"user_network_prev_request"};

    StatusTags() {
        for (const std::string_view f : projectFlagNames) flags.push_back("<" + std::string(f) + "/>");
    }
};

CRUNCHWATCH_FUZZ_CHECK inline void requireSameStatus(const ClientStatus& real, const Sections& s) {
    static const StatusTags tag;
    std::vector<std::string_view> blocks;
    if (s.project)
        for (std::size_t at = 0; at != std::string_view::npos;) {
            const std::size_t next = find(*s.project, "<project>", at + 1);
            blocks.push_back(s.project->substr(at, next == std::string_view::npos ? next : next - at));
            at = next;
        }
    for (std::size_t i = 0; i < real.projects().size(); ++i)
        require(!real.projects()[i].empty() && real.projects()[i].project < blocks.size() &&
                    (i == 0 || real.projects()[i - 1].project < real.projects()[i].project),
                "a stored status is empty or out of order");
    std::size_t transfer = 0;
    for (std::size_t p = 0; p < blocks.size(); ++p) {
        const ProjectStatus& r = real.of(p);
        const std::string_view element = blocks[p].substr(0, find(blocks[p], "</project>"));
        for (std::size_t f = 0; f < projectFlagNames.size(); ++f)
            require(r.has(static_cast<ProjectFlag>(f)) == (find(element, tag.flags[f]) != std::string_view::npos),
                    "a project flag differs");
        const std::pair<Found, const Tags&> values[] = {
            {r.sched_rpc_pending, tag.sched_rpc_pending}, {r.min_rpc_time, tag.min_rpc_time},
            {r.next_rpc_time, tag.next_rpc_time},         {r.last_rpc_time, tag.last_rpc_time},
            {r.nrpc_failures, tag.nrpc_failures},         {r.master_fetch_failures, tag.master_fetch_failures},
            {r.njobs_success, tag.njobs_success},         {r.njobs_error, tag.njobs_error},
            {r.disk_usage, tag.disk_usage},
        };
        for (const auto& [value, tags] : values)
            require(value == referenceValue(element, tags), "a project status value differs");
        // One backoff per name in order of first sight, times before
        // intervals, at most 16 names; the last of each kind for a name wins.
        std::vector<Backoff> backoffs;
        for (const bool isTime : {true, false})
            for (const std::string_view b : referenceElements(element, isTime ? "<rsc_backoff_time>" : "<rsc_backoff_interval>",
                                                              isTime ? "</rsc_backoff_time>" : "</rsc_backoff_interval>")) {
                const std::string_view inner = b.substr(isTime ? 18 : 22);
                const Found name = referenceValue(inner, tag.name);
                Backoff* known = nullptr;
                for (Backoff& k : backoffs)
                    if (k.name == name) known = &k;
                if (!known && backoffs.size() == 16) continue;
                if (!known) known = &backoffs.emplace_back(Backoff{name, {}, {}});
                (isTime ? known->time : known->interval) = referenceValue(inner, tag.value);
            }
        require(backoffs.size() == r.backoffs.size(), "another number of backoffs");
        for (std::size_t i = 0; i < backoffs.size(); ++i)
            require(backoffs[i].name == r.backoffs[i].name && backoffs[i].time == r.backoffs[i].time &&
                        backoffs[i].interval == r.backoffs[i].interval,
                    "a backoff differs");
        const auto apps = referenceElements(blocks[p], "<app>", "</app>");
        require(apps.size() == r.apps.size(), "another number of applications");
        for (std::size_t i = 0; i < apps.size(); ++i)
            require(r.apps[i].name == referenceValue(apps[i], tag.name) &&
                        r.apps[i].user_friendly_name == referenceValue(apps[i], tag.user_friendly_name),
                    "an application's names differ");
        for (const std::string_view file : referenceElements(blocks[p], "<file>", "</file>")) {
            const std::size_t x = find(file, "<persistent_file_xfer>");
            if (x == std::string_view::npos) continue;
            require(transfer < real.transfers().size(), "a transfer is missing");
            const Transfer& t = real.transfers()[transfer++];
            const std::string_view own = file.substr(0, x);
            std::string_view xfer = file.substr(x);
            xfer = xfer.substr(0, find(xfer, "</persistent_file_xfer>"));
            const std::size_t active = find(file, "<file_xfer>");
            std::string_view activeXfer;
            if (active != std::string_view::npos) {
                activeXfer = file.substr(active);
                activeXfer = activeXfer.substr(0, find(activeXfer, "</file_xfer>"));
            }
            require(t.project == p && t.name == referenceValue(own, tag.name) &&
                        t.nbytes == referenceValue(own, tag.nbytes) && t.status == referenceValue(own, tag.status) &&
                        t.error_msg == referenceValue(file, tag.error_msg) &&
                        t.num_retries == referenceValue(xfer, tag.num_retries) &&
                        t.first_request_time == referenceValue(xfer, tag.first_request_time) &&
                        t.next_request_time == referenceValue(xfer, tag.next_request_time) &&
                        t.time_so_far == referenceValue(xfer, tag.time_so_far) &&
                        t.last_bytes_xferred == referenceValue(xfer, tag.last_bytes_xferred) &&
                        t.is_upload == referenceValue(xfer, tag.is_upload) &&
                        t.bytes_xferred == (active == std::string_view::npos
                                                ? std::nullopt
                                                : referenceValue(activeXfer, tag.bytes_xferred)),
                    "a transfer differs");
        }
    }
    require(transfer == real.transfers().size(), "a transfer too many");
    // The client's values: after its task list; in a file without projects,
    // after its host's values.
    const std::string_view tail = s.project || !s.host_info ? s.platform_name : *s.host_info;
    const ClientInfo& c = real.client;
    const std::pair<Found, const Tags&> client[] = {
        {c.platform_name, tag.platform_name},
        {c.major, tag.major},
        {c.minor, tag.minor},
        {c.release, tag.release},
        {c.user_run_request, tag.user_run_request},
        {c.user_run_prev_request, tag.user_run_prev_request},
        {c.user_gpu_request, tag.user_gpu_request},
        {c.user_gpu_prev_request, tag.user_gpu_prev_request},
        {c.user_network_request, tag.user_network_request},
        {c.user_network_prev_request, tag.user_network_prev_request},
    };
    for (const auto& [value, tags] : client)
        require(value == referenceValue(tail, tags), "a value of the client's differs");
}

}  // namespace crunchwatch::fuzz

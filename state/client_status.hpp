#pragma once
// What the state file says about why work does or does not run: each
// project's scheduling state (its flags, the pending scheduler request and
// why, how long communication is deferred, the work-fetch backoffs), each
// file transfer the client keeps trying, and the client's own version and
// run modes. Values are views into the normalised text, verbatim, like every
// record's; absent stays absent.
//
// A project's values are cut from its own element (from "<project>" to the
// first "</project>" of its block), so that a result's or a file's element of
// the same name never speaks for the project. A transfer belongs to the
// project in whose block its "<file>" lies: the client writes each project's
// files after the project.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "state/element_walk.hpp"
#include "state/sections.hpp"
#include "state/status_store.hpp"

namespace crunchwatch {

using MaybeText = std::optional<std::string_view>;

// The flags a project element holds as an empty element ("<ended/>"), in the
// order they are listed everywhere.
enum class ProjectFlag : std::uint8_t {
    suspended_via_gui, dont_request_more_work, detach_when_done, ended, attached_via_acct_mgr,
    master_url_fetch_pending, scheduler_rpc_in_progress, trickle_up_pending, non_cpu_intensive,
};
inline constexpr std::array<std::string_view, 9> projectFlagNames{
    "suspended_via_gui", "dont_request_more_work", "detach_when_done", "ended", "attached_via_acct_mgr",
    "master_url_fetch_pending", "scheduler_rpc_in_progress", "trickle_up_pending", "non_cpu_intensive",
};

// A work-fetch backoff for one kind of processor: until when, and how long the last one was.
struct Backoff {
    MaybeText name, time, interval;
};

// An application's name and its name for people ("<app>").
struct AppName {
    MaybeText name, user_friendly_name;
};

// A project's scheduling state, made from ClientStatus's store when asked
// for; the values are views into the text.
struct ProjectStatus {
    std::size_t project = 0;  // the block's place, which is its record's in projectInfo
    std::uint16_t flags = 0;
    MaybeText sched_rpc_pending, min_rpc_time, next_rpc_time, last_rpc_time, nrpc_failures, master_fetch_failures,
        njobs_success, njobs_error;
    MaybeText disk_usage;  // bytes its files took at the client's last count
    StatusItems<Backoff> backoffs;  // in file order, by name; at most 16 names
    StatusItems<AppName> apps;      // the block's applications, in file order

    bool has(ProjectFlag f) const noexcept { return flags & (1u << static_cast<unsigned>(f)); }
    bool empty() const noexcept;  // no flag, value, backoff or application
};

// One "<file>" holding a "<persistent_file_xfer>".
struct Transfer {
    std::size_t project = 0;
    MaybeText name, nbytes, status, is_upload, num_retries, first_request_time, next_request_time, time_so_far,
        last_bytes_xferred, error_msg;
    MaybeText bytes_xferred;  // the active "<file_xfer>"'s, while one runs

    bool upload() const noexcept;
};

struct ClientInfo {
    MaybeText platform_name, major, minor, release;
    MaybeText user_run_request, user_run_prev_request, user_gpu_request, user_gpu_prev_request, user_network_request,
        user_network_prev_request;

    // "7.20.5"; nothing unless all three parts are there.
    std::optional<std::string> version() const;
};

class ClientStatus final {
public:
    // Values are stored as offsets from `base`, where the text they lie in begins.
    ClientStatus() : ClientStatus(nullptr) {}
    explicit ClientStatus(const char* base);

    // The projects whose element or block holds any of these values, in
    // file order: a file of very many empty projects costs nothing here.
    StoredList<ProjectStatus> projects() const noexcept { return StoredList<ProjectStatus>(m_store.get()); }
    StoredList<Transfer> transfers() const noexcept { return StoredList<Transfer>(m_store.get()); }
    // The status of the project at that place in projectInfo; an empty one
    // (whose `project` means nothing) when it holds none of the values.
    ProjectStatus of(std::size_t project) const noexcept;

    ClientInfo client;

private:
    friend class BlockStatusReader;
    std::unique_ptr<StatusStore> m_store;  // on the heap, so that the lists stay good while this moves
};

// One project block's scheduling state, applications and transfers, read a
// stretch of the block at a time (see stretch.hpp), so that the extraction's
// own walks over the block and these share one pass while it is in cache.
class BlockStatusReader final {
public:
    // `project` is the block's place; what is read goes into `into`.
    BlockStatusReader(std::string_view block, std::size_t project, ClientStatus& into);
    void advanceTo(std::size_t limit);
    // Keeps the project's status, when it holds anything.
    void finish();

private:
    std::string_view m_block;
    StatusStore& m_store;
    StatusStore::Project m_status;
    std::size_t m_apps = 0;  // found so far
    ElementWalk m_appWalk, m_files;
};

// The client's own values (ClientStatus::client).
ClientInfo readClientInfo(const Sections& sekcje);

// The whole status of a sectioned file, as the extraction reads it on its way.
ClientStatus readClientStatus(const Sections& sekcje);

template <>
Backoff StatusItems<Backoff>::operator[](std::size_t i) const noexcept;
template <>
AppName StatusItems<AppName>::operator[](std::size_t i) const noexcept;
template <>
std::size_t StoredList<ProjectStatus>::size() const noexcept;
template <>
ProjectStatus StoredList<ProjectStatus>::operator[](std::size_t i) const noexcept;
template <>
std::size_t StoredList<Transfer>::size() const noexcept;
template <>
Transfer StoredList<Transfer>::operator[](std::size_t i) const noexcept;

// What a run mode's number means: "always", "according to preferences",
// "never"; nothing for another text.
std::optional<std::string_view> runModeText(MaybeText mode);
// Why a scheduler request is pending ("to report completed tasks"); nothing for 0 or an unknown reason.
std::optional<std::string_view> rpcReasonText(MaybeText reason);

}  // namespace crunchwatch

#pragma once
// What the client knows of the computer it runs on: the state file's
// <host_info> (processor, memory, disk, operating system, the GPUs of its
// <coprocs>), <time_stats> (how much of the time the client could work) and
// <net_stats> (its average transfer rates); and, beside the state file,
// coproc_info.xml (every GPU the client's detection found, and what it could
// not use) and daily_xfer_history.xml (bytes sent and received per day).
//
// Values are verbatim text, as the client wrote them; absent stays absent.
// The state file's values are views into its normalised text; what is read
// from the files beside it is copied, for those files are read on their own.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/sections.hpp"

namespace crunchwatch {

using HostText = std::optional<std::string_view>;

// One GPU element: "coproc_cuda", "coproc_ati", "coproc_intel_gpu",
// "coproc_apple_gpu", a generic "coproc" (with its <type>), or in
// coproc_info.xml also an OpenCL-only device ("nvidia_opencl", "ati_opencl",
// "intel_gpu_opencl", "apple_gpu_opencl", "other_opencl", "cpu_opencl").
struct Gpu {
    std::string kind;                   // the element's name
    std::optional<std::string> type;    // a generic coproc's <type>
    std::optional<std::string> count;   // <count>
    std::optional<std::string> name;    // <name> (the OpenCL device's when the element has none)
    std::optional<std::string> memory;  // bytes: <available_ram>, else <totalGlobalMem>, else the OpenCL <global_mem_size>
    std::optional<std::string> peak_flops;
    std::optional<std::string> driver_version;  // <drvVersion> (NVIDIA), <CALVersion> (AMD), else <driver_version>/<version>
    std::optional<std::string> device_num;      // <device_num>: which device of its kind (coproc_info.xml)
    // The OpenCL device inside, when there is one (<coproc_opencl>, or the
    // element itself for an OpenCL-only device).
    std::optional<std::string> opencl_name, opencl_vendor, opencl_device_version, opencl_driver_version;

    // "NVIDIA", "AMD", "Intel", "Apple", the generic coproc's type, or the element's name.
    std::string maker() const;
    bool operator==(const Gpu&) const = default;
};

struct HostInfo {
    bool found = false;  // the state file has a <host_info>
    HostText timezone, domain_name, p_vendor, p_model, p_ncpus, p_features, p_fpops, p_iops, p_membw, m_nbytes,
        m_swap, m_cache, d_total, d_free, os_name, os_version, n_usable_coprocs, virtualbox_version, product_name;
    bool coprocsFound = false;  // <coprocs> is there (an old client writes none)
    std::vector<Gpu> gpus;      // in file order; at most mostGpus
};

struct TimeStats {
    bool found = false;
    HostText on_frac, connected_frac, cpu_and_network_available_frac, active_frac, gpu_active_frac,
        client_start_time, total_duration, total_active_duration, last_update;
};

struct NetStats {
    bool found = false;
    HostText avg_up, avg_down;  // bytes per second
};

struct HostReport {
    HostInfo host;
    TimeStats time;
    NetStats net;
};

// More GPU elements than any computer has; the rest of a file's are not kept.
inline constexpr std::size_t mostGpus = 64;

// The three elements of a normalised state file, cut from its host section
// (which runs from <host_info> to the first project, and so holds the other
// two as the client writes them); a file without projects is searched whole.
HostReport readHostReport(std::string_view normalisedText, const Sections& sekcje);

// coproc_info.xml: the GPUs the client detected (each element of its
// <coprocs>) and every <warning> it wrote, in file order.
struct CoprocInfo {
    std::vector<Gpu> gpus;
    std::vector<std::string> warnings;  // at most mostGpus
    bool operator==(const CoprocInfo&) const = default;
};
CoprocInfo readCoprocInfoText(std::string_view text);

// One day of daily_xfer_history.xml's <daily_xfers>: <when>, a local day
// number (days since 1970 in the client's time zone), <up> and <down> bytes.
struct DailyXfer {
    std::string when, up, down;
    bool operator==(const DailyXfer&) const = default;
};
// The days in file order; at most mostDailyXfers (the newest kept).
inline constexpr std::size_t mostDailyXfers = 4096;
std::vector<DailyXfer> readDailyXfersText(std::string_view text);

// A file beside the state file, as read: its path's date text when read,
// and why it could not be read (empty when it was, or when it is not there).
struct HostFiles {
    std::optional<CoprocInfo> coprocInfo;  // none: no coproc_info.xml
    std::vector<DailyXfer> dailyXfers;
    bool dailyXfersFound = false;
    std::string problem;  // "coproc_info.xml: Permission denied"; empty when all was read
    std::string stamp;    // the two files' date texts, to tell a change
    bool operator==(const HostFiles&) const = default;
};
class Folder;
// The two files' date texts (one attribute query each).
std::string hostFilesStamp(const Folder& folder);
// Reads both (each at most 16 MiB, opened without following a link, regular files only).
HostFiles readHostFiles(const Folder& folder);
// The same in the data directory `dataDir` on this machine.
std::string hostFilesStamp(const std::string& dataDir);
HostFiles readHostFiles(const std::string& dataDir);

}  // namespace crunchwatch

#pragma once
// The Computer and Disk tabs' rows: what the client sees of this host (its
// <host_info>, GPUs, run modes, time and network statistics, the GPUs its
// detection found), the preferences in force with the file each came from,
// and per project the bytes its files take on disk beside what the client
// may use. Built once per refresh that changed any of it, on the worker
// thread; the window, the dump and the tests read the same rows.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/disk_usage.hpp"
#include "state/effective_prefs.hpp"
#include "state/host_info.hpp"
#include "state/projects.hpp"
#include "tables/columns.hpp"

namespace crunchwatch {

struct RefreshValue;

// One line of the Computer tab: a value under its group.
struct ComputerLine {
    std::string group;    // "Processor", "Memory", "Disk", "Operating system", "Computer", "GPU 1", "Detected GPUs",
                          // "Client", "Time", "Network", "Preferences: Disk", …
    std::string name;     // for people: "Cores"
    std::string value;    // for people: "24.9 GiB (26,843,545,600 bytes)"; the verbatim text where no unit helps
    std::string element;  // where it came from: "<host_info><m_nbytes>", "global_prefs_override.xml <disk_max_used_gb>"
    std::string tooltip;  // more: a processor's features, a GPU's OpenCL device, a preference's other file's value
    std::optional<double> moment;  // a date's, shown through the date format (the value text is then its seconds)
    enum class Mark : unsigned char { none, overridden, unusable, warning } mark = Mark::none;
};

// One row of the Disk tab: a project, or the client's own files. Made when
// asked for (DiskFigures::row); its texts are views into the state file's
// text, which the figures keep.
struct DiskRow {
    std::optional<std::size_t> project;  // its place in projectInfo; none for the client's own row
    std::string_view name;               // the project's name, its master URL without one, or "BOINC client"
    std::string_view masterUrl;          // empty for the client's row
    std::optional<std::uint64_t> bytes;  // counted now; none before the first walk
    std::optional<std::string_view> recorded;  // the client's last <disk_usage>, verbatim
    double share = 0;                    // of what the client may use, 0 to 1 (for the chart)
};

struct DiskFigures {
    // The rows: the projects in file order, then the client's own; none
    // before any state file was read.
    std::size_t rowCount() const noexcept;
    DiskRow row(std::size_t i) const;

    std::shared_ptr<const ClientState> state;  // the projects the rows are of
    std::optional<std::uint64_t> clientBytes;  // the client's own files
    std::optional<std::uint64_t> totalBytes;   // the client's and every project's
    std::optional<double> freeBytes;           // free on the data folder's file system (or the file's d_free)
    std::optional<double> diskBytes;           // that file system's size (or the file's d_total)
    DiskAllowance allowed;                     // what the client may use
    std::optional<double> allowanceLeft;       // allowed − total, never below 0
    bool live = false;       // free and size are this computer's now (statvfs), not the file's
    std::string walkNote;    // "Counted at 14:05:12 in 0.3 s, 12,345 files" / why it stopped / what was unreadable
    std::shared_ptr<const DiskWalk> walk;  // the walk the figures come from; null before any
};

// What the Computer and Disk tabs show, built from one refresh's parts.
struct ComputerValue {
    std::shared_ptr<const HostFiles> files;  // coproc_info.xml, daily_xfer_history.xml
    std::vector<ComputerLine> lines;
    DiskFigures disk;
    // The folder and the digest of the projects disk.walk counted (for a
    // refresher that resumes): the list itself stays with the refresher.
    std::string walkedDir;
    std::optional<std::uint64_t> walkedDigest;
};

// The lines of the Computer tab, in the order shown.
std::vector<ComputerLine> computerLines(const HostReport& host, const ClientInfo& client, const HostFiles* files,
                                        const EffectivePrefs& prefs);
// The disk figures: each project's count (when walked), the client's last
// records, the file system and the allowance from the preferences in force.
DiskFigures diskFigures(std::shared_ptr<const ClientState> state, const HostReport& host, const EffectivePrefs& prefs,
                        std::shared_ptr<const DiskWalk> walk);
// What the walk is asked for: each project's folder and its active tasks' slots.
ProjectFolderList projectFolders(const ClientState& state);

// A percentage of time from a fraction's text ("0.874" -> "87.4%"); "not
// measured yet" for the client's -1; the text itself when it is no number.
std::string fractionText(std::string_view fraction);
// A byte count for people with the exact figure: "1.5 GiB (1,610,612,736 bytes)".
std::string bytesWithExact(double bytes);

// The tables' rows are the lines and rows themselves, by address: they live
// in the value's ComputerValue, as long as the value.
enum class ComputerColumn : std::size_t { group, name, value };
inline constexpr std::size_t computerColumnCount = 3;
extern const std::array<TableColumn<const ComputerLine*>, computerColumnCount> computerColumns;

enum class DiskColumn : std::size_t { project, bytes, recorded, share };
inline constexpr std::size_t diskColumnCount = 4;
extern const std::array<TableColumn<DiskRow>, diskColumnCount> diskColumns;

}  // namespace crunchwatch

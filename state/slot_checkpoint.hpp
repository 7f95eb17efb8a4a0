#pragma once
// A running task's last checkpoint as its slot says it. The client rewrites
// slots/<N>/boinc_task_state.xml at each of the task's checkpoints, while
// its state file may lag by minutes: only events, not checkpoints, make it
// write that one.
//
// The slot is a plain number (anything else would lead out of the slots
// folder); no symbolic link is followed on the way (an application writes
// into its own slot, and a link there could lead to one of the client's
// secrets); the file must be a regular file of at most 64 KiB (the client's
// is under one); values are the file's verbatim text, after the same
// normalisation as the state file's.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace crunchwatch {

class Folder;

struct SlotCheckpoint {
    std::string project_url, result;  // project_master_url, result_name
    std::optional<std::string> fraction_done, checkpoint_cpu_time, checkpoint_elapsed_time;
    std::int64_t seconds = 0, nanoseconds = 0;  // the file's last modification
};

inline constexpr std::uint64_t largestSlotFile = 64 * 1024;

// slots/<slot>/boinc_task_state.xml, the name in the data directory; nothing
// for a slot that is not a plain number.
std::optional<std::string> slotFileName(std::string_view slot);

// The checkpoint, or nothing when the file is missing, unreadable, too big,
// or names no project or result.
std::optional<SlotCheckpoint> readSlotCheckpoint(const Folder& folder, std::string_view slot);
// The same in the data directory `rootDir` (ending in "/") of this machine.
std::optional<SlotCheckpoint> readSlotCheckpoint(const std::string& rootDir, std::string_view slot);

}  // namespace crunchwatch

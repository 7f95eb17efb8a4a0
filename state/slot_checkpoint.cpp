#include "state/slot_checkpoint.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "state/file_descriptor.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"

namespace crunchwatch {
namespace {

std::optional<std::string> cutCopy(std::string_view text, std::string_view open, std::string_view close) {
    const auto v = wytnij(text, open, close);
    return v ? std::optional<std::string>(*v) : std::nullopt;
}

bool plainSlot(std::string_view slot) {
    if (slot.empty() || slot.size() > 9) return false;
    for (const char c : slot)
        if (c < '0' || c > '9') return false;
    return true;
}

// Opens `name` in the folder `at` without following a link at any step: an
// application writes into its own slot and could leave a link there to one
// of the client's secrets.
int openBeneath(int at, const char* name, int flags) {
    return ::openat(at, name, flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

}  // namespace

std::optional<std::string> slotFilePath(const std::string& rootDir, std::string_view slot) {
    if (!plainSlot(slot)) return std::nullopt;
    return rootDir + "slots/" + std::string(slot) + "/boinc_task_state.xml";
}

std::optional<SlotCheckpoint> readSlotCheckpoint(const std::string& rootDir, std::string_view slot) {
    if (!plainSlot(slot) || rootDir.find('\0') != std::string::npos) return std::nullopt;
    const FileDescriptor slots(::open((rootDir + "slots").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (slots.get() < 0) return std::nullopt;
    const FileDescriptor folder(openBeneath(slots.get(), std::string(slot).c_str(), O_RDONLY | O_DIRECTORY));
    if (folder.get() < 0) return std::nullopt;
    const FileDescriptor file(openBeneath(folder.get(), "boinc_task_state.xml", O_RDONLY));
    struct stat st {};
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > largestSlotFile)
        return std::nullopt;
    // One byte more than the limit: a file that grew past it is not read on.
    auto buffer = std::make_unique<char[]>(largestSlotFile + 1);
    std::size_t size = 0;
    while (size <= largestSlotFile) {
        const ssize_t n = ::read(file.get(), buffer.get() + size, largestSlotFile + 1 - size);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    if (size > largestSlotFile) return std::nullopt;
    const std::string_view text(buffer.get(), normaliseInPlace(buffer.get(), size));
    SlotCheckpoint c;
    const auto url = wytnij(text, "<project_master_url>", "</project_master_url>");
    const auto result = wytnij(text, "<result_name>", "</result_name>");
    if (!url || !result) return std::nullopt;
    c.project_url = *url;
    c.result = *result;
    c.fraction_done = cutCopy(text, "<fraction_done>", "</fraction_done>");
    c.checkpoint_cpu_time = cutCopy(text, "<checkpoint_cpu_time>", "</checkpoint_cpu_time>");
    c.checkpoint_elapsed_time = cutCopy(text, "<checkpoint_elapsed_time>", "</checkpoint_elapsed_time>");
    c.seconds = st.st_mtim.tv_sec;
    c.nanoseconds = st.st_mtim.tv_nsec;
    return c;
}

}  // namespace crunchwatch

#include "state/slot_checkpoint.hpp"

#include "state/local_folder.hpp"
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

}  // namespace

std::optional<std::string> slotFileName(std::string_view slot) {
    if (!plainSlot(slot)) return std::nullopt;
    return "slots/" + std::string(slot) + "/boinc_task_state.xml";
}

std::optional<SlotCheckpoint> readSlotCheckpoint(const std::string& rootDir, std::string_view slot) {
    return readSlotCheckpoint(LocalFolder(rootDir), slot);
}

std::optional<SlotCheckpoint> readSlotCheckpoint(const Folder& folder, std::string_view slot) {
    const auto name = slotFileName(slot);
    if (!name) return std::nullopt;
    ReadFailure why{};
    auto file = folder.readSmall(*name, largestSlotFile, why);
    if (!file) return std::nullopt;
    std::string& buffer = file->text;
    const std::string_view text(buffer.data(), normaliseInPlace(buffer.data(), buffer.size()));
    SlotCheckpoint c;
    const auto url = wytnij(text, "<project_master_url>", "</project_master_url>");
    const auto result = wytnij(text, "<result_name>", "</result_name>");
    if (!url || !result) return std::nullopt;
    c.project_url = *url;
    c.result = *result;
    c.fraction_done = cutCopy(text, "<fraction_done>", "</fraction_done>");
    c.checkpoint_cpu_time = cutCopy(text, "<checkpoint_cpu_time>", "</checkpoint_cpu_time>");
    c.checkpoint_elapsed_time = cutCopy(text, "<checkpoint_elapsed_time>", "</checkpoint_elapsed_time>");
    c.seconds = file->stat.seconds;
    c.nanoseconds = file->stat.nanoseconds;
    return c;
}

}  // namespace crunchwatch

#include "state/slot_checkpoint.hpp"

#include "state/file_read.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"

namespace crunchwatch {
namespace {

std::optional<std::string> cutCopy(std::string_view text, std::string_view open, std::string_view close) {
    const auto v = wytnij(text, open, close);
    return v ? std::optional<std::string>(*v) : std::nullopt;
}

}  // namespace

std::optional<std::string> slotFilePath(const std::string& rootDir, std::string_view slot) {
    if (slot.empty() || slot.size() > 9) return std::nullopt;
    for (const char c : slot)
        if (c < '0' || c > '9') return std::nullopt;
    return rootDir + "slots/" + std::string(slot) + "/boinc_task_state.xml";
}

std::optional<SlotCheckpoint> readSlotCheckpoint(const std::string& rootDir, std::string_view slot) {
    const auto path = slotFilePath(rootDir, slot);
    if (!path) return std::nullopt;
    const auto stat = statFile(*path);
    if (!stat || !stat->regular || stat->size > largestSlotFile) return std::nullopt;
    auto contents = readWholeFile(*path);
    // It may have grown since: a checkpoint is small, and a file that is not
    // one is not read on.
    if (!contents || contents->size() > largestSlotFile) return std::nullopt;
    contents->shrinkTo(normaliseInPlace(contents->data(), contents->size()));
    const std::string_view text = contents->view();
    SlotCheckpoint c;
    const auto url = wytnij(text, "<project_master_url>", "</project_master_url>");
    const auto result = wytnij(text, "<result_name>", "</result_name>");
    if (!url || !result) return std::nullopt;
    c.project_url = *url;
    c.result = *result;
    c.fraction_done = cutCopy(text, "<fraction_done>", "</fraction_done>");
    c.checkpoint_cpu_time = cutCopy(text, "<checkpoint_cpu_time>", "</checkpoint_cpu_time>");
    c.checkpoint_elapsed_time = cutCopy(text, "<checkpoint_elapsed_time>", "</checkpoint_elapsed_time>");
    c.seconds = stat->seconds;
    c.nanoseconds = stat->nanoseconds;
    return c;
}

}  // namespace crunchwatch

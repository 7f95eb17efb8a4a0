#pragma once
// Loading the state file: read it whole, normalise it, cut it into the four
// consecutive sections the record extraction works on.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "state/file_read.hpp"

namespace crunchwatch {

// sekcje: stretches of the normalised text. The first three are absent when
// their start tag is not found (never empty); platform_name is always there
// and may be empty.
struct Sections {
    std::optional<std::string_view> host_info;
    std::optional<std::string_view> project;
    std::optional<std::string_view> active_task_set;
    std::string_view platform_name;
};

// The cuts, each searching from where the previous found section ended.
Sections sekcje(std::string_view normalisedText) noexcept;

// The same cuts, handing each block of the project section (from one
// "<project>" up to the next, the last up to the section's end) to
// `onProjectBlock`, in order, as the cut passes over it: a reader of the
// blocks then finds each one still in the processor's cache.
Sections sekcje(std::string_view normalisedText, const std::function<void(std::string_view)>& onProjectBlock);

// One loaded state file: its normalised text and the sections cut from it.
// Sections are views into `text`, which moves with them.
struct StateFile {
    TextBuffer text;
    Sections sekcje;
};

// Normalises and sections a whole file's contents (whatever they hold).
StateFile prepareText(TextBuffer contents) noexcept;

// przygotujPlik ("prepare the file"): nothing when the file cannot be read.
std::optional<StateFile> przygotujPlik(const std::string& path);

}  // namespace crunchwatch

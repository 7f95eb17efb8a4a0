#include "state/sections.hpp"

#include "state/normalise.hpp"
#include "state/scan.hpp"

namespace crunchwatch {

Sections sekcje(std::string_view text) noexcept {
    Sections s;
    std::size_t position = 0;
    // Each cut searches from the search position on; a section that is found
    // ends on the next section's start tag, where the next cut begins.
    auto cut = [&](std::string_view od, std::string_view do_) {
        const auto found = sekcja(text.substr(position), od, do_);
        if (found) position = static_cast<std::size_t>(found->data() - text.data()) + found->size();
        return found;
    };
    s.host_info = cut("<host_info>", "<project>");
    s.project = cut("<project>", "<active_task_set>");
    s.active_task_set = cut("<active_task_set>", "<platform_name>");
    s.platform_name = text.substr(position);
    return s;
}

StateFile prepareText(TextBuffer contents) noexcept {
    contents.shrinkTo(normaliseInPlace(contents.data(), contents.size()));
    StateFile file{std::move(contents), {}};
    file.sekcje = sekcje(file.text.view());
    return file;
}

std::optional<StateFile> przygotujPlik(const std::string& path) {
    auto contents = readWholeFile(path);
    if (!contents) return std::nullopt;
    return prepareText(std::move(*contents));
}

}  // namespace crunchwatch

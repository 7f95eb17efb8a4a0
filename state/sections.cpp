#include "state/sections.hpp"

#include <algorithm>

#include "state/normalise.hpp"
#include "state/scan.hpp"
#include "state/stretch.hpp"

namespace crunchwatch {

namespace {

constexpr std::string_view projectTag = "<project>";
constexpr std::string_view activeTaskSetTag = "<active_task_set>";

// What sekcja(rest, "<project>", "<active_task_set>") cuts, found a stretch at
// a time; every "<project>" inside it starts a block, handed on as soon as
// the next one (or the section's end) is found. "<project>" cannot overlap
// itself or "<active_task_set>", so the blocks are exactly what cutting the
// section from one "<project>" to the next gives.
std::optional<std::string_view> projectSection(std::string_view rest,
                                               const std::function<void(std::string_view)>& onBlock) {
    const std::size_t start = findFrom(rest, projectTag);
    if (start == std::string_view::npos) return std::nullopt;
    std::size_t end = std::string_view::npos;
    std::size_t endFrom = start + projectTag.size();  // where "<active_task_set>" is looked for next
    std::size_t blockFrom = endFrom;                  // and the next "<project>"
    std::size_t blockStart = start;
    for (std::size_t limit = endFrom; end == std::string_view::npos && limit < rest.size();) {
        limit = std::min(rest.size(), limit + sectionStretch);
        end = findFrom(startsBefore(rest, limit, activeTaskSetTag), activeTaskSetTag, endFrom);
        endFrom = limit;
        if (!onBlock) continue;
        const std::size_t stop = end == std::string_view::npos ? limit : end;
        const std::string_view upToStop = startsBefore(rest, stop, projectTag);
        for (std::size_t next; (next = findFrom(upToStop, projectTag, blockFrom)) != std::string_view::npos;) {
            onBlock(rest.substr(blockStart, next - blockStart));
            blockStart = next;
            blockFrom = next + projectTag.size();
        }
        blockFrom = std::max(blockFrom, stop);
    }
    if (end == std::string_view::npos) end = rest.size();
    if (onBlock) onBlock(rest.substr(blockStart, end - blockStart));
    return rest.substr(start, end - start);
}

}  // namespace

Sections sekcje(std::string_view text, const std::function<void(std::string_view)>& onProjectBlock) {
    Sections s;
    std::size_t position = 0;
    // Each cut searches from the search position on; a section that is found
    // ends on the next section's start tag, where the next cut begins.
    const auto advance = [&](const std::optional<std::string_view>& found) {
        if (found) position = static_cast<std::size_t>(found->data() - text.data()) + found->size();
        return found;
    };
    s.host_info = advance(sekcja(text.substr(position), "<host_info>", projectTag));
    s.project = advance(projectSection(text.substr(position), onProjectBlock));
    s.active_task_set = advance(sekcja(text.substr(position), activeTaskSetTag, "<platform_name>"));
    s.platform_name = text.substr(position);
    return s;
}

Sections sekcje(std::string_view text) noexcept {
    // No block is handed on, so nothing here allocates or throws.
    static const std::function<void(std::string_view)> none;
    return sekcje(text, none);
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

#pragma once
// Long texts are searched a stretch at a time: every search that has to pass
// over the text takes one stretch while it is still in the processor's cache,
// so a big file is read from memory once instead of once per search.

#include <cstddef>
#include <string_view>

namespace crunchwatch {

// The walks over one project block (its workunits, results and first
// "<app_name>"): three searches share each stretch.
inline constexpr std::size_t blockStretch = 128 * 1024;
// The cut of the project section into blocks. Each block found in a stretch
// is read again at once by the block walks, a blockStretch at a time, so the
// section's stretch and the walks' share the cache: together they fit a
// 512 KB second-level cache, the smallest this is meant to run well on.
inline constexpr std::size_t sectionStretch = 2 * blockStretch;

// The part of `text` that holds every occurrence of `tag` that starts before
// `limit`: the limit plus the tag's length less one.
inline std::string_view startsBefore(std::string_view text, std::size_t limit, std::string_view tag) noexcept {
    return text.substr(0, limit + tag.size() - 1);
}

}  // namespace crunchwatch

#pragma once
// The two tag-cutting primitives through which every section, record and value
// of the client's files is read. They know nothing of XML: markers are literal
// byte strings, the first occurrence of each decides, nesting is ignored.
//
// Contract: results are views into `text` (which must outlive them), never
// empty; "no value" is std::nullopt. Nothing throws, nothing allocates.

#include <cstddef>
#include <optional>
#include <string_view>

namespace crunchwatch {

// Position of the first occurrence of `needle` in `haystack` at or after `from`,
// or npos. An empty needle is never found.
std::size_t findFrom(std::string_view haystack, std::string_view needle, std::size_t from = 0) noexcept;

// sekcja ("section"): from the first `od` (included) up to just before the
// first `do_` after it, or to the end of the text when `do_` does not follow.
std::optional<std::string_view> sekcja(std::string_view text, std::string_view od,
                                       std::string_view do_) noexcept;

// wytnij ("cut out"): what lies between the first `od` and the first `do_`
// after it (or the end of the text); nothing when that stretch is empty.
std::optional<std::string_view> wytnij(std::string_view text, std::string_view od,
                                       std::string_view do_) noexcept;

// The text that follows `part`, which must be a view into `whole`.
inline std::string_view textAfter(std::string_view whole, std::string_view part) noexcept {
    return whole.substr(static_cast<std::size_t>(part.data() - whole.data()) + part.size());
}

}  // namespace crunchwatch

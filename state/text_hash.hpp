#pragma once
// A fast hash of a text, for the first-match tables. Not for anything that
// must resist chosen inputs: a collision only costs a comparison.

#include <cstdint>
#include <string_view>

namespace crunchwatch {

std::uint64_t hashOf(std::string_view s) noexcept;

}  // namespace crunchwatch

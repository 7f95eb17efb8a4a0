#pragma once
// The normalising loop, once per vector level (see vector_level.hpp): each
// normalises data[0, size) in place and returns the new size, exactly as the
// plain loop in normalise.cpp does.

#include <cstddef>

namespace crunchwatch::normalise_variants {

#if defined(__SSE2__)
std::size_t normaliseSse2(char* data, std::size_t size) noexcept;
#endif
#if defined(__x86_64__) && defined(__GNUC__)
std::size_t normaliseAvx2(char* data, std::size_t size) noexcept;
std::size_t normaliseAvx512(char* data, std::size_t size) noexcept;
#endif

}  // namespace crunchwatch::normalise_variants

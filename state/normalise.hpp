#pragma once
// Normalisation of the client's files: every line stripped of white space and
// line breaks at both ends, the lines joined with nothing between them. The
// cutting primitives then see each end tag directly followed by the next
// start tag, while blanks inside a line (a project's name) stay.
//
// Lines end at LF, CR, CRLF or U+2029 (paragraph separator). The trim set is
// ASCII white space (tab, LF, VT, FF, CR, space), U+0085 (next line), the
// Unicode space separators (U+00A0, U+1680, U+2000..U+200A, U+202F, U+205F,
// U+3000), U+2028 and U+2029, all matched as UTF-8 byte sequences. Bytes that
// are not valid UTF-8 are kept as they are.

#include <cstddef>
#include <string>
#include <string_view>

namespace crunchwatch {

// Normalises data[0, size) in place (the result is never longer than the
// input) and returns the normalised length. Linear, no allocation.
std::size_t normaliseInPlace(char* data, std::size_t size) noexcept;

// Convenience copy for callers that hold a std::string_view.
std::string normalised(std::string_view text);

}  // namespace crunchwatch

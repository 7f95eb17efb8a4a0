#pragma once
// Reading a whole file into memory, for the client's state and preferences
// files. Only regular files are read (links are followed): a directory, FIFO,
// socket or device would otherwise hang a refresh or never end, and none of
// them can hold a state file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "state/read_failure.hpp"

namespace crunchwatch {

// An owned byte buffer. Views into it stay valid when the buffer is moved,
// which is what lets records hold views instead of copies.
class TextBuffer final {
public:
    TextBuffer() = default;
    TextBuffer(std::unique_ptr<char[]> data, std::size_t size) : m_data(std::move(data)), m_size(size) {}
    static TextBuffer copyOf(std::string_view text);

    std::string_view view() const noexcept { return {m_data.get(), m_size}; }
    char* data() noexcept { return m_data.get(); }
    std::size_t size() const noexcept { return m_size; }
    void shrinkTo(std::size_t size) noexcept { if (size < m_size) m_size = size; }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
};

// A buffer for a file's contents, backed by huge pages when it is large.
std::unique_ptr<char[]> newFileBuffer(std::size_t size);

// The biggest file read, 4 GiB less a byte: the records keep their values as
// 32-bit offsets into the text, and no client writes a state file within
// orders of magnitude of it. A bigger one reads as too large.
inline constexpr std::uintmax_t largestReadableFile = UINT32_MAX;

// The file's whole contents, or nothing when it is missing, unreadable or not
// a regular file. A file that grows or shrinks while it is read gives what the
// reads returned up to its end; it never gives a torn buffer size.
std::optional<TextBuffer> readWholeFile(const std::string& path);
// The same, and on failure `why` says what went wrong (ReadFailure::none
// after a read).
std::optional<TextBuffer> readWholeFile(const std::string& path, ReadFailure& why);

}  // namespace crunchwatch

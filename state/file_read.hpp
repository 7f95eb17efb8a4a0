#pragma once
// Reading a file into memory: whole (the client's state, preferences and
// statistics files), or only what was appended since the last read (its job
// logs, which the client only ever appends to). One reader does both, with
// the same guarantees: only regular files are read (links are followed), as
// a directory, FIFO, socket or device would hang a refresh or never end;
// opening a FIFO never waits for a writer; a path holding a NUL byte is
// refused; a file that grows or shrinks while it is read gives what the reads
// returned up to its end; a read bigger than the memory left fails instead
// of ending the program; nothing is ever written. On failure the reader says
// why, from the very call that failed. The readers by path read this
// machine's files, as LocalFolder (local_folder.hpp) does.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "state/file_stat.hpp"
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

// The most bytes one read takes, 4 GiB less a byte: records keep their values
// as 32-bit offsets into the text, and no client writes a file within orders
// of magnitude of it. A bigger read fails as too large.
inline constexpr std::uintmax_t largestReadableFile = UINT32_MAX;

// The file's whole contents, or nothing when it is missing, unreadable or not
// a regular file; `why` then says what went wrong (ReadFailure::none after a
// read).
std::optional<TextBuffer> readWholeFile(const std::string& path);
std::optional<TextBuffer> readWholeFile(const std::string& path, ReadFailure& why);

struct TailRead {
    FileIdentity identity;
    // True when the bytes are the whole file (from offset 0): the file was
    // not the one read before, it did not grow, or the byte before `from` is
    // no longer the line feed the last read ended on.
    bool fromStart = false;
    std::uint64_t offset = 0;  // where `bytes` begin in the file
    TextBuffer bytes;
    std::uint64_t size() const noexcept { return offset + bytes.size(); }  // the file's, as read
};

// Reads `path` from `from` when it is still `known`, longer than `lastSize`
// (its size at the last read: a file rewritten in place to the same length
// is read again whole) and the byte at `from - 1` is a line feed (`from` 0
// reads the whole file); otherwise the whole file. Nothing when it cannot be
// read, and `why` says why.
std::optional<TailRead> readFileTail(const std::string& path, std::optional<FileIdentity> known, std::uint64_t from,
                                     std::uint64_t lastSize, ReadFailure& why);

}  // namespace crunchwatch

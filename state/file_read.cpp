#include "state/file_read.hpp"

#include <cstdint>
#include <cstring>

#include <sys/mman.h>

#include "state/local_folder.hpp"

namespace crunchwatch {

TextBuffer TextBuffer::copyOf(std::string_view text) {
    auto data = std::make_unique_for_overwrite<char[]>(text.size() + 1);
    if (!text.empty()) std::memcpy(data.get(), text.data(), text.size());
    return TextBuffer(std::move(data), text.size());
}

// A state file of tens of megabytes is read into a fresh buffer on every
// refresh. Backed by huge pages where the system offers them, the buffer
// costs a few dozen page faults instead of thousands. Only the whole 2 MB
// pages inside it are advised; smaller buffers are left as they are.
std::unique_ptr<char[]> newFileBuffer(std::size_t size) {
    auto data = std::make_unique_for_overwrite<char[]>(size);
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t hugePage = std::uintptr_t{1} << 21;
    if (size >= 4 * hugePage) {
        const auto begin = reinterpret_cast<std::uintptr_t>(data.get());
        const std::uintptr_t first = (begin + hugePage - 1) & ~(hugePage - 1);
        const std::uintptr_t last = (begin + size) & ~(hugePage - 1);
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // a hint only
    }
#endif
    return data;
}

std::optional<TailRead> readFileTail(const std::string& path, std::optional<FileIdentity> known, std::uint64_t from,
                                     std::uint64_t lastSize, ReadFailure& why) {
    return LocalFolder().readTail(path, known, from, lastSize, why);
}

std::optional<TextBuffer> readWholeFile(const std::string& path, ReadFailure& why) {
    auto read = readFileTail(path, std::nullopt, 0, 0, why);
    if (!read) return std::nullopt;
    return std::move(read->bytes);
}

std::optional<TextBuffer> readWholeFile(const std::string& path) {
    ReadFailure ignored{};
    return readWholeFile(path, ignored);
}

}  // namespace crunchwatch

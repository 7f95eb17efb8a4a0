#pragma once
// An array that grows a chunk at a time: appending never moves what is
// already there, so a big array never needs its old and its new copy at once
// (a doubling vector's peak is three times what it holds), and what it holds
// is what it costs, give or take one chunk.

#include <cstddef>
#include <memory>
#include <vector>

namespace crunchwatch {

template <class T, std::size_t ChunkBits = 12>
class ChunkedArray final {
public:
    static constexpr std::size_t chunkSize = std::size_t{1} << ChunkBits;

    ChunkedArray() = default;
    ChunkedArray(ChunkedArray&& other) noexcept : m_chunks(std::move(other.m_chunks)), m_size(other.m_size) {
        other.m_chunks.clear();
        other.m_size = 0;
    }
    ChunkedArray& operator=(ChunkedArray&& other) noexcept {
        m_chunks = std::move(other.m_chunks);
        m_size = other.m_size;
        other.m_chunks.clear();
        other.m_size = 0;
        return *this;
    }

    void push_back(const T& value) {
        if (m_size == m_chunks.size() * chunkSize) m_chunks.push_back(std::make_unique_for_overwrite<T[]>(chunkSize));
        m_chunks.back()[m_size & mask] = value;
        ++m_size;
    }
    // Appends `count` copies of `value`.
    void append(std::size_t count, const T& value) {
        for (std::size_t i = 0; i < count; ++i) push_back(value);
    }

    T& operator[](std::size_t i) noexcept { return m_chunks[i >> ChunkBits][i & mask]; }
    const T& operator[](std::size_t i) const noexcept { return m_chunks[i >> ChunkBits][i & mask]; }
    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }

private:
    static constexpr std::size_t mask = chunkSize - 1;
    std::vector<std::unique_ptr<T[]>> m_chunks;
    std::size_t m_size = 0;
};

}  // namespace crunchwatch

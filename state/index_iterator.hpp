#pragma once
// An iterator over anything that gives its items by index, made on demand:
// the stored records, the rows, a record's entries. It holds the range and a
// position, and `*it` is `range[position]`, by value.

#include <cstddef>

namespace crunchwatch {

template <class Range, class Value>
class IndexIterator {
public:
    using value_type = Value;
    using difference_type = std::ptrdiff_t;

    IndexIterator() = default;
    IndexIterator(const Range* range, std::size_t i) : m_range(range), m_i(i) {}
    Value operator*() const noexcept { return (*m_range)[m_i]; }
    IndexIterator& operator++() noexcept {
        ++m_i;
        return *this;
    }
    IndexIterator operator++(int) noexcept {
        IndexIterator old = *this;
        ++m_i;
        return old;
    }
    bool operator==(const IndexIterator& o) const noexcept { return m_i == o.m_i; }

private:
    const Range* m_range = nullptr;
    std::size_t m_i = 0;
};

}  // namespace crunchwatch

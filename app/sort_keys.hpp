#pragma once
// The keys one column sorts by, one per row, computed once after a reload:
// numbers as they are, texts as their rank in the user's collation. Sorting
// 20,000 rows then compares numbers only, instead of computing two cells and
// collating two texts for each of its few hundred thousand comparisons.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tables/cell.hpp"

namespace crunchwatch {

// The distinct texts of a column as last ranked, and their ranks. A reload
// whose texts are the same (the usual refresh: the client rewrote its file,
// its tasks stayed) takes the ranks from here instead of collating again.
class TextRanks final {
public:
    bool holds(const std::vector<std::string_view>& texts) const;
    void keep(const std::vector<std::string_view>& texts, std::vector<double> ranks);
    const std::vector<double>& ranks() const { return m_ranks; }

private:
    std::string m_joined;             // the texts one after another
    std::vector<std::size_t> m_ends;  // where each ends in m_joined
    std::vector<double> m_ranks;
};

class SortKeys final {
public:
    SortKeys(const std::vector<SortValue>& values, TextRanks& lastRanks);

    // Whether row `a` sorts before row `b`, exactly as comparing their values
    // would: an empty cell after every other, numbers by value, texts by
    // QString::localeAwareCompare (equal texts, and texts the collation
    // holds equal, keep the rows' own order).
    bool less(std::size_t a, std::size_t b) const noexcept {
        const Key& l = m_keys[a];
        const Key& r = m_keys[b];
        if (l.kind == SortValue::Kind::None) return false;
        if (r.kind == SortValue::Kind::None) return true;
        if (l.kind != r.kind) return l.kind < r.kind;  // a column holds one kind; any fixed order would do
        return l.number < r.number;
    }
    // The same for a descending order: greater values first, and still an
    // empty cell after every other.
    bool greater(std::size_t a, std::size_t b) const noexcept {
        const Key& l = m_keys[a];
        const Key& r = m_keys[b];
        if (l.kind == SortValue::Kind::None) return false;
        if (r.kind == SortValue::Kind::None) return true;
        if (l.kind != r.kind) return l.kind > r.kind;
        return l.number > r.number;
    }
    std::size_t size() const noexcept { return m_keys.size(); }

private:
    struct Key {
        SortValue::Kind kind;
        double number;  // the value, or a text's rank
    };
    std::vector<Key> m_keys;
};

}  // namespace crunchwatch

#pragma once
// The first item of a list whose key has a given value: the rule by which
// results find their workunit and tasks their result.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "state/text_hash.hpp"

namespace crunchwatch {

// First-match lookup by a key's value over a list. Short lists are searched
// in order; long ones (a project with thousands of results) through an index
// that keeps the first item of each value, so the result is the same. The
// index is one flat table: building it allocates once.
template <class T, class KeyOf>
class FirstMatch final {
public:
    FirstMatch(const std::vector<T>& items, KeyOf keyOf) : m_items(items), m_keyOf(keyOf) {
        if (items.size() <= linearLimit) return;
        // At most half full, so that a probe sequence stays short.
        std::size_t capacity = 64;
        while (capacity < 2 * items.size()) capacity *= 2;
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const std::optional<std::string_view> key = m_keyOf(items[i]);
            if (!key) continue;
            const std::uint64_t h = hashOf(*key);
            std::size_t at = static_cast<std::size_t>(h) & m_mask;
            for (;; at = (at + 1) & m_mask) {
                Slot& slot = m_slots[at];
                if (slot.item == 0) {
                    slot = Slot{h, static_cast<std::uint32_t>(i + 1)};
                    break;
                }
                if (slot.hash == h && m_keyOf(m_items[slot.item - 1]) == key) break;  // keep the first
            }
        }
    }
    // The first item whose key equals `value`; an absent value matches nothing.
    const T* find(std::optional<std::string_view> value) const {
        if (!value) return nullptr;
        if (m_slots.empty()) {
            for (const T& item : m_items)
                if (m_keyOf(item) == value) return &item;
            return nullptr;
        }
        const std::uint64_t h = hashOf(*value);
        for (std::size_t at = static_cast<std::size_t>(h) & m_mask;; at = (at + 1) & m_mask) {
            const Slot& slot = m_slots[at];
            if (slot.item == 0) return nullptr;
            if (slot.hash == h && m_keyOf(m_items[slot.item - 1]) == value) return &m_items[slot.item - 1];
        }
    }
    std::size_t indexOf(const T* item) const { return static_cast<std::size_t>(item - m_items.data()); }

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t item = 0;  // index + 1; 0 for an empty slot
    };
    // Up to this many items a search in order is quicker than hashing the
    // key, and needs no table: a project of a few results, a handful of tasks.
    static constexpr std::size_t linearLimit = 16;
    const std::vector<T>& m_items;
    KeyOf m_keyOf;
    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
};

template <class T, class KeyOf>
FirstMatch(const std::vector<T>&, KeyOf) -> FirstMatch<T, KeyOf>;

}  // namespace crunchwatch

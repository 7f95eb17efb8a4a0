#pragma once
// The first item of a list whose key has a given value: the rule by which
// results find their workunit and tasks their result and project.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "state/text_hash.hpp"

namespace crunchwatch {

// First-match lookup by a key's value over the items 0..count-1, whose keys
// `keyAt(i)` gives. Short lists are searched in order; long ones (a project
// with thousands of results) through an index that keeps the first item of
// each value, so the result is the same. The index is one flat table of
// eight bytes a slot, sized by the items that have a key: building it
// allocates once.
template <class KeyAt>
class FirstMatch final {
public:
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    FirstMatch(std::size_t count, KeyAt keyAt) : m_count(count), m_keyAt(keyAt) {
        if (count <= linearLimit) return;
        std::size_t keyed = 0;
        for (std::size_t i = 0; i < count; ++i) keyed += m_keyAt(i).has_value();
        // At most three quarters full, so that a probe sequence stays short.
        std::size_t capacity = 64;
        while (capacity * 3 < keyed * 4) capacity *= 2;
        m_slots.assign(capacity, Slot{});
        m_mask = capacity - 1;
        for (std::size_t i = 0; i < count; ++i) {
            const std::optional<std::string_view> key = m_keyAt(i);
            if (!key) continue;
            const std::uint64_t h = hashOf(*key);
            for (std::size_t at = slotOf(h);; at = (at + 1) & m_mask) {
                Slot& slot = m_slots[at];
                if (slot.item == 0) {
                    slot = Slot{tagOf(h), static_cast<std::uint32_t>(i + 1)};
                    break;
                }
                if (slot.tag == tagOf(h) && m_keyAt(slot.item - 1) == key) break;  // keep the first
            }
        }
    }
    // The first item whose key equals `value`; an absent value matches nothing.
    std::size_t find(std::optional<std::string_view> value) const {
        if (!value) return none;
        if (m_slots.empty()) {
            for (std::size_t i = 0; i < m_count; ++i)
                if (m_keyAt(i) == value) return i;
            return none;
        }
        const std::uint64_t h = hashOf(*value);
        for (std::size_t at = slotOf(h);; at = (at + 1) & m_mask) {
            const Slot& slot = m_slots[at];
            if (slot.item == 0) return none;
            if (slot.tag == tagOf(h) && m_keyAt(slot.item - 1) == value) return slot.item - 1;
        }
    }

private:
    // The low bits of a hash choose the slot, the high ones are kept in it to
    // spare most comparisons of keys that merely share a slot.
    std::size_t slotOf(std::uint64_t h) const noexcept { return static_cast<std::size_t>(h) & m_mask; }
    static std::uint32_t tagOf(std::uint64_t h) noexcept { return static_cast<std::uint32_t>(h >> 32); }

    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t item = 0;  // index + 1; 0 for an empty slot
    };
    // Up to this many items a search in order is quicker than hashing the
    // key, and needs no table: a project of a few results, a handful of tasks.
    static constexpr std::size_t linearLimit = 16;
    std::size_t m_count;
    KeyAt m_keyAt;
    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
};

}  // namespace crunchwatch

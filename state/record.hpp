#pragma once
// A record of values read from the client's files: tag name -> text, in the
// order the keys were first set. Keys are the reader's own string literals;
// values are views into the normalised file text, copied nowhere.
//
// An absent value has no entry: no entry ever holds an empty text.

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace crunchwatch {

struct Entry {
    std::string_view key;
    std::string_view value;
};

class Record {
public:
    // Every record kind has a fixed key set of at most this many keys (a
    // result with its workunit and active-task keys has seventeen), so the
    // entries live inline: no allocation per record.
    static constexpr std::size_t capacity = 17;

    std::optional<std::string_view> get(std::string_view key) const noexcept {
        for (std::size_t i = 0; i < m_size; ++i)
            if (m_entries[i].key == key) return m_entries[i].value;
        return std::nullopt;
    }
    bool has(std::string_view key) const noexcept { return get(key).has_value(); }

    // Replaces the value of an existing key, else appends the key.
    void set(std::string_view key, std::string_view value) noexcept {
        for (std::size_t i = 0; i < m_size; ++i)
            if (m_entries[i].key == key) {
                m_entries[i].value = value;
                return;
            }
        if (m_size < capacity) m_entries[m_size++] = Entry{key, value};
    }
    // Sets the key only when there is a value: absent stays absent.
    void setIfPresent(std::string_view key, std::optional<std::string_view> value) noexcept {
        if (value) set(key, *value);
    }

    std::span<const Entry> entries() const noexcept { return {m_entries.data(), m_size}; }
    std::size_t size() const noexcept { return m_size; }

private:
    std::array<Entry, capacity> m_entries{};
    std::size_t m_size = 0;
};

}  // namespace crunchwatch

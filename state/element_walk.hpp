#pragma once
// Walking a block of the state file for its elements and tags a stretch at a
// time (see stretch.hpp), so that several walks share one pass over a big
// block while its stretch is in the processor's cache. Each gives exactly
// what cutting the block on its own would give.

#include <optional>
#include <string_view>

#include "state/scan.hpp"
#include "state/stretch.hpp"

namespace crunchwatch {

// Cuts text into consecutive blocks that each run from one `tag` up to the
// next (the last to the end), as projects and active tasks are cut.
template <class F>
void forEachBlock(std::string_view text, std::string_view tag, F&& f) {
    while (!text.empty()) {
        const auto block = sekcja(text, tag, tag);
        if (!block) break;
        f(*block);
        text = textAfter(text, *block);
    }
}

// Walks the elements of one kind in a project block, each from its start tag
// up to the next end tag (or the end of the block), each taken once in order:
// the next element is looked for from the end tag of the one before. The
// walk's region would end at "<active_task_set>", but the project section
// ends before that tag, so no block holds it.
//
// The walk advances one stretch of the block at a time (blockStretch): it
// takes the elements that start before `limit` and stops there, to go on
// from the same place when called with a further limit.
class ElementWalk final {
public:
    ElementWalk(std::string_view block, std::string_view open, std::string_view close)
        : m_block(block), m_open(open), m_close(close) {}

    template <class F>
    void advanceTo(std::size_t limit, F&& f) {
        const std::string_view upToLimit = startsBefore(m_block, limit, m_open);
        while (!m_done && m_from < limit) {
            const std::size_t start = findFrom(upToLimit, m_open, m_from);
            if (start == std::string_view::npos) {
                m_from = limit;
                return;
            }
            std::size_t end = findFrom(m_block, m_close, start + m_open.size());
            if (end == std::string_view::npos) end = m_block.size();
            f(m_block.substr(start, end - start));
            m_from = end;
            m_done = end == m_block.size();  // nothing follows: the walk is over
        }
    }

private:
    std::string_view m_block, m_open, m_close;
    std::size_t m_from = 0;  // where the next start tag is looked for
    bool m_done = false;
};

// The first occurrence of a tag in a block, looked for one stretch at a time
// alongside the walks.
class FirstTag final {
public:
    FirstTag(std::string_view block, std::string_view tag) : m_block(block), m_tag(tag) {}
    void advanceTo(std::size_t limit) {
        if (m_found != std::string_view::npos || m_from >= limit) return;
        m_found = findFrom(startsBefore(m_block, limit, m_tag), m_tag, m_from);
        m_from = limit;
    }
    // What wytnij would cut from the block for this start tag and `close`.
    std::optional<std::string_view> value(std::string_view close) const {
        if (m_found == std::string_view::npos) return std::nullopt;
        return wytnij(m_block.substr(m_found), m_tag, close);
    }

private:
    std::string_view m_block, m_tag;
    std::size_t m_from = 0;
    std::size_t m_found = std::string_view::npos;
};

}  // namespace crunchwatch

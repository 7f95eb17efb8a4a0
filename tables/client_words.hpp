#pragma once
// The Event log and Notices tabs' rows and columns, and what a notice's
// description may be shown as. A description is the project's HTML: it is
// shown as plain text, or as rich text rebuilt from a short list of harmless
// tags, with links kept only to http, https and mailto addresses, and
// nothing that would load anything (no images, styles, frames or scripts).

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "state/event_log.hpp"
#include "state/notices.hpp"
#include "tables/columns.hpp"

namespace crunchwatch {

struct EventRow {
    EventEntry entry;
    std::size_t index = 0;  // in the log, oldest first
};
enum class EventColumn : std::size_t { time, project, text };

// An entry as one line of text, as the client's own RPC lists it: "moment
// [project] text", "[---]" for the client's own messages, a project without
// a moment still named, and "[error] " before the text of an entry its
// source marks as an error. The window copies it, the dump prints it.
std::string eventLine(const EventEntry& e);
inline constexpr std::size_t eventColumnCount = 3;
extern const std::array<TableColumn<EventRow>, eventColumnCount> eventColumns;
inline const TableColumn<EventRow>& columnOf(EventColumn c) { return eventColumns[static_cast<std::size_t>(c)]; }

// A notice from a project's feed, or a message of its scheduler's last reply.
struct NoticeRow {
    const Notice* notice = nullptr;             // one of these two
    const SchedulerMessage* message = nullptr;
    MaybeText projectName;                      // the notice's own, or the project's whose reply it is
    std::optional<double> moment;               // create_time, or the reply's date
};
enum class NoticeColumn : std::size_t { title, project, date, category };
inline constexpr std::size_t noticeColumnCount = 4;
extern const std::array<TableColumn<NoticeRow>, noticeColumnCount> noticeColumns;
inline const TableColumn<NoticeRow>& columnOf(NoticeColumn c) { return noticeColumns[static_cast<std::size_t>(c)]; }

// What tells one notice from another across refreshes and restarts (its
// guid, else its title, date and project), for remembering it as read.
std::string noticeKey(const NoticeRow& row);
// What the notice says: its description (HTML, to be shown through
// plainTextOfHtml or safeHtml), or the scheduler message's text.
std::string noticeBody(const NoticeRow& row);

// The text of HTML as plain text: tags dropped (scripts and styles with their
// content), line breaks for block ends, entities decoded, blanks folded.
std::string plainTextOfHtml(std::string_view html);
// HTML rebuilt from the harmless part of `html`: text escaped, only p, br,
// b, strong, i, em, u, ul, ol, li, pre, code, blockquote and h1-h6 kept
// (without attributes), a kept only with an http, https or mailto href.
std::string safeHtml(std::string_view html);

}  // namespace crunchwatch

#include "tables/client_words.hpp"

#include <algorithm>
#include <charconv>

#include "state/numbers.hpp"
#include "state/text_hash.hpp"

namespace crunchwatch {

std::string eventLine(const EventEntry& e) {
    std::string line;
    if (!e.moment.empty()) line.append(e.moment).append(" ");
    if (!e.moment.empty() || !e.project.empty()) line.append("[").append(e.project.empty() ? "---" : e.project).append("] ");
    if (e.severity == EventSeverity::error) line.append("[error] ");
    return line.append(e.text);
}

namespace {

// The event log's columns. The moment is shown as the client wrote it and
// sorts by the entry's place in the log: moments repeat within a second,
// and a clock set back must not reorder what happened.
Cell timeCell(const EventRow& r, double) {
    return r.entry.moment.empty() ? Cell::empty() : Cell::ofText(std::string(r.entry.moment));
}
SortValue timeSort(const EventRow& r, double) { return SortValue::ofNumber(static_cast<double>(r.index)); }
std::optional<std::string> timeTip(const EventRow& r, double) {
    if (r.entry.severity == EventSeverity::error) return "The client reported this as an error";
    return std::nullopt;
}
Cell eventProjectCell(const EventRow& r, double) {
    return r.entry.project.empty() ? Cell::empty() : Cell::ofText(std::string(r.entry.project));
}
SortValue eventProjectSort(const EventRow& r, double) {
    return r.entry.project.empty() ? SortValue::none() : SortValue::ofText(r.entry.project);
}
Cell textCell(const EventRow& r, double) { return Cell::ofText(std::string(r.entry.text)); }
SortValue textSort(const EventRow& r, double) { return SortValue::ofText(r.entry.text); }
Tone eventTone(const EventRow& r, double) { return r.entry.severity == EventSeverity::error ? Tone::failed : Tone::plain; }

// The notices' columns.
std::string_view noticeTitle(const NoticeRow& r) {
    if (r.notice) return r.notice->title;
    return "Message from the project's scheduler";
}
// Feeds write their titles as HTML text ("News &amp; updates"): shown as read.
Cell titleCell(const NoticeRow& r, double) { return Cell::ofText(plainTextOfHtml(noticeTitle(r))); }
SortValue titleSort(const NoticeRow& r, double) { return SortValue::ofText(noticeTitle(r)); }
Cell noticeProjectCell(const NoticeRow& r, double) {
    return r.projectName && !r.projectName->empty() ? Cell::ofText(std::string(*r.projectName)) : Cell::empty();
}
SortValue noticeProjectSort(const NoticeRow& r, double) {
    return r.projectName && !r.projectName->empty() ? SortValue::ofText(*r.projectName) : SortValue::none();
}
Cell dateCell(const NoticeRow& r, double) { return r.moment ? Cell::ofDate(*r.moment) : Cell::empty(); }
SortValue dateSort(const NoticeRow& r, double) { return r.moment ? SortValue::ofNumber(*r.moment) : SortValue::none(); }
std::string_view category(const NoticeRow& r) {
    if (r.notice) return r.notice->category;
    return r.message->priority.empty() ? std::string_view("scheduler") : std::string_view(r.message->priority);
}
Cell categoryCell(const NoticeRow& r, double) {
    return category(r).empty() ? Cell::empty() : Cell::ofText(std::string(category(r)));
}
SortValue categorySort(const NoticeRow& r, double) {
    return category(r).empty() ? SortValue::none() : SortValue::ofText(category(r));
}

}  // namespace

const std::array<TableColumn<EventRow>, eventColumnCount> eventColumns{{
    tableColumn<EventRow>({"time", "Time", "When the client wrote the message (its local time)"}, &timeCell, &timeSort,
                          &timeTip, &eventTone),
    tableColumn<EventRow>({"project", "Project", "The project the message is about; empty for the client's own"},
                          &eventProjectCell, &eventProjectSort, nullptr, &eventTone),
    tableColumn<EventRow>({"text", "Message", "What the client wrote"}, &textCell, &textSort, nullptr, &eventTone),
}};

const std::array<TableColumn<NoticeRow>, noticeColumnCount> noticeColumns{{
    tableColumn<NoticeRow>({"title", "Title", "The notice's title"}, &titleCell, &titleSort),
    tableColumn<NoticeRow>({"project_name", "Project", "The project that posted it"}, &noticeProjectCell,
                           &noticeProjectSort),
    tableColumn<NoticeRow>({"create_time", "Date", "When the project posted it (a scheduler message: when it came)"},
                           &dateCell, &dateSort),
    tableColumn<NoticeRow>({"category", "Category", "The notice's category, or a scheduler message's priority"},
                           &categoryCell, &categorySort),
}};

std::string noticeKey(const NoticeRow& r) {
    constexpr char gap = '\x1f';
    if (r.notice) {
        if (!r.notice->guid.empty()) return "guid" + std::string(1, gap) + r.notice->guid;
        return r.notice->title + gap + r.notice->createTime + gap + r.notice->projectName;
    }
    // The message's text is the project's and may be long: the settings keep its hash.
    return "scheduler" + std::string(1, gap) + r.message->escapedUrl + gap + std::to_string(hashOf(r.message->text));
}

std::string noticeBody(const NoticeRow& r) { return r.notice ? r.notice->description : r.message->text; }

}  // namespace crunchwatch

#include "dump/words_report.hpp"

#include <string>
#include <string_view>

#include "state/redact.hpp"
#include "tables/client_words.hpp"
#include "tables/date_value.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {
namespace {

// Every text leaves through here: what looks like a secret's value is hidden.
std::string revealed(std::string_view text) { return mayHoldSecret(text) ? hideSecrets(text) : std::string(text); }

void member(JsonWriter& json, std::string_view key, std::string_view value) {
    json.key(key);
    json.string(revealed(value));
}

// Null for an empty text: a file's element that was absent or empty.
void optionalMember(JsonWriter& json, std::string_view key, std::string_view value) {
    json.key(key);
    if (value.empty()) json.null();
    else json.string(revealed(value));
}

const EventLogValue& eventsOf(const Report& report) {
    static const EventLogValue none;
    return report.events ? *report.events : none;
}

void writeSource(JsonWriter& json, const Report& report, const ReportOptions& o) {
    const EventLogValue& events = eventsOf(report);
    json.key("event_log_source");
    json.beginObject();
    json.key("shown");
    if (events.shown) json.string(sourceId(events.shown->kind));
    else json.null();
    json.key("name");
    if (events.shown) json.string(sourceName(*events.shown));
    else json.null();
    json.key("available");
    json.beginArray();
    for (const EventSource& s : events.sources) json.string(sourceId(s.kind));
    json.endArray();
    json.key("chosen");
    if (o.eventSource) json.string(sourceId(*o.eventSource));
    else json.null();
    optionalMember(json, "problem", events.problem);
    json.endObject();
}

void writeEvents(JsonWriter& json, const Report& report) {
    json.key("event_log");
    json.beginArray();
    for (std::size_t i = 0; report.events && i < eventsTable.size(report); ++i) {
        const EventEntry e = eventsTable.row(report, i).entry;
        json.beginObject();
        optionalMember(json, "time", e.moment);
        json.key("seconds");
        if (const auto seconds = e.moment.empty() ? std::nullopt : momentSeconds(e.moment)) json.number(*seconds);
        else json.null();
        optionalMember(json, "project", e.project);
        member(json, "text", e.text);
        json.key("error");
        if (e.severity == EventSeverity::untold) json.null();
        else json.boolean(e.severity == EventSeverity::error);
        json.endObject();
    }
    json.endArray();
}

void writeNotices(JsonWriter& json, const Report& report) {
    json.key("notices");
    json.beginArray();
    for (std::size_t i = 0; report.notices && i < noticesTable.size(report); ++i) {
        const NoticeRow row = noticesTable.row(report, i);
        json.beginObject();
        json.key("title");
        if (row.notice) json.string(revealed(plainTextOfHtml(row.notice->title)));
        else json.null();
        optionalMember(json, "project", row.projectName.value_or(""));
        json.key("create_time");
        if (row.moment) json.number(*row.moment);
        else json.null();
        optionalMember(json, "category", row.notice ? std::string_view(row.notice->category) : "");
        optionalMember(json, "link", row.notice ? std::string_view(row.notice->link) : "");
        member(json, "text", row.notice ? plainTextOfHtml(row.notice->description) : row.message->text);
        json.key("priority");
        if (row.message) json.string(revealed(row.message->priority));
        else json.null();
        json.endObject();
    }
    json.endArray();
}

// Each line of `text` after the first on a line of its own, indented.
void printIndented(std::ostream& out, const std::string& text, std::string_view indent) {
    for (const char c : text) {
        out << c;
        if (c == '\n') out << indent;
    }
}

void writeEventsText(std::ostream& out, const Report& report) {
    const EventLogValue& events = eventsOf(report);
    out << "\nEvent log";
    if (events.shown) out << " (" << forTerminal(sourceName(*events.shown)) << ')';
    out << "\n\n";
    if (!events.problem.empty()) out << forTerminal(events.problem) << '\n';
    const std::size_t n = report.events ? eventsTable.size(report) : 0;
    if (n == 0 && events.problem.empty()) out << "(no messages)\n";
    for (std::size_t i = 0; i < n; ++i) {
        const EventEntry e = eventsTable.row(report, i).entry;
        printIndented(out, forTerminal(eventLine(e)), "    ");
        out << '\n';
    }
}

void writeNoticesText(std::ostream& out, const Report& report, const ReportOptions& o) {
    out << "\nNotices\n\n";
    const std::size_t n = report.notices ? noticesTable.size(report) : 0;
    if (n == 0) out << "(no notices)\n";
    for (std::size_t i = 0; i < n; ++i) {
        const NoticeRow row = noticesTable.row(report, i);
        std::string head = row.moment ? formatDaty(*row.moment, o.dateFormat).value_or("") : std::string();
        if (row.projectName) head += (head.empty() ? "" : "  ") + std::string(*row.projectName);
        head += head.empty() ? "" : "  ";
        if (row.notice) {
            head += plainTextOfHtml(row.notice->title);
            if (!row.notice->category.empty()) head += " (" + row.notice->category + ")";
        } else {
            head += "Message from the project's scheduler (" + row.message->priority + ")";
        }
        std::string body = row.notice ? plainTextOfHtml(row.notice->description) : row.message->text;
        if (row.notice && !row.notice->link.empty()) body += (body.empty() ? "" : "\n") + row.notice->link;
        out << forTerminal(head) << '\n';
        if (body.empty()) continue;
        out << "    ";
        printIndented(out, forTerminal(body), "    ");
        out << '\n';
    }
}

}  // namespace

std::string forTerminal(std::string_view text) {
    const std::string valid = validUtf8(revealed(text));
    std::string out;
    out.reserve(valid.size());
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto c = static_cast<unsigned char>(valid[i]);
        const bool c1 = c == 0xC2 && i + 1 < valid.size() && static_cast<unsigned char>(valid[i + 1]) < 0xA0;
        if (c == '\r') continue;
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F || c1) {
            out += "\xEF\xBF\xBD";
            i += c1 ? 1 : 0;
        } else {
            out += valid[i];
        }
    }
    return out;
}

void writeWordsJson(JsonWriter& json, const Report& report, const ReportOptions& options) {
    writeSource(json, report, options);
    writeEvents(json, report);
    writeNotices(json, report);
}

void writeWordsText(std::ostream& out, const Report& report, const ReportOptions& options) {
    writeEventsText(out, report);
    writeNoticesText(out, report, options);
}

}  // namespace crunchwatch

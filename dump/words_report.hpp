#pragma once
// The dump's part of the client's own words: its event log and the projects'
// notices, as the Event log and Notices tabs hold them. Every text passes
// through hideSecrets once more on its way out: an authenticator the client
// quoted never reaches the output, whatever read it.

#include <ostream>
#include <string>
#include <string_view>

#include "dump/json_writer.hpp"
#include "dump/report.hpp"

namespace crunchwatch {

// Three members, always present:
//   "event_log_source": {shown: "file", "journal", "syslog" or null (none
//     exists), name: the source as the window's header names it, or null,
//     available: the identifiers of those that exist, in the order of
//     preference, chosen: the identifier asked for, or null, problem: why
//     the log gave nothing, or null};
//   "event_log": the newest entries the refresh shows (its WordsOptions'
//     shownEntries), oldest first, {time: the moment verbatim (null for
//     lines before any moment), seconds: that moment read as local time, in
//     seconds since 1970 (null when malformed), project: null for the
//     client's own lines, text: verbatim, continuation lines joined by line
//     feeds, error: true or false where the source tells (the journal's
//     priority, the error stream), null where it does not (stdoutdae.txt)};
//   "notices": newest first, {title (null for a scheduler's message),
//     project, create_time (seconds since 1970; a scheduler's message: when
//     its reply was written; null when unknown), category, link, text (the
//     description as plain text; a scheduler's message verbatim), priority
//     (the scheduler's attribute; null for a feed's notice)}.
void writeWordsJson(JsonWriter& json, const Report& report, const ReportOptions& options);

// An "Event log" section (the source, then the newest entries one per line,
// as the client writes them, "[error] " before an error's text) and a
// "Notices" section; control characters shown as U+FFFD.
void writeWordsText(std::ostream& out, const Report& report, const ReportOptions& options);

// Text for a terminal: secrets hidden, valid UTF-8, without the control
// characters that would move the cursor or start an escape sequence (a
// project's feed is anybody's text). Carriage returns go; tabs and line
// feeds stay.
std::string forTerminal(std::string_view text);

}  // namespace crunchwatch

// Fuzzes the readers of the client's own words against slow references
// written the obvious way. The first byte chooses:
// - even: the event log, parsed whole and read in two steps from a file (a
//   prefix, then the rest appended, as the client appends): both must give
//   the reference's entries (the file's of its whole lines), a copy taken
//   after the first read must stay as it was, and no text may hold what
//   looks like a secret;
// - odd: the notices archive and a scheduler reply, against references, and
//   the description's rebuilt HTML, which may hold no tag but the harmless
//   ones and no link but to http, https or mailto.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "state/event_log.hpp"
#include "state/notices.hpp"
#include "state/redact.hpp"
#include "tables/client_words.hpp"
#include "words_reference.hpp"

using namespace crunchwatch;

namespace {

void requireEntries(const EventLog& log, const std::vector<fuzz::RefEntry>& expected, const char* what) {
    fuzz::require(log.size() == expected.size(), what);
    for (std::size_t i = 0; i < log.size(); ++i) {
        const EventEntry e = log.entry(i);
        fuzz::require(e.moment == expected[i].moment && e.project == expected[i].project && e.text == expected[i].text,
                      what);
        fuzz::require(!mayHoldSecret(e.text), "a secret was left in an entry");
    }
}

void eventLog(std::string_view contents) {
    static fuzz::InputFile file("stdoutdae.txt");
    const auto whole = fuzz::referenceEntries(contents);
    requireEntries(EventLog::fromText(contents), whole, "the event log differs from its reference");

    // A file reader takes whole lines only: one still being written waits.
    const auto wholeLines = [](std::string_view t) { return t.substr(0, t.rfind('\n') + 1); };
    const std::size_t cut = contents.empty() ? 0 : static_cast<unsigned char>(contents.back()) * contents.size() / 256;
    EventLog log;
    EventLogFile reader(file.path(), std::nullopt);
    ReadFailure why{};
    file.write(contents.substr(0, cut));
    fuzz::require(reader.readOn(log, why), "a readable prefix was refused");
    const auto prefix = fuzz::referenceEntries(wholeLines(contents.substr(0, cut)));
    requireEntries(log, prefix, "a prefix differs from its reference");
    const EventLog copy = log;
    file.append(contents.substr(cut));
    fuzz::require(reader.readOn(log, why), "a readable file was refused");
    requireEntries(log, fuzz::referenceEntries(wholeLines(contents)),
                   "reading an appended log differs from reading it whole");
    requireEntries(copy, prefix, "a copy changed when the log was read on");
}

void notices(std::string_view contents) {
    const auto notices = readNoticesArchive(contents);
    const auto expected = fuzz::referenceNotices(contents);
    fuzz::require(notices.size() == expected.size(), "the notices differ in number from the reference");
    for (std::size_t i = 0; i < notices.size(); ++i) {
        const Notice& n = notices[i];
        fuzz::require(n.title == expected[i][0] && n.description == expected[i][1] && n.createTime == expected[i][2] &&
                          n.projectName == expected[i][3] && n.guid == expected[i][4],
                      "a notice differs from the reference");
        fuzz::require(fuzz::harmlessHtml(safeHtml(n.description)), "rebuilt HTML holds something harmful");
    }
    fuzz::require(fuzz::harmlessHtml(safeHtml(contents)), "rebuilt HTML holds something harmful");
    (void)plainTextOfHtml(contents);
    const auto messages = readSchedulerMessages(contents);
    const auto expectedMessages = fuzz::referenceMessages(contents);
    fuzz::require(messages.size() == expectedMessages.size(), "the messages differ in number from the reference");
    for (std::size_t i = 0; i < messages.size(); ++i)
        fuzz::require(messages[i].priority == expectedMessages[i].first && messages[i].text == expectedMessages[i].second,
                      "a message differs from the reference");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view contents(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0) eventLog(contents);
    else notices(contents);
    return 0;
}

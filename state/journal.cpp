#include "state/journal.hpp"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>


#include <systemd/sd-journal.h>

#include "state/local_folder.hpp"

namespace crunchwatch {

// The open journal, matching the unit, and where the last read stopped.
struct JournalReader::Handle {
    sd_journal* journal = nullptr;
    std::string cursor;  // the last entry read (or passed over); empty: read from the start
    bool watched = false;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (journal) sd_journal_close(journal);
    }
    // Takes in the files made since the last call (the journal rotated):
    // without it only the files open now would be read. The first call
    // starts watching the journal's folders; a reader made only to ask
    // hasEntries() never does.
    void follow() {
        if (!watched) {
            watched = true;
            sd_journal_get_fd(journal);
        }
        sd_journal_process(journal);
    }
};

namespace {

// One read stops once it took this much text (the moments added included; a
// longer message is cut to it) or this many entries: a journal of gigabytes
// cannot fill the memory. The refresher keeps as much text (heldBytes), so a
// bigger read would be thrown away. The first read takes the newest entries
// within the limit; a later one that reaches it leaves the rest to the next
// read (changed() says there is more).
constexpr std::size_t readBytesLimit = std::size_t{64} << 20;
constexpr std::size_t readEntriesLimit = 1'000'000;
// A batch of one severity is handed to the log once it holds this much, so
// that a long read does not hold all of its text twice (batch and log).
constexpr std::size_t batchBytesLimit = std::size_t{8} << 20;

JournalOutcome failure(int negativeErrno) { return {JournalState::unavailable, std::strerror(-negativeErrno)}; }

// The value of `field` in the current entry ("FIELD=value" without "FIELD="),
// or nothing. Valid until the next call on the journal.
std::optional<std::string_view> fieldValue(sd_journal* j, const char* field) {
    const void* data = nullptr;
    std::size_t length = 0;
    if (sd_journal_get_data(j, field, &data, &length) < 0) return std::nullopt;
    const std::string_view all(static_cast<const char*>(data), length);
    const std::size_t name = std::strlen(field);
    if (all.size() <= name || all[name] != '=') return std::nullopt;
    return all.substr(name + 1, readBytesLimit);  // a longer message is cut: one read's limit bounds it too
}

// Syslog's levels: 0 (emergency) to 3 (error) are errors, 4 to 7 are not.
EventSeverity severityOf(sd_journal* j) {
    const auto value = fieldValue(j, "PRIORITY");
    if (!value) return EventSeverity::untold;
    int level = -1;
    const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), level);
    if (ec != std::errc{} || end != value->data() + value->size() || level < 0 || level > 7)
        return EventSeverity::untold;
    return level <= 3 ? EventSeverity::error : EventSeverity::info;
}

// The bytes the current entry adds to a batch: the moment put in front of a
// message that has none, the message, its line feed. Nothing without a message.
std::optional<std::size_t> entryBytes(sd_journal* j) {
    const auto message = fieldValue(j, "MESSAGE");
    if (!message) return std::nullopt;
    return (startsWithMoment(*message) ? 0 : eventMomentLength + 1) + message->size() + 1;
}

// Adds the current entry to `batch` as the client would have written it: its
// own moment kept, the journal's (whole seconds, local time) put in front of
// a message without one. Line feeds inside stay: the lines after the first
// join the entry as continuations. False for an entry without a message.
bool addEntry(sd_journal* j, std::string& batch) {
    std::uint64_t usec = 0;
    const bool timed = sd_journal_get_realtime_usec(j, &usec) >= 0;
    auto message = fieldValue(j, "MESSAGE");  // last: the next call on the journal may move it
    if (!message) return false;
    while (!message->empty() && message->back() == '\n') message->remove_suffix(1);
    if (!startsWithMoment(*message)) {
        batch += momentText(timed ? static_cast<double>(usec / 1'000'000) : 0.0);
        batch += ' ';
    }
    batch += *message;
    batch += '\n';
    return true;
}

std::string currentCursor(sd_journal* j) {
    char* c = nullptr;
    if (sd_journal_get_cursor(j, &c) < 0 || !c) return {};
    std::string cursor(c);
    std::free(c);
    return cursor;
}

// Before a first read: the cursor of the newest entry that does not fit in
// one read, walking back from the end (empty when all of them fit), so that
// the read takes the newest entries, as a view of the log wants them.
int newestLeftOut(sd_journal* j, std::string& cursor, std::size_t entriesLimit) {
    int r = sd_journal_seek_tail(j);
    std::size_t bytes = 0, entries = 0;
    while (r >= 0 && (r = sd_journal_previous(j)) > 0) {
        const std::size_t more = entryBytes(j).value_or(0);
        if (entries > 0 && (bytes + more > readBytesLimit || entries >= entriesLimit)) {
            cursor = currentCursor(j);
            return 0;
        }
        bytes += more;
        ++entries;
    }
    return r;
}

// Moves to the first entry after `cursor` (the first of all without one):
// > 0 there, 0 when there is none, < 0 on failure. When the cursor's own
// entry is gone (the journal was vacuumed), the next one kept is the first.
int moveAfter(sd_journal* j, const std::string& cursor) {
    if (cursor.empty()) {
        const int r = sd_journal_seek_head(j);
        return r < 0 ? r : sd_journal_next(j);
    }
    int r = sd_journal_seek_cursor(j, cursor.c_str());
    if (r >= 0) r = sd_journal_next(j);
    if (r > 0 && sd_journal_test_cursor(j, cursor.c_str()) > 0) r = sd_journal_next(j);
    return r;
}

}  // namespace

JournalReader::JournalReader(std::optional<std::string> file, std::string unit, std::size_t firstRead)
    : m_file(std::move(file)), m_unit(std::move(unit)), m_firstRead(firstRead) {}

JournalReader::~JournalReader() = default;

int JournalReader::open() {
    if (m_handle) return 0;
    auto handle = std::make_unique<Handle>();
    int r = 0;
    if (m_file) {
        const char* paths[] = {m_file->c_str(), nullptr};
        r = sd_journal_open_files(&handle->journal, paths, 0);
    } else {
        r = sd_journal_open(&handle->journal, SD_JOURNAL_LOCAL_ONLY);
    }
    if (r < 0) return r;
    const std::string match = "_SYSTEMD_UNIT=" + m_unit;
    if ((r = sd_journal_add_match(handle->journal, match.data(), match.size())) < 0) return r;
    // A message is read whole up to one read's limit (the default stops at 64 KiB).
    sd_journal_set_data_threshold(handle->journal, readBytesLimit);
    m_handle = std::move(handle);
    return 0;
}

bool JournalReader::unreadable(int openFailure) const {
    if (m_file) return false;
    if (openFailure == -EACCES || openFailure == -EPERM) return true;
    return openFailure == 0 && systemJournalUnreadable();
}

JournalOutcome JournalReader::readOn(EventLog& log) {
    if (const int r = open(); r < 0)
        return unreadable(r) ? JournalOutcome{JournalState::noPermission, {}} : failure(r);
    sd_journal* j = m_handle->journal;
    std::string& cursor = m_handle->cursor;
    m_handle->follow();
    int r = cursor.empty() ? newestLeftOut(j, cursor, m_firstRead > 0 ? m_firstRead : readEntriesLimit) : 0;
    if (r >= 0) r = moveAfter(j, cursor);

    std::string batch;
    EventSeverity batchSeverity = EventSeverity::untold;
    std::size_t bytes = 0, entries = 0;
    const auto flush = [&] {
        if (!batch.empty()) log.append(batch, batchSeverity);
        batch.clear();
    };
    while (r > 0) {
        const EventSeverity severity = severityOf(j);
        if (severity != batchSeverity || batch.size() >= batchBytesLimit) flush();
        batchSeverity = severity;
        const std::size_t before = batch.size();
        addEntry(j, batch);
        bytes += batch.size() - before;
        ++entries;
        if (bytes >= readBytesLimit || entries >= readEntriesLimit) break;
        r = sd_journal_next(j);
    }
    flush();
    // At the end of the journal (or at a failure) the position stays on the last entry read.
    if (entries > 0)
        if (std::string last = currentCursor(j); !last.empty()) cursor = std::move(last);
    if (r < 0) return failure(r);
    if (cursor.empty()) return {unreadable(0) ? JournalState::noPermission : JournalState::noEntries, {}};
    return {JournalState::read, {}};
}

bool JournalReader::changed() {
    if (open() < 0) return false;
    m_handle->follow();
    return moveAfter(m_handle->journal, m_handle->cursor) > 0;
}

bool JournalReader::hasEntries() {
    const int r = open();
    if (r == 0 && (!m_handle->cursor.empty() || moveAfter(m_handle->journal, {}) > 0)) return true;
    // Entries this user may not see count, when the client's unit is there:
    // the reader then says which group to join.
    return !m_file && unitInstalled(m_unit) && unreadable(r);
}

}  // namespace crunchwatch

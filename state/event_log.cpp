#include "state/event_log.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <ctime>
#include <limits>

#include "state/local_folder.hpp"
#include "state/redact.hpp"

namespace crunchwatch {
namespace {

constexpr std::array<std::string_view, 12> monthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
int twoDigits(const char* p) { return (p[0] - '0') * 10 + (p[1] - '0'); }

// Every piece a file reader makes is marked with where it came from, so that
// a file read again from its start replaces its own entries only.
std::atomic<std::uint64_t> nextOrigin{1};

}  // namespace

bool startsWithMoment(std::string_view line) noexcept {
    // DD-Mon-YYYY HH:MM:SS; the month as three ASCII letters, so that a
    // client writing its months in another language still has its lines
    // cut apart (their moments are not read as dates).
    if (line.size() < eventMomentLength) return false;
    const char* p = line.data();
    const bool shape = isDigit(p[0]) && isDigit(p[1]) && p[2] == '-' && isLetter(p[3]) && isLetter(p[4]) &&
                       isLetter(p[5]) && p[6] == '-' && isDigit(p[7]) && isDigit(p[8]) && isDigit(p[9]) &&
                       isDigit(p[10]) && p[11] == ' ' && isDigit(p[12]) && isDigit(p[13]) && p[14] == ':' &&
                       isDigit(p[15]) && isDigit(p[16]) && p[17] == ':' && isDigit(p[18]) && isDigit(p[19]);
    return shape && (line.size() == eventMomentLength || line[eventMomentLength] == ' ' ||
                     line[eventMomentLength] == '\r');
}

std::optional<double> momentSeconds(std::string_view moment) noexcept {
    if (!startsWithMoment(moment)) return std::nullopt;
    const char* p = moment.data();
    const auto month = std::find(monthNames.begin(), monthNames.end(), std::string_view(p + 3, 3));
    if (month == monthNames.end()) return std::nullopt;
    const int day = twoDigits(p), year = twoDigits(p + 7) * 100 + twoDigits(p + 9);
    const int hour = twoDigits(p + 12), minute = twoDigits(p + 15), second = twoDigits(p + 18);
    if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    // mktime consults the time zone on every call; the lines of a log come
    // an hour at a time, so the hour's start is worked out once per hour.
    // Offsets change on the hour nearly everywhere.
    struct Hour {
        int year = -1, month = -1, day = -1, hour = -1;
        long zone = 0;  // the zone's standard offset, as the last tzset() left it
        double start = 0;
    };
    thread_local Hour cached;
    const int monthIndex = static_cast<int>(month - monthNames.begin());
    if (cached.year != year || cached.month != monthIndex || cached.day != day || cached.hour != hour ||
        cached.zone != ::timezone) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = monthIndex;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_isdst = -1;
        const std::time_t start = std::mktime(&t);
        if (start == static_cast<std::time_t>(-1) && !(t.tm_year == 69 && t.tm_mon == 11 && t.tm_mday == 31))
            return std::nullopt;
        // mktime moves a day past the month's end to the next month: not a date.
        if (t.tm_mday != day) return std::nullopt;
        cached = {year, monthIndex, day, hour, ::timezone, static_cast<double>(start)};
    }
    return cached.start + minute * 60.0 + second;
}

std::string momentText(double seconds) {
    const auto whole = static_cast<std::time_t>(seconds);
    std::tm t{};
    if (localtime_r(&whole, &t) == nullptr || t.tm_year + 1900 < 0 || t.tm_year + 1900 > 9999) return {};
    char text[eventMomentLength + 1];
    const auto two = [](char* at, int v) { at[0] = static_cast<char>('0' + v / 10), at[1] = static_cast<char>('0' + v % 10); };
    two(text, t.tm_mday);
    text[2] = '-';
    std::memcpy(text + 3, monthNames[static_cast<std::size_t>(t.tm_mon)].data(), 3);
    text[6] = '-';
    two(text + 7, (t.tm_year + 1900) / 100);
    two(text + 9, (t.tm_year + 1900) % 100);
    text[11] = ' ';
    two(text + 12, t.tm_hour);
    text[14] = ':';
    two(text + 15, t.tm_min);
    text[17] = ':';
    two(text + 18, t.tm_sec);
    return std::string(text, eventMomentLength);
}

// Offsets into the piece's text; an entry's text runs from textBegin to end.
struct EventLog::Piece {
    struct Entry {
        std::uint32_t begin = 0, textBegin = 0, end = 0, projectBegin = 0, projectLength = 0;
        bool dated = false;
    };
    TextBuffer text;
    std::vector<Entry> entries;
    EventSeverity severity = EventSeverity::untold;
    std::uint64_t origin = 0;

    static std::shared_ptr<const Piece> parsed(TextBuffer text, EventSeverity severity, std::uint64_t origin);
    // `a` then `b` in one piece (their entries as they were).
    static std::shared_ptr<const Piece> joined(const Piece& a, const Piece& b);
    std::size_t memoryBytes() const noexcept { return text.size() + entries.capacity() * sizeof(Entry) + sizeof(*this); }
};

namespace {

// Where the last entry of `text` begins: the start of its last line that
// begins with a moment, or 0 (every line before the first moment is one entry).
std::size_t lastEntryBegin(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0) {
        const std::size_t feed = end >= 2 ? text.rfind('\n', end - 2) : std::string_view::npos;
        const std::size_t begin = feed == std::string_view::npos ? 0 : feed + 1;
        std::string_view line = text.substr(begin, end - begin);
        if (line.ends_with('\n')) line.remove_suffix(1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (startsWithMoment(line)) return begin;
        if (begin == 0) break;
        end = begin;
    }
    return 0;
}

// The text as it may be kept: with any secret the client quoted hidden.
TextBuffer withoutSecrets(TextBuffer text) {
    if (!mayHoldSecret(text.view())) return text;
    return TextBuffer::copyOf(hideSecrets(text.view()));
}

}  // namespace

std::shared_ptr<const EventLog::Piece> EventLog::Piece::parsed(TextBuffer bytes, EventSeverity severity,
                                                               std::uint64_t origin) {
    auto piece = std::make_shared<Piece>();
    piece->text = withoutSecrets(std::move(bytes));
    piece->severity = severity;
    piece->origin = origin;
    const std::string_view all = piece->text.view();
    std::size_t at = 0;
    while (at < all.size()) {
        std::size_t feed = all.find('\n', at);
        if (feed == std::string_view::npos) feed = all.size();
        std::size_t end = feed;
        if (end > at && all[end - 1] == '\r') --end;
        const std::string_view line = all.substr(at, end - at);
        if (startsWithMoment(line) || piece->entries.empty()) {
            Entry e;
            e.begin = e.textBegin = static_cast<std::uint32_t>(at);
            if (startsWithMoment(line)) {
                e.dated = true;
                std::size_t rest = eventMomentLength;
                if (rest < line.size() && line[rest] == ' ') ++rest;
                if (rest < line.size() && line[rest] == '[') {
                    const std::size_t close = line.find(']', rest);
                    if (close != std::string_view::npos) {
                        const std::string_view name = line.substr(rest + 1, close - rest - 1);
                        if (name != "---") {
                            e.projectBegin = static_cast<std::uint32_t>(at + rest + 1);
                            e.projectLength = static_cast<std::uint32_t>(name.size());
                        }
                        rest = close + 1;
                        if (rest < line.size() && line[rest] == ' ') ++rest;
                    }
                }
                e.textBegin = static_cast<std::uint32_t>(at + std::min(rest, line.size()));
            }
            e.end = static_cast<std::uint32_t>(end);
            piece->entries.push_back(e);
        } else {
            piece->entries.back().end = static_cast<std::uint32_t>(end);  // a continuation
        }
        at = feed + 1;
    }
    piece->entries.shrink_to_fit();
    return piece;
}

std::shared_ptr<const EventLog::Piece> EventLog::Piece::joined(const Piece& a, const Piece& b) {
    auto piece = std::make_shared<Piece>();
    const std::size_t shift = a.text.size();
    auto bytes = std::make_unique_for_overwrite<char[]>(shift + b.text.size() + 1);
    std::memcpy(bytes.get(), a.text.view().data(), shift);
    std::memcpy(bytes.get() + shift, b.text.view().data(), b.text.size());
    piece->text = TextBuffer(std::move(bytes), shift + b.text.size());
    piece->entries.reserve(a.entries.size() + b.entries.size());
    piece->entries = a.entries;
    const auto by = static_cast<std::uint32_t>(shift);
    for (Entry e : b.entries) {
        e.begin += by, e.textBegin += by, e.end += by;
        if (e.projectLength > 0) e.projectBegin += by;
        piece->entries.push_back(e);
    }
    piece->severity = a.severity;
    piece->origin = a.origin;
    return piece;
}

std::size_t EventLog::size() const noexcept {
    const std::size_t finals = m_starts.empty() ? 0 : m_starts.back() + m_pieces.back()->entries.size();
    return finals + (m_provisional ? m_provisional->entries.size() : 0);
}

EventEntry EventLog::entry(std::size_t index) const noexcept {
    const Piece* piece = nullptr;
    std::size_t at = index;
    const std::size_t finals = m_starts.empty() ? 0 : m_starts.back() + m_pieces.back()->entries.size();
    if (index >= finals) {
        piece = m_provisional.get();
        at = index - finals;
    } else {
        const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), index) - 1;
        piece = m_pieces[static_cast<std::size_t>(it - m_starts.begin())].get();
        at = index - *it;
    }
    if (piece == nullptr || at >= piece->entries.size()) return {};
    const Piece::Entry& e = piece->entries[at];
    const std::string_view all = piece->text.view();
    EventEntry out;
    if (e.dated) out.moment = all.substr(e.begin, eventMomentLength);
    out.project = all.substr(e.projectBegin, e.projectLength);
    out.text = all.substr(e.textBegin, e.end - e.textBegin);
    out.severity = piece->severity;
    return out;
}

std::size_t EventLog::memoryBytes() const noexcept {
    std::size_t bytes = m_pieces.capacity() * sizeof(m_pieces[0]) + m_starts.capacity() * sizeof(std::size_t);
    for (const auto& p : m_pieces) bytes += p->memoryBytes();
    if (m_provisional) bytes += m_provisional->memoryBytes();
    return bytes;
}

// A log read on every few seconds gains a piece each time. Two last pieces
// of one file are joined when the older is no bigger than the newer, as a
// binary counter carries: the pieces stay few (a copy of the log, made for
// every value handed out, costs its pieces) and each byte is copied a few
// times over its life.
void EventLog::push(std::shared_ptr<const Piece> piece) {
    if (piece->entries.empty()) return;
    m_starts.reserve(m_starts.size() + 1);
    m_pieces.reserve(m_pieces.size() + 1);
    while (!m_pieces.empty()) {
        const Piece& older = *m_pieces.back();
        if (older.origin != piece->origin || older.severity != piece->severity ||
            older.text.size() > piece->text.size() ||
            older.text.size() + piece->text.size() > std::numeric_limits<std::uint32_t>::max())
            break;
        piece = Piece::joined(older, *piece);
        m_pieces.pop_back();
        m_starts.pop_back();
    }
    const std::size_t start = m_starts.empty() ? 0 : m_starts.back() + m_pieces.back()->entries.size();
    m_pieces.push_back(std::move(piece));
    m_starts.push_back(start);
}

void EventLog::append(std::string_view text, EventSeverity severity) {
    if (text.empty()) return;
    push(Piece::parsed(TextBuffer::copyOf(text), severity, 0));
}

void EventLog::keepNewest(std::size_t bytes) {
    std::size_t held = m_provisional ? m_provisional->text.size() : 0, keepFrom = m_pieces.size();
    while (keepFrom > 0 && held + m_pieces[keepFrom - 1]->text.size() <= bytes) held += m_pieces[--keepFrom]->text.size();
    if (keepFrom == m_pieces.size() && keepFrom > 0) --keepFrom;  // the newest piece stays, however big
    if (keepFrom == 0) return;
    m_pieces.erase(m_pieces.begin(), m_pieces.begin() + static_cast<std::ptrdiff_t>(keepFrom));
    m_starts.clear();
    std::size_t start = 0;
    for (const auto& p : m_pieces) m_starts.push_back(start), start += p->entries.size();
}

EventLog EventLog::fromText(std::string_view text, EventSeverity severity) {
    EventLog log;
    log.append(text, severity);
    return log;
}

EventLogFile::EventLogFile(std::string path, std::optional<std::string> rotatedPath, EventSeverity severity,
                           std::shared_ptr<const Folder> folder)
    : m_path(std::move(path)), m_rotatedPath(std::move(rotatedPath)), m_severity(severity),
      m_folder(folder ? std::move(folder) : std::make_shared<const LocalFolder>()) {}

std::string EventLogFile::shownPath() const { return m_folder->shown(m_path); }

bool EventLogFile::exists() const {
    ReadFailure ignored{};
    return m_folder->stat(m_path, ignored).has_value();
}

bool EventLogFile::changed() const {
    ReadFailure ignored{};
    const auto st = m_folder->stat(m_path, ignored);
    if (!st) return false;  // nothing to read; once back, it is another file
    return !m_identity || st->identity != *m_identity || st->size != m_sizeRead;
}

void EventLog::dropOrigin(std::uint64_t origin) {
    if (m_provisional && m_provisional->origin == origin) m_provisional.reset();
    std::erase_if(m_pieces, [origin](const auto& p) { return p->origin == origin; });
    m_starts.clear();
    std::size_t start = 0;
    for (const auto& p : m_pieces) m_starts.push_back(start), start += p->entries.size();
}

void EventLog::settleProvisional() {
    if (!m_provisional) return;
    auto last = std::move(m_provisional);
    m_provisional.reset();
    push(std::move(last));
}

// A read of the file from `offset`: its entries are final up to the last
// one, which lines still to come may join (it is provisional, and read
// again with them), unless the file is done with (`finished`: rotated away).
// The error stream's entries are final as soon as their line is whole.
void EventLogFile::take(EventLog& log, TextBuffer bytes, std::uint64_t offset, bool finished) {
    const bool joins = m_severity != EventSeverity::error;
    // The entry the last read left open was settled since (the error stream
    // had lines to show after it): it is not taken again.
    if (joins && m_open != nullptr && log.m_provisional.get() != m_open && offset == m_consumed) {
        const std::size_t skip = std::min(m_openBytes, bytes.size());
        bytes = TextBuffer::copyOf(bytes.view().substr(skip));
        offset += skip;
    }
    m_open = nullptr;
    const std::string_view all = bytes.view();
    std::size_t cut = all.size();
    // A line still being written is not taken: what it is, and what it
    // quotes, may change with its next bytes. It is read again with them.
    std::size_t wholeLines = all.size();
    if (!finished) {
        const std::size_t feed = all.rfind('\n');
        wholeLines = feed == std::string_view::npos ? 0 : feed + 1;
        // The last entry stays open, for continuation lines to join.
        cut = joins ? lastEntryBegin(all.substr(0, wholeLines)) : wholeLines;
    }
    std::shared_ptr<const EventLog::Piece> whole, rest;
    if (cut < wholeLines && joins)
        rest = EventLog::Piece::parsed(TextBuffer::copyOf(all.substr(cut, wholeLines - cut)), m_severity, m_origin);
    const std::size_t restBytes = wholeLines - cut;
    if (cut > 0) {
        bytes.shrinkTo(cut);
        whole = EventLog::Piece::parsed(std::move(bytes), m_severity, m_origin);
    }
    if (joins) log.m_provisional.reset();  // read again in `bytes`
    else if (whole && !whole->entries.empty()) log.settleProvisional();  // shown after the output's last entry
    if (whole) log.push(std::move(whole));
    if (rest) {
        m_open = rest.get();
        m_openBytes = restBytes;
        log.m_provisional = std::move(rest);
    }
    m_consumed = offset + cut;
}

void EventLogFile::startOver() {
    m_open = nullptr;
    m_identity.reset();
    m_consumed = m_sizeRead = 0;
    m_origin = nextOrigin.fetch_add(1);
}

// Whether the file read before now lies in the rotated copy: renamed there,
// or copied there (it begins as the file read before did) just before the
// client emptied it. Then the rest of it is read from there, and what was
// read stays.
bool EventLogFile::followRotation(EventLog& log) {
    if (!m_rotatedPath || !m_identity) return false;
    ReadFailure ignored{};
    const auto old = m_folder->stat(*m_rotatedPath, ignored);
    if (!old || !old->regular || old->size < m_sizeRead) return false;
    if (old->identity != *m_identity &&
        (m_head.empty() || m_folder->readStart(*m_rotatedPath, m_head.size()) != m_head))
        return false;
    if (old->size > m_sizeRead) {
        auto rest = m_folder->readTail(*m_rotatedPath, old->identity, m_consumed, m_sizeRead, ignored);
        if (rest && rest->offset == m_consumed) take(log, std::move(rest->bytes), rest->offset, true);
    }
    if (m_severity != EventSeverity::error) log.settleProvisional();
    return true;
}

bool EventLogFile::readOn(EventLog& log, ReadFailure& why) {
    const auto st = m_folder->stat(m_path, why);
    if (!st) return false;
    if (!m_started) {
        m_started = true;
        startOver();
        if (m_rotatedPath) {
            ReadFailure ignored{};
            const auto old = m_folder->stat(*m_rotatedPath, ignored);
            if (old && old->regular)
                if (auto bytes = m_folder->readWhole(*m_rotatedPath, ignored)) take(log, std::move(*bytes), 0, true);
            startOver();  // the rotated copy's entries are not the file's, whatever becomes of it
        }
    } else if (m_identity) {
        const bool same = st->identity == *m_identity;
        if (same && st->size == m_sizeRead && std::pair(st->seconds, st->nanoseconds) == m_modified) return true;
        if (!same) {  // another file under the name: what was read stays
            if (!followRotation(log) && m_severity != EventSeverity::error) log.settleProvisional();
            startOver();
        }
    }
    auto read = m_folder->readTail(m_path, m_identity, m_consumed, m_sizeRead, why);
    if (!read) return false;
    if (read->fromStart && m_identity) {
        // The same file, emptied or rewritten: after a rotation what was read
        // stays; otherwise what came from it is read again from its start.
        // Unless only the open entry, which begins the file, is read again
        // as the file grew: then nothing is dropped.
        if (followRotation(log)) startOver();
        else if (m_consumed > 0 || read->size() < m_sizeRead) {
            log.dropOrigin(m_origin);
            startOver();
        }
    }
    if (read->offset == 0) m_head = read->bytes.view().substr(0, std::min<std::size_t>(read->bytes.size(), 64));
    try {
        take(log, std::move(read->bytes), read->offset, false);
    } catch (const std::bad_alloc&) {
        why = ReadFailure::tooLarge;
        return false;
    }
    m_identity = read->identity;
    m_sizeRead = read->size();
    m_modified = {st->seconds, st->nanoseconds};
    return true;
}

}  // namespace crunchwatch

#include "state/job_log.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>

#include "state/local_folder.hpp"
#include "state/numbers.hpp"

static_assert(std::endian::native == std::endian::little, "tokenEnd reads words lowest byte first");

namespace crunchwatch {
namespace {

constexpr std::array<bool, 256> blankTable = [] {
    std::array<bool, 256> t{};
    for (unsigned char c : {' ', '\t', '\r', '\v', '\f'}) t[c] = true;
    return t;
}();
inline bool isBlank(char c) { return blankTable[static_cast<unsigned char>(c)]; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the token at p: the first blank at or after it, or `end`.
// Eight bytes at a time: every blank is below 0x21, so the bytes flagged
// below are the only candidates (the lowest flag is exact, flags above it
// may be false), each checked in order.
const char* tokenEnd(const char* p, const char* end) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);  // little-endian: the lowest byte comes first
        for (std::uint64_t flags = (word - 0x21 * ones) & ~word & highs; flags != 0; flags &= flags - 1) {
            const int at = std::countr_zero(flags) / 8;
            if (isBlank(p[at])) return p + at;
        }
        p += 8;
    }
    while (p != end && !isBlank(*p)) ++p;
    return p;
}

// The field a two-letter key names, or -1.
int fieldOfKey(const char* key, std::size_t length) {
    if (length != 2) return -1;
    switch (key[0]) {
        case 'u': return key[1] == 'e' ? static_cast<int>(JobField::ue) : -1;
        case 'c': return key[1] == 't' ? static_cast<int>(JobField::ct) : -1;
        case 'f': return key[1] == 'e' ? static_cast<int>(JobField::fe) : -1;
        case 'n': return key[1] == 'm' ? static_cast<int>(JobField::nm) : -1;
        case 'e': return key[1] == 't' ? static_cast<int>(JobField::et) : key[1] == 's' ? static_cast<int>(JobField::es) : -1;
        default: return -1;
    }
}

// Whether eight bytes (lowest first) are all ASCII digits: adding 0x46
// carries a byte above '9' into its top bit, subtracting 0x30 borrows a byte
// below '0' into it.
bool eightDigits(std::uint64_t word) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    return (((word + 0x46 * ones) | (word - 0x30 * ones)) & highs) == 0;
}

// A ct value's number, exactly as readNumber reads it. Nearly every value is
// plain digits with a point ("19643.120000"); with at most 15 digits, the
// digits and the power of ten are exact doubles, so one division rounds the
// exact decimal as the full conversion does.
double secondsOf(std::string_view value) noexcept {
    static constexpr double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                                             1e12, 1e13, 1e14, 1e15, 1e16};
    if (value.size() > 16) return readNumber(value);
    const char* p = value.data();
    const char* const end = p + value.size();
    std::uint64_t digits = 0;
    unsigned digit;
    while (p != end && (digit = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10) digits = digits * 10 + digit, ++p;
    const bool point = p != end && *p == '.';
    std::size_t afterPoint = 0;
    if (point) {
        const char* const fraction = ++p;
        while (p != end && (digit = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10) digits = digits * 10 + digit, ++p;
        afterPoint = static_cast<std::size_t>(p - fraction);
    }
    const std::size_t count = value.size() - point;
    if (p != end || count == 0 || count > 15) return readNumber(value);
    return static_cast<double>(digits) / powersOfTen[afterPoint];
}

// Grows a vector ahead of a push_back, which then cannot fail.
template <class Vector>
void roomForOneMore(Vector& v) {
    if (v.size() == v.capacity()) v.reserve(std::max<std::size_t>(4, 2 * v.capacity()));
}

}  // namespace

bool isDecimalNumber(std::string_view t) noexcept {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0;
    // A moment is digits only, ten of them: eight at a time first.
    for (std::uint64_t word; t.size() - i >= 8 && (std::memcpy(&word, t.data() + i, 8), eightDigits(word));)
        i += 8, digits += 8;
    while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t exponent = 0;
        while (i < t.size() && isDigit(t[i])) ++i, ++exponent;
        if (exponent == 0) return false;
    }
    return i == t.size();
}

// The lines of one read and the tasks parsed from them; never changed once
// built. The counts run on from the pieces before it, which every copy that
// holds this piece holds too, in the same order: the totals of a log are
// those of its last piece.
struct JobLog::Segment {
    // A value as a stretch of its line; length 0 means absent (a token is
    // never empty). Offsets from the line keep a task's record at 64 bytes.
    struct Span {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };
    struct Task {
        const char* line;
        std::array<Span, jobFieldCount> fields;
    };
    struct Block {
        std::unique_ptr<char[]> storage;  // held by the first block of an allocation
        Task* tasks;
    };
    static constexpr std::size_t blockSize = 4096;  // tasks per block
    // A long log takes its blocks this many at a time, in one allocation
    // backed by huge pages: a million tasks then cost few page faults.
    static constexpr std::size_t blocksPerSlab = 32;
    static constexpr std::size_t slabsFromBlock = 64;  // 256k tasks: the slack stays small beside the log
    // Reads smaller than this count their lines first, so that the one line
    // a finished task appends costs one record, not a block.
    static constexpr std::size_t countedRead = 64 * 1024;
    // The pieces of appended lines are merged this many at a time, up to
    // this size: a log followed for months stays a few dozen pieces, each
    // line is copied a few times at most, and no merge copies much.
    static constexpr std::size_t mergedAtOnce = 8;
    static constexpr std::size_t mergedBytes = 128 * 1024;

    TextBuffer text;             // the bytes read; the lines parsed are the first `parsedBytes`
    std::size_t parsedBytes = 0;
    // The first block's room: smaller than a block only when the tasks were
    // counted before, so no task ever falls past it.
    std::size_t firstBlockTasks = blockSize;
    // Blocks: growth never moves a task. The first is kept in place, so that
    // a piece of a few lines costs one allocation for its tasks.
    Block firstBlock{};
    std::vector<Block> moreBlocks;
    std::size_t slots = 0;  // tasks the blocks have room for
    std::size_t storageBytes = 0;
    std::size_t firstTask = 0;       // the index of its first task in the log
    std::size_t tasks = 0;
    std::size_t skippedThrough = 0;  // lines skipped here and in every piece before
    double secondsThrough = 0;       // ct of every task up to this piece's last, summed in file order
    unsigned merges = 0;             // how many rounds of merging made it

    // An empty piece that follows `previous` (nothing: the first).
    static Segment after(const Segment* previous);
    // Every line of the first `bytes` of `text`, the last one whether or not a line feed ends it.
    static std::shared_ptr<const Segment> parsed(TextBuffer text, std::size_t bytes, const Segment* previous);
    // One piece holding the lines and tasks of `count` neighbours.
    static std::shared_ptr<const Segment> merged(const std::shared_ptr<const Segment>* first, std::size_t count);

    std::size_t blockCount() const noexcept { return firstBlock.tasks ? 1 + moreBlocks.size() : 0; }
    const Task& task(std::size_t i) const noexcept {
        const std::size_t b = i / blockSize;
        return (b == 0 ? firstBlock : moreBlocks[b - 1]).tasks[i % blockSize];
    }
    Task& slot(std::size_t i);
    bool parseLine(const char* begin, const char* end);
    std::size_t memoryBytes() const noexcept;
};

JobLog::Segment JobLog::Segment::after(const Segment* previous) {
    Segment s;
    if (previous) {
        s.firstTask = previous->firstTask + previous->tasks;
        s.skippedThrough = previous->skippedThrough;
        s.secondsThrough = previous->secondsThrough;
    }
    return s;
}

JobLog::Segment::Task& JobLog::Segment::slot(std::size_t index) {
    if (index >= slots) {
        const std::size_t count = blockCount() == 0 ? firstBlockTasks : blockCount() < slabsFromBlock ? blockSize
                                                                                                       : blocksPerSlab * blockSize;
        const std::size_t bytes = count * sizeof(Task);
        // Task is plain data; operator new[] aligns for it.
        auto storage = newFileBuffer(bytes);
        char* const base = storage.get();
        moreBlocks.reserve(moreBlocks.size() + count / blockSize);
        for (std::size_t b = 0; b < count; b += blockSize) {
            Block block{b == 0 ? std::move(storage) : nullptr, reinterpret_cast<Task*>(base + b * sizeof(Task))};
            if (!firstBlock.tasks) firstBlock = std::move(block);
            else moreBlocks.push_back(std::move(block));
        }
        storageBytes += bytes;
        slots += count;
    }
    const std::size_t b = index / blockSize;
    return (b == 0 ? firstBlock : moreBlocks[b - 1]).tasks[index % blockSize];
}

std::size_t JobLog::Segment::memoryBytes() const noexcept {
    return sizeof(Segment) + text.size() + storageBytes + moreBlocks.capacity() * sizeof(Block);
}

// One line without its line feed: true when it became a task.
bool JobLog::Segment::parseLine(const char* begin, const char* end) {
    const char* p = begin;
    while (p != end && isBlank(*p)) ++p;
    if (p == end) return false;  // a blank line: not a task, not counted
    Task& task = slot(tasks);
    task.line = p;
    task.fields = {};
    // Values are kept as 32-bit offsets into their line: a line of 4 GiB or
    // more is not a job log line.
    if (static_cast<std::size_t>(end - p) > std::numeric_limits<std::uint32_t>::max()) {
        ++skippedThrough;
        return false;
    }
    const auto spanOf = [&](const char* a, const char* b) {
        return Span{static_cast<std::uint32_t>(a - task.line), static_cast<std::uint32_t>(b - a)};
    };
    const char* q = tokenEnd(p, end);
    if (!isDecimalNumber(std::string_view(p, static_cast<std::size_t>(q - p)))) {
        ++skippedThrough;
        return false;
    }
    task.fields[0] = spanOf(p, q);
    for (;;) {
        while (q != end && isBlank(*q)) ++q;
        if (q == end) break;
        const char* key = q;
        // Keys are two letters: their end is seen at once.
        q = end - q > 2 && !isBlank(q[1]) && isBlank(q[2]) ? q + 2 : tokenEnd(q, end);
        const char* keyEnd = q;
        while (q != end && isBlank(*q)) ++q;
        if (q == end) break;  // a key without a value
        const char* value = q;
        q = tokenEnd(q, end);
        const int f = fieldOfKey(key, static_cast<std::size_t>(keyEnd - key));
        if (f > 0 && task.fields[static_cast<std::size_t>(f)].length == 0) task.fields[static_cast<std::size_t>(f)] = spanOf(value, q);
    }
    if (task.fields[static_cast<std::size_t>(JobField::nm)].length == 0) {
        ++skippedThrough;
        return false;
    }
    const Span ct = task.fields[static_cast<std::size_t>(JobField::ct)];
    if (ct.length != 0) secondsThrough += secondsOf(std::string_view(task.line + ct.offset, ct.length));
    ++tasks;
    return true;
}

std::shared_ptr<const JobLog::Segment> JobLog::Segment::parsed(TextBuffer text, std::size_t bytes,
                                                               const Segment* previous) {
    Segment s = after(previous);
    s.text = std::move(text);
    s.parsedBytes = bytes;
    const char* line = s.text.data();
    const char* const end = line + bytes;
    if (bytes < countedRead) {
        std::size_t lines = 1;
        for (const char* p = line; (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))); ++p)
            ++lines;
        s.firstBlockTasks = std::min(blockSize, lines);
    }
    while (line != end) {
        const auto* lf = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
        s.parseLine(line, lf ? lf : end);
        line = lf ? lf + 1 : end;
    }
    return std::make_shared<const Segment>(std::move(s));
}

std::shared_ptr<const JobLog::Segment> JobLog::Segment::merged(const std::shared_ptr<const Segment>* first,
                                                               std::size_t count) {
    const Segment& last = *first[count - 1];
    Segment s;
    std::size_t tasks = 0;
    for (std::size_t i = 0; i < count; ++i) {
        s.parsedBytes += first[i]->parsedBytes;
        tasks += first[i]->tasks;
    }
    s.firstBlockTasks = std::min(blockSize, std::max<std::size_t>(1, tasks));
    s.text = TextBuffer(newFileBuffer(s.parsedBytes + 1), s.parsedBytes);
    s.firstTask = first[0]->firstTask;
    s.skippedThrough = last.skippedThrough;
    s.secondsThrough = last.secondsThrough;
    s.merges = first[0]->merges + 1;
    char* to = s.text.data();
    for (std::size_t i = 0; i < count; ++i) {
        const Segment& from = *first[i];
        std::memcpy(to, from.text.view().data(), from.parsedBytes);
        for (std::size_t t = 0; t < from.tasks; ++t) {
            Task& copied = s.slot(s.tasks++);
            copied = from.task(t);
            copied.line = to + (copied.line - from.text.view().data());
        }
        to += from.parsedBytes;
    }
    return std::make_shared<const Segment>(std::move(s));
}

const JobLog::Segment* JobLog::lastPiece() const noexcept {
    if (m_provisional) return m_provisional.get();
    return m_segments.empty() ? nullptr : m_segments.back().get();
}

std::size_t JobLog::size() const noexcept {
    const Segment* last = lastPiece();
    return last ? last->firstTask + last->tasks : 0;
}

std::size_t JobLog::skippedLines() const noexcept {
    const Segment* last = lastPiece();
    return last ? last->skippedThrough : 0;
}

double JobLog::processorSeconds() const noexcept {
    const Segment* last = lastPiece();
    return last ? last->secondsThrough : 0;
}

std::optional<std::string_view> JobLog::field(std::size_t index, JobField f) const noexcept {
    const Segment* s = m_provisional.get();
    if (!s || index < s->firstTask) {
        // The last piece whose first task is at or before the index holds it
        // (a piece of skipped lines only starts where the next one does).
        const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), index);
        s = m_segments[static_cast<std::size_t>(after - m_starts.begin()) - 1].get();
    }
    const Segment::Task& t = s->task(index - s->firstTask);
    const Segment::Span span = t.fields[static_cast<std::size_t>(f)];
    if (span.length == 0) return std::nullopt;
    return std::string_view(t.line + span.offset, span.length);
}

std::size_t JobLog::memoryBytes() const noexcept {
    std::size_t bytes = m_segments.capacity() * sizeof(m_segments[0]) + m_starts.capacity() * sizeof(std::size_t);
    for (const auto& s : m_segments) bytes += s->memoryBytes();
    if (m_provisional) bytes += m_provisional->memoryBytes();
    return bytes;
}

// Appends a piece of whole lines (room for it reserved), then merges the
// last pieces while `mergedAtOnce` of them went through as many merges and
// are small enough together: a count in base `mergedAtOnce`, so a line is
// copied once per round and a round comes once in so many appends. Merging
// is only a saving: without memory for it, the pieces stay as they are.
void JobLog::push(std::shared_ptr<const Segment> segment) noexcept {
    m_starts.push_back(segment->firstTask);
    m_segments.push_back(std::move(segment));
    while (m_segments.size() >= Segment::mergedAtOnce) {
        const std::size_t from = m_segments.size() - Segment::mergedAtOnce;
        std::size_t bytes = 0, tasks = 0;
        bool even = true;
        for (std::size_t i = from; i < m_segments.size(); ++i) {
            bytes += m_segments[i]->parsedBytes;
            tasks += m_segments[i]->tasks;
            even &= m_segments[i]->merges == m_segments[from]->merges;
        }
        if (!even || bytes > Segment::mergedBytes || tasks > Segment::blockSize) break;
        std::shared_ptr<const Segment> all;
        try {
            all = Segment::merged(&m_segments[from], Segment::mergedAtOnce);
        } catch (const std::bad_alloc&) {
            break;
        }
        m_segments.erase(m_segments.begin() + static_cast<std::ptrdiff_t>(from) + 1, m_segments.end());
        m_starts.erase(m_starts.begin() + static_cast<std::ptrdiff_t>(from) + 1, m_starts.end());
        m_segments[from] = std::move(all);
    }
}

// Everything that can run out of memory is done before the log changes, so
// that a failed read leaves it as it was.
void JobLog::takeRead(TextBuffer bytes, std::uint64_t offset, bool fromStart, bool lastLineIsComplete) {
    const std::string_view all = bytes.view();
    const std::size_t lastLineFeed = all.rfind('\n');
    const std::size_t consumed = lastLineFeed == std::string_view::npos ? 0 : lastLineFeed + 1;
    const std::size_t whole = lastLineIsComplete ? all.size() : consumed;
    const Segment* previous = fromStart || m_segments.empty() ? nullptr : m_segments.back().get();
    std::shared_ptr<const Segment> lines, provisional;
    if (whole == 0) {
        if (!all.empty()) provisional = Segment::parsed(std::move(bytes), all.size(), previous);
    } else {
        // The unfinished line gets its own copy: the lines before it are kept
        // long after it is dropped.
        std::optional<TextBuffer> rest;
        if (whole < all.size()) rest = TextBuffer::copyOf(all.substr(whole));
        lines = Segment::parsed(std::move(bytes), whole, previous);
        if (rest) provisional = Segment::parsed(std::move(*rest), rest->size(), lines.get());
    }
    roomForOneMore(m_segments);
    roomForOneMore(m_starts);

    if (fromStart) {
        m_segments.clear();
        m_starts.clear();
    }
    if (lines) push(std::move(lines));
    m_provisional = std::move(provisional);  // a provisional line read before is read again in `bytes`
    m_consumed = offset + consumed;
}

bool JobLog::update(const std::string& path, ReadFailure& why) { return update(LocalFolder(), path, why); }

bool JobLog::update(const Folder& folder, std::string_view name, ReadFailure& why) {
    auto read = folder.readTail(name, m_identity, m_consumed, m_sizeRead, why);
    if (!read) return false;
    try {
        takeRead(std::move(read->bytes), read->offset, read->fromStart, false);
    } catch (const std::bad_alloc&) {
        why = ReadFailure::tooLarge;
        return false;
    }
    m_identity = read->identity;
    m_sizeRead = read->size();
    return true;
}

bool JobLog::update(const std::string& path) {
    ReadFailure ignored{};
    return update(path, ignored);
}

JobLog JobLog::fromText(std::string_view text) {
    JobLog log;
    log.takeRead(TextBuffer::copyOf(text), 0, true, true);
    return log;
}

}  // namespace crunchwatch

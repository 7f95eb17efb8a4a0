#include "state/job_log.hpp"

#include <bit>
#include <cstring>
#include <limits>

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

}  // namespace

bool isDecimalNumber(std::string_view t) noexcept {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0;
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

void JobLog::clear() {
    m_chunks.clear();
    m_blocks.clear();
    m_storage.clear();
    m_storageBytes = 0;
    m_count = m_skipped = 0;
    m_provisionalTasks = m_provisionalSkipped = 0;
    m_summedTasks = 0;
    m_summedSeconds = 0;
    m_lastChunkOnlyProvisional = false;
    m_consumed = m_sizeRead = 0;
}

void JobLog::dropProvisional() {
    m_count -= m_provisionalTasks;
    m_provisionalTasks = m_provisionalSkipped = 0;
    if (m_summedTasks > m_count) m_summedTasks = 0, m_summedSeconds = 0;  // it summed the line dropped
    // A chunk that held nothing but the unfinished line is read again whole.
    if (m_lastChunkOnlyProvisional) m_chunks.pop_back();
    m_lastChunkOnlyProvisional = false;
}

JobLog::Task& JobLog::slot(std::size_t index) {
    if (index / blockSize >= m_blocks.size()) {
        const std::size_t blocks = m_blocks.size() < slabsFromBlock ? 1 : blocksPerSlab;
        const std::size_t bytes = blocks * blockSize * sizeof(Task);
        // Task is plain data; operator new[] aligns for it.
        m_storage.push_back(newFileBuffer(bytes));
        m_storageBytes += bytes;
        for (std::size_t b = 0; b < blocks; ++b)
            m_blocks.push_back(reinterpret_cast<Task*>(m_storage.back().get() + b * blockSize * sizeof(Task)));
    }
    return m_blocks[index / blockSize][index % blockSize];
}

double JobLog::processorSeconds() const noexcept {
    for (; m_summedTasks < m_count; ++m_summedTasks) m_summedSeconds += readNumber(field(m_summedTasks, JobField::ct));
    return m_summedSeconds;
}

std::optional<std::string_view> JobLog::field(std::size_t index, JobField f) const noexcept {
    const Task& t = m_blocks[index / blockSize][index % blockSize];
    const Span s = t.fields[static_cast<std::size_t>(f)];
    if (s.length == 0) return std::nullopt;
    return std::string_view(t.line + s.offset, s.length);
}

std::size_t JobLog::memoryBytes() const noexcept {
    std::size_t bytes = m_storageBytes + m_blocks.capacity() * sizeof(Task*) + m_chunks.capacity() * sizeof(TextBuffer);
    for (const TextBuffer& c : m_chunks) bytes += c.size();
    return bytes;
}

// One line without its line feed: true when it became a task.
bool JobLog::parseLine(const char* begin, const char* end) {
    const char* p = begin;
    while (p != end && isBlank(*p)) ++p;
    if (p == end) return false;  // a blank line: not a task, not counted
    Task& task = slot(m_count);
    task.line = p;
    task.fields = {};
    // Values are kept as 32-bit offsets into their line: a line of 4 GiB or
    // more is not a job log line.
    if (static_cast<std::size_t>(end - p) > std::numeric_limits<std::uint32_t>::max()) {
        ++m_skipped;
        return false;
    }
    const auto spanOf = [&](const char* a, const char* b) {
        return Span{static_cast<std::uint32_t>(a - task.line), static_cast<std::uint32_t>(b - a)};
    };
    const char* q = tokenEnd(p, end);
    if (!isDecimalNumber(std::string_view(p, static_cast<std::size_t>(q - p)))) {
        ++m_skipped;
        return false;
    }
    task.fields[0] = spanOf(p, q);
    for (;;) {
        while (q != end && isBlank(*q)) ++q;
        if (q == end) break;
        const char* key = q;
        q = tokenEnd(q, end);
        const char* keyEnd = q;
        while (q != end && isBlank(*q)) ++q;
        if (q == end) break;  // a key without a value
        const char* value = q;
        q = tokenEnd(q, end);
        const int f = fieldOfKey(key, static_cast<std::size_t>(keyEnd - key));
        if (f > 0 && task.fields[static_cast<std::size_t>(f)].length == 0) task.fields[static_cast<std::size_t>(f)] = spanOf(value, q);
    }
    if (task.fields[static_cast<std::size_t>(JobField::nm)].length == 0) {
        ++m_skipped;
        return false;
    }
    ++m_count;
    return true;
}

void JobLog::takeChunk(TextBuffer chunk, std::uint64_t offset, bool lastLineIsComplete) {
    const char* const begin = chunk.data();
    const char* const end = begin + chunk.size();
    const char* line = begin;
    for (;;) {
        const auto* lf = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
        if (!lf) break;
        parseLine(line, lf);
        line = lf + 1;
    }
    m_consumed = offset + static_cast<std::uint64_t>(line - begin);
    if (line != end) {
        const std::size_t skippedBefore = m_skipped;
        const bool task = parseLine(line, end);
        if (!lastLineIsComplete) {
            m_provisionalTasks = task ? 1 : 0;
            m_provisionalSkipped = m_skipped - skippedBefore;
            m_skipped = skippedBefore;
            m_lastChunkOnlyProvisional = line == begin;
        }
    }
    if (chunk.size() != 0) m_chunks.push_back(std::move(chunk));
}

bool JobLog::update(const std::string& path) {
    auto read = readFileTail(path, m_identity, m_consumed, m_sizeRead);
    if (!read) return false;
    if (read->fromStart) clear();
    else dropProvisional();
    m_sizeRead = read->size();
    m_identity = read->identity;
    takeChunk(std::move(read->bytes), read->offset, false);
    return true;
}

JobLog JobLog::fromText(std::string_view text) {
    JobLog log;
    log.takeChunk(TextBuffer::copyOf(text), 0, true);
    return log;
}

}  // namespace crunchwatch

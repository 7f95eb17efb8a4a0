#include "state/job_log.hpp"

#include <cstring>
#include <limits>

#include "state/numbers.hpp"

namespace crunchwatch {
namespace {

constexpr std::array<bool, 256> blankTable = [] {
    std::array<bool, 256> t{};
    for (unsigned char c : {' ', '\t', '\r', '\v', '\f'}) t[c] = true;
    return t;
}();
inline bool isBlank(char c) { return blankTable[static_cast<unsigned char>(c)]; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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
    m_count = m_skipped = 0;
    m_cpuSeconds = 0;
    m_provisionalTasks = m_provisionalSkipped = 0;
    m_provisionalCpuSeconds = 0;
    m_lastChunkOnlyProvisional = false;
    m_consumed = m_sizeRead = 0;
}

void JobLog::dropProvisional() {
    m_count -= m_provisionalTasks;
    m_provisionalTasks = m_provisionalSkipped = 0;
    m_provisionalCpuSeconds = 0;
    // A chunk that held nothing but the unfinished line is read again whole.
    if (m_lastChunkOnlyProvisional) m_chunks.pop_back();
    m_lastChunkOnlyProvisional = false;
}

JobLog::Task& JobLog::slot(std::size_t index) {
    if (index / blockSize >= m_blocks.size()) m_blocks.push_back(std::make_unique_for_overwrite<Task[]>(blockSize));
    return m_blocks[index / blockSize][index % blockSize];
}

std::optional<std::string_view> JobLog::field(std::size_t index, JobField f) const noexcept {
    const Task& t = m_blocks[index / blockSize][index % blockSize];
    const Span s = t.fields[static_cast<std::size_t>(f)];
    if (s.length == 0) return std::nullopt;
    return std::string_view(t.line + s.offset, s.length);
}

std::size_t JobLog::memoryBytes() const noexcept {
    std::size_t bytes = m_blocks.size() * blockSize * sizeof(Task) + m_chunks.capacity() * sizeof(TextBuffer);
    for (const TextBuffer& c : m_chunks) bytes += c.size();
    return bytes;
}

// One line without its line feed: true when it became a task.
bool JobLog::parseLine(const char* begin, const char* end, double& cpu) {
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
    const char* q = p;
    while (q != end && !isBlank(*q)) ++q;
    if (!isDecimalNumber(std::string_view(p, static_cast<std::size_t>(q - p)))) {
        ++m_skipped;
        return false;
    }
    task.fields[0] = spanOf(p, q);
    for (;;) {
        while (q != end && isBlank(*q)) ++q;
        if (q == end) break;
        const char* key = q;
        while (q != end && !isBlank(*q)) ++q;
        const char* keyEnd = q;
        while (q != end && isBlank(*q)) ++q;
        if (q == end) break;  // a key without a value
        const char* value = q;
        while (q != end && !isBlank(*q)) ++q;
        const int f = fieldOfKey(key, static_cast<std::size_t>(keyEnd - key));
        if (f > 0 && task.fields[static_cast<std::size_t>(f)].length == 0) task.fields[static_cast<std::size_t>(f)] = spanOf(value, q);
    }
    if (task.fields[static_cast<std::size_t>(JobField::nm)].length == 0) {
        ++m_skipped;
        return false;
    }
    const Span ct = task.fields[static_cast<std::size_t>(JobField::ct)];
    if (ct.length != 0) cpu += readNumber(std::string_view(task.line + ct.offset, ct.length));
    ++m_count;
    return true;
}

void JobLog::takeChunk(TextBuffer chunk, std::uint64_t offset, bool lastLineIsComplete) {
    const char* const begin = chunk.data();
    const char* const end = begin + chunk.size();
    const char* line = begin;
    double cpu = 0;
    for (;;) {
        const auto* lf = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
        if (!lf) break;
        parseLine(line, lf, cpu);
        line = lf + 1;
    }
    m_cpuSeconds += cpu;
    m_consumed = offset + static_cast<std::uint64_t>(line - begin);
    if (line != end) {
        const std::size_t skippedBefore = m_skipped;
        double tailCpu = 0;
        const bool task = parseLine(line, end, tailCpu);
        if (!lastLineIsComplete) {
            m_provisionalTasks = task ? 1 : 0;
            m_provisionalSkipped = m_skipped - skippedBefore;
            m_skipped = skippedBefore;
            m_provisionalCpuSeconds = tailCpu;
            m_lastChunkOnlyProvisional = line == begin;
        } else {
            m_cpuSeconds += tailCpu;
        }
    }
    if (chunk.size() != 0) m_chunks.push_back(std::move(chunk));
}

bool JobLog::update(const std::string& path) {
    auto read = readFileTail(path, m_identity, m_consumed, m_sizeRead);
    if (!read) return false;
    m_sizeRead = read->size();
    if (read->fromStart) clear();
    else dropProvisional();
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

#pragma once
// The client's job log (job_log_<project>.txt): one line per finished task,
// appended as each one finishes, e.g.
//   1581252044 ue 5362.095746 ct 19643.120000 fe 43200000000000 nm NAME_0 et 5922.558134 es 0
// the moment it finished, then key/value pairs: ue estimated run time, ct
// processor time, fe estimated floating-point operations, nm the task's name,
// et elapsed time, es exit status (older clients write no es).
//
// Lines end at LF and are split on ASCII blanks (space, tab, CR, VT, FF). A
// blank line is ignored. A line whose first token is not wholly a decimal
// number, or that names no task, is skipped and counted. Of a repeated key the
// first wins; unknown keys are ignored. Values stay text, exactly as written.
//
// Contract: views returned point into the log's own buffers and stay valid
// until the next update() or the log's destruction. Nothing throws but
// allocation.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/file_read.hpp"
#include "state/file_tail.hpp"

namespace crunchwatch {

// The values of one line, in the order the dump writes them.
enum class JobField : std::uint8_t { time, ue, ct, fe, nm, et, es };
inline constexpr std::size_t jobFieldCount = 7;
inline constexpr std::array<std::string_view, jobFieldCount> jobFieldNames{"time", "ue", "ct", "fe", "nm", "et", "es"};

// Wholly a decimal number: a sign, digits with at most one point (at least
// one digit), and an exponent with digits.
bool isDecimalNumber(std::string_view text) noexcept;

class JobLog final {
public:
    JobLog() = default;
    JobLog(JobLog&&) noexcept = default;
    JobLog& operator=(JobLog&&) noexcept = default;

    // Reads the log at `path`: the whole file the first time or when it is no
    // longer the file read before, otherwise only what was appended since.
    // False when it cannot be read; what was read before is then kept.
    bool update(const std::string& path);

    // A log parsed from text in memory, as if it were a whole file.
    static JobLog fromText(std::string_view text);

    std::size_t size() const noexcept { return m_count; }
    // The value of one field of task `index` (in file order); `time` is always there.
    std::optional<std::string_view> field(std::size_t index, JobField f) const noexcept;
    std::size_t skippedLines() const noexcept { return m_skipped + m_provisionalSkipped; }
    // The sum of the tasks' processor times (ct), summed on first demand and
    // then only over the tasks read since.
    double processorSeconds() const noexcept;
    // Where the next read starts: just after the last line feed read.
    std::uint64_t bytesConsumed() const noexcept { return m_consumed; }
    // The bytes held: the text and the tasks' records.
    std::size_t memoryBytes() const noexcept;

private:
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
    static constexpr std::size_t blockSize = 4096;  // tasks per block
    // A long log takes its blocks this many at a time, in one allocation
    // backed by huge pages: a million tasks then cost few page faults.
    static constexpr std::size_t blocksPerSlab = 32;
    static constexpr std::size_t slabsFromBlock = 64;  // 256k tasks: the slack stays small beside the log

    void clear();
    void dropProvisional();
    // Parses a newly read stretch of the file; a last line without its line
    // feed is provisional: shown, and read again with the rest of it.
    void takeChunk(TextBuffer chunk, std::uint64_t offset, bool lastLineIsComplete);
    bool parseLine(const char* begin, const char* end);
    Task& slot(std::size_t index);

    std::vector<TextBuffer> m_chunks;
    std::vector<std::unique_ptr<char[]>> m_storage;  // what the blocks live in
    std::size_t m_storageBytes = 0;
    std::vector<Task*> m_blocks;  // blocks: growth never moves a task
    std::size_t m_count = 0;
    std::size_t m_skipped = 0;
    // The provisional last line (at most one task or one skipped line).
    std::size_t m_provisionalTasks = 0;
    std::size_t m_provisionalSkipped = 0;
    mutable std::size_t m_summedTasks = 0;  // the first tasks summed into m_summedSeconds
    mutable double m_summedSeconds = 0;
    bool m_lastChunkOnlyProvisional = false;
    std::optional<FileIdentity> m_identity;
    std::uint64_t m_consumed = 0;
    std::uint64_t m_sizeRead = 0;  // the file's size at the last read
};

}  // namespace crunchwatch

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
// A log is a value made of immutable pieces, each the text of one read and
// the tasks parsed from it, shared by every copy: a copy costs its pieces,
// never its tasks or bytes. An update adds or replaces pieces of its own log
// only, so one copy may be read on one thread while another is updated on
// another. Views returned point into the pieces and stay valid until the
// next update() of the log they came from, or its destruction. Nothing throws
// but allocation.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/file_read.hpp"

namespace crunchwatch {

// The values of one line, in the order the dump writes them.
enum class JobField : std::uint8_t { time, ue, ct, fe, nm, et, es };
inline constexpr std::size_t jobFieldCount = 7;
inline constexpr std::array<std::string_view, jobFieldCount> jobFieldNames{"time", "ue", "ct", "fe", "nm", "et", "es"};

// Wholly a decimal number: a sign, digits with at most one point (at least
// one digit), and an exponent with digits.
bool isDecimalNumber(std::string_view text) noexcept;

class Folder;

class JobLog final {
public:
    // Reads the log at `path`: the whole file the first time or when it is no
    // longer the file read before, otherwise only what was appended since.
    // False when it cannot be read (`why` says why); what was read before is
    // then kept.
    bool update(const std::string& path);
    bool update(const std::string& path, ReadFailure& why);
    // The same of `name` in `folder`.
    bool update(const Folder& folder, std::string_view name, ReadFailure& why);

    // A log parsed from text in memory, as if it were a whole file.
    static JobLog fromText(std::string_view text);

    std::size_t size() const noexcept;
    // The value of one field of task `index` (in file order); `time` is always there.
    std::optional<std::string_view> field(std::size_t index, JobField f) const noexcept;
    std::size_t skippedLines() const noexcept;
    // The sum of the tasks' processor times (ct), in file order.
    double processorSeconds() const noexcept;
    // Where the next read starts: just after the last line feed read.
    std::uint64_t bytesConsumed() const noexcept { return m_consumed; }
    // The bytes held, shared pieces included: the text and the tasks' records.
    std::size_t memoryBytes() const noexcept;

private:
    struct Segment;  // the lines of one read and their tasks (job_log.cpp)

    // Parses a newly read stretch of the file; a last line without its line
    // feed is provisional: shown, and read again with the rest of it.
    void takeRead(TextBuffer bytes, std::uint64_t offset, bool fromStart, bool lastLineIsComplete);
    void push(std::shared_ptr<const Segment> segment) noexcept;
    const Segment* lastPiece() const noexcept;

    std::vector<std::shared_ptr<const Segment>> m_segments;  // whole lines, in file order
    std::vector<std::size_t> m_starts;  // the index of each segment's first task
    std::shared_ptr<const Segment> m_provisional;  // the last line, when its line feed is still to come
    std::optional<FileIdentity> m_identity;
    std::uint64_t m_consumed = 0;
    std::uint64_t m_sizeRead = 0;  // the file's size at the last read
};

}  // namespace crunchwatch

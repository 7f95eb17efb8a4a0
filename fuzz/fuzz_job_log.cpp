// Fuzzes the job log reader: every input parsed as a whole file against a
// reference of the line rules, and read in two steps, a prefix then the rest
// appended to the same file, as the client appends: the prefix must read as
// the reference reads it (its unfinished last line included), and the second
// read must give what one reading of the whole file gives.

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "fuzz_support.hpp"
#include "state/job_log.hpp"

using namespace crunchwatch;

namespace {

using Task = std::array<std::optional<std::string_view>, jobFieldCount>;

struct Parsed {
    std::vector<Task> tasks;
    std::size_t skipped = 0;
};

// Wholly a decimal number, by the standard's own grammar of one: from_chars
// must take the whole token. Around it, what the rule and that grammar do
// not share: the rule also allows a leading '+', and allows neither "inf",
// "nan" nor a second sign.
bool isNumberByRule(std::string_view t) {
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.remove_prefix(1);
    if (t.empty() || t[0] == '+' || t[0] == '-') return false;
    if (t.find_first_not_of("0123456789.eE+-") != std::string_view::npos) return false;
    double value = 0;
    const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value, std::chars_format::general);
    return end == t.data() + t.size() && error != std::errc::invalid_argument;  // too large or small is a number
}

// The tokens of one line, the runs of bytes between blanks, into `tokens`.
void splitIntoTokens(std::string_view line, std::vector<std::string_view>& tokens) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    tokens.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i < line.size() && !blank(line[i])) continue;
        if (i > start) tokens.push_back(line.substr(start, i - start));
        start = i + 1;
    }
}

// The rules, the obvious way: lines at LF, then a line's tokens, the first a
// number, then key and value pairs, the first of a key kept.
Parsed reference(std::string_view text) {
    Parsed p;
    std::vector<std::string_view> tokens;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        splitIntoTokens(text.substr(start, end - start), tokens);
        start = end + 1;
        if (tokens.empty()) continue;
        Task t;
        if (isNumberByRule(tokens[0])) t[0] = tokens[0];
        for (std::size_t i = 1; i + 1 < tokens.size(); i += 2)
            for (std::size_t f = 1; f < jobFieldCount; ++f)
                if (tokens[i] == jobFieldNames[f] && !t[f]) t[f] = tokens[i + 1];
        const std::size_t nm = static_cast<std::size_t>(JobField::nm);
        if (t[0] && t[nm]) p.tasks.push_back(t);
        else ++p.skipped;
    }
    return p;
}

void requireReadAs(const JobLog& log, const Parsed& expected, const char* what) {
    fuzz::require(log.skippedLines() == expected.skipped && log.size() == expected.tasks.size(), what);
    for (std::size_t i = 0; i < log.size(); ++i)
        for (std::size_t f = 0; f < jobFieldCount; ++f)
            fuzz::require(log.field(i, static_cast<JobField>(f)) == expected.tasks[i][f], what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("job_log_x.txt");
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    const Parsed whole = reference(contents);
    requireReadAs(JobLog::fromText(contents), whole, "the job log differs from its reference");

    // A prefix first (cut by the first byte, anywhere, mid-line too), then
    // the rest appended.
    const std::size_t cut = size == 0 ? 0 : static_cast<unsigned char>(contents[0]) * size / 256;
    JobLog log;
    file.write(contents.substr(0, cut));
    fuzz::require(log.update(file.path()), "a readable prefix was refused");
    requireReadAs(log, reference(contents.substr(0, cut)), "a prefix differs from its reference");
    file.append(contents.substr(cut));
    fuzz::require(log.update(file.path()), "a readable file was refused");
    requireReadAs(log, whole, "reading an appended file differs from reading it whole");
    const std::size_t lastLineFeed = contents.rfind('\n');
    fuzz::require(log.bytesConsumed() == (lastLineFeed == std::string_view::npos ? 0 : lastLineFeed + 1),
                  "the next read would not start just after the last line feed");
    return 0;
}

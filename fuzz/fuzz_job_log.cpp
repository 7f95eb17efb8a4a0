// Fuzzes the job log reader: every input parsed as a whole file against a
// slow reference of the line rules, and read in two steps, a prefix then the
// whole file grown in place, as the client appends: the second read must
// give what one reading of the whole file gives.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "state/job_log.hpp"

using namespace crunchwatch;

namespace {

using Task = std::array<std::optional<std::string>, jobFieldCount>;

struct Parsed {
    std::vector<Task> tasks;
    std::size_t skipped = 0;
};

// The rules, the obvious way: lines at LF, tokens between blanks, the first
// token a number as a regular grammar, then pairs, the first of a key kept.
Parsed reference(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    const auto number = [](const std::string& t) {
        std::size_t i = 0, digits = 0;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
        if (i < t.size() && t[i] == '.')
            for (++i; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]));) ++i, ++digits;
        if (digits == 0) return false;
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
            ++i;
            if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
            const std::size_t e = i;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
            if (i == e) return false;
        }
        return i == t.size();
    };
    Parsed p;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::vector<std::string> tokens;
        std::string token;
        for (std::size_t i = start; i <= end; ++i) {
            if (i == end || blank(text[i])) {
                if (!token.empty()) tokens.push_back(token);
                token.clear();
            } else {
                token += text[i];
            }
        }
        start = end + 1;
        if (tokens.empty()) continue;
        if (!number(tokens[0])) {
            ++p.skipped;
            continue;
        }
        std::map<std::string, std::string> pairs;
        for (std::size_t i = 1; i + 1 < tokens.size(); i += 2) pairs.emplace(tokens[i], tokens[i + 1]);
        if (!pairs.count("nm")) {
            ++p.skipped;
            continue;
        }
        Task t;
        t[0] = tokens[0];
        for (std::size_t f = 1; f < jobFieldCount; ++f)
            if (const auto it = pairs.find(std::string(jobFieldNames[f])); it != pairs.end()) t[f] = it->second;
        p.tasks.push_back(t);
    }
    return p;
}

Parsed parsedBy(const JobLog& log) {
    Parsed p;
    p.skipped = log.skippedLines();
    for (std::size_t i = 0; i < log.size(); ++i) {
        Task t;
        for (std::size_t f = 0; f < jobFieldCount; ++f)
            if (const auto v = log.field(i, static_cast<JobField>(f))) t[f] = std::string(*v);
        p.tasks.push_back(t);
    }
    return p;
}

void requireSame(const Parsed& a, const Parsed& b, const char* what) {
    fuzz::require(a.skipped == b.skipped, what);
    fuzz::require(a.tasks == b.tasks, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::MemoryFile file("job_log_x.txt");
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    const Parsed expected = reference(contents);
    requireSame(parsedBy(JobLog::fromText(contents)), expected, "the job log differs from its reference");

    // A prefix first (cut by the first byte, anywhere, mid-line too), then
    // the whole file as it grew.
    const std::size_t cut = size == 0 ? 0 : static_cast<unsigned char>(contents[0]) * size / 256;
    JobLog log;
    file.write(contents.substr(0, cut));
    fuzz::require(log.update(file.path()), "a readable prefix was refused");
    file.write(contents);
    fuzz::require(log.update(file.path()), "a readable file was refused");
    requireSame(parsedBy(log), expected, "reading an appended file differs from reading it whole");
    fuzz::require(log.bytesConsumed() <= size, "the log read past the file's end");
    return 0;
}

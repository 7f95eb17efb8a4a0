#include "state/job_log.hpp"

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "state/numbers.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

// A task as "time|nm|ct|es" (absent values as "-"), for compact expectations.
std::string brief(const JobLog& log, std::size_t i) {
    std::string s;
    for (JobField f : {JobField::time, JobField::nm, JobField::ct, JobField::es}) {
        if (!s.empty()) s += '|';
        s += std::string(log.field(i, f).value_or("-"));
    }
    return s;
}

void overwrite(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> briefs(const JobLog& log) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < log.size(); ++i) out.push_back(brief(log, i));
    return out;
}

struct LineCase {
    const char* what;
    std::string text;
    std::vector<std::string> tasks;
    std::size_t skipped;
};

const LineCase lineCases[] = {
    {"a current client's line",
     "1581252044 ue 5362.095746 ct 19643.120000 fe 43200000000000 nm NAME_0 et 5922.558134 es 0\n",
     {"1581252044|NAME_0|19643.120000|0"}, 0},
    {"an older client's line has no es", "1300000000 ue 1 ct 2.5 fe 3 nm old et 4\n", {"1300000000|old|2.5|-"}, 0},
    {"blanks of every kind separate, CRLF ends like LF", "\t1 \v nm\fa\r ct  2\r\n", {"1|a|2|-"}, 0},
    {"blank and empty lines are neither tasks nor skipped", "\n   \n\r\n1 nm a\n\n", {"1|a|-|-"}, 0},
    {"a last line without its line feed counts", "1 nm a\n2 nm b", {"1|a|-|-", "2|b|-|-"}, 0},
    {"the first of a repeated key wins", "1 nm a nm b ct 1 ct 2\n", {"1|a|1|-"}, 0},
    {"unknown keys are ignored, values verbatim", "1 zz 9 nm ä∂ ct 0x10 es -1\n", {"1|ä∂|0x10|-1"}, 0},
    {"a key without a value is dropped", "1 nm a ct\n", {"1|a|-|-"}, 0},
    {"a line without nm is skipped", "1 ct 2 es 0\n", {}, 1},
    {"nm as the last token names nothing", "1 ct 2 nm\n", {}, 1},
    {"moments: signs, points and exponents", "-1.5e+3 nm a\n+.5 nm b\n7. nm c\n", {"-1.5e+3|a|-|-", "+.5|b|-|-", "7.|c|-|-"}, 0},
    {"moments that are not wholly numbers are skipped",
     "1a nm x\n. nm x\n1e nm x\n- nm x\nnan nm x\n0x1 nm x\n1,5 nm x\nnm x\n", {}, 8},
    {"NUL bytes are part of a token", std::string("1 nm a\0b\n2\0 nm c\n", 17), {std::string("1|a\0b|-|-", 9)}, 1},
};

TEST(JobLog, ReadsLinesByTheirRules) {
    for (const LineCase& c : lineCases) {
        SCOPED_TRACE(c.what);
        const JobLog log = JobLog::fromText(c.text);
        EXPECT_EQ(briefs(log), c.tasks);
        EXPECT_EQ(log.skippedLines(), c.skipped);
    }
}

TEST(JobLog, SumsProcessorTime) {
    const JobLog log = JobLog::fromText("1 nm a ct 1.5\n2 nm b ct 2.25\n3 nm c\n4 ct 100\n");
    EXPECT_DOUBLE_EQ(log.processorSeconds(), 3.75);
    // Each value reads exactly as every other number does, whatever its
    // form, at the end of its line or not.
    const char* const values[] = {"0", "5.", ".5", ".", "19643.120000", "0.1", "00000000.00000001", "12345678.1234567",
                                  "123456789012345", "1234567890123456", "99999999.9999999", "12345678.87654321",
                                  "1e3", "-2.5", "+3", "0x10", "1.2.3", "7a", "1.7976931348623157e308", "inf", "12:30"};
    for (const char* v : values) {
        EXPECT_EQ(JobLog::fromText("1 nm a ct " + std::string(v) + " es 0\n").processorSeconds(), readNumber(v)) << v;
        EXPECT_EQ(JobLog::fromText("1 nm a ct " + std::string(v)).processorSeconds(), readNumber(v)) << v;
    }
}

// The file as the client grows it, read after each step, against a reading of
// the whole file afresh.
TEST(JobLog, FollowsAppendsAndRewritesOfTheFile) {
    test::TempDir dir;
    const std::string path = (dir.path() / "job_log_x.txt").string();
    const auto append = [&](const std::string& text) { std::ofstream(path, std::ios::app | std::ios::binary) << text; };
    JobLog log;
    EXPECT_FALSE(log.update(path));  // not there yet

    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        // The byte before the next read is the file's first: a rewrite in
        // place must be read whole from its start.
        {"a lone line feed", [&] { append("\n"); }},
        {"rewritten in place, longer", [&] { overwrite(path, "0 nm w\n"); }},
        {"first lines", [&] { append("1 nm a ct 1\n2 nm b ct 2\n"); }},
        {"a line half written", [&] { append("3 nm c c"); }},
        {"the rest of that line", [&] { append("t 3\n"); }},
        {"a skipped line half written", [&] { append("4 ct 9"); }},
        {"then completed and another", [&] { append("\n5 nm e\n"); }},
        {"nothing new", [] {}},
        {"rewritten, just as long", [&] { overwrite(path, "9 nm z ct 1\n8 nm y ct 2\n3 nm c ct 3\n4 ct 9\n5 nm e\n"); }},
        {"truncated", [&] { overwrite(path, "7 nm q\n"); }},
        {"replaced by another file", [&] {
             const std::string other = path + ".new";
             overwrite(other, "6 nm r\n6 nm s\n");
             std::filesystem::rename(other, path);
         }},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        // A copy taken before the update goes on showing what it showed.
        const JobLog copy = log;
        const std::vector<std::string> copied = briefs(copy);
        s.change();
        ASSERT_TRUE(log.update(path));
        EXPECT_EQ(briefs(copy), copied);
        std::ifstream in(path, std::ios::binary);
        const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const JobLog fresh = JobLog::fromText(whole);
        EXPECT_EQ(briefs(log), briefs(fresh));
        EXPECT_EQ(log.skippedLines(), fresh.skippedLines());
        EXPECT_DOUBLE_EQ(log.processorSeconds(), fresh.processorSeconds());
    }
    // A file that cannot be read keeps what was read.
    std::filesystem::remove(path);
    EXPECT_FALSE(log.update(path));
    EXPECT_EQ(briefs(log), (std::vector<std::string>{"6|r|-|-", "6|s|-|-"}));
}

// A log followed for days: hundreds of appends, each read on its own, some
// lines caught half written. However the pieces read are kept, they give
// what one reading of the file gives, and a copy taken on the way keeps what
// it showed.
TEST(JobLog, ManyAppendsReadOneByOneGiveTheWholeFile) {
    test::TempDir dir;
    const std::string path = dir.write("job_log_x.txt", "");
    const auto append = [&](const std::string& text) { std::ofstream(path, std::ios::app | std::ios::binary) << text; };
    JobLog log, copy;
    std::vector<std::string> copied;
    for (int i = 0; i < 300; ++i) {
        const std::string n = std::to_string(i);
        const std::string line = i % 7 == 0 ? "x nm skipped\n" : n + " nm t" + n + " ct " + n + ".1\n";
        if (i % 5 == 0) {
            append(line.substr(0, 4));
            ASSERT_TRUE(log.update(path));
            append(line.substr(4));
        } else {
            append(line);
        }
        ASSERT_TRUE(log.update(path));
        if (i == 100) copy = log, copied = briefs(log);
    }
    std::ifstream in(path, std::ios::binary);
    const JobLog fresh = JobLog::fromText(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    EXPECT_EQ(briefs(log), briefs(fresh));
    EXPECT_EQ(log.skippedLines(), fresh.skippedLines());
    EXPECT_EQ(log.processorSeconds(), fresh.processorSeconds());  // summed in the same order
    EXPECT_EQ(briefs(copy), copied);
}

TEST(JobLog, AnAppendIsReadFromWhereTheLastReadStopped) {
    test::TempDir dir;
    const std::string path = dir.write("job_log_x.txt", "1 nm a\n2 nm b\n");
    JobLog log;
    ASSERT_TRUE(log.update(path));
    EXPECT_EQ(log.bytesConsumed(), 14u);
    const std::size_t held = log.memoryBytes();
    std::ofstream(path, std::ios::app) << "3 nm c\n";
    ASSERT_TRUE(log.update(path));
    EXPECT_EQ(log.bytesConsumed(), 21u);
    // Only the appended line was read, into a piece of its own: its text, its
    // task's record and the piece, not a block of records.
    EXPECT_LT(log.memoryBytes(), held + 512);
}

}  // namespace
}  // namespace crunchwatch

// crunchwatch-dump over several sources: each host's report is what the
// source alone gives, under the host's name, in the order given, in every
// mode; a source that cannot be read is said so, the others still written.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump/dump_run.hpp"
#include "dump/hosts_report.hpp"

namespace crunchwatch {
namespace {

using test::dump;
using test::Outcome;

const std::string two = std::string(CRUNCHWATCH_TEST_DATA_DIR) + "/state-two-projects.xml";
const std::string example = std::string(CRUNCHWATCH_EXAMPLES_DIR) + "/client_state.xml";
const std::string missing = "/nonexistent/client_state.xml";
const std::string now = "1750000000";

// The JSON without the figures of its disk walk that are each run's own:
// when it ran, and the disk's free space (builds write beside the tests).
std::string withoutWalkTime(const std::string& json) {
    return test::blankValues(json, {"counted_at", "free_bytes", "allowed_bytes", "allowed_by"});
}

// One source's JSON members as they stand among several: without the braces
// and line feed around them, the client's host as "host_info".
std::string membersAlone(const std::string& source) {
    std::string json = withoutWalkTime(dump({"--json", "--now", now, source}).out);
    json = json.substr(1, json.size() - 3);
    const std::size_t host = json.find(",\"host\":{\"timezone\"");
    if (host != std::string::npos) json.replace(host, 8, ",\"host_info\":");
    return json;
}

TEST(DumpHosts, EachHostIsWhatItsSourceAloneGives) {
    const Outcome json = dump({"--json", "--now", now, two, "office=" + example, missing});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_NE(json.err.find("could not read " + missing), std::string::npos) << json.err;
    // The names: the client's own (<domain_name>), or given, else the folder's.
    Outcome named = dump({"--json", "--now", now, "a=" + two, "office=" + example, missing});
    named.out = withoutWalkTime(named.out);
    EXPECT_EQ(named.out.rfind("{\"hosts\":[{\"host\":\"a\",\"source\":\"" + two + "\"," + membersAlone(two) + "},", 0),
              0u)
        << named.out.substr(0, 300);
    EXPECT_NE(named.out.find("{\"host\":\"office\",\"source\":\"" + example + "\"," + membersAlone(example) + "}"),
              std::string::npos);
    EXPECT_NE(named.out.find("{\"host\":\"nonexistent\",\"source\":\"" + missing +
                             "\",\"error\":\"Error: file not found!\",\"reason\":\"there is no such file\"}]}\n"),
              std::string::npos)
        << named.out.substr(named.out.size() - 300);

    // Text: each report under its heading, as the source alone writes it.
    const Outcome text = dump({"--now", now, "a=" + two, "b=" + example});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "== a (" + two + ")\n" + dump({"--now", now, two}).out + "\n== b (" + example + ")\n" +
                            dump({"--now", now, example}).out);
}

TEST(DumpHosts, MetricsCarryTheHostAndEachFamilyOnce) {
    const Outcome both = dump({"--prometheus", "--now", now, "a=" + two, "b=" + example});
    EXPECT_EQ(both.exitCode, 0) << both.err;
    std::vector<std::string> samples;
    std::size_t helps = 0, families = 0;
    for (std::size_t at = 0; at < both.out.size();) {
        const std::size_t end = both.out.find('\n', at);
        const std::string line = both.out.substr(at, end - at);
        at = end + 1;
        if (line.starts_with("# HELP ")) {
            ++helps;
            const std::string name = line.substr(7, line.find(' ', 7) - 7);
            EXPECT_EQ(both.out.find("# HELP " + name + " "), both.out.rfind("# HELP " + name + " ")) << name;
            ++families;
        } else if (!line.starts_with("#")) {
            EXPECT_TRUE(line.find("{host=\"a\"") != std::string::npos || line.find("{host=\"b\"") != std::string::npos)
                << line;
            samples.push_back(line);
        }
    }
    EXPECT_GT(families, 10u);
    // Every sample of each source alone, labelled, and nothing else.
    std::size_t alone = 0;
    for (const auto& [name, source] : {std::pair{"a", two}, std::pair{"b", example}}) {
        const std::string labelled = withHostLabel(dump({"--prometheus", "--now", now, source}).out, name);
        for (std::size_t at = 0; at < labelled.size();) {
            const std::size_t end = labelled.find('\n', at);
            const std::string line = labelled.substr(at, end - at);
            at = end + 1;
            if (line.empty() || line.starts_with("#")) continue;
            ++alone;
            EXPECT_NE(both.out.find(line + "\n"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(samples.size(), alone);
}

TEST(DumpHosts, NamesAreToldApartAndASourceGivenTwiceIsRefused) {
    HostSource a{{}, "/x/one/client_state.xml"}, b{{}, "/y/one"}, c{"one", "/z/client_state.xml"};
    std::vector<HostSource> sources{a, b, c};
    nameHosts(sources, {nullptr, nullptr, nullptr});
    EXPECT_EQ(sources[0].name, "one (2)");
    EXPECT_EQ(sources[1].name, "one (3)");
    EXPECT_EQ(sources[2].name, "one");
    EXPECT_EQ(hostSourceOf("pi=/srv/boinc").name, "pi");
    EXPECT_EQ(hostSourceOf("/srv/a=b/client_state.xml").name, "");
    const Outcome twice = dump({two, "again=" + two});
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_NE(twice.err.find("the same state file twice"), std::string::npos) << twice.err;
}

}  // namespace
}  // namespace crunchwatch

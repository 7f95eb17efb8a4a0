#include "state/sections.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace crunchwatch {
namespace {

using Opt = std::optional<std::string_view>;

struct SectionCase {
    const char* what;
    std::string_view text;
    Opt host_info, project, active_task_set;
    std::string_view platform_name;
};

const SectionCase sectionCases[] = {
    {"all four", "<client_state><host_info>H</host_info><project>P</project><active_task_set>A</active_task_set>"
                 "<platform_name>x</platform_name></client_state>",
     "<host_info>H</host_info>", "<project>P</project>", "<active_task_set>A</active_task_set>",
     "<platform_name>x</platform_name></client_state>"},
    {"empty file", "", std::nullopt, std::nullopt, std::nullopt, ""},
    {"not a state file", "hello", std::nullopt, std::nullopt, std::nullopt, "hello"},
    {"no active_task_set", "<host_info>H<project>P<platform_name>x", "<host_info>H", "<project>P<platform_name>x",
     std::nullopt, ""},
    {"no host_info", "<client_state><project>P<active_task_set>A<platform_name>x", std::nullopt, "<project>P",
     "<active_task_set>A", "<platform_name>x"},
    {"host_info but no project", "<host_info>H<active_task_set>A<platform_name>x",
     "<host_info>H<active_task_set>A<platform_name>x", std::nullopt, std::nullopt, ""},
    {"neither host_info nor project", "<x/><active_task_set>A<platform_name>x", std::nullopt, std::nullopt,
     "<active_task_set>A", "<platform_name>x"},
    {"no platform_name", "<project>P<active_task_set>A", std::nullopt, "<project>P", "<active_task_set>A", ""},
    {"project only before host_info", "<project>P<host_info>H", "<host_info>H", std::nullopt, std::nullopt, ""},
    {"active_task_set only before project", "<active_task_set>A<project>P", std::nullopt, "<project>P",
     std::nullopt, ""},
    {"empty active_task_set", "<project>P<active_task_set></active_task_set><platform_name>p</platform_name>",
     std::nullopt, "<project>P", "<active_task_set></active_task_set>", "<platform_name>p</platform_name>"},
};

TEST(Sections, EachCutSearchesFromWhereThePreviousSectionEnded) {
    for (const SectionCase& c : sectionCases) {
        SCOPED_TRACE(c.what);
        const Sections s = sekcje(c.text);
        EXPECT_EQ(s.host_info, c.host_info);
        EXPECT_EQ(s.project, c.project);
        EXPECT_EQ(s.active_task_set, c.active_task_set);
        EXPECT_EQ(s.platform_name, c.platform_name);
    }
}

TEST(Sections, WhitespaceOnlyFileLoadsWithNoSections) {
    const StateFile f = prepareText(TextBuffer::copyOf(" \r\n\t\n  \n"));
    EXPECT_EQ(f.text.view(), "");
    EXPECT_FALSE(f.sekcje.host_info || f.sekcje.project || f.sekcje.active_task_set);
    EXPECT_EQ(f.sekcje.platform_name, "");
}

// Records hold views into the text: moving the loaded file must not move the text.
TEST(Sections, SectionsStayValidWhenTheFileIsMoved) {
    StateFile f = prepareText(TextBuffer::copyOf("<host_info>\r\n  H\r\n<project>\r\n P \r\n<active_task_set>\r\n"));
    const StateFile moved = std::move(f);
    const std::string_view text = moved.text.view();
    EXPECT_EQ(text, "<host_info>H<project>P<active_task_set>");
    ASSERT_TRUE(moved.sekcje.project);
    EXPECT_EQ(*moved.sekcje.project, "<project>P");
    EXPECT_EQ(moved.sekcje.project->data(), text.data() + 12);
    EXPECT_EQ(moved.sekcje.platform_name.data(), text.data() + text.size());
}

TEST(Sections, PrzygotujPlikReadsNormalisesAndCuts) {
    test::TempDir dir;
    const auto path = dir.write("client_state.xml", "<client_state>\r\n  <host_info>\r\n    <p>x</p>\r\n"
                                                    "  </host_info>\r\n  <project>\r\n    <master_url>u</master_url>\r\n"
                                                    "  </project>\r\n  <platform_name>os</platform_name>\r\n");
    const auto f = przygotujPlik(path);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->sekcje.host_info, Opt("<host_info><p>x</p></host_info>"));
    EXPECT_EQ(f->sekcje.project, Opt("<project><master_url>u</master_url></project><platform_name>os</platform_name>"));
    EXPECT_FALSE(f->sekcje.active_task_set);
    EXPECT_FALSE(przygotujPlik((dir.path() / "missing.xml").string()));
    EXPECT_FALSE(przygotujPlik(dir.path().string()));
    EXPECT_FALSE(przygotujPlik(""));
}

}  // namespace
}  // namespace crunchwatch

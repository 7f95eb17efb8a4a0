#include "dump/task_figures.hpp"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace crunchwatch {
namespace {

TEST(TaskFigures, OneStateLabelPerStateText) {
    const struct {
        std::optional<std::string_view> text;
        std::string_view label;
    } cases[] = {
        {"Downloading", "downloading"}, {"Waiting", "waiting"}, {"running...", "running"}, {"Paused", "paused"},
        {"Finished", "finished"},       {"Sent", "sent"},       {std::nullopt, "other"},    {"3", "other"},
        {"running", "other"},           {"paused", "other"},    {"", "other"},
    };
    for (const auto& c : cases) EXPECT_EQ(taskStateLabel(c.text), c.label) << c.text.value_or("(none)");
}

TEST(TaskFigures, AtRiskOnlyWhenBothMomentsAreKnown) {
    const struct {
        std::optional<double> completion, deadline;
        std::optional<bool> atRisk;
    } cases[] = {
        {10, 20, false}, {20, 20, false}, {21, 20, true}, {std::nullopt, 20, std::nullopt}, {10, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        TaskFigures f;
        f.completion = c.completion;
        f.deadline = c.deadline;
        EXPECT_EQ(f.deadlineAtRisk(), c.atRisk) << c.completion.value_or(-1) << " " << c.deadline.value_or(-1);
    }
}

}  // namespace
}  // namespace crunchwatch

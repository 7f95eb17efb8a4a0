#pragma once
// The tables' columns: identifiers (what a cell is asked for by), titles, and
// what the estimate columns mean. The window and the headless dump share them.

#include <array>
#include <string_view>

namespace crunchwatch {

struct Column {
    std::string_view id;
    std::string_view title;
    std::string_view tooltip;
};

inline constexpr std::array<Column, 9> resultColumns{{
    {"WUnit", "Work unit", "The work unit this result computes"},
    {"PName", "Project", "The project the result belongs to"},
    {"Version", "Version", "The application version"},
    {"State", "State", "Downloading, waiting, running..., paused, finished or sent"},
    {"Progress", "Progress", "Fraction done of a task in progress; a current client records it at the "
                               "task's checkpoints"},
    {"CPUTime", "CPU time", "Processor time used so far"},
    {"ETR", "Remaining", "Processor time still needed: the time used, divided by the fraction done, "
                         "times the fraction left"},
    {"ETC", "Completes", "When the task should finish: the remaining time stretched by the project's "
                         "share of the processor, counted from now; orange when that is after the deadline"},
    {"Deadline", "Deadline", "When the result must be reported to its project"},
}};

inline constexpr std::array<Column, 11> projectColumns{{
    {"project_name", "Project", "The project's name"},
    {"user_total_credit", "User credit", "Total credit of your account"},
    {"user_expavg_credit", "User average", "Recent average credit of your account"},
    {"user_create_time", "User since", "When your account was created"},
    {"host_total_credit", "Host credit", "Total credit of this computer"},
    {"host_expavg_credit", "Host average", "Recent average credit of this computer"},
    {"host_create_time", "Host since", "When this computer joined the project"},
    {"exp_avg_mod_time", "Average updated", "When the recent averages were last updated"},
    {"min_rpc_time", "Next contact", "Earliest time of the next scheduler request (seconds since 1970)"},
    {"resource_share", "Share", "The project's resource share"},
    {"app_name", "Application", "The first application named in the project's records"},
}};

}  // namespace crunchwatch

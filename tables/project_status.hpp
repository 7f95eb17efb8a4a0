#pragma once
// A project's scheduling state in words, counted from now: the Status
// column's text ("Suspended by user · Won't get new tasks · Communication
// deferred 01:23:45 · Scheduler request pending: to report completed
// tasks") and its tooltip, which lists every value the state file holds.

#include <optional>
#include <string>

#include "state/client_status.hpp"

namespace crunchwatch {

// A time left as hours:minutes:seconds; "more than 9999 hours" beyond that,
// and nothing for a moment that has passed or is not a number.
std::optional<std::string> countdown(double seconds);

// The Status column's text: what holds the project back or is under way,
// each part a short phrase, joined by " · "; empty when nothing does.
std::string projectStatusText(const ProjectStatus& status, double now);

// Every value, one per line, named for people, with its text as stored.
std::string projectStatusTip(const ProjectStatus& status, double now, const std::optional<std::string>& dateFormat);

}  // namespace crunchwatch

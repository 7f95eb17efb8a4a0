#pragma once
// The extraction pass: from the sections of a loaded state file to the
// project records, each with its results joined to their workunits and merged
// with the active tasks working on them.
//
// Every value is a view into the state file's normalised text, cut verbatim
// (entities undecoded, numbers as text); the records are only valid while
// that text lives. ClientState keeps the two together.

#include <string>
#include <vector>

#include "state/record.hpp"
#include "state/sections.hpp"

namespace crunchwatch {

// One result: its own values ("name", "exit_status", "state", "wu_name",
// "report_deadline", "ready_to_report"), its workunit's "app_name" and
// "version_num", and the values of the active task working on it.
using resultRecord = Record;

// One project block: its fourteen values, and under "result" its results in
// file order (always there, possibly empty).
struct projectRecord {
    Record values;
    std::vector<resultRecord> result;
};

// projectInfo: the project records in file order.
using ProjectInfo = std::vector<projectRecord>;

// wyciagamyDane ("we extract the data"): the whole pass over the sections.
ProjectInfo wyciagamyDane(const Sections& sekcje);

// A successfully loaded state file and what was extracted from it.
struct ClientState {
    StateFile file;
    ProjectInfo projectInfo;
};

// Reads, normalises, sections and extracts; nothing when unreadable.
std::optional<ClientState> loadClientState(const std::string& path);
// The same, and on failure `why` records what the reader saw.
std::optional<ClientState> loadClientState(const std::string& path, ReadFailure& why);
// The same for contents already in memory (tests, fuzzing, benchmarks).
ClientState clientStateFromText(std::string_view contents);

}  // namespace crunchwatch

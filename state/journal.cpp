#include "state/journal.hpp"

// Placeholder until the sd-journal reader lands: no journal.
namespace crunchwatch {

struct JournalReader::Handle {};

JournalReader::JournalReader(std::optional<std::string> file, std::string unit)
    : m_file(std::move(file)), m_unit(std::move(unit)) {}
JournalReader::~JournalReader() = default;
JournalOutcome JournalReader::readOn(EventLog&) { return {JournalState::unavailable, "not built"}; }
bool JournalReader::changed() { return false; }
bool JournalReader::hasEntries() { return false; }

}  // namespace crunchwatch

#include "state/event_log.hpp"
// placeholder, replaced by the reader
namespace crunchwatch {
struct EventLog::Piece {};
bool startsWithMoment(std::string_view) noexcept { return false; }
std::optional<double> momentSeconds(std::string_view) noexcept { return std::nullopt; }
std::string momentText(double) { return {}; }
std::size_t EventLog::size() const noexcept { return 0; }
EventEntry EventLog::entry(std::size_t) const noexcept { return {}; }
std::size_t EventLog::memoryBytes() const noexcept { return 0; }
void EventLog::append(std::string_view, EventSeverity) {}
void EventLog::keepNewest(std::size_t) {}
EventLog EventLog::fromText(std::string_view, EventSeverity) { return {}; }
EventLogFile::EventLogFile(std::string path, std::optional<std::string> rotatedPath, EventSeverity severity)
    : m_path(std::move(path)), m_rotatedPath(std::move(rotatedPath)), m_severity(severity) {}
bool EventLogFile::readOn(EventLog&, ReadFailure&) { return false; }
bool EventLogFile::changed() const { return false; }
}  // namespace crunchwatch

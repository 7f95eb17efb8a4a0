#pragma once
// The client's history files in its data directory (the state file's
// directory): statistics_*.xml (credit per day) and job_log_*.txt (one line
// per finished task), kept between refreshes so that an unchanged history
// costs one stat per file, and an appended job log line costs that line.
//
// Only regular files are read; nothing is ever written. A file that cannot
// be read keeps what was read from it before; a file never read is not shown;
// a file gone from the directory is dropped.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/job_log.hpp"
#include "state/statistics.hpp"

namespace crunchwatch {

// What changes when a file is rewritten, renamed into place or appended to:
// its modification time, identity and size (the file's date text).
struct FileStamp {
    std::int64_t seconds = 0, nanoseconds = 0;
    FileIdentity identity;
    std::uint64_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

struct StatisticsFile {
    std::string name;  // the file's name in the directory
    std::optional<FileStamp> stamp;  // of the last successful read
    std::optional<ProjectStatistics> statistics;  // nothing until read once
};

struct JobLogFile {
    std::string name;
    std::optional<FileStamp> stamp;
    bool read = false;  // the log has been read at least once
    JobLog log;
};

class History final {
public:
    // Lists `directory` and reads the files that changed since the last call
    // (every file, when the directory is not the one of the last call).
    // True when anything shown changed. A directory that cannot be listed
    // changes nothing.
    bool refresh(const std::string& directory);

    // Both in byte order of the file names; entries not yet read included.
    const std::vector<StatisticsFile>& statisticsFiles() const noexcept { return m_statistics; }
    const std::vector<JobLogFile>& jobLogFiles() const noexcept { return m_jobLogs; }
    const std::string& directory() const noexcept { return m_directory; }

private:
    std::string m_directory;
    std::vector<StatisticsFile> m_statistics;
    std::vector<JobLogFile> m_jobLogs;
};

// The file names the history is read from.
bool isStatisticsFileName(std::string_view name) noexcept;
bool isJobLogFileName(std::string_view name) noexcept;

}  // namespace crunchwatch

#pragma once
// The client's history files in its data directory (the state file's
// directory): statistics_*.xml (credit per day) and job_log_*.txt (one line
// per finished task), kept between refreshes so that an unchanged history
// costs one stat per file, and an appended job log line costs that line.
//
// Only regular files are read; nothing is ever written. A file that cannot
// be read keeps what was read from it before, and says why it could not be
// read; a file never read shows no data; a file gone from the directory is
// dropped.
//
// A History is a value: copies share the immutable pieces read (statistics,
// job log pieces), so a copy costs its files and pieces, never its tasks or
// bytes. Refreshing one copy never changes what another shows, and a const
// copy may be read on one thread while another copy is refreshed on another.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/file_stat.hpp"
#include "state/job_log.hpp"
#include "state/read_failure.hpp"
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
    std::shared_ptr<const ProjectStatistics> statistics;  // nothing until read once
    ReadFailure failure = ReadFailure::none;  // why the last read failed; none after a read
};

struct JobLogFile {
    std::string name;
    std::optional<FileStamp> stamp;
    bool read = false;  // the log has been read at least once
    JobLog log;
    ReadFailure failure = ReadFailure::none;
};

class Folder;

class History final {
public:
    // Lists `directory` and reads the files that changed since the last call
    // (every file, when the directory is not the one of the last call).
    // True when anything shown changed, a reason for a failure included. A
    // directory that cannot be listed keeps its files as they were.
    bool refresh(const Folder& folder);
    bool refresh(const std::string& directory);  // a directory of this machine

    // Both in byte order of the file names; entries not yet read included.
    const std::vector<StatisticsFile>& statisticsFiles() const noexcept { return m_statistics; }
    const std::vector<JobLogFile>& jobLogFiles() const noexcept { return m_jobLogs; }
    const std::string& directory() const noexcept { return m_directory; }
    // Why the directory could not be listed at the last refresh; none when it was.
    ReadFailure listFailure() const noexcept { return m_listFailure; }

private:
    std::string m_directory;
    std::vector<StatisticsFile> m_statistics;
    std::vector<JobLogFile> m_jobLogs;
    ReadFailure m_listFailure = ReadFailure::none;
};

// The file names the history is read from.
bool isStatisticsFileName(std::string_view name) noexcept;
bool isJobLogFileName(std::string_view name) noexcept;

}  // namespace crunchwatch

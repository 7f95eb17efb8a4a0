#include "bench/refresh_paths.hpp"

#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tables/columns.hpp"
#include "tables/projects_cells.hpp"
#include "tables/results_cells.hpp"
#include "tables/refresher.hpp"

namespace crunchwatch::bench {
namespace {

const std::optional<std::string> defaultFormat;

std::size_t textLength(const std::optional<std::string>& text) { return text ? text->size() + 1 : 0; }

}  // namespace

long long floorPass(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return -1;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    auto data = std::make_unique_for_overwrite<char[]>(size + 1);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data.get() + got, size - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    long long lines = 0;
    const char* p = data.get();
    const char* const end = p + got;
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
        ++lines;
        ++p;
    }
    return lines;
}

std::size_t visibleCellTexts(const ProjectInfo& projects, const ResultRows& rows) {
    std::size_t total = 0;
    const std::size_t shown = std::min(rows.main_result_table.size(), visibleResultRows);
    for (std::size_t i = 0; i < shown; ++i)
        for (const auto& c : resultColumns)
            total += textLength(cellText(c.cell(rows.main_result_table[i], benchNow), defaultFormat));
    for (const projectRecord& p : projects)
        for (const auto& c : projectColumns) total += textLength(cellText(c.cell(p, 0), defaultFormat));
    return total;
}

// The refresh as the window and the dump make it: the state file, then the
// history and the preferences beside it (the benchmark's folder has none).
std::size_t oursRefresh(const std::string& path) {
    const RefreshValuePtr value = Refresher().refresh(StatePath(path));
    if (!*value) return 0;
    const Snapshot& s = *value->snapshot;
    // As the refresh cycle does: no rows for a file without projects.
    if (s.numberOfProjects == 0) return 1;
    return visibleCellTexts(s.state.projectInfo, s.rows);
}

std::string allCellTexts(const ProjectInfo& projects, const ResultRows& rows) {
    std::string out;
    const auto add = [&](const std::optional<std::string>& text) {
        out += text ? *text : std::string("<none>");
        out += '\t';
    };
    for (const resultRow& row : rows.main_result_table) {
        for (const auto& c : resultColumns) add(cellText(c.cell(row, benchNow), defaultFormat));
        out += '\n';
    }
    for (const projectRecord& p : projects) {
        for (const auto& c : projectColumns) add(cellText(c.cell(p, 0), defaultFormat));
        out += '\n';
    }
    return out;
}

}  // namespace crunchwatch::bench

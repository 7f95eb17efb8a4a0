#include "tables/snapshot.hpp"

#include "state/local_folder.hpp"

namespace crunchwatch {
namespace {

// The counting half of a refresh (policzIWstawDoTabelki's "count"): the rows
// and both counters, from the records just extracted.
Snapshot countedSnapshot(ClientState state) {
    Snapshot s;
    s.state = std::move(state);
    s.numberOfProjects = s.state.projectInfo.size();
    if (s.numberOfProjects == 0) return s;
    // Built after the records have reached their place: rows read through to them.
    s.rows = buildResultRows(s.state.projectInfo);
    s.totalCredit = s.rows.totalCredit;
    return s;
}

}  // namespace

Snapshot takeSnapshot(const std::string& path) { return takeSnapshot(LocalFolder(), path); }

Snapshot takeSnapshot(const Folder& folder, std::string_view name) {
    ReadFailure why = ReadFailure::none;
    // przygotujPlik and wyciagamyDane in one pass over the file: each project
    // block is extracted as the section cut passes over it.
    auto state = loadClientState(folder, name, why);
    if (!state) {
        Snapshot failed;
        // A reader that failed without saying why still failed.
        failed.status.failure = why == ReadFailure::none ? ReadFailure::ioError : why;
        return failed;
    }
    return countedSnapshot(std::move(*state));
}

Snapshot snapshotOfText(std::string_view contents) { return countedSnapshot(clientStateFromText(contents)); }

}  // namespace crunchwatch

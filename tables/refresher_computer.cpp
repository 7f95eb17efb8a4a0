// The refresh's step for the Computer and Disk tabs: the files beside the
// state file read again when their dates change, the disk walked at most
// once a period (and at once when the projects change), and the tabs' rows
// built anew only when something they show changed, so that a view keeps its
// place when nothing did.

#include "state/paths.hpp"
#include "tables/date_value.hpp"
#include "tables/refresher.hpp"

namespace crunchwatch {
namespace {

// What a walk counted for: the folder and the projects' folders, in order.
std::string walkKey(const std::string& dir, const std::vector<ProjectFolders>& folders) {
    std::string key = dir;
    for (const ProjectFolders& f : folders) (key += '\n') += f.dir;
    return key;
}

}  // namespace

void Refresher::computerStep(const StatePath& path) {
    const StatePath shownPath = m_lastReadPath.empty() ? path : StatePath(m_lastReadPath);
    const std::string& dir = shownPath.rootDir();
    bool changed = false;

    const std::string filesFor = dir + '\n' + hostFilesStamp(dir);
    if (!m_hostFiles || filesFor != m_hostFilesFor) {
        m_hostFiles = std::make_shared<const HostFiles>(readHostFiles(dir));
        m_hostFilesFor = filesFor;
        changed = true;
    }

    const Snapshot& shown = *m_snapshot;
    if (m_diskOptions.walk && shown) {
        std::vector<ProjectFolders> folders = projectFolders(shown.state);
        const std::string key = walkKey(dir, folders);
        const bool due = !m_walk || nowSeconds() - m_walk->takenAt >= m_diskOptions.every || nowSeconds() < m_walk->takenAt;
        if (key != m_walkedFor || due) {
            m_walk = std::make_shared<const DiskWalk>(walkDisk(dir, folders, m_diskOptions.mostEntries));
            m_walkedFor = key;
            changed = true;
        }
    }

    if (!changed && m_computerSnapshot == m_snapshot.get() && m_computerPrefs == m_prefs.get()) return;
    auto next = std::make_shared<ComputerValue>();
    next->files = m_hostFiles;
    const EffectivePrefs& prefs = m_prefs->effective;
    next->lines = computerLines(shown.state.host, shown.state.clientStatus.client, m_hostFiles.get(), prefs);
    // A walk of another folder's projects (the file was left for another)
    // counts for nothing here.
    const bool walkFits = m_walk && m_walkedFor == walkKey(dir, projectFolders(shown.state));
    next->disk = diskFigures(shown.state, shown.state.host, prefs, walkFits ? m_walk : nullptr);
    m_computer = std::move(next);
    m_computerSnapshot = m_snapshot.get();
    m_computerPrefs = m_prefs.get();
}

// The disk as last counted and the files beside it are kept: counting
// again waits for its time, or for the projects to change.
void Refresher::resumeComputer(const RefreshValuePtr& last) {
    m_computer = last->computer;
    m_computerSnapshot = last->snapshot.get();
    m_computerPrefs = last->prefs.get();
    m_walk = last->computer->disk.walk;
    m_walkedFor = m_walk && *last ? walkKey(last->path.rootDir(), projectFolders(last->snapshot->state)) : std::string();
}

}  // namespace crunchwatch

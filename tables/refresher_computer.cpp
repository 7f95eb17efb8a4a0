// The refresh's step for the Computer and Disk tabs: the files beside the
// state file read again when their dates change, the disk walked at most
// once a period (and at once when the projects change), and the tabs' rows
// built anew only when something they show changed, so that a view keeps its
// place when nothing did.

#include "state/paths.hpp"
#include "tables/date_value.hpp"
#include "tables/refresher.hpp"

namespace crunchwatch {

bool Refresher::walkedTheFolders() const {
    if (!m_walk || !m_folders || !m_walkedDigest || m_walkedDir != m_foldersDir) return false;
    if (m_walkedFolders) return m_walkedFolders == m_folders || *m_walkedFolders == *m_folders;
    return *m_walkedDigest == m_folders->digest();
}

void Refresher::computerStep(const StatePath& path) {
    const StatePath shownPath = m_lastReadPath.empty() ? path : StatePath(m_lastReadPath);
    const std::string& dir = shownPath.rootDir();
    bool changed = false;

    const Folder& folder = folderOf(dir);
    const std::string filesFor = dir + '\n' + hostFilesStamp(folder);
    if (!m_hostFiles || filesFor != m_hostFilesFor) {
        m_hostFiles = std::make_shared<const HostFiles>(readHostFiles(folder));
        m_hostFilesFor = filesFor;
        changed = true;
    }

    const Snapshot& shown = *m_snapshot;
    // The folders asked for are those of the snapshot shown: worked out
    // again only with a new snapshot, so that a refresh that does not walk
    // costs two attribute queries here.
    if (m_foldersOf != m_snapshot.get() || m_foldersDir != dir) {
        m_folders = std::make_shared<const ProjectFolderList>(projectFolders(shown.state));
        m_foldersOf = m_snapshot.get();
        m_foldersDir = dir;
    }
    if (m_diskOptions.walk && shown) {
        const double now = nowSeconds();
        const bool due = !m_walk || now - m_walk->takenAt >= m_diskOptions.every || now < m_walk->takenAt;
        if (!walkedTheFolders() || due) {
            m_walk = std::make_shared<const DiskWalk>(folder.walkDisk(*m_folders, m_diskOptions.mostEntries));
            m_walkedDir = m_foldersDir;
            m_walkedFolders = m_folders;
            m_walkedDigest = m_folders->digest();
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
    const bool walkFits = walkedTheFolders();
    next->disk = diskFigures(std::shared_ptr<const ClientState>(m_snapshot, &shown.state), shown.state.host, prefs,
                             walkFits ? m_walk : nullptr);
    if (walkFits) {
        next->walkedDir = m_walkedDir;
        next->walkedDigest = m_walkedDigest;
    }
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
    m_walkedDir = last->computer->walkedDir;
    m_walkedFolders = nullptr;
    m_walkedDigest = last->computer->walkedDigest;
}

}  // namespace crunchwatch

#include "app/state_path.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

#include "app/settings.hpp"

namespace crunchwatch {

QString defaultStatePath() {
    return QDir::homePath() + QStringLiteral("/Library/Application Support/Boinc Data/") +
           QStringLiteral("client_state.xml");
}

QString resolveStatePath(const Settings& settings, const QStringList& dataDirs) {
    if (auto chosen = settings.clientStateLocation()) return *chosen;
    if (auto lastDirectory = settings.lastCurrentDirectory()) return *lastDirectory;
    for (const QString& dir : dataDirs) {
        const QString candidate = dir + QStringLiteral("/client_state.xml");
        if (QFileInfo::exists(candidate)) return candidate;
        // The client keeps its directory to its own group: one that is there
        // but cannot be searched may well hold the file, and showing it lets
        // the message explain the permission instead of some other place.
        if (QFileInfo(dir).isDir() && ::access(QFile::encodeName(dir).constData(), X_OK) != 0) return candidate;
    }
    // A client installed but not started yet has its directory and no file:
    // that is where the file will come, and the watchdog picks it up there.
    for (const QString& dir : dataDirs)
        if (QFileInfo(dir).isDir()) return dir + QStringLiteral("/client_state.xml");
    return defaultStatePath();
}

}  // namespace crunchwatch

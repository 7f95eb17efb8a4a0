#include "app/state_path.hpp"

#include <QDir>
#include <QFileInfo>

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
    }
    return defaultStatePath();
}

}  // namespace crunchwatch

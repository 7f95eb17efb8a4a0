#include "app/unreadable_reason.hpp"

#include <QCoreApplication>

#include "app/state_path.hpp"

namespace crunchwatch {

QString unreadableReason(const QString& path, ReadFailure why) {
    if (path.isEmpty() || why == ReadFailure::noPath) return QCoreApplication::translate("crunchwatch", "No state file is chosen.");
    // The reader's texts are plain C++ (crunchwatch-dump prints them too);
    // each is a literal, so it serves as its own translation key.
    const QString reason = QCoreApplication::translate("crunchwatch::ReadFailure", readFailureReason(why));
    return QCoreApplication::translate("crunchwatch", "crunchwatch could not read %1: %2.").arg(path, reason);
}

QString unreadableHelp(const QString& path, ReadFailure why) {
    return QCoreApplication::translate("crunchwatch",
                                       "%1\n\nThe Linux client keeps its files in %2 (Debian, Ubuntu) or %3 (Fedora, "
                                       "Arch). To show another state file, choose File \u25B8 Open\u2026")
        .arg(unreadableReason(path, why), linuxClientDataDirs.value(0), linuxClientDataDirs.value(1));
}

}  // namespace crunchwatch

#include "app/unreadable_reason.hpp"

#include <cerrno>

#include <QObject>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace crunchwatch {

QString unreadableReason(const QString& path) {
    if (path.isEmpty()) return QObject::tr("No state file is chosen. Use Open to choose one.");
    const QByteArray native = path.toLocal8Bit();
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        if (errno == EACCES)
            return QObject::tr("Permission denied for %1. The client's files belong to its group (usually "
                               "\"boinc\"); add your user to that group and log in again.").arg(path);
        return QObject::tr("There is no file %1.").arg(path);
    }
    if (!S_ISREG(st.st_mode)) return QObject::tr("%1 is not a regular file.").arg(path);
    if (::access(native.constData(), R_OK) != 0)
        return QObject::tr("Permission denied for %1. The client's files belong to its group (usually "
                           "\"boinc\"); add your user to that group and log in again.").arg(path);
    return QObject::tr("%1 could not be read.").arg(path);
}

}  // namespace crunchwatch

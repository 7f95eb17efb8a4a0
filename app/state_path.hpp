#pragma once
// Which state file the window shows when it starts.

#include <QString>
#include <QStringList>

namespace crunchwatch {

class Settings;

// Where the client keeps its data on Linux: Debian and Ubuntu, then Fedora and Arch.
inline const QStringList linuxClientDataDirs{QStringLiteral("/var/lib/boinc-client"), QStringLiteral("/var/lib/boinc")};

// The chosen file ("client_state location"), else the file panel's last
// directory ("NSNavLastCurrentDirectory"), else the first client_state.xml
// found in `dataDirs` (or the first of them that exists but cannot be
// searched, so the error explains the permission), else the state file in
// the first of them that exists (a client not started yet), else the macOS
// client's place under the home directory.
// Whether the chosen path exists is not tested: a remembered file that is
// gone shows the error, not some other file.
QString resolveStatePath(const Settings& settings, const QStringList& dataDirs = linuxClientDataDirs);

// The home directory's default, used when nothing else is found.
QString defaultStatePath();

}  // namespace crunchwatch

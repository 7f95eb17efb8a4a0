#pragma once
// Why a state file could not be read, in plain words, for the path field's
// tooltip (the field itself says only "Error: file not found!").

#include <QString>

namespace crunchwatch {

QString unreadableReason(const QString& path);

}  // namespace crunchwatch

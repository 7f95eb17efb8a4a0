#pragma once
// Why the state file could not be read, in plain words, from the reason the
// reader recorded (the path field itself says only "Error: file not found!").

#include <QString>

#include "state/read_failure.hpp"

namespace crunchwatch {

// One sentence, for the path field's tooltip: the file and the reason.
QString unreadableReason(const QString& path, ReadFailure why);

// The paragraph the empty results table shows: the sentence above, where
// the Linux client keeps its files, and how to choose another one.
QString unreadableHelp(const QString& path, ReadFailure why);

}  // namespace crunchwatch

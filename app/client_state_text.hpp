#pragma once
// The client's state in words, for the status bar. Whether a client runs on
// the folder is told by its lock alone (the state file stays as the client
// left it): "Client 7.20.5 running (process 1234) · computing: according to
// preferences · network: always". A client known to have stopped is said to
// be stopped, since when, and nothing more: what its last file says it
// would do is not happening. Where no lock can be asked (a client started
// with --allow_multiple_clients makes none), the version and the modes are
// given, and that whether it runs cannot be told (the tip says why). Computing suspended (run
// mode "never", or every started task's process suspended) is said in words.
// Empty before any file was read.

#include <QString>

#include "tables/refresh_value.hpp"

namespace crunchwatch {

QString clientStateText(const RefreshValue& value);
// How the text was found out, for its tooltip.
QString clientStateTip(const RefreshValue& value);

}  // namespace crunchwatch

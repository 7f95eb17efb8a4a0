#include "state/client_lock.hpp"

#include "state/local_folder.hpp"

namespace crunchwatch {

ClientLock clientLock(const std::string& rootDir) { return LocalFolder(rootDir).lock(lockFileName); }

}  // namespace crunchwatch

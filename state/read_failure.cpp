#include "state/read_failure.hpp"

namespace crunchwatch {

const char* readFailureReason(ReadFailure why) noexcept {
    switch (why) {
    case ReadFailure::none: return "it was read";
    case ReadFailure::noPath: return "no file was named";
    case ReadFailure::invalidPath: return "the system cannot use that name";
    case ReadFailure::notFound: return "there is no such file";
    case ReadFailure::permissionDenied:
        // The client's data folder and files belong to its group, which a
        // desktop user is not in by default.
        return "permission denied; the client's files belong to the group \"boinc\": join it "
               "(sudo adduser $USER boinc) and log in again";
    case ReadFailure::notRegularFile: return "it is not a regular file";
    case ReadFailure::tooLarge: return "it is too large to read into memory";
    case ReadFailure::ioError: return "the system failed to read it";
    }
    return "the system failed to read it";
}

}  // namespace crunchwatch

#pragma once
// Why a file could not be read, as the reader saw it. The reader records the
// reason from the very calls that failed, so whatever explains the failure to
// the user (the window, crunchwatch-dump) says what actually happened, and
// nothing has to look at the file again to guess.

namespace crunchwatch {

enum class ReadFailure {
    none,              // the file was read
    noPath,            // the path is empty: no file was named
    invalidPath,       // a name the system cannot take (a NUL byte, too long, a link loop)
    notFound,          // no such file, or a folder on the way is missing
    permissionDenied,  // the file or a folder on the way may not be read by this user
    notRegularFile,    // a folder, FIFO, socket or device
    tooLarge,          // more than the memory that could be had for it
    ioError,           // any other failure of the system's calls
};

// The reason as a short English clause that follows "could not read FILE: ",
// e.g. "there is no such file". Always a string literal, so callers may use
// it as a key for translation.
const char* readFailureReason(ReadFailure why) noexcept;

}  // namespace crunchwatch

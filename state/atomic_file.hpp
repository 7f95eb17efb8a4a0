#pragma once
// Replacing a file so that a reader sees the old contents or the new, never
// a part: the text goes to a temporary file in the same directory, is
// flushed to the disk, and is renamed over the target.
//
// The temporary file's name starts with a dot and ends in neither ".prom"
// nor the target's extension, so a directory reader that picks files by
// their ending never serves it. The new file gets the permissions of a newly
// created one (0666 less the umask).

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace crunchwatch {

// Makes the folders on the way to `file` (each 0700), one that exists being
// fine; false when one cannot be made.
bool makeFolders(const std::string& file);

// Nothing on success; otherwise why it failed, with the target untouched and
// no temporary file left behind.
std::optional<std::string> replaceFileAtomically(const std::string& path, std::string_view contents);

// The same, written as it is made: what goes to stream() lands in the
// temporary file a piece at a time, so that a long text is never held whole.
// Until commit() succeeds the target stays as it was; a writer destroyed
// without it removes its temporary file.
class AtomicFileWriter final {
public:
    explicit AtomicFileWriter(const std::string& path);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    std::ostream& stream();
    // Flushes, renames over the target; nothing on success, else why not
    // (the first failure since the writer was made).
    std::optional<std::string> commit();

private:
    class Buffer;
    std::unique_ptr<Buffer> m_buffer;
    std::ostream m_stream;
};

}  // namespace crunchwatch

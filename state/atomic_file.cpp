#include "state/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <streambuf>

namespace crunchwatch {
namespace {

std::string failure(std::string_view what, const std::string& path, int error) {
    return std::string(what) + ' ' + path + ": " + std::strerror(error);
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

mode_t creationMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

// The temporary file and a buffer in front of it. After the first failure
// it takes what is written and drops it, and commit() reports that failure.
class AtomicFileWriter::Buffer final : public std::streambuf {
public:
    explicit Buffer(const std::string& path) : m_path(path) {
        const std::filesystem::path target(path);
        if (target.filename().empty()) {
            m_failure = "cannot write " + path + ": not a file name";
            return;
        }
        m_dir = target.parent_path().empty() ? "." : target.parent_path().string();
        std::string hidden = ".";
        hidden += target.filename().string();
        hidden += ".XXXXXX";
        m_temporary = (std::filesystem::path(m_dir) / hidden).string();
        m_fd = ::mkstemp(m_temporary.data());
        if (m_fd < 0) {
            m_failure = failure("cannot create a temporary file in", m_dir, errno);
            return;
        }
        if (::fchmod(m_fd, creationMode()) != 0) failed();
        setp(m_bytes.data(), m_bytes.data() + m_bytes.size());
    }
    ~Buffer() override {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_temporary.empty() && !m_committed) ::unlink(m_temporary.c_str());
    }

    std::optional<std::string> commit() {
        if (m_failure) return m_failure;
        if (!drain() || ::fsync(m_fd) != 0) failed();
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && !m_error) failed();
        if (!m_error && ::rename(m_temporary.c_str(), m_path.c_str()) != 0) failed();
        if (m_error) return failure("cannot write", m_path, m_error);
        m_committed = true;
        // The rename itself reaches the disk with the directory; a failure
        // here leaves a complete file in place, so it is not reported.
        const int dirFd = ::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        return std::nullopt;
    }

protected:
    int_type overflow(int_type c) override {
        if (!drain()) failed();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return 0; }  // commit() flushes, to the disk

private:
    // Hands the buffer to the file; true unless a write failed now or before.
    bool drain() {
        const std::string_view pending(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(m_bytes.data(), m_bytes.data() + m_bytes.size());
        return m_fd >= 0 && !m_error && writeAll(m_fd, pending);
    }
    void failed() {
        if (!m_error) m_error = errno != 0 ? errno : EIO;
    }

    std::string m_path, m_dir, m_temporary;
    int m_fd = -1;
    int m_error = 0;  // the first failure's errno once the file exists
    std::optional<std::string> m_failure;  // why there is no file to write to
    bool m_committed = false;
    std::array<char, 1 << 16> m_bytes{};
};

AtomicFileWriter::AtomicFileWriter(const std::string& path)
    : m_buffer(std::make_unique<Buffer>(path)), m_stream(m_buffer.get()) {}

AtomicFileWriter::~AtomicFileWriter() = default;

std::ostream& AtomicFileWriter::stream() { return m_stream; }

std::optional<std::string> AtomicFileWriter::commit() {
    m_stream.flush();
    return m_buffer->commit();
}

bool makeFolders(const std::string& file) {
    // Each folder of the path in turn; one that exists is fine.
    for (std::size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1))
        if (::mkdir(file.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
    return true;
}

std::optional<std::string> replaceFileAtomically(const std::string& path, std::string_view contents) {
    AtomicFileWriter writer(path);
    writer.stream().write(contents.data(), static_cast<std::streamsize>(contents.size()));
    return writer.commit();
}

}  // namespace crunchwatch

#pragma once
// A running client's lock, held by a child process, for the tests that need
// a client seen as running on a folder.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace crunchwatch::test {

// A child process that holds a POSIX write lock on `path` (created if need
// be) as a running client holds its lockfile's, until the object goes: the
// child is killed by its process id and waited for, whatever the test's
// outcome.
class LockHolder final {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            // Only calls that are safe after a fork, until the end; the
            // child goes with the test process, however that ends.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(1);
            ::close(ready[0]);
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            const char taken = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
            [[maybe_unused]] const auto written = ::write(ready[1], &taken, 1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char taken = 'n';
        while (m_pid > 0 && ::read(ready[0], &taken, 1) < 0 && errno == EINTR) {
        }
        ::close(ready[0]);
        m_locked = taken == 'y';
    }
    ~LockHolder() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    pid_t pid() const { return m_pid; }
    bool locked() const { return m_locked; }

private:
    pid_t m_pid = -1;
    bool m_locked = false;
};

}  // namespace crunchwatch::test

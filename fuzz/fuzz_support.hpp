#pragma once
// What the fuzz targets share: a check that stops the run with a message, a
// regular file for the readers to open by path, the vector level an input
// asks for, and the properties every normalised text has.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "state/vector_level.hpp"

// Marks a target's own checks and references: they are not the code under
// test, so they are left out of the coverage instrumentation. Their branches
// and comparisons then neither cost libFuzzer a callback each nor count as
// new coverage (which would keep inputs that are new only to a check);
// AddressSanitizer still checks every access they make to what the product
// handed them.
#define CRUNCHWATCH_FUZZ_CHECK __attribute__((no_sanitize("coverage")))

namespace crunchwatch::fuzz {

// A broken promise of the data path: libFuzzer saves the input that broke it.
inline void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "crunchwatch fuzz: %s\n", what);
    std::abort();
}

// The regular file each input is written to, opened by the readers by its
// path like any other, so that each input also goes through the real file
// reading: an anonymous file (its path through /proc), or, for a reader that
// also looks beside the file, one in a folder of its own under TMPDIR. The
// refresh lists and questions the state file's folder on every input:
// /proc/self/fd builds inodes for each of those lookups, and it lists this
// process's descriptors, which change as libFuzzer opens files. The folder
// goes at exit; a run that crashed leaves it behind, with the input.
enum class Beside : bool { nothing, ownFolder };

class InputFile final {
public:
    explicit InputFile(const char* name, Beside beside = Beside::nothing) {
        if (beside == Beside::nothing) {
            m_fd = ::memfd_create(name, MFD_CLOEXEC);
            require(m_fd >= 0, "memfd_create failed");
            m_path = "/proc/self/fd/" + std::to_string(m_fd);
            return;
        }
        const char* tmp = std::getenv("TMPDIR");
        m_folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/crunchwatch-fuzz-XXXXXX";
        require(::mkdtemp(m_folder.data()) != nullptr, "mkdtemp failed");
        m_path = m_folder + "/" + name;
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        require(m_fd >= 0, "the input's file could not be made");
    }
    ~InputFile() {
        ::close(m_fd);
        if (m_folder.empty()) return;
        ::unlink(m_path.c_str());
        ::rmdir(m_folder.c_str());
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The file now holds exactly `contents` (written over the last ones and
    // cut to length: emptying the file first would cost its pages each time).
    void write(std::string_view contents) {
        m_size = 0;
        append(contents);
        require(::ftruncate(m_fd, static_cast<off_t>(m_size)) == 0, "ftruncate failed");
    }
    // `more` added at the end, as a writer appends to a log.
    void append(std::string_view more) {
        for (std::size_t done = 0; done < more.size();) {
            const ssize_t n = ::pwrite(m_fd, more.data() + done, more.size() - done, static_cast<off_t>(m_size));
            require(n > 0, "pwrite failed");
            done += static_cast<std::size_t>(n);
            m_size += static_cast<std::size_t>(n);
        }
    }
    const std::string& path() const { return m_path; }

private:
    int m_fd = -1;
    std::size_t m_size = 0;
    std::string m_folder;  // empty for an anonymous file
    std::string m_path;
};

// The vector level an input asks for, by one of its bytes: over a run every
// level this processor has is used, one per input, for the whole data path.
inline VectorLevel useLevelChosenBy(unsigned choice) {
    static const std::vector<VectorLevel> levels = supportedVectorLevels();
    return useVectorLevel(levels[choice % levels.size()]);
}

// Normalisation drops every line break and trims each line, so its result
// holds no CR or LF and neither begins nor ends with ASCII white space.
CRUNCHWATCH_FUZZ_CHECK inline void requireNormalised(std::string_view normalisedText, std::size_t originalSize) {
    require(normalisedText.size() <= originalSize, "normalisation made the text longer");
    const auto holds = [&](char c) CRUNCHWATCH_FUZZ_CHECK {
        return !normalisedText.empty() && std::memchr(normalisedText.data(), c, normalisedText.size());
    };
    require(!holds('\n') && !holds('\r'), "a line break survived normalisation");
    const auto isSpace = [](char c) CRUNCHWATCH_FUZZ_CHECK { return c == ' ' || (c >= '\t' && c <= '\r'); };
    require(normalisedText.empty() || (!isSpace(normalisedText.front()) && !isSpace(normalisedText.back())),
            "normalisation left white space at an end");
}

// True when `part` lies inside `whole` (a view cut from it).
CRUNCHWATCH_FUZZ_CHECK inline bool isWithin(std::string_view part, std::string_view whole) {
    const auto p = reinterpret_cast<std::uintptr_t>(part.data());
    const auto w = reinterpret_cast<std::uintptr_t>(whole.data());
    return p >= w && p + part.size() <= w + whole.size();
}

}  // namespace crunchwatch::fuzz

#pragma once
// What both fuzz targets share: an in-memory regular file for the readers to
// open by path, the properties every normalised text has, and a check that
// stops the run with a message.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <sys/mman.h>
#include <unistd.h>

namespace crunchwatch::fuzz {

// A broken promise of the data path: libFuzzer saves the input that broke it.
inline void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "crunchwatch fuzz: %s\n", what);
    std::abort();
}

// An anonymous regular file, opened by the readers through /proc like any
// other path, so that each input also goes through the real file reading.
class MemoryFile final {
public:
    explicit MemoryFile(const char* name) : m_fd(::memfd_create(name, MFD_CLOEXEC)) {
        require(m_fd >= 0, "memfd_create failed");
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void write(std::string_view contents) {
        require(::ftruncate(m_fd, 0) == 0, "ftruncate failed");
        std::size_t done = 0;
        while (done < contents.size()) {
            const ssize_t n = ::pwrite(m_fd, contents.data() + done, contents.size() - done, static_cast<off_t>(done));
            require(n > 0, "pwrite failed");
            done += static_cast<std::size_t>(n);
        }
    }
    const std::string& path() const { return m_path; }

private:
    int m_fd;
    std::string m_path;
};

// Normalisation drops every line break and trims each line, so its result
// holds no CR or LF and neither begins nor ends with ASCII white space.
inline void requireNormalised(std::string_view normalisedText, std::size_t originalSize) {
    require(normalisedText.size() <= originalSize, "normalisation made the text longer");
    require(normalisedText.find_first_of("\r\n") == std::string_view::npos, "a line break survived normalisation");
    const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    require(normalisedText.empty() || (!isSpace(normalisedText.front()) && !isSpace(normalisedText.back())),
            "normalisation left white space at an end");
}

// True when `part` lies inside `whole` (a view cut from it).
inline bool isWithin(std::string_view part, std::string_view whole) {
    const auto p = reinterpret_cast<std::uintptr_t>(part.data());
    const auto w = reinterpret_cast<std::uintptr_t>(whole.data());
    return p >= w && p + part.size() <= w + whole.size();
}

// Normalisation as its contract states it, written the slow and obvious way:
// split at LF, CR and U+2029, strip the trim set from both ends of each line,
// join. The real one is checked against it.
inline std::string referenceNormalised(std::string_view text) {
    static constexpr std::string_view trimSet[] = {
        "\t", "\n", "\v", "\f", "\r", " ", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
        "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
        "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
    };
    const auto trim = [](std::string_view line) {
        for (bool more = true; more;) {
            more = false;
            for (std::string_view t : trimSet) {
                if (line.starts_with(t)) { line.remove_prefix(t.size()); more = true; }
                if (line.ends_with(t)) { line.remove_suffix(t.size()); more = true; }
            }
        }
        return line;
    };
    std::string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size();) {
        std::size_t terminator = 0;
        if (i == text.size()) terminator = 1;
        else if (text[i] == '\n' || text[i] == '\r') terminator = 1;
        else if (text.substr(i, 3) == "\xE2\x80\xA9") terminator = 3;
        if (terminator == 0) {
            ++i;
            continue;
        }
        out += trim(text.substr(start, i - start));
        i += terminator;
        start = i;
    }
    return out;
}

// findFrom against std::string_view::find: from the first occurrence through
// every next one (up to a bound), and from the positions near the end.
inline void requireFindsLikeTheReference(std::string_view haystack, std::string_view needle,
                                         std::size_t (*findFrom)(std::string_view, std::string_view, std::size_t)) {
    const auto reference = [&](std::size_t from) {
        return needle.empty() || from > haystack.size() ? std::string_view::npos : haystack.find(needle, from);
    };
    std::size_t from = 0;
    for (int hits = 0; hits < 100; ++hits) {
        const std::size_t at = findFrom(haystack, needle, from);
        require(at == reference(from), "findFrom differs from find");
        if (at == std::string_view::npos) break;
        from = at + 1;
    }
    const std::size_t tail = std::min(haystack.size(), needle.size() + 33);
    for (std::size_t f = haystack.size() - tail; f <= haystack.size() + 1; ++f)
        require(findFrom(haystack, needle, f) == reference(f), "findFrom differs from find near the end");
}

}  // namespace crunchwatch::fuzz

#pragma once
// Small helpers shared by the tests: temporary files and the real-data guard.

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "lock_holder.hpp"

namespace crunchwatch::test {

// A temporary directory removed with the object.
class TempDir final {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "crunchwatch-test-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::filesystem::path path() const { return m_path; }
    // Writes `contents` to a file of that name in the directory; returns its path.
    std::string write(const std::string& name, std::string_view contents) const {
        const auto p = std::filesystem::path(m_path) / name;
        std::ofstream(p, std::ios::binary).write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return p.string();
    }

private:
    std::string m_path;
};

// Dates are shown in the local time zone: a test of this kind runs in UTC
// (or the zone it asks for), in the C locale, and puts the caller's zone back.
class ZonedTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) m_savedTz = tz;
        useZone("UTC");
        std::setlocale(LC_ALL, "C");
    }
    void TearDown() override {
        if (m_savedTz) ::setenv("TZ", m_savedTz->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
        std::setlocale(LC_ALL, "C");
    }
    static void useZone(const char* zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }

private:
    std::optional<std::string> m_savedTz;
};

// The real client files written by real clients, when this checkout has them.
inline std::filesystem::path realDataDir() { return CRUNCHWATCH_REALDATA_DIR; }

#define CRUNCHWATCH_SKIP_WITHOUT_REALDATA()                                              \
    do {                                                                                  \
        if (!std::filesystem::is_directory(::crunchwatch::test::realDataDir()))          \
            GTEST_SKIP() << "no real client files beside this checkout";                 \
    } while (0)

}  // namespace crunchwatch::test

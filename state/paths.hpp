#pragma once
// Where the client's files lie: the state file, and beside it, in the
// client's data directory, the preferences and the history.

#include <string>
#include <string_view>

namespace crunchwatch {

// The path without its last component: a trailing "/" is ignored, "/" stays
// "/", and a path without "/" gives the empty text ("/a/b/f.xml" -> "/a/b").
std::string deletingLastPathComponent(std::string_view path);

// root_dir: the state file's directory, ending in "/".
inline std::string rootDirOf(std::string_view statePath) { return deletingLastPathComponent(statePath) + "/"; }

// global_prefsFileLocation: "global_prefs.xml" in the state file's directory.
inline std::string globalPrefsPathOf(std::string_view statePath) { return rootDirOf(statePath) + "global_prefs.xml"; }

// The state file's path with the two paths derived from it, made together
// so that they can never disagree: whoever holds the path holds its
// directory and its preferences file too.
class StatePath final {
public:
    StatePath() : StatePath(std::string()) {}
    explicit StatePath(std::string file)
        : m_file(std::move(file)), m_rootDir(rootDirOf(m_file)), m_globalPrefs(globalPrefsPathOf(m_file)) {}

    const std::string& file() const noexcept { return m_file; }
    const std::string& rootDir() const noexcept { return m_rootDir; }
    const std::string& globalPrefsFile() const noexcept { return m_globalPrefs; }

    bool operator==(const StatePath& other) const noexcept { return m_file == other.m_file; }

private:
    std::string m_file;
    std::string m_rootDir;
    std::string m_globalPrefs;
};

// The state file a command-line argument names: the argument itself, or,
// when it names a directory (the client's data directory), the
// client_state.xml inside it.
std::string stateFileOfArgument(const std::string& argument);

}  // namespace crunchwatch

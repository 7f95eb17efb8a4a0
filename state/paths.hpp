#pragma once
// Where the preferences file lies: beside the state file, in the client's
// data directory.

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

}  // namespace crunchwatch

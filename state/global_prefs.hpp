#pragma once
// The client's global preferences file: the body of its <global_preferences>
// element, and the two values read from it, kept as text.

#include <optional>
#include <string>
#include <string_view>

namespace crunchwatch {

struct GlobalPrefsValues {
    std::optional<std::string> cpu_scheduling_period_minutes;
    std::optional<std::string> disk_interval;
};

// przygotujGlobalPrefs ("prepare the global prefs"): the outer optional is
// empty when the file cannot be read; the inner one (globalPrefsFileContents)
// when the file holds no non-empty <global_preferences> element.
std::optional<std::optional<std::string>> przygotujGlobalPrefs(const std::optional<std::string>& path);
// The same of the file `name` in `folder`.
class Folder;
std::optional<std::optional<std::string>> przygotujGlobalPrefs(const Folder& folder, std::string_view name);

// The preferences file's name in the data directory.
inline constexpr std::string_view globalPrefsFileName = "global_prefs.xml";

// wyciagamyDaneGlobalPrefs ("we extract the global prefs data").
GlobalPrefsValues wyciagamyDaneGlobalPrefs(const std::optional<std::string>& globalPrefsFileContents);

}  // namespace crunchwatch

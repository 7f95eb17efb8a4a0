#include "state/global_prefs.hpp"

#include "state/local_folder.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"

namespace crunchwatch {
namespace {

std::optional<std::string> copied(std::optional<std::string_view> v) {
    return v ? std::optional<std::string>(std::in_place, *v) : std::nullopt;
}

}  // namespace

std::optional<std::optional<std::string>> przygotujGlobalPrefs(const std::optional<std::string>& path) {
    if (!path) return std::nullopt;
    return przygotujGlobalPrefs(LocalFolder(), *path);
}

std::optional<std::optional<std::string>> przygotujGlobalPrefs(const Folder& folder, std::string_view name) {
    auto contents = folder.readWhole(name);
    if (!contents) return std::nullopt;
    contents->shrinkTo(normaliseInPlace(contents->data(), contents->size()));
    return copied(wytnij(contents->view(), "<global_preferences>", "</global_preferences>"));
}

GlobalPrefsValues wyciagamyDaneGlobalPrefs(const std::optional<std::string>& body) {
    if (!body) return {};
    return {copied(wytnij(*body, "<cpu_scheduling_period_minutes>", "</cpu_scheduling_period_minutes>")),
            copied(wytnij(*body, "<disk_interval>", "</disk_interval>"))};
}

}  // namespace crunchwatch

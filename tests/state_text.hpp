#pragma once
// State files built in memory, piece by piece as the client writes them: a
// project followed by its workunits and results, the active tasks, and the
// whole file around them. An absent value leaves its element out.

#include <optional>
#include <string>
#include <string_view>

namespace crunchwatch::test {

using MaybeText = std::optional<std::string_view>;

// One element holding `value`, or nothing when the value is absent.
inline std::string el(std::string_view tag, MaybeText value) {
    if (!value) return {};
    std::string s;
    s.reserve(2 * tag.size() + value->size() + 5);
    return s.append("<").append(tag).append(">").append(*value).append("</").append(tag).append(">");
}

// A project's own element; its workunits and results follow it in the file.
inline std::string project(std::string_view url, std::string_view fields = {}) {
    return "<project>" + el("master_url", url) + std::string(fields) + "</project>";
}
inline std::string workunit(MaybeText name, MaybeText app, std::string_view fields = {}) {
    return "<workunit>" + el("name", name) + el("app_name", app) + std::string(fields) + "</workunit>";
}
inline std::string result(MaybeText name, MaybeText wu, std::string_view fields = {}) {
    return "<result>" + el("name", name) + el("wu_name", wu) + std::string(fields) + "</result>";
}
inline std::string task(MaybeText url, MaybeText resultName, std::string_view fields = {}) {
    return "<active_task>" + el("project_master_url", url) + el("result_name", resultName) + std::string(fields) +
           "</active_task>";
}

// The whole file: the host when given, the project section, the active-task
// set when given, and the platform name the client always ends with.
inline std::string stateFile(std::string_view projects, MaybeText tasks = std::nullopt,
                             MaybeText hostInfo = std::nullopt) {
    std::string s = "<client_state>" + el("host_info", hostInfo) + std::string(projects);
    s += el("active_task_set", tasks);
    return s + el("platform_name", "x86_64-pc-linux-gnu") + "</client_state>";
}

}  // namespace crunchwatch::test

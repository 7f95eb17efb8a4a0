#include "bench/memory_shapes.hpp"

#include <charconv>

namespace crunchwatch::bench {
namespace {

std::string repeated(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string number(std::size_t i) {
    char buf[24];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, i).ptr);
}

// `times` pieces, each made by `piece(i)`, between `head` and the file's end.
template <class Piece>
std::string numbered(std::string head, std::size_t times, Piece piece) {
    for (std::size_t i = 0; i < times; ++i) head += piece(number(i));
    return head + "</client_state>";
}

}  // namespace

std::string generateMemoryShape(std::string_view name) {
    const std::string oneProject = "<client_state><project>";
    if (name == "projects") return "<client_state>" + repeated("<project>", 1'000'000) + "</client_state>";
    if (name == "results") return oneProject + repeated("<result></result>", 500'000) + "</client_state>";
    if (name == "pairs")
        return numbered(oneProject, 150'000, [](const std::string& n) {
            return "<workunit><name>w" + n + "</name></workunit><result><name>r" + n + "</name><wu_name>w" + n +
                   "</wu_name></result>";
        });
    if (name == "tasks")
        return "<client_state><project><master_url>u</master_url><result><name>r</name></result></project>"
               "<active_task_set>" +
               repeated("<active_task><project_master_url>u</project_master_url><result_name>r</result_name>"
                        "</active_task>",
                        1'000'000) +
               "</active_task_set></client_state>";
    if (name == "files")
        return oneProject + repeated("<file><persistent_file_xfer></persistent_file_xfer></file>", 300'000) +
               "</client_state>";
    if (name == "xfers")
        return oneProject +
               repeated("<file><persistent_file_xfer></persistent_file_xfer><file_xfer></file_xfer></file>", 120'000) +
               "</client_state>";
    if (name == "workunits") return oneProject + repeated("<workunit></workunit>", 500'000) + "</client_state>";
    if (name == "apps") return oneProject + repeated("<app></app>", 1'000'000) + "</client_state>";
    if (name == "flags") return "<client_state>" + repeated("<project><ended/>", 600'000) + "</client_state>";
    if (name == "urls")
        return numbered("<client_state>", 250'000, [](const std::string& n) {
            return "<project><master_url>https://p" + n + ".example.org/</master_url></project>";
        });
    if (name == "failed")
        return numbered(oneProject, 200'000,
                        [](const std::string& n) { return "<result><name>r" + n + "</name><state>3</state></result>"; });
    if (name == "stuck")
        return numbered(oneProject, 100'000, [](const std::string& n) {
            return "<file><name>f" + n +
                   "</name><persistent_file_xfer><num_retries>9</num_retries></persistent_file_xfer></file>";
        });
    return {};
}

}  // namespace crunchwatch::bench

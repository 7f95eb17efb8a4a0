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

}  // namespace

std::string generateMemoryShape(std::string_view name) {
    if (name == "projects") return "<client_state>" + repeated("<project>", 1'000'000) + "</client_state>";
    if (name == "results") return "<client_state><project>" + repeated("<result></result>", 500'000) + "</client_state>";
    if (name == "pairs") {
        std::string out = "<client_state><project>";
        for (std::size_t i = 0; i < 150'000; ++i) {
            const std::string n = number(i);
            out += "<workunit><name>w" + n + "</name></workunit><result><name>r" + n + "</name><wu_name>w" + n +
                   "</wu_name></result>";
        }
        return out + "</client_state>";
    }
    if (name == "tasks")
        return "<client_state><project><master_url>u</master_url><result><name>r</name></result></project>"
               "<active_task_set>" +
               repeated("<active_task><project_master_url>u</project_master_url><result_name>r</result_name>"
                        "</active_task>",
                        1'000'000) +
               "</active_task_set></client_state>";
    return {};
}

}  // namespace crunchwatch::bench

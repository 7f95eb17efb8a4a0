#pragma once
// State files made of very many small elements, the shapes that cost a
// reader the most memory for each byte of file: what a memory bound must
// hold for on any input, beside the real-shaped presets. Each is the
// smallest element one of the readers cuts, repeated by the hundred
// thousand, about 10 MB (the active tasks' shape aside).

#include <array>
#include <string>
#include <string_view>

namespace crunchwatch::bench {

struct MemoryShape {
    std::string_view name;
    std::string_view description;
};

inline constexpr std::array<MemoryShape, 12> memoryShapes{{
    {"projects", "1,000,000 x <project>"},
    {"results", "one project, 500,000 x <result></result>"},
    {"pairs", "150,000 workunit + result pairs"},
    {"tasks", "1,000,000 x <active_task> on one result"},
    {"files", "300,000 x <file> with a <persistent_file_xfer>"},
    {"xfers", "120,000 of them with a running <file_xfer>"},
    {"workunits", "one project, 500,000 x <workunit></workunit>"},
    {"apps", "one project, 1,000,000 x <app></app>"},
    {"flags", "600,000 x <project><ended/>"},
    {"urls", "250,000 projects with a master URL each"},
    {"failed", "200,000 named results that failed"},
    {"stuck", "100,000 named transfers failed 9 times"},
}};

std::string generateMemoryShape(std::string_view name);

}  // namespace crunchwatch::bench

#pragma once
// State files made of very many small elements, the shapes that cost a
// reader the most memory for each byte of file: what a memory bound must
// hold for on any input, beside the real-shaped presets.

#include <array>
#include <string>
#include <string_view>

namespace crunchwatch::bench {

struct MemoryShape {
    std::string_view name;
    std::string_view description;
};

inline constexpr std::array<MemoryShape, 4> memoryShapes{{
    {"projects", "1,000,000 x <project>"},
    {"results", "one project, 500,000 x <result></result>"},
    {"pairs", "150,000 workunit + result pairs"},
    {"tasks", "1,000,000 x <active_task> on one result"},
}};

std::string generateMemoryShape(std::string_view name);

}  // namespace crunchwatch::bench

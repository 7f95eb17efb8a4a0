#include "state/disk_usage.hpp"

namespace crunchwatch {

std::uint64_t DiskWalk::projectsBytes() const noexcept {
    std::uint64_t sum = 0;
    for (std::uint64_t b : projectBytes) sum += b;
    return sum;
}

DiskWalk walkDisk(const std::string&, const std::vector<ProjectFolders>& projects, std::size_t) {
    DiskWalk walk;
    walk.projectBytes.assign(projects.size(), 0);
    return walk;
}

}  // namespace crunchwatch

#include "state/disk_usage.hpp"


#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "state/text_hash.hpp"

namespace crunchwatch {

ProjectFolderList::ProjectFolderList(const std::vector<ProjectFolders>& projects) {
    for (const ProjectFolders& p : projects) {
        add(p.dir);
        for (const std::string& slot : p.slotDirs) addSlot(slot);
    }
}

void ProjectFolderList::add(std::string_view dir) {
    // A name holding a NUL byte is no name to walk (see plainName), as an
    // empty one is not.
    if (dir.find('\0') == std::string_view::npos) m_dirs += dir;
    m_dirs += '\0';
    ++m_count;
}

void ProjectFolderList::addSlot(std::string_view slot) {
    if (m_count > 0) m_slots.emplace_back(m_count - 1, std::string(slot));
}

std::uint64_t ProjectFolderList::digest() const noexcept {
    std::uint64_t h = hashOf(m_dirs) ^ m_count;
    for (const auto& [project, slot] : m_slots) h = (h * 0x100000001b3) ^ hashOf(slot) ^ project;
    return h;
}

ProjectFolders ProjectFolderList::at(std::size_t project) const {
    if (project >= m_count) throw std::out_of_range("no such project");
    ProjectFolders out;
    forEach([&](std::size_t i, std::string_view dir, const std::vector<std::string_view>& slotNames) {
        if (i != project) return;
        out.dir = dir;
        out.slotDirs.assign(slotNames.begin(), slotNames.end());
    });
    return out;
}

ProjectBytes::ProjectBytes(std::initializer_list<std::uint64_t> each) : m_count(each.size()) {
    std::size_t i = 0;
    for (const std::uint64_t b : each) add(i++, b);
}

std::uint64_t ProjectBytes::operator[](std::size_t project) const noexcept {
    const auto it = std::lower_bound(m_counted.begin(), m_counted.end(), project,
                                     [](const auto& c, std::size_t p) { return c.first < p; });
    return it != m_counted.end() && it->first == project ? it->second : 0;
}

std::uint64_t ProjectBytes::at(std::size_t project) const {
    if (project >= m_count) throw std::out_of_range("no such project");
    return (*this)[project];
}

void ProjectBytes::add(std::size_t project, std::uint64_t bytes) {
    if (bytes == 0 || project >= m_count) return;
    if (!m_counted.empty() && m_counted.back().first == project) m_counted.back().second += bytes;
    else m_counted.emplace_back(project, bytes);
}

std::uint64_t ProjectBytes::sum() const noexcept {
    std::uint64_t sum = 0;
    for (const auto& c : m_counted) sum += c.second;
    return sum;
}

bool ProjectBytes::operator==(const std::vector<std::uint64_t>& each) const {
    if (each.size() != m_count) return false;
    for (std::size_t i = 0; i < each.size(); ++i)
        if (each[i] != (*this)[i]) return false;
    return true;
}

std::uint64_t DiskWalk::projectsBytes() const noexcept { return projectBytes.sum(); }

}  // namespace crunchwatch

#pragma once
// The alternative a user would pick: pugixml parses the whole state file into
// a DOM, and the same records are read from the tree, joined and merged, then
// turned into the same rows and visible cells as the monitor's own refresh.

#include <cstddef>
#include <memory>
#include <string>

#include <pugixml.hpp>

#include "state/file_read.hpp"
#include "state/projects.hpp"

namespace crunchwatch::bench {

// The parsed document and the records read from it; the records' values are
// views into the document's own strings.
struct DomState {
    TextBuffer text;  // the file, which the document is parsed in
    pugi::xml_document document;
    ProjectInfo projectInfo;
};

// Nothing when the file cannot be read or parsed.
std::unique_ptr<DomState> loadWithDom(const std::string& path);

// One refresh through the DOM: load, rows and totals, visible cell texts.
// Returns their total length, or 0 when the file cannot be read.
std::size_t domRefresh(const std::string& path);

}  // namespace crunchwatch::bench

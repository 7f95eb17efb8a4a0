#pragma once
// Several sources in one run (`crunchwatch-dump A B …`): each read by its own
// refresh and reported under its host's name, in the order given. The JSON
// is one document of every host's report, the text one report after another
// under a heading, the metrics one exposition with a `host` label on every
// sample and each family written once.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "dump/report.hpp"

namespace crunchwatch {

struct HostSource {
    std::string name;   // given as NAME=, or found (see nameHosts); empty until then
    std::string given;  // the state file or data directory, as given
};

// "NAME=PATH" names its host (a name holds no "/"); anything else is a path.
HostSource hostSourceOf(std::string_view argument);

// Each source without a name is named as its client names the machine (the
// state file's <domain_name>), else by its folder's name; a name taken
// already gets a number, "name (2)". `reports` go with `sources`, null for
// one that could not be read.
void nameHosts(std::vector<HostSource>& sources, const std::vector<const Report*>& reports);

// The members of one host's JSON object, after "host" and "source": what a
// report of that source alone holds (its "host", the client's <host_info>,
// as "host_info"), or its error.
struct HostJson {
    const HostSource* source = nullptr;
    const Report* report = nullptr;  // null: the source could not be read
    std::string reason;              // then, why
};
void writeHostsJson(std::ostream& out, const std::vector<HostJson>& hosts, const ReportOptions& options);

// `exposition` with host="HOST" first among every sample's labels.
std::string withHostLabel(std::string_view exposition, std::string_view host);
// The expositions as one: each family's "# HELP" and "# TYPE" once, in the
// order first met, followed by every exposition's samples of it.
void writeFamiliesTogether(std::ostream& out, const std::vector<std::string>& expositions);

}  // namespace crunchwatch

#include "dump/hosts_report.hpp"

#include <map>
#include <set>
#include <sstream>
#include <streambuf>

#include "dump/json_writer.hpp"
#include "state/file_stat.hpp"
#include "state/paths.hpp"

namespace crunchwatch {
namespace {

// Hands on what a report writes but its opening brace and its closing line
// feed, so that its members go on an object begun here.
class MembersOnly final : public std::streambuf {
public:
    explicit MembersOnly(std::ostream& out) : m_out(out) {}
    ~MembersOnly() override = default;

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        if (!m_begun) {
            m_begun = true;
            if (ch == '{') return c;
        }
        if (m_heldFeed) {
            m_out.put('\n');
            m_heldFeed = false;
        }
        if (ch == '\n') m_heldFeed = true;
        else m_out.put(ch);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) overflow(traits_type::to_int_type(s[i]));
        return n;
    }

private:
    std::ostream& m_out;
    bool m_begun = false;
    bool m_heldFeed = false;
};

std::string folderName(const std::string& given) {
    // A state file's folder; a data directory (or what is missing, unless it
    // names a state file) itself.
    const bool file = stateFileOfArgument(given) == given && (statFile(given) || given.ends_with(".xml"));
    std::string dir = file ? deletingLastPathComponent(given) : given;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    const std::size_t slash = dir.rfind('/');
    std::string name = slash == std::string::npos ? dir : dir.substr(slash + 1);
    return name.empty() || name == "/" ? given : name;
}

void writeQuotedString(std::ostream& out, std::string_view text) {
    std::ostringstream quoted;
    {
        JsonWriter json(quoted);
        json.string(text);
    }
    out << quoted.str();
}

}  // namespace

HostSource hostSourceOf(std::string_view argument) {
    const std::size_t equals = argument.find('=');
    if (equals == std::string_view::npos || equals == 0 || argument.substr(0, equals).find('/') != std::string_view::npos)
        return {{}, std::string(argument)};
    return {std::string(argument.substr(0, equals)), std::string(argument.substr(equals + 1))};
}

void nameHosts(std::vector<HostSource>& sources, const std::vector<const Report*>& reports) {
    std::set<std::string> taken;
    for (const HostSource& s : sources)
        if (!s.name.empty()) taken.insert(s.name);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        HostSource& s = sources[i];
        if (!s.name.empty()) continue;
        const Report* r = i < reports.size() ? reports[i] : nullptr;
        const HostText domain = r && r->snapshot ? r->snapshot->state.host.host.domain_name : std::nullopt;
        const std::string base = domain && !domain->empty() ? std::string(*domain) : folderName(s.given);
        std::string name = base;
        for (int n = 2; taken.count(name); ++n) name = base + " (" + std::to_string(n) + ")";
        taken.insert(name);
        s.name = name;
    }
}

void writeHostsJson(std::ostream& out, const std::vector<HostJson>& hosts, const ReportOptions& options) {
    out << "{\"hosts\":[";
    bool first = true;
    for (const HostJson& h : hosts) {
        if (!first) out << ',';
        first = false;
        out << "{\"host\":";
        writeQuotedString(out, h.source->name);
        out << ",\"source\":";
        writeQuotedString(out, h.source->given);
        if (!h.report) {
            out << ",\"error\":\"Error: file not found!\",\"reason\":";
            writeQuotedString(out, h.reason);
            out << '}';
            continue;
        }
        out << ',';
        MembersOnly members(out);
        std::ostream inner(&members);
        ReportOptions own = options;
        own.stateFileAsGiven = h.source->given;
        own.hostKey = "host_info";
        writeJsonReport(inner, *h.report, own);
        inner.flush();
    }
    out << "]}\n";
}

std::string withHostLabel(std::string_view exposition, std::string_view host) {
    std::string label = "host=\"";
    for (const char c : validUtf8(host)) {
        if (c == '\\') label += "\\\\";
        else if (c == '"') label += "\\\"";
        else if (c == '\n') label += "\\n";
        else label += c;
    }
    label += '"';
    std::string out;
    out.reserve(exposition.size() + exposition.size() / 4);
    while (!exposition.empty()) {
        const std::size_t end = exposition.find('\n');
        std::string_view line = exposition.substr(0, end);
        exposition.remove_prefix(end == std::string_view::npos ? exposition.size() : end + 1);
        if (!line.empty() && line.front() != '#') {
            // A metric name holds neither "{" nor a space: the first of them ends it.
            const std::size_t nameEnd = line.find_first_of("{ ");
            if (nameEnd != std::string_view::npos && line[nameEnd] == '{') {
                const bool empty = nameEnd + 1 < line.size() && line[nameEnd + 1] == '}';
                out.append(line.substr(0, nameEnd + 1)).append(label).append(empty ? "" : ",");
                out.append(line.substr(nameEnd + 1));
            } else if (nameEnd != std::string_view::npos) {
                out.append(line.substr(0, nameEnd)).append("{").append(label).append("}").append(line.substr(nameEnd));
            } else {
                out.append(line);
            }
        } else {
            out.append(line);
        }
        out += '\n';
    }
    return out;
}

void writeFamiliesTogether(std::ostream& out, const std::vector<std::string>& expositions) {
    // Each family's header and the samples of every exposition, by family.
    std::vector<std::string> order;
    std::map<std::string, std::pair<std::string, std::string>> families;  // name: header, samples
    for (const std::string& text : expositions) {
        std::string_view rest = text;
        std::string family;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view line = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            if (line.starts_with("# HELP ") || line.starts_with("# TYPE ")) {
                const std::string_view after = line.substr(7);
                family = std::string(after.substr(0, after.find(' ')));
                auto [it, added] = families.try_emplace(family);
                if (added) order.push_back(family);
                // The first exposition's header stands for all.
                if (it->second.first.find(std::string(line.substr(0, 7)) + family + ' ') == std::string::npos)
                    it->second.first.append(line).append("\n");
                continue;
            }
            if (line.empty()) continue;
            families[family].second.append(line).append("\n");
        }
    }
    for (const std::string& name : order) {
        const auto& [header, samples] = families[name];
        out << header << samples;
    }
}

}  // namespace crunchwatch

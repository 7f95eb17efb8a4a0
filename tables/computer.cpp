#include "tables/computer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "state/history_match.hpp"
#include "state/numbers.hpp"
#include "tables/duration.hpp"
#include "tables/format.hpp"
#include "tables/transfers_table.hpp"

namespace crunchwatch {
namespace {

using Mark = ComputerLine::Mark;

// The number a value's text starts with, when it starts with one.
std::optional<double> numberIn(std::optional<std::string_view> text) {
    if (!text) return std::nullopt;
    std::string_view t = *text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || end == t.data() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string grouped(std::uint64_t n) {
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
    const std::string_view d(digits, static_cast<std::size_t>(end - digits));
    std::string out;
    for (std::size_t i = 0; i < d.size(); ++i) {
        if (i > 0 && (d.size() - i) % 3 == 0) out += "\u202F";
        out += d[i];
    }
    return out;
}

// A rate in operations per second: "3.25 G" and the unit after it.
std::string perSecond(double v, std::string_view unit) {
    const char* prefixes[] = {"", "k", "M", "G", "T", "P"};
    std::size_t p = 0;
    while (std::fabs(v) >= 1000 && p + 1 < std::size(prefixes)) {
        v /= 1000;
        ++p;
    }
    return formatFixed(v, 2) + " " + prefixes[p] + std::string(unit);
}

class Lines {
public:
    explicit Lines(std::vector<ComputerLine>& out) : m_out(out) {}
    void group(std::string g) { m_group = std::move(g); }
    ComputerLine& add(std::string name, std::string value, std::string element, std::string tooltip = {}) {
        m_out.push_back({m_group, std::move(name), std::move(value), std::move(element), std::move(tooltip), {}, Mark::none});
        return m_out.back();
    }
    // A host value: nothing when the file has none; `shown` makes its text for people.
    template <class Shown>
    void value(std::string name, HostText text, std::string_view element, Shown shown) {
        if (text) add(std::move(name), shown(*text), "<" + std::string(element) + ">");
    }
    void text(std::string name, HostText text, std::string_view element) {
        value(std::move(name), text, element, [](std::string_view t) { return std::string(t); });
    }
    void bytes(std::string name, HostText text, std::string_view element) {
        value(std::move(name), text, element, [](std::string_view t) {
            const auto n = numberIn(t);
            return n && *n >= 0 ? bytesWithExact(*n) : std::string(t);
        });
    }
    void rate(std::string name, HostText text, std::string_view element, std::string_view unit) {
        value(std::move(name), text, element, [unit](std::string_view t) {
            const auto n = numberIn(t);
            return n ? perSecond(*n, unit) : std::string(t);
        });
    }
    void fraction(std::string name, HostText text, std::string_view element) {
        value(std::move(name), text, element, [](std::string_view t) { return fractionText(t); });
    }
    void duration(std::string name, HostText text, std::string_view element) {
        value(std::move(name), text, element, [](std::string_view t) {
            const auto n = numberIn(t);
            const auto hms = n ? czasHMSzSekund(*n) : std::nullopt;
            return hms ? *hms : std::string(t);
        });
    }

private:
    std::vector<ComputerLine>& m_out;
    std::string m_group;
};

std::string timezoneText(std::string_view t) {
    const auto n = numberIn(t);
    if (!n || std::fabs(*n) > 2 * 86400.0) return std::string(t);  // no zone is a day away
    const long s = std::lround(*n), a = std::labs(s);
    std::string hm = formatFixed(static_cast<double>(a / 3600), 0) + ":" + (a % 3600 / 60 < 10 ? "0" : "") +
                     formatFixed(static_cast<double>(a % 3600 / 60), 0);
    return "UTC" + std::string(s < 0 ? "−" : "+") + hm + " (" + std::string(t) + " s)";
}

std::string runModeOf(std::string_view t) {
    const auto mode = runModeText(t);
    return mode ? std::string(*mode) : std::string(t);
}

// A group's title: the maker only, for the name has a line of its own and
// usually repeats the maker.
std::string gpuTitle(const Gpu& g) { return g.maker(); }

std::string openclText(const Gpu& g) {
    std::string t;
    const auto add = [&](const char* label, const std::optional<std::string>& v) {
        if (v) t += (t.empty() ? "" : "\n") + std::string(label) + ": " + *v;
    };
    add("OpenCL device", g.opencl_name);
    add("Vendor", g.opencl_vendor);
    add("OpenCL version", g.opencl_device_version);
    add("OpenCL driver", g.opencl_driver_version);
    return t;
}

void gpuLines(Lines& lines, const Gpu& g, std::string_view element) {
    const std::string where = "<" + std::string(element) + "><" + g.kind + ">";
    const auto text = [&](const char* name, const std::optional<std::string>& v, std::string shown = {}) {
        if (v) lines.add(name, shown.empty() ? *v : shown, where, openclText(g));
    };
    text("Kind", std::optional<std::string>(g.maker()));
    text("Name", g.name);
    text("Count", g.count);
    if (g.memory) {
        const auto n = numberIn(*g.memory);
        text("Memory", g.memory, n && *n >= 0 ? bytesWithExact(*n) : std::string());
    }
    if (g.peak_flops) {
        const auto n = numberIn(*g.peak_flops);
        text("Peak speed", g.peak_flops, n ? perSecond(*n, "FLOPS") : std::string());
    }
    text("Driver", g.driver_version);
    text("OpenCL", g.opencl_device_version);
    text("OpenCL driver", g.opencl_driver_version);
}

bool sameMaker(const Gpu& a, const Gpu& b) { return a.maker() == b.maker(); }

void hostLines(Lines& lines, const HostInfo& h) {
    lines.group("Computer");
    lines.text("Host name", h.domain_name, "domain_name");
    lines.value("Time zone", h.timezone, "timezone", timezoneText);
    lines.text("Product", h.product_name, "product_name");
    lines.text("VirtualBox", h.virtualbox_version, "virtualbox_version");
    lines.group("Processor");
    lines.text("Vendor", h.p_vendor, "p_vendor");
    if (h.p_model) lines.add("Model", std::string(*h.p_model), "<p_model>", h.p_features ? "Features: " + std::string(*h.p_features) : "");
    lines.text("Processors", h.p_ncpus, "p_ncpus");
    lines.rate("Floating-point speed (per processor)", h.p_fpops, "p_fpops", "FLOPS");
    lines.rate("Integer speed (per processor)", h.p_iops, "p_iops", "IOPS");
    lines.value("Memory bandwidth", h.p_membw, "p_membw", [](std::string_view t) {
        const auto n = numberIn(t);
        return n ? bytesForPeople(*n) + "/s" : std::string(t);
    });
    lines.group("Memory");
    lines.bytes("Memory", h.m_nbytes, "m_nbytes");
    lines.bytes("Swap", h.m_swap, "m_swap");
    lines.bytes("Cache", h.m_cache, "m_cache");
    lines.group("Disk");
    lines.bytes("Size", h.d_total, "d_total");
    lines.bytes("Free (when the client last looked)", h.d_free, "d_free");
    lines.group("Operating system");
    lines.text("Name", h.os_name, "os_name");
    lines.text("Version", h.os_version, "os_version");
}

// Every refresh makes these three dozen lines: the values are walked once
// beside the names (they are in the names' order), each string is built in
// one piece, and a group's title once for its run of lines.
void prefLines(Lines& lines, const EffectivePrefs& prefs) {
    std::optional<PrefGroup> titled;
    auto next = prefs.values.begin();
    for (const PrefName& n : prefNames) {
        if (next == prefs.values.end() || next->name != n.name) continue;
        const EffectivePref* p = &*next++;
        if (titled != n.group) lines.group("Preferences: " + std::string(prefGroupText(n.group)));
        titled = n.group;
        std::string value = p->value;
        if (!n.unit.empty()) (value += ' ') += n.unit;
        if (n.unit.empty() && !n.fallback.empty()) value = p->value == "0" ? "no" : p->value == "1" ? "yes" : p->value;
        const std::string_view source = prefSourceText(p->source);
        std::string element, tip = "From ";
        element.reserve(source.size() + n.name.size() + 3);
        (((element += source) += " <") += n.name) += '>';
        tip += source;
        ComputerLine& line = lines.add(std::string(n.label), std::move(value), std::move(element), std::move(tip));
        if (p->source == PrefSource::override_file) line.mark = Mark::overridden;
        if (n.name == "mod_time")
            if (const auto at = numberIn(p->value); at && *at > 0) line.moment = *at;
    }
}

}  // namespace

std::string fractionText(std::string_view fraction) {
    const auto n = numberIn(fraction);
    if (n && *n < 0) return "not measured yet";  // the client's -1
    return n ? formatFixed(*n * 100.0, 1) + "%" : std::string(fraction);
}

std::string bytesWithExact(double bytes) {
    if (!(bytes >= 0) || bytes >= 9.2e18) return formatFixed(bytes, 0) + " bytes";  // beyond llround's range
    const auto n = static_cast<std::uint64_t>(std::llround(bytes));
    return n < 1024 ? grouped(n) + " bytes" : bytesForPeople(bytes) + " (" + grouped(n) + " bytes)";
}

std::vector<ComputerLine> computerLines(const HostReport& host, const ClientInfo& client, const HostFiles* files,
                                        const EffectivePrefs& prefs) {
    std::vector<ComputerLine> out;
    Lines lines(out);
    if (host.host.found) hostLines(lines, host.host);
    for (std::size_t i = 0; i < host.host.gpus.size(); ++i) {
        lines.group("GPU " + std::to_string(i + 1) + ": " + gpuTitle(host.host.gpus[i]));
        gpuLines(lines, host.host.gpus[i], "coprocs");
    }
    if (files && files->coprocInfo) {
        const CoprocInfo& info = *files->coprocInfo;
        for (std::size_t i = 0; i < info.gpus.size(); ++i) {
            const Gpu& g = info.gpus[i];
            lines.group("Detected GPU " + std::to_string(i + 1) + ": " + gpuTitle(g));
            const bool usable = std::any_of(host.host.gpus.begin(), host.host.gpus.end(),
                                            [&](const Gpu& h) { return sameMaker(h, g); });
            ComputerLine& state = lines.add("Usable", usable ? "yes" : "no: found, but the client does not use it",
                                            "coproc_info.xml <" + g.kind + ">");
            if (!usable) state.mark = Mark::unusable;
            gpuLines(lines, g, "coproc_info.xml");
        }
        lines.group("GPU detection");
        for (const std::string& w : info.warnings) lines.add("Warning", w, "coproc_info.xml <warning>").mark = Mark::warning;
        if (info.gpus.empty() && info.warnings.empty()) lines.add("Detected", "none", "coproc_info.xml");
    }
    lines.group("Client");
    lines.text("Platform", client.platform_name, "platform_name");
    if (const auto v = client.version()) lines.add("Version", *v, "<core_client_major_version> …");
    lines.value("Computing", client.user_run_request, "user_run_request", runModeOf);
    lines.value("GPU use", client.user_gpu_request, "user_gpu_request", runModeOf);
    lines.value("Network use", client.user_network_request, "user_network_request", runModeOf);
    lines.text("Usable GPUs", host.host.n_usable_coprocs, "n_usable_coprocs");
    if (host.time.found) {
        const TimeStats& t = host.time;
        lines.group("Time");
        lines.fraction("Client running", t.on_frac, "on_frac");
        lines.fraction("Connected", t.connected_frac, "connected_frac");
        lines.fraction("Allowed to compute and transfer", t.cpu_and_network_available_frac,
                       "cpu_and_network_available_frac");
        lines.fraction("Allowed to compute", t.active_frac, "active_frac");
        lines.fraction("Allowed to use the GPU", t.gpu_active_frac, "gpu_active_frac");
        if (const auto start = numberIn(t.client_start_time); start && *start > 0)
            lines.add("Client started", std::string(*t.client_start_time), "<client_start_time>").moment = *start;
        lines.duration("Running, in all", t.total_duration, "total_duration");
        lines.duration("Allowed to compute, in all", t.total_active_duration, "total_active_duration");
    }
    if (host.net.found) {
        lines.group("Network");
        const auto rate = [](std::string_view t) {
            const auto n = numberIn(t);
            return n ? bytesForPeople(*n) + "/s" : std::string(t);
        };
        lines.value("Average upload rate", host.net.avg_up, "avg_up", rate);
        lines.value("Average download rate", host.net.avg_down, "avg_down", rate);
    }
    prefLines(lines, prefs);
    return out;
}

ProjectFolderList projectFolders(const ClientState& state) {
    ProjectFolderList out;
    for (std::size_t i = 0; i < state.projectInfo.size(); ++i) {
        const projectRecord p = state.projectInfo[i];
        out.add(escapedMasterUrl(p.values.get(Key::master_url).value_or("")));
        for (const resultRecord r : p.result)
            if (const auto slot = r.get(Key::slot)) out.addSlot(*slot);
    }
    return out;
}

std::size_t DiskFigures::rowCount() const noexcept { return state ? state->projectInfo.size() + 1 : 0; }

DiskRow DiskFigures::row(std::size_t i) const {
    DiskRow row;
    if (i + 1 < rowCount()) {
        const projectRecord p = state->projectInfo[i];
        row.project = i;
        row.masterUrl = p.values.get(Key::master_url).value_or("");
        const auto name = p.values.get(Key::project_name);
        row.name = name && !name->empty() ? *name : row.masterUrl;
        row.recorded = state->clientStatus.of(i).disk_usage;
        if (walk) row.bytes = walk->projectBytes[i];
    } else {
        row.name = "BOINC client";
        row.bytes = clientBytes;
    }
    if (row.bytes && allowed.bytes && *allowed.bytes > 0) row.share = static_cast<double>(*row.bytes) / *allowed.bytes;
    return row;
}

DiskFigures diskFigures(std::shared_ptr<const ClientState> state, const HostReport& host, const EffectivePrefs& prefs,
                        std::shared_ptr<const DiskWalk> walk) {
    DiskFigures d;
    const ProjectInfo& projects = state->projectInfo;
    if (walk && walk->projectBytes.size() != projects.size()) walk = nullptr;  // counted for other projects
    // Summed as a double: a hostile record of 1e30 bytes neither wraps nor
    // falls outside an integer's range.
    double total = 0;
    for (std::size_t i = 0; i < projects.size(); ++i) {
        // Without a count, the client's own record stands in for the total.
        if (walk) total += static_cast<double>(walk->projectBytes[i]);
        else total += std::max(0.0, numberIn(state->clientStatus.of(i).disk_usage).value_or(0));
    }
    if (walk) {
        d.clientBytes = walk->clientBytes;
        total += static_cast<double>(walk->clientBytes);
        d.totalBytes = walk->clientBytes + walk->projectsBytes();
    }
    d.state = std::move(state);
    // The client reckons with the free space of this moment; the file's
    // figure is as old as the file. The live one is taken when the file
    // describes this very file system (the same size).
    d.diskBytes = numberIn(host.host.d_total);
    d.freeBytes = numberIn(host.host.d_free);
    if (walk && walk->fileSystemBytes && walk->freeBytes && d.diskBytes &&
        *d.diskBytes == static_cast<double>(*walk->fileSystemBytes)) {
        d.freeBytes = static_cast<double>(*walk->freeBytes);
        d.live = true;
    }
    d.allowed = diskAllowance(prefs, d.diskBytes, d.freeBytes, total);
    if (d.allowed.bytes) d.allowanceLeft = std::max(0.0, *d.allowed.bytes - total);
    if (walk) {
        d.walkNote = "Counted in " + formatFixed(walk->seconds, 2) + " s over " + grouped(walk->entries) + " entries.";
        if (walk->stopped)
            d.walkNote += " Stopped after " + grouped(walk->entries) + " entries: the figures count only what was reached.";
        for (std::size_t i = 0; i < walk->problems.size(); ++i)
            d.walkNote += (i == 0 ? " Could not read " : "; ") + walk->problems[i];
        if (!walk->problems.empty()) d.walkNote += ".";
    } else {
        d.walkNote = "Not counted yet: the figures are the client's own, from its last count.";
    }
    d.walk = std::move(walk);
    return d;
}

namespace {

using LineRow = const ComputerLine*;

SortValue textSort(const std::string& t) { return SortValue::ofText(t); }

Cell valueCell(const LineRow& l, double) {
    return l->moment ? Cell::ofDate(*l->moment) : Cell::ofText(l->value);
}
std::optional<std::string> lineExplanation(const LineRow& l, double) {
    std::string t = l->tooltip;
    if (!l->element.empty()) t += (t.empty() ? "" : "\n") + ("Read from " + l->element);
    return t.empty() ? std::nullopt : std::optional<std::string>(std::move(t));
}
Tone lineTone(const LineRow& l, double) {
    return l->mark == Mark::unusable ? Tone::failed : l->mark == Mark::warning ? Tone::atRisk : Tone::plain;
}

SortValue numberSort(std::optional<double> n) { return n ? SortValue::ofNumber(*n) : SortValue::none(); }
std::optional<double> recordedBytes(const DiskRow& r) { return numberIn(r.recorded); }
std::optional<double> countedBytes(const DiskRow& r) {
    return r.bytes ? std::optional<double>(static_cast<double>(*r.bytes)) : std::nullopt;
}
Cell bytesCell(std::optional<double> n) { return n && *n >= 0 ? Cell::ofText(bytesWithExact(*n), *n) : Cell::empty(); }

}  // namespace

const std::array<TableColumn<const ComputerLine*>, computerColumnCount> computerColumns{{
    tableColumn<LineRow>({"group", "Group", "What the value is about"},
                         [](const LineRow& l, double) { return Cell::ofText(l->group); },
                         [](const LineRow& l, double) { return textSort(l->group); }),
    tableColumn<LineRow>({"name", "Item", "The value's name"},
                         [](const LineRow& l, double) { return Cell::ofText(l->name); },
                         [](const LineRow& l, double) { return textSort(l->name); }, &lineExplanation, &lineTone),
    tableColumn<LineRow>({"value", "Value", "As the client wrote it, with units for people"}, &valueCell,
                         [](const LineRow& l, double) { return textSort(l->value); }, &lineExplanation, &lineTone),
}};

const std::array<TableColumn<DiskRow>, diskColumnCount> diskColumns{{
    tableColumn<DiskRow>({"project", "Project", "The project, or the client's own files"},
                         [](const DiskRow& r, double) { return Cell::ofText(std::string(r.name)); },
                         [](const DiskRow& r, double) { return SortValue::ofText(r.name); },
                         [](const DiskRow& r, double) {
                             return r.masterUrl.empty() ? std::optional<std::string>()
                                                        : std::optional<std::string>(r.masterUrl);
                         }),
    tableColumn<DiskRow>({"bytes", "Used", "Counted now as the client counts: allocated bytes of its files"},
                         [](const DiskRow& r, double) { return bytesCell(countedBytes(r)); },
                         [](const DiskRow& r, double) { return numberSort(countedBytes(r)); }),
    tableColumn<DiskRow>({"recorded", "Client's count", "What the client found at its last count (<disk_usage>)"},
                         [](const DiskRow& r, double) { return bytesCell(recordedBytes(r)); },
                         [](const DiskRow& r, double) { return numberSort(recordedBytes(r)); }),
    tableColumn<DiskRow>({"share", "Share", "Of what the client may use"},
                         [](const DiskRow& r, double) {
                             return r.bytes ? Cell::ofText(formatFixed(r.share * 100.0, 1) + "%", r.share)
                                            : Cell::empty();
                         },
                         [](const DiskRow& r, double) {
                             return r.bytes ? SortValue::ofNumber(r.share) : SortValue::none();
                         }),
}};

}  // namespace crunchwatch

#include "dump/host_report.hpp"

#include <charconv>
#include <cmath>
#include <utility>

namespace crunchwatch {
namespace {

using Text = std::optional<std::string_view>;

Text viewOf(const std::optional<std::string>& s) { return s ? Text(*s) : std::nullopt; }

void member(JsonWriter& json, std::string_view key, Text value) {
    json.key(key);
    json.optionalString(value);
}

void numberMember(JsonWriter& json, std::string_view key, std::optional<double> value) {
    json.key(key);
    if (value) json.wholeNumber(*value);
    else json.null();
}

// A walk's byte counts stay exact as JSON numbers up to 2^53 (8 PiB).
std::optional<double> bytesOf(const std::optional<std::uint64_t>& bytes) {
    return bytes ? std::optional<double>(static_cast<double>(*bytes)) : std::nullopt;
}

const ComputerValue& computerOf(const Report& report) {
    static const ComputerValue none;
    return report.computer ? *report.computer : none;
}

void writeGpu(JsonWriter& json, const Gpu& g, bool detected) {
    json.beginObject();
    member(json, "kind", g.kind);
    const std::pair<std::string_view, const std::optional<std::string>*> values[] = {
        {"type", &g.type},
        {"count", &g.count},
        {"name", &g.name},
        {"memory", &g.memory},
        {"peak_flops", &g.peak_flops},
        {"driver_version", &g.driver_version},
        {"opencl_name", &g.opencl_name},
        {"opencl_vendor", &g.opencl_vendor},
        {"opencl_device_version", &g.opencl_device_version},
        {"opencl_driver_version", &g.opencl_driver_version}};
    for (const auto& [key, value] : values) member(json, key, viewOf(*value));
    if (detected) member(json, "device_num", viewOf(g.device_num));
    json.endObject();
}

void writeHost(JsonWriter& json, const Report& report, std::string_view name) {
    const HostReport& r = report.snapshot->state.host;
    const HostInfo& h = r.host;
    const ClientInfo& c = report.snapshot->state.clientStatus.client;
    json.key(name);
    json.beginObject();
    const std::pair<std::string_view, const HostText*> values[] = {
        {"timezone", &h.timezone},     {"domain_name", &h.domain_name},
        {"p_vendor", &h.p_vendor},     {"p_model", &h.p_model},
        {"p_ncpus", &h.p_ncpus},       {"p_features", &h.p_features},
        {"p_fpops", &h.p_fpops},       {"p_iops", &h.p_iops},
        {"p_membw", &h.p_membw},       {"m_nbytes", &h.m_nbytes},
        {"m_swap", &h.m_swap},         {"m_cache", &h.m_cache},
        {"d_total", &h.d_total},       {"d_free", &h.d_free},
        {"os_name", &h.os_name},       {"os_version", &h.os_version},
        {"n_usable_coprocs", &h.n_usable_coprocs}, {"virtualbox_version", &h.virtualbox_version},
        {"product_name", &h.product_name}};
    for (const auto& [key, value] : values) member(json, key, *value);
    member(json, "platform_name", c.platform_name);
    const std::optional<std::string> version = c.version();
    member(json, "client_version", viewOf(version));
    member(json, "user_run_request", c.user_run_request);
    member(json, "user_gpu_request", c.user_gpu_request);
    member(json, "user_network_request", c.user_network_request);

    json.key("net_stats");
    json.beginObject();
    member(json, "avg_up", r.net.avg_up);
    member(json, "avg_down", r.net.avg_down);
    json.endObject();

    json.key("gpus");
    json.beginArray();
    for (const Gpu& g : h.gpus) writeGpu(json, g, false);
    json.endArray();

    const HostFiles* files = computerOf(report).files.get();
    const CoprocInfo* detected = files && files->coprocInfo ? &*files->coprocInfo : nullptr;
    json.key("detected_gpus");
    if (detected) {
        json.beginArray();
        for (const Gpu& g : detected->gpus) writeGpu(json, g, true);
        json.endArray();
    } else {
        json.null();
    }
    json.key("gpu_warnings");
    json.beginArray();
    if (detected)
        for (const std::string& w : detected->warnings) json.string(w);
    json.endArray();
    json.endObject();
}

void writeTimeStats(JsonWriter& json, const Report& report) {
    const TimeStats& t = report.snapshot->state.host.time;
    json.key("time_stats");
    json.beginObject();
    const std::pair<std::string_view, const HostText*> values[] = {
        {"on_frac", &t.on_frac},
        {"connected_frac", &t.connected_frac},
        {"cpu_and_network_available_frac", &t.cpu_and_network_available_frac},
        {"active_frac", &t.active_frac},
        {"gpu_active_frac", &t.gpu_active_frac},
        {"client_start_time", &t.client_start_time},
        {"total_duration", &t.total_duration},
        {"total_active_duration", &t.total_active_duration},
        {"last_update", &t.last_update}};
    for (const auto& [key, value] : values) member(json, key, *value);
    json.endObject();
}

void writeDailyXfers(JsonWriter& json, const Report& report) {
    json.key("daily_xfers");
    json.beginArray();
    if (const HostFiles* files = computerOf(report).files.get())
        for (const DailyXfer& d : files->dailyXfers) {
            json.beginObject();
            numberMember(json, "when", numberOfText(d.when));
            numberMember(json, "up", numberOfText(d.up));
            numberMember(json, "down", numberOfText(d.down));
            json.endObject();
        }
    json.endArray();
}

void writeDisk(JsonWriter& json, const Report& report) {
    const DiskFigures& d = computerOf(report).disk;
    const ProjectInfo& info = report.snapshot->state.projectInfo;
    json.key("disk");
    json.beginObject();
    json.key("projects");
    json.beginArray();
    for (std::size_t i = 0; i < d.rowCount(); ++i) {
        const DiskRow row = d.row(i);
        if (!row.project) continue;  // the client's own row: client_bytes
        const Text name = *row.project < info.size() ? info[*row.project].values.get(Key::project_name) : std::nullopt;
        json.beginObject();
        member(json, "master_url", row.masterUrl);
        member(json, "project_name", name);
        numberMember(json, "bytes", bytesOf(row.bytes));
        numberMember(json, "client_recorded", numberOfText(row.recorded));
        json.endObject();
    }
    json.endArray();
    numberMember(json, "client_bytes", bytesOf(d.clientBytes));
    numberMember(json, "free_bytes", d.freeBytes);
    numberMember(json, "allowed_bytes", d.allowed.bytes);
    numberMember(json, "total_bytes", bytesOf(d.totalBytes));
    numberMember(json, "disk_bytes", d.diskBytes);
    member(json, "allowed_by", d.allowed.bytes ? Text(boundText(d.allowed.bound)) : std::nullopt);
    json.key("complete");
    if (d.walk) json.boolean(!d.walk->stopped);
    else json.null();
    numberMember(json, "counted_at", d.walk ? std::optional<double>(d.walk->takenAt) : std::nullopt);
    json.key("problems");
    json.beginArray();
    if (d.walk)
        for (const std::string& p : d.walk->problems) json.string(p);
    json.endArray();
    json.endObject();
}

void writeEffectivePrefs(JsonWriter& json, const Report& report) {
    json.key("effective_prefs");
    json.beginObject();
    if (report.prefs)
        for (const EffectivePref& p : report.prefs->effective.values) {
            if (p.source == PrefSource::client_default) continue;
            json.key(p.name);
            json.beginObject();
            member(json, "value", p.value);
            member(json, "source", prefSourceName(p.source));
            json.endObject();
        }
    json.endObject();
}

std::string bytesText(std::optional<double> bytes) { return bytes ? bytesWithExact(*bytes) : std::string("-"); }

}  // namespace

std::optional<double> numberOfText(std::optional<std::string_view> text) noexcept {
    if (!text) return std::nullopt;
    std::string_view t = *text;
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!t.empty() && space(t.front())) t.remove_prefix(1);
    while (!t.empty() && space(t.back())) t.remove_suffix(1);
    if (t.size() > 1 && t.front() == '+' && t[1] != '-') t.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (t.empty() || ec != std::errc{} || end != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

void writeHostJson(JsonWriter& json, const Report& report, std::string_view hostKey) {
    writeHost(json, report, hostKey);
    writeTimeStats(json, report);
    writeDailyXfers(json, report);
    writeDisk(json, report);
    writeEffectivePrefs(json, report);
}

std::vector<std::string> diskSummaryLines(const Report& report) {
    const DiskFigures& d = computerOf(report).disk;
    std::vector<std::string> lines;
    if (!d.walkNote.empty()) lines.push_back(d.walkNote);
    std::string allowed = bytesText(d.allowed.bytes);
    if (d.allowed.bytes) allowed += " (by " + std::string(boundText(d.allowed.bound)) + ")";
    lines.push_back("Used by the client: " + bytesText(bytesOf(d.totalBytes)));
    lines.push_back("May use: " + allowed + ", of which left: " + bytesText(d.allowanceLeft));
    lines.push_back(std::string(d.live ? "Free on the disk now: " : "Free on the disk (the client's record): ") +
                    bytesText(d.freeBytes) + " of " + bytesText(d.diskBytes));
    return lines;
}

std::string preferenceLine(const Report& report, std::string_view label, std::string_view name,
                           const std::optional<std::string>& webValue) {
    std::string line = std::string(label) + ": ";
    const EffectivePref* p = report.prefs ? report.prefs->effective.find(name) : nullptr;
    // The override's value is the one in force; the web file's, as read for
    // the status bar before, otherwise.
    if (p && p->source == PrefSource::override_file)
        return line + p->value + " (" + std::string(prefSourceText(p->source)) + ")";
    return line + webValue.value_or("-");
}

}  // namespace crunchwatch

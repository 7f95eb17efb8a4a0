#include <array>
#include <map>
#include <string_view>

#include "dump/host_report.hpp"

namespace crunchwatch {
namespace {

void writeHostInfoFamilies(ExpositionWriter& w, const Report& report) {
    const HostInfo& h = report.snapshot->state.host.host;
    const ClientInfo& c = report.snapshot->state.clientStatus.client;
    const std::string version = c.version().value_or("");
    w.family("crunchwatch_host_info", MetricType::Gauge,
             "The BOINC client's host: its operating system, processor, platform and client version (always 1).");
    const auto text = [](HostText t) { return t.value_or(""); };
    const std::string labels = labelText({{"os", text(h.os_name)},
                                          {"os_version", text(h.os_version)},
                                          {"cpu", text(h.p_model)},
                                          {"cpu_vendor", text(h.p_vendor)},
                                          {"platform", text(c.platform_name)},
                                          {"client_version", version}});
    // A file that says nothing of the host gives no sample rather than one of empty labels.
    if (h.found || c.platform_name || !version.empty()) w.sample("crunchwatch_host_info", labels, 1);

    w.family("crunchwatch_host_cpus", MetricType::Gauge, "How many processors the BOINC client counts on its host.");
    if (const auto n = numberOfText(h.p_ncpus)) w.sample("crunchwatch_host_cpus", {}, *n);

    // Per maker, summed: two NVIDIA elements of the same host count together.
    // An element without a count names one device.
    w.family("crunchwatch_host_gpus", MetricType::Gauge, "How many GPUs the BOINC client uses, by maker.");
    std::map<std::string, double> gpus;
    for (const Gpu& g : h.gpus) {
        const std::optional<double> count = g.count ? numberOfText(*g.count) : std::optional<double>(1);
        gpus[g.maker()] += count.value_or(0);
    }
    for (const auto& [maker, count] : gpus) w.sample("crunchwatch_host_gpus", labelText({{"type", maker}}), count);
}

void writeTimeFamilies(ExpositionWriter& w, const Report& report) {
    const TimeStats& t = report.snapshot->state.host.time;
    const std::array<std::pair<std::string_view, const HostText*>, 5> kinds{{{"on", &t.on_frac},
                                                                               {"connected", &t.connected_frac},
                                                                               {"cpu_and_network_available",
                                                                                &t.cpu_and_network_available_frac},
                                                                               {"active", &t.active_frac},
                                                                               {"gpu_active", &t.gpu_active_frac}}};
    w.family("crunchwatch_time_fraction", MetricType::Gauge,
             "Fraction of the time the BOINC client ran, was connected, could compute and use the network, was "
             "allowed to compute, and to use the GPU, by kind.");
    // The client writes -1 for a fraction it has not measured yet.
    for (const auto& [kind, value] : kinds)
        if (const auto v = numberOfText(*value); v && *v >= 0) w.sample("crunchwatch_time_fraction", labelText({{"kind", kind}}), *v);
}

void writeDiskFamilies(ExpositionWriter& w, const Report& report, const ProjectLabels& projectLabels) {
    static const ComputerValue none;
    const DiskFigures& d = report.computer ? report.computer->disk : none.disk;
    const std::string clientLabels = labelText({{"project", ""}, {"url", ""}});
    w.family("crunchwatch_disk_usage_bytes", MetricType::Gauge,
             "Bytes a project's files take on disk, counted as the BOINC client counts them (project=\"\" for the "
             "client's own files).");
    for (std::size_t i = 0; i < d.rowCount(); ++i) {
        const DiskRow row = d.row(i);
        if (!row.bytes) continue;
        if (!row.project) {
            w.sample("crunchwatch_disk_usage_bytes", clientLabels, static_cast<double>(*row.bytes));
            continue;
        }
        // A project without name or address would repeat the client's own series.
        const std::string_view labels = projectLabels(*row.project);
        if (!labels.empty() && labels != clientLabels)
            w.sample("crunchwatch_disk_usage_bytes", labels, static_cast<double>(*row.bytes));
    }
    w.family("crunchwatch_disk_allowed_bytes", MetricType::Gauge,
             "Bytes of disk the BOINC client may use under its preferences in force.");
    if (d.allowed.bytes) w.sample("crunchwatch_disk_allowed_bytes", {}, *d.allowed.bytes);
    w.family("crunchwatch_disk_free_bytes", MetricType::Gauge,
             "Bytes free to an ordinary user on the file system of the BOINC client's data directory (the client's "
             "own record of its disk when that is not this computer's).");
    if (d.freeBytes) w.sample("crunchwatch_disk_free_bytes", {}, *d.freeBytes);
}

}  // namespace

void writeHostMetrics(ExpositionWriter& w, const Report& report, const ProjectLabels& projectLabels) {
    writeHostInfoFamilies(w, report);
    writeTimeFamilies(w, report);
    writeDiskFamilies(w, report, projectLabels);
}

}  // namespace crunchwatch

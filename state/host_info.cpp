#include "state/host_info.hpp"

#include <algorithm>
#include <array>

#include "state/local_folder.hpp"
#include "state/normalise.hpp"
#include "state/scan.hpp"

namespace crunchwatch {
namespace {

// "<name>" and "</name>" of a short element name, built on the stack.
struct Tags {
    explicit Tags(std::string_view name) {
        const std::size_t n = std::min(name.size(), sizeof m_open - 3);
        m_open[0] = m_close[0] = '<';
        m_close[1] = '/';
        name.copy(m_open + 1, n);
        name.copy(m_close + 2, n);
        m_open[n + 1] = m_close[n + 2] = '>';
        m_size = n;
    }
    std::string_view open() const noexcept { return {m_open, m_size + 2}; }
    std::string_view close() const noexcept { return {m_close, m_size + 3}; }

private:
    char m_open[48]{}, m_close[48]{};
    std::size_t m_size = 0;
};

HostText cut(std::string_view text, std::string_view name) {
    const Tags tags(name);
    return wytnij(text, tags.open(), tags.close());
}

std::optional<std::string> owned(HostText v) { return v ? std::optional<std::string>(std::in_place, *v) : std::nullopt; }

// An element's text with one nested element of it taken out, so that the
// nested one's values (a GPU's <name> inside <coprocs>, an OpenCL device's
// inside its GPU) never answer for the outer one's. `before` and `after` are
// the two sides; a value is looked for in the first, then the second.
struct Outside {
    std::string_view before, after, inner;

    Outside(std::string_view text, std::string_view name) : before(text) {
        const Tags tags(name);
        const std::size_t start = findFrom(text, tags.open());
        if (start == std::string_view::npos) return;
        std::size_t end = findFrom(text, tags.close(), start);
        if (end == std::string_view::npos) end = text.size();
        before = text.substr(0, start);
        inner = text.substr(start + tags.open().size(), end - start - tags.open().size());
        after = text.substr(std::min(text.size(), end + tags.close().size()));
    }
    HostText value(std::string_view name) const {
        const HostText v = cut(before, name);
        return v ? v : cut(after, name);
    }
};

constexpr std::array<std::string_view, 11> gpuKinds{
    "coproc_cuda",   "coproc_ati",  "coproc_intel_gpu", "coproc_apple_gpu", "coproc",     "nvidia_opencl",
    "ati_opencl",    "intel_gpu_opencl", "apple_gpu_opencl", "other_opencl", "cpu_opencl",
};

bool openclOnly(std::string_view kind) { return kind.size() > 7 && kind.substr(kind.size() - 7) == "_opencl"; }

Gpu gpuOf(std::string_view kind, std::string_view body) {
    Gpu g;
    g.kind = std::string(kind);
    // An OpenCL-only device is its own OpenCL description.
    const Outside parts = openclOnly(kind) ? Outside(std::string_view(), "coproc_opencl") : Outside(body, "coproc_opencl");
    const std::string_view opencl = openclOnly(kind) ? body : parts.inner;
    g.type = owned(parts.value("type"));
    g.count = owned(parts.value("count"));
    g.device_num = owned(parts.value("device_num"));
    g.peak_flops = owned(parts.value("peak_flops"));
    g.name = owned(parts.value("name"));
    g.memory = owned(parts.value("available_ram"));
    if (!g.memory) g.memory = owned(parts.value("totalGlobalMem"));
    for (std::string_view n : {"drvVersion", "CALVersion", "driver_version", "version"})
        if (!g.driver_version) g.driver_version = owned(parts.value(n));
    if (!opencl.empty()) {
        g.opencl_name = owned(cut(opencl, "name"));
        g.opencl_vendor = owned(cut(opencl, "vendor"));
        g.opencl_device_version = owned(cut(opencl, "opencl_device_version"));
        g.opencl_driver_version = owned(cut(opencl, "opencl_driver_version"));
        if (!g.name) g.name = g.opencl_name;
        if (!g.memory) g.memory = owned(cut(opencl, "global_mem_size"));
        if (!g.peak_flops && openclOnly(kind)) g.peak_flops = owned(cut(opencl, "peak_flops"));
    }
    return g;
}

// Each GPU element of `text` and each <warning>, in order, at most mostGpus
// of each: one pass, every element skipped whole once seen.
void readGpus(std::string_view text, std::vector<Gpu>& gpus, std::vector<std::string>* warnings) {
    for (std::size_t at = 0; (at = text.find('<', at)) != std::string_view::npos;) {
        const std::size_t nameEnd = text.find('>', at);
        if (nameEnd == std::string_view::npos) return;
        const std::string_view name = text.substr(at + 1, nameEnd - at - 1);
        const bool isGpu = std::find(gpuKinds.begin(), gpuKinds.end(), name) != gpuKinds.end();
        const bool isWarning = warnings && name == "warning";
        if (!isGpu && !isWarning) {
            at = nameEnd;
            continue;
        }
        const Tags tags(name);
        std::size_t end = findFrom(text, tags.close(), nameEnd);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view body = text.substr(nameEnd + 1, end - nameEnd - 1);
        if (isGpu && gpus.size() < mostGpus) gpus.push_back(gpuOf(name, body));
        if (isWarning && warnings->size() < mostGpus) warnings->emplace_back(body);
        at = end;
    }
}

}  // namespace

std::string Gpu::maker() const {
    if (kind == "coproc_cuda" || kind == "nvidia_opencl") return "NVIDIA";
    if (kind == "coproc_ati" || kind == "ati_opencl") return "AMD";
    if (kind == "coproc_intel_gpu" || kind == "intel_gpu_opencl") return "Intel";
    if (kind == "coproc_apple_gpu" || kind == "apple_gpu_opencl") return "Apple";
    if (kind == "coproc" && type && !type->empty()) return *type;
    return kind;
}

HostReport readHostReport(std::string_view text, const Sections& sekcje) {
    HostReport r;
    // The client writes the three before its projects: without a host
    // section they are looked for there, never in the rest of a big file.
    std::string_view section = text;
    if (sekcje.host_info) section = *sekcje.host_info;
    else if (sekcje.project) section = text.substr(0, static_cast<std::size_t>(sekcje.project->data() - text.data()));
    if (const HostText hostInfo = cut(section, "host_info")) {
        HostInfo& h = r.host;
        h.found = true;
        const Outside parts(*hostInfo, "coprocs");
        h.timezone = parts.value("timezone");
        h.domain_name = parts.value("domain_name");
        h.p_vendor = parts.value("p_vendor");
        h.p_model = parts.value("p_model");
        h.p_ncpus = parts.value("p_ncpus");
        h.p_features = parts.value("p_features");
        h.p_fpops = parts.value("p_fpops");
        h.p_iops = parts.value("p_iops");
        h.p_membw = parts.value("p_membw");
        h.m_nbytes = parts.value("m_nbytes");
        h.m_swap = parts.value("m_swap");
        h.m_cache = parts.value("m_cache");
        h.d_total = parts.value("d_total");
        h.d_free = parts.value("d_free");
        h.os_name = parts.value("os_name");
        h.os_version = parts.value("os_version");
        h.n_usable_coprocs = parts.value("n_usable_coprocs");
        h.virtualbox_version = parts.value("virtualbox_version");
        h.product_name = parts.value("product_name");
        h.coprocsFound = parts.inner.data() != nullptr || findFrom(*hostInfo, "<coprocs>") != std::string_view::npos;
        readGpus(parts.inner, h.gpus, nullptr);
    }
    if (const HostText t = cut(section, "time_stats")) {
        TimeStats& s = r.time;
        s.found = true;
        s.on_frac = cut(*t, "on_frac");
        s.connected_frac = cut(*t, "connected_frac");
        s.cpu_and_network_available_frac = cut(*t, "cpu_and_network_available_frac");
        s.active_frac = cut(*t, "active_frac");
        s.gpu_active_frac = cut(*t, "gpu_active_frac");
        s.client_start_time = cut(*t, "client_start_time");
        s.total_duration = cut(*t, "total_duration");
        s.total_active_duration = cut(*t, "total_active_duration");
        s.last_update = cut(*t, "last_update");
    }
    if (const HostText n = cut(section, "net_stats")) {
        r.net.found = true;
        r.net.avg_up = cut(*n, "avg_up");
        r.net.avg_down = cut(*n, "avg_down");
    }
    return r;
}

CoprocInfo readCoprocInfoText(std::string_view text) {
    CoprocInfo info;
    readGpus(text, info.gpus, &info.warnings);
    return info;
}

std::vector<DailyXfer> readDailyXfersText(std::string_view text) {
    std::vector<DailyXfer> days;
    for (std::size_t at = 0; (at = findFrom(text, "<dx>", at)) != std::string_view::npos;) {
        std::size_t end = findFrom(text, "</dx>", at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view dx = text.substr(at + 4, end - at - 4);
        at = end;
        days.push_back({std::string(cut(dx, "when").value_or("")), std::string(cut(dx, "up").value_or("")),
                        std::string(cut(dx, "down").value_or(""))});
        // Only the newest are kept: a file of very many days never holds
        // more than twice as many at once.
        if (days.size() == 2 * mostDailyXfers) days.erase(days.begin(), days.begin() + mostDailyXfers);
    }
    if (days.size() > mostDailyXfers) days.erase(days.begin(), days.end() - mostDailyXfers);
    return days;
}

namespace {

constexpr const char* coprocInfoName = "coproc_info.xml";
constexpr const char* dailyXfersName = "daily_xfer_history.xml";
constexpr std::uint64_t largestHostFile = std::uint64_t{16} << 20;

}  // namespace

std::string hostFilesStamp(const std::string& dataDir) { return hostFilesStamp(LocalFolder(dataDir)); }
HostFiles readHostFiles(const std::string& dataDir) { return readHostFiles(LocalFolder(dataDir)); }

std::string hostFilesStamp(const Folder& folder) {
    return folder.dateText(coprocInfoName).value_or("-") + "|" + folder.dateText(dailyXfersName).value_or("-");
}

HostFiles readHostFiles(const Folder& folder) {
    HostFiles files;
    files.stamp = hostFilesStamp(folder);
    const auto read = [&](const char* name) -> std::optional<std::string> {
        ReadFailure why = ReadFailure::none;
        auto file = folder.readSmall(name, largestHostFile, why);
        if (!file && why != ReadFailure::notFound) {
            if (!files.problem.empty()) files.problem += "; ";
            files.problem += std::string(name) + ": " + readFailureReason(why);
        }
        if (!file) return std::nullopt;
        file->text.resize(normaliseInPlace(file->text.data(), file->text.size()));
        return std::move(file->text);
    };
    if (const auto text = read(coprocInfoName)) files.coprocInfo = readCoprocInfoText(*text);
    if (const auto text = read(dailyXfersName)) {
        files.dailyXfersFound = true;
        files.dailyXfers = readDailyXfersText(*text);
    }
    return files;
}

}  // namespace crunchwatch

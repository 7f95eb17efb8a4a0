#include "dump/status_report.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <utility>

#include "tables/project_status.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {
namespace {

template <class Integer>
std::string integerText(Integer n) {
    std::array<char, 24> buf;
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), n);
    return std::string(buf.data(), end);
}

void member(JsonWriter& json, std::string_view key, MaybeText value) {
    json.key(key);
    json.optionalString(value);
}

// A value made from text alone has no surroundings: nothing can be told.
ClientLock lockOf(const Report& report) { return report.around ? report.around->lock : ClientLock{}; }

void writeClient(JsonWriter& json, const Report& report) {
    const ClientInfo& c = report.snapshot->state.clientStatus.client;
    const ClientLock lock = lockOf(report);
    json.key("client");
    json.beginObject();
    json.key("running");
    if (lock.running == ClientRunning::cannotTell) json.null();
    else json.boolean(lock.running == ClientRunning::yes);
    json.key("pid");
    if (lock.pid) json.integer(*lock.pid);
    else json.null();
    const std::optional<std::string> version = c.version();
    member(json, "version", version ? MaybeText(*version) : std::nullopt);
    member(json, "platform", c.platform_name);
    member(json, "run_mode", c.user_run_request);
    member(json, "gpu_mode", c.user_gpu_request);
    member(json, "network_mode", c.user_network_request);
    json.endObject();
}

void writeProjectStatus(JsonWriter& json, const Report& report, double now) {
    const Snapshot& s = *report.snapshot;
    json.key("project_status");
    json.beginArray();
    for (std::size_t i = 0; i < s.state.projectInfo.size(); ++i) {
        const ProjectStatus p = s.state.clientStatus.of(i);
        const projectRecord record = s.state.projectInfo[i];
        json.beginObject();
        member(json, "project_name", record.values.get(Key::project_name));
        member(json, "master_url", record.values.get(Key::master_url));
        json.key("flags");
        json.beginArray();
        for (std::size_t f = 0; f < projectFlagNames.size(); ++f)
            if (p.has(static_cast<ProjectFlag>(f))) json.string(projectFlagNames[f]);
        json.endArray();
        const std::pair<std::string_view, MaybeText> scheduling[] = {
            {"sched_rpc_pending", p.sched_rpc_pending}, {"min_rpc_time", p.min_rpc_time},
            {"next_rpc_time", p.next_rpc_time},         {"last_rpc_time", p.last_rpc_time},
            {"nrpc_failures", p.nrpc_failures},         {"master_fetch_failures", p.master_fetch_failures}};
        for (const auto& [key, value] : scheduling) member(json, key, value);
        json.key("backoffs");
        json.beginArray();
        for (const Backoff& b : p.backoffs) {
            json.beginObject();
            member(json, "name", b.name);
            member(json, "time", b.time);
            member(json, "interval", b.interval);
            json.endObject();
        }
        json.endArray();
        member(json, "njobs_success", p.njobs_success);
        member(json, "njobs_error", p.njobs_error);
        const std::string status = projectStatusText(p, now);
        member(json, "status", status.empty() ? std::nullopt : MaybeText(status));
        json.endObject();
    }
    json.endArray();
}

void writeTransfers(JsonWriter& json, const Report& report) {
    json.key("transfers");
    json.beginArray();
    for (std::size_t i = 0; i < transfersTable.size(report); ++i) {
        const TransferRow row = transfersTable.row(report, i);
        const Transfer& t = row.transfer;
        json.beginObject();
        member(json, "project_name", row.projectName);
        member(json, "master_url", row.masterUrl);
        member(json, "name", t.name);
        json.key("upload");
        json.boolean(t.upload());
        member(json, "nbytes", t.nbytes);
        const BytesDoneSource done = bytesDoneSource(row);
        json.key("bytes_done");
        if (done.partialSize) json.string(integerText(*done.partialSize));
        else json.optionalString(done.text);
        member(json, "num_retries", t.num_retries);
        member(json, "first_request_time", t.first_request_time);
        member(json, "next_request_time", t.next_request_time);
        member(json, "time_so_far", t.time_so_far);
        member(json, "error_msg", t.error_msg);
        json.endObject();
    }
    json.endArray();
}

void writeSlotProgress(JsonWriter& json, const Report& report) {
    json.key("slot_progress");
    json.beginArray();
    if (report.around)
        for (const auto& [row, c] : report.around->checkpoints) {
            json.beginObject();
            member(json, "result", c.result);
            member(json, "project_url", c.project_url);
            member(json, "fraction_done", c.fraction_done);
            member(json, "checkpoint_cpu_time", c.checkpoint_cpu_time);
            member(json, "checkpoint_elapsed_time", c.checkpoint_elapsed_time);
            json.endObject();
        }
    json.endArray();
}

}  // namespace

void writeStatusJson(JsonWriter& json, const Report& report, const ReportOptions& options) {
    writeClient(json, report);
    writeProjectStatus(json, report, options.now);
    writeTransfers(json, report);
    writeSlotProgress(json, report);
}

std::string clientLine(const Report& report) {
    const ClientLock lock = lockOf(report);
    std::string line = "Client: ";
    if (const auto version = report.snapshot->state.clientStatus.client.version()) line += validUtf8(*version) + ", ";
    switch (lock.running) {
        case ClientRunning::yes:
            line += "running";
            if (lock.pid) line += " (process " + integerText(*lock.pid) + ")";
            break;
        case ClientRunning::no: line += "not running"; break;
        case ClientRunning::cannotTell: line += "cannot tell"; break;
    }
    return line;
}

}  // namespace crunchwatch

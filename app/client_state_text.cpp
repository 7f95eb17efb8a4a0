#include "app/client_state_text.hpp"

#include <QCoreApplication>
#include <QStringList>

#include "state/element_walk.hpp"
#include "state/numbers.hpp"
#include "state/scan.hpp"
#include "tables/date_value.hpp"

namespace crunchwatch {
namespace {

QString tr(const char* text) { return QCoreApplication::translate("ClientState", text); }
QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr std::int32_t runModeNever = 3;
constexpr std::int32_t processExecuting = 1;
constexpr std::int32_t processSuspended = 9;

// Nothing computes though the mode allows it: every started task holds its
// process suspended (the preferences' "while the computer is in use", on
// batteries, a time of day) and none executes. Read from the file's task
// list, which holds the started tasks only: a file of many results that never
// started costs no more.
bool everyStartedTaskSuspended(const Snapshot& snapshot) {
    const auto tasks = snapshot.state.file.sekcje.active_task_set;
    if (!tasks) return false;
    bool suspended = false, executing = false;
    forEachBlock(*tasks, "<active_task>", [&](std::string_view task) {
        const std::int32_t code = readInteger(wytnij(task, "<active_task_state>", "</active_task_state>"));
        suspended = suspended || code == processSuspended;
        executing = executing || code == processExecuting;
    });
    return suspended && !executing;
}

// "computing: always", "computing suspended (run mode: never)", ...
QStringList modes(const Snapshot& snapshot) {
    const ClientInfo& client = snapshot.state.clientStatus.client;
    QStringList parts;
    const auto computing = runModeText(client.user_run_request);
    if (client.user_run_request && readInteger(client.user_run_request) == runModeNever)
        parts << tr("computing suspended (run mode: never)");
    else if (everyStartedTaskSuspended(snapshot))
        parts << (computing ? tr("computing suspended: every started task is suspended (run mode: %1)").arg(qText(*computing))
                            : tr("computing suspended: every started task is suspended"));
    else if (computing)
        parts << tr("computing: %1").arg(qText(*computing));
    if (const auto gpu = runModeText(client.user_gpu_request)) parts << tr("GPU: %1").arg(qText(*gpu));
    if (const auto network = runModeText(client.user_network_request)) parts << tr("network: %1").arg(qText(*network));
    return parts;
}

QString clientNamed(const ClientInfo& client) {
    const auto version = client.version();
    return version ? tr("Client %1").arg(QString::fromStdString(*version)) : tr("Client");
}

bool nothingRead(const RefreshValue& value) { return !value.snapshot || !*value.snapshot || !value.around; }

}  // namespace

QString clientStateText(const RefreshValue& value) {
    if (nothingRead(value)) return {};
    const Surroundings& around = *value.around;
    const QString separator = QStringLiteral(" · ");
    switch (around.lock.running) {
        case ClientRunning::no: {
            const auto since = around.stateFileTime ? formatDaty(*around.stateFileTime, value.dateFormat) : std::nullopt;
            return since ? tr("No client running on this folder since %1").arg(QString::fromStdString(*since))
                         : tr("No client running on this folder");
        }
        case ClientRunning::yes: {
            QString running = clientNamed(value.snapshot->state.clientStatus.client) + tr(" running");
            if (around.lock.pid) running += tr(" (process %1)").arg(*around.lock.pid);
            return (QStringList{running} + modes(*value.snapshot)).join(separator);
        }
        case ClientRunning::cannotTell: break;
    }
    // Said before the modes, which may be cut short in a narrow window.
    return (QStringList{clientNamed(value.snapshot->state.clientStatus.client),
                        tr("whether it runs cannot be told (no lock file)")} +
            modes(*value.snapshot))
        .join(separator);
}

namespace {

// Each mode the file holds, with the one before it (what a temporary change
// of mode returns to): "computing: 3 (never), before: 2 (according to preferences)".
QString modeLines(const ClientInfo& c) {
    const auto said = [](MaybeText mode) {
        const auto words = runModeText(mode);
        return qText(*mode) + (words ? QStringLiteral(" (") + qText(*words) + QLatin1Char(')') : QString());
    };
    const struct {
        const char* name;
        MaybeText now, before;
    } modes[] = {{"computing", c.user_run_request, c.user_run_prev_request},
                 {"GPU", c.user_gpu_request, c.user_gpu_prev_request},
                 {"network", c.user_network_request, c.user_network_prev_request}};
    QString lines;
    for (const auto& m : modes) {
        if (!m.now) continue;
        lines += QLatin1Char('\n') + tr(m.name) + QStringLiteral(": ") + said(m.now);
        if (m.before) lines += tr(", before: ") + said(m.before);
    }
    if (c.platform_name) lines += QLatin1Char('\n') + tr("platform: ") + qText(*c.platform_name);
    return lines;
}

QString lockLine(const RefreshValue& value) {
    const QString lockfile = QString::fromStdString(value.path.rootDir()) + QStringLiteral("lockfile");
    switch (value.around->lock.running) {
        case ClientRunning::yes:
            return tr("A client holds its lock on %1. The modes are those of its state file.").arg(lockfile);
        case ClientRunning::no:
            return tr("No process holds the lock on %1: the client has stopped (or was killed) since it last wrote "
                      "its state file, whatever that file says of its tasks.")
                .arg(lockfile);
        case ClientRunning::cannotTell: break;
    }
    return tr("%1 is missing (or is not a plain file): a client started with --allow_multiple_clients takes no lock, "
              "so whether one runs cannot be told. The version and the modes are those of the state file.")
        .arg(lockfile);
}

}  // namespace

QString clientStateTip(const RefreshValue& value) {
    if (nothingRead(value)) return {};
    return lockLine(value) + modeLines(value.snapshot->state.clientStatus.client);
}

}  // namespace crunchwatch

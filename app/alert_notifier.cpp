#include "app/alert_notifier.hpp"

#include <cstdio>
#include <utility>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "app/settings.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The freedesktop notification service's urgency levels.
constexpr unsigned char normalUrgency = 1;
constexpr unsigned char criticalUrgency = 2;
// At most this many notifications remembered for their action.
constexpr std::size_t maxShown = 256;
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

AlertNotifier::AlertNotifier(const Settings& settings, std::optional<std::string> ledgerFile, Send send,
                             QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_ledger(ledgerFile ? AlertLedger::load(*ledgerFile) : AlertLedger()),
      m_file(std::move(ledgerFile)),
      m_send(std::move(send)) {}

DesktopNotification AlertNotifier::notificationOf(const Alert& begun) {
    DesktopNotification n;
    n.summary = qText(ruleTitle(begun.rule));
    if (!begun.project.empty()) n.summary += QStringLiteral(": ") + qText(begun.project);
    // Which task (or file) first: a project runs dozens at once.
    const std::string body = begun.task.empty() ? begun.text : begun.task + ": " + begun.text;
    // Notification services read the body as markup: a task's or a server's
    // words from the file are shown as written, never as a tag or a link.
    n.body = qText(body)
                 .replace(QLatin1Char('&'), QLatin1String("&amp;"))
                 .replace(QLatin1Char('<'), QLatin1String("&lt;"))
                 .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    n.critical = begun.severity == AlertSeverity::error;
    n.alert = begun;
    return n;
}

DesktopNotification AlertNotifier::runningAgain() {
    DesktopNotification n;
    n.summary = QStringLiteral("Client running again");
    n.body = QStringLiteral("The client is running again.");
    return n;
}

void AlertNotifier::take(const RefreshValuePtr& value) {
    // A state file that could not be read says nothing about what is going
    // on: what was active stays so until the file is read again.
    if (!value || !*value || !value->alerts) return;
    const AlertLedger::Changes changes = m_ledger.update(value->path.file(), value->alerts->alerts);
    if (changes.empty()) return;

    // Muted alerts are recorded all the same: turning the sound back on must
    // not bring back what began meanwhile.
    const bool muted = m_settings.doNotDisturb();
    for (const Alert& a : changes.begun)
        if (!muted && m_settings.notifyRule(a.rule)) tell(notificationOf(a));
    for (const Alert& a : changes.ended)
        if (a.rule == AlertRule::client_stopped && !muted && m_settings.notifyRule(a.rule)) tell(runningAgain());

    if (!m_file) return;
    std::string why;
    if (m_ledger.save(*m_file, why)) return;
    sayOnce(m_saidNotSaved, "could not keep the alerts told in " + *m_file + ": " + why +
                                "; they may be told again at the next start");
}

void AlertNotifier::tell(const DesktopNotification& n) {
    if (m_send) m_send(n);
    else sendOverBus(n);
}

// Sent without waiting: a notification service that hangs must not hold up
// the window. Its answer, when it comes, is only looked at for an error.
void AlertNotifier::sendOverBus(const DesktopNotification& n) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        sayOnce(m_saidNoBus, "no session bus, so no desktop notifications");
        return;
    }
    if (!std::exchange(m_listening, true)) {
        bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                    SLOT(actionInvoked(uint, QString)));
        bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                    SLOT(notificationClosed(uint, uint)));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(n.critical ? criticalUrgency : normalUrgency));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.crunchwatch.crunchwatch"));
    // The default action is what a click on the notification does.
    const QStringList actions =
        n.alert ? QStringList{QStringLiteral("default"), QStringLiteral("Show")} : QStringList();
    call << QStringLiteral("crunchwatch") << 0u << QStringLiteral("crunchwatch") << n.summary << n.body << actions
         << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, alert = n.alert](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (done->isError()) {
                    sayOnce(m_saidNoService,
                            "desktop notifications are not shown: " + done->error().message().toStdString());
                    return;
                }
                const QDBusPendingReply<uint> id = *done;
                if (!alert || !id.isValid()) return;
                // Kept while on screen; a service that never says "closed"
                // cannot make this grow without end.
                if (m_shown.size() >= maxShown) m_shown.erase(m_shown.begin());
                m_shown.insert_or_assign(id.value(), *alert);
            });
}

void AlertNotifier::actionInvoked(uint id, const QString& action) {
    const auto shown = m_shown.find(id);
    if (shown == m_shown.end() || action != QLatin1String("default")) return;
    const Alert alert = shown->second;
    emit opened(alert);
}

void AlertNotifier::notificationClosed(uint id, uint) {
    m_shown.erase(id);
}

void AlertNotifier::sayOnce(bool& said, const std::string& what) {
    if (std::exchange(said, true)) return;
    std::fprintf(stderr, "crunchwatch: %s\n", what.c_str());
}

}  // namespace crunchwatch

#include "app/alert_notifier.hpp"

#include <cstdio>
#include <utility>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

#include "app/settings.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The freedesktop notification service's urgency levels.
constexpr unsigned char normalUrgency = 1;
constexpr unsigned char criticalUrgency = 2;

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
    // Notification services read the body as markup: a task's or a server's
    // words from the file are shown as written, never as a tag or a link.
    n.body = qText(begun.text)
                 .replace(QLatin1Char('&'), QLatin1String("&amp;"))
                 .replace(QLatin1Char('<'), QLatin1String("&lt;"))
                 .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    n.critical = begun.severity == AlertSeverity::error;
    return n;
}

DesktopNotification AlertNotifier::runningAgain() {
    return {QStringLiteral("Client running again"), QStringLiteral("The client is running again."), false};
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
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(n.critical ? criticalUrgency : normalUrgency));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.crunchwatch.crunchwatch"));
    call << QStringLiteral("crunchwatch") << 0u << QStringLiteral("crunchwatch") << n.summary << n.body
         << QStringList() << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        if (done->isError())
            sayOnce(m_saidNoService, "desktop notifications are not shown: " + done->error().message().toStdString());
        done->deleteLater();
    });
}

void AlertNotifier::sayOnce(bool& said, const std::string& what) {
    if (std::exchange(said, true)) return;
    std::fprintf(stderr, "crunchwatch: %s\n", what.c_str());
}

}  // namespace crunchwatch

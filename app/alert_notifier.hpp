#pragma once
// AlertNotifier: tells the desktop of each alert once, when it begins. It is
// handed every value the window installs and only compares keys with its
// ledger of what was told (read once, before the first value, so that a
// restart does not tell again what is still going on). A begun alert is
// told when its rule is switched on and "Do not disturb" is off; it is
// recorded as told either way, so that switching them back on replays
// nothing. The client_stopped alert's end is told too ("Client running
// again"). Notifications go to org.freedesktop.Notifications on the session
// bus without waiting for its answer; no bus or no service is said once on
// stderr and the window goes on without them.
//
// A notification names its task (or file) before the reason. Its default
// action (a click, where the service offers actions) emits `opened` with
// the alert it told of, which the window shows.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include <QObject>
#include <QString>

#include "tables/alert_ledger.hpp"
#include "tables/refresh_value.hpp"

namespace crunchwatch {

class Settings;

// One notification as the desktop shows it.
struct DesktopNotification {
    QString summary;  // "Task failed: Einstein@Home"
    QString body;     // "rb_06_12_…_0: computation error", as plain text
    bool critical = false;  // urgency: critical for errors, normal otherwise
    std::optional<Alert> alert;  // what it tells of, shown when it is clicked
};

class AlertNotifier final : public QObject {
    Q_OBJECT

public:
    using Send = std::function<void(const DesktopNotification&)>;

    // `ledgerFile`: where what was told is kept (read here, written when it
    // changes); none keeps it for this run only. `send` replaces the session
    // bus (tests).
    AlertNotifier(const Settings& settings, std::optional<std::string> ledgerFile, Send send = {},
                  QObject* parent = nullptr);

    // The window's newest value. Only a value whose state file was read
    // changes what is active.
    void take(const crunchwatch::RefreshValuePtr& value);

    static DesktopNotification notificationOf(const Alert& begun);
    static DesktopNotification runningAgain();

    // The service's word that notification `id` was clicked (`action`
    // "default") or closed: slots for the bus's signals, taken only from the
    // service's own name, so no other client can play a click.
    Q_SLOT void actionInvoked(uint id, const QString& action);
    Q_SLOT void notificationClosed(uint id, uint reason);

signals:
    // A notification of `alert` was clicked.
    void opened(const crunchwatch::Alert& alert);

private:
    void tell(const DesktopNotification& n);
    void sendOverBus(const DesktopNotification& n);
    void sayOnce(bool& said, const std::string& what);

    const Settings& m_settings;
    AlertLedger m_ledger;
    std::optional<std::string> m_file;
    Send m_send;
    bool m_saidNoBus = false;
    bool m_saidNoService = false;
    bool m_saidNotSaved = false;
    bool m_listening = false;  // to the service's signals
    // The notifications on screen, by the service's id: what each told of.
    std::map<uint, Alert> m_shown;
};

}  // namespace crunchwatch

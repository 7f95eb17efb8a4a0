#pragma once
// The user's settings: every key the monitor reads or writes, in one place.
// Stored with QSettings in the user's configuration folder (organisation and
// application "crunchwatch"); each value is written when it changes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>

#include "tables/alerts.hpp"

namespace crunchwatch {

class Settings final {
public:
    // The user's own settings.
    Settings();
    // Settings kept in one INI file (tests).
    explicit Settings(const QString& iniFile);

    // "client_state location": the chosen state file. Absent is not empty.
    std::optional<QString> clientStateLocation() const;
    void setClientStateLocation(const QString& path);

    // "NSNavLastCurrentDirectory": read, never written.
    std::optional<QString> lastCurrentDirectory() const;

    // "enable watchdog": the decimal text, absent when never set.
    std::optional<QString> enableWatchdog() const;
    // The switch's state at start-up: absent means on (1); a stored text's
    // integer is taken to its low 8 bits, read as signed ("257" is 1).
    std::int8_t enableWatchdogState() const;
    void setEnableWatchdog(int state);

    // NSShortTimeDateFormatString: the user's strftime-style date format;
    // absent means the locale's date and time ("%x %X").
    std::optional<QString> shortTimeDateFormat() const;

    // "event log source": the event log's source the user chose ("file",
    // "journal", "syslog"); absent: the first that exists.
    std::optional<QString> eventLogSource() const;
    void setEventLogSource(const QString& id);
    // "event log entries": how many of the newest entries the Event log tab
    // shows at first (0: every one held); absent or not a count: 10000.
    std::size_t eventLogEntries() const;

    // "notices read": the keys of the notices the user has read, oldest
    // first; only the newest noticesReadKept are stored.
    QStringList noticesRead() const;
    void setNoticesRead(QStringList keys);
    static constexpr qsizetype noticesReadKept = 1000;

    // Alerts, under "alerts/": "notify <rule id>" (each rule told to the
    // desktop; default on), "do not disturb" (mutes them all; default off),
    // "keep in tray" (closing the window leaves the program in the tray;
    // default off), and the rules' thresholds: "transfer retries" (5),
    // "transfer gives up within hours" (24), "deferred minutes" (60),
    // "stale minutes" (60), "idle minutes" (30), "disk percent" (90) and
    // "failed task hours" (24). A stored text that is no number above 0
    // reads as the default.
    bool notifyRule(AlertRule rule) const;
    void setNotifyRule(AlertRule rule, bool on);
    bool doNotDisturb() const;
    void setDoNotDisturb(bool on);
    bool keepInTray() const;
    void setKeepInTray(bool on);
    AlertThresholds alertThresholds() const;

    // Layout autosave, under "autosave/" and these names: the window's
    // geometry and the tables' header states. "maniWindow" is spelled as it
    // has always been stored in users' settings: do not correct it, or every
    // user's window loses its place.
    static inline const QString mainWindowLayout = QStringLiteral("maniWindow");
    static inline const QString resultsTableLayout = QStringLiteral("mainTable");
    static inline const QString projectsTableLayout = QStringLiteral("projectTable");
    static inline const QString transfersTableLayout = QStringLiteral("transfersTable");
    static inline const QString eventLogTableLayout = QStringLiteral("eventLogTable");
    static inline const QString noticesTableLayout = QStringLiteral("noticesTable");
    static inline const QString computerTableLayout = QStringLiteral("computerTable");
    static inline const QString diskTableLayout = QStringLiteral("diskTable");
    static inline const QString alertsTableLayout = QStringLiteral("alertsTable");
    QByteArray autosaved(const QString& name) const;
    void autosave(const QString& name, const QByteArray& state);

private:
    std::optional<QString> text(const QString& key) const;
    bool flag(const QString& key, bool byDefault) const;
    void setFlag(const QString& key, bool on);
    double positive(const QString& key, double byDefault) const;
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace crunchwatch

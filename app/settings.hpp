#pragma once
// The user's settings: every key the monitor reads or writes, in one place.
// Stored with QSettings in the user's configuration folder (organisation and
// application "crunchwatch"); each value is written when it changes.

#include <memory>
#include <optional>

#include <QByteArray>
#include <QSettings>
#include <QString>

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
    void setEnableWatchdog(int state);

    // NSShortTimeDateFormatString: the user's strftime-style date format.
    std::optional<QString> shortTimeDateFormat() const;

    // Layout autosave: the window's geometry ("maniWindow") and the tables'
    // header states ("mainTable", "projectTable").
    QByteArray autosaved(const QString& name) const;
    void autosave(const QString& name, const QByteArray& state);

    QSettings& store() { return *m_settings; }

private:
    std::optional<QString> text(const QString& key) const;
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace crunchwatch

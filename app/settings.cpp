#include "app/settings.hpp"

#include <charconv>
#include <string>

#include "state/numbers.hpp"

namespace crunchwatch {
namespace {

const QString clientStateLocationKey = QStringLiteral("client_state location");
const QString lastCurrentDirectoryKey = QStringLiteral("NSNavLastCurrentDirectory");
const QString enableWatchdogKey = QStringLiteral("enable watchdog");
const QString shortTimeDateFormatKey = QStringLiteral("NSShortTimeDateFormatString");
const QString eventLogSourceKey = QStringLiteral("event log source");
const QString eventLogEntriesKey = QStringLiteral("event log entries");
const QString noticesReadKey = QStringLiteral("notices read");
constexpr std::size_t defaultEventLogEntries = 10000;
const QString autosaveGroup = QStringLiteral("autosave/");

}  // namespace

Settings::Settings()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("crunchwatch"), QStringLiteral("crunchwatch"))) {}

Settings::Settings(const QString& iniFile) : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

std::optional<QString> Settings::text(const QString& key) const {
    // A corrupt or unreadable settings file reads as empty: every key absent.
    const QVariant v = m_settings->value(key);
    if (!v.isValid() || !v.canConvert<QString>()) return std::nullopt;
    return v.toString();
}

std::optional<QString> Settings::clientStateLocation() const { return text(clientStateLocationKey); }
void Settings::setClientStateLocation(const QString& path) {
    m_settings->setValue(clientStateLocationKey, path);
    m_settings->sync();
}

std::optional<QString> Settings::lastCurrentDirectory() const { return text(lastCurrentDirectoryKey); }

std::optional<QString> Settings::enableWatchdog() const { return text(enableWatchdogKey); }
void Settings::setEnableWatchdog(int state) {
    m_settings->setValue(enableWatchdogKey, QString::number(state));
    m_settings->sync();
}

std::int8_t Settings::enableWatchdogState() const {
    const auto stored = enableWatchdog();
    const std::int32_t value = stored ? readInteger(stored->toStdString()) : 1;
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
}

std::optional<QString> Settings::shortTimeDateFormat() const { return text(shortTimeDateFormatKey); }

std::optional<QString> Settings::eventLogSource() const { return text(eventLogSourceKey); }
void Settings::setEventLogSource(const QString& id) {
    m_settings->setValue(eventLogSourceKey, id);
    m_settings->sync();
}

std::size_t Settings::eventLogEntries() const {
    const auto stored = text(eventLogEntriesKey);
    if (!stored) return defaultEventLogEntries;
    const std::string digits = stored->trimmed().toStdString();
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    return error == std::errc() && end == digits.data() + digits.size() && !digits.empty() ? count
                                                                                          : defaultEventLogEntries;
}

QStringList Settings::noticesRead() const {
    const QVariant v = m_settings->value(noticesReadKey);
    return v.canConvert<QStringList>() ? v.toStringList() : QStringList();
}
void Settings::setNoticesRead(QStringList keys) {
    if (keys.size() > noticesReadKept) keys.remove(0, keys.size() - noticesReadKept);
    // Written back by QSettings in its own time: reading notices with the
    // arrow keys must not write the file once per row on the window's thread.
    m_settings->setValue(noticesReadKey, keys);
}

QByteArray Settings::autosaved(const QString& name) const {
    return m_settings->value(autosaveGroup + name).toByteArray();
}
void Settings::autosave(const QString& name, const QByteArray& state) {
    m_settings->setValue(autosaveGroup + name, state);
}

}  // namespace crunchwatch

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
const QString alertsGroup = QStringLiteral("alerts/");

QString notifyKey(AlertRule rule) {
    return alertsGroup + QStringLiteral("notify ") + QString::fromUtf8(ruleId(rule).data(), qsizetype(ruleId(rule).size()));
}

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

bool Settings::flag(const QString& key, bool byDefault) const {
    const auto stored = text(key);
    if (!stored) return byDefault;
    const QString t = stored->trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1")) return true;
    if (t == QLatin1String("false") || t == QLatin1String("0")) return false;
    return byDefault;
}
void Settings::setFlag(const QString& key, bool on) {
    m_settings->setValue(key, on);
    m_settings->sync();
}

double Settings::positive(const QString& key, double byDefault) const {
    const auto stored = text(key);
    if (!stored) return byDefault;
    const std::string digits = stored->trimmed().toStdString();
    double number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    const bool whole = error == std::errc() && end == digits.data() + digits.size();
    return whole && number > 0 && number < 1e12 ? number : byDefault;
}

bool Settings::notifyRule(AlertRule rule) const { return flag(notifyKey(rule), true); }
void Settings::setNotifyRule(AlertRule rule, bool on) { setFlag(notifyKey(rule), on); }
bool Settings::doNotDisturb() const { return flag(alertsGroup + QStringLiteral("do not disturb"), false); }
void Settings::setDoNotDisturb(bool on) { setFlag(alertsGroup + QStringLiteral("do not disturb"), on); }
bool Settings::keepInTray() const { return flag(alertsGroup + QStringLiteral("keep in tray"), false); }
void Settings::setKeepInTray(bool on) { setFlag(alertsGroup + QStringLiteral("keep in tray"), on); }

AlertThresholds Settings::alertThresholds() const {
    const AlertThresholds d;
    AlertThresholds t;
    t.transferRetries = positive(alertsGroup + QStringLiteral("transfer retries"), d.transferRetries);
    t.transferGivesUpWithin =
        3600 * positive(alertsGroup + QStringLiteral("transfer gives up within hours"), d.transferGivesUpWithin / 3600);
    t.deferredFor = 60 * positive(alertsGroup + QStringLiteral("deferred minutes"), d.deferredFor / 60);
    t.staleFor = 60 * positive(alertsGroup + QStringLiteral("stale minutes"), d.staleFor / 60);
    t.idleFor = 60 * positive(alertsGroup + QStringLiteral("idle minutes"), d.idleFor / 60);
    t.diskShare = positive(alertsGroup + QStringLiteral("disk percent"), d.diskShare * 100) / 100;
    t.failedJobWithin = 3600 * positive(alertsGroup + QStringLiteral("failed task hours"), d.failedJobWithin / 3600);
    return t;
}

QByteArray Settings::autosaved(const QString& name) const {
    return m_settings->value(autosaveGroup + name).toByteArray();
}
void Settings::autosave(const QString& name, const QByteArray& state) {
    m_settings->setValue(autosaveGroup + name, state);
}

}  // namespace crunchwatch

#pragma once
// TrayIcon: the monitor in the desktop's tray, where it has one. Its picture
// says all is well, something needs attention (an alert), or the client has
// stopped; its tooltip sums up the work ("3 running · 1 at risk · next
// completes 14:05 · 2 alerts"); its menu shows the window, updates and
// quits. The icon appears with the first value that finds a tray, so a tray
// that starts after the program (a desktop session still starting) is found
// too. With "keep in tray" on and the icon shown, closing the window hides it
// and the program goes on (and goes on telling alerts); otherwise closing
// quits as before.
//
// Test aid: with CRUNCHWATCH_TRAY_TRACE set in the environment, the icon
// prints "crunchwatch tray: LOOK · TOOLTIP" on stderr when it appears and
// whenever its picture or tooltip changes.

#include <memory>

#include <QObject>
#include <QString>

#include "tables/refresh_value.hpp"

class QIcon;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace crunchwatch {

class Settings;

class TrayIcon final : public QObject {
    Q_OBJECT

public:
    enum class Look { allWell, attention, clientStopped };

    TrayIcon(QWidget& window, const Settings& settings, QObject* parent = nullptr);
    ~TrayIcon() override;

    // The window's newest value.
    void show(const crunchwatch::RefreshValuePtr& value);
    bool shown() const;

    static Look lookOf(const AlertsValue& alerts);
    static QString toolTipOf(const RefreshValue& value);
    static QIcon iconOf(Look look);

signals:
    // The menu's Update.
    void updateAsked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool makeIcon();
    void showWindow();
    void trace() const;

    QWidget& m_window;
    const Settings& m_settings;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    Look m_look = Look::allWell;
    QString m_tip;
    bool m_trace;
};

}  // namespace crunchwatch

#include "app/tray_icon.hpp"

#include <cstdio>

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

#include "app/settings.hpp"

namespace crunchwatch {
namespace {

const char* lookName(TrayIcon::Look look) {
    switch (look) {
        case TrayIcon::Look::allWell: return "all well";
        case TrayIcon::Look::attention: return "attention";
        case TrayIcon::Look::clientStopped: return "client stopped";
    }
    return "";
}

}  // namespace

TrayIcon::TrayIcon(QWidget& window, const Settings& settings, QObject* parent)
    : QObject(parent),
      m_window(window),
      m_settings(settings),
      m_trace(qEnvironmentVariableIsSet("CRUNCHWATCH_TRAY_TRACE")) {
    m_window.installEventFilter(this);
}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::shown() const { return m_icon && m_icon->isVisible(); }

TrayIcon::Look TrayIcon::lookOf(const AlertsValue& alerts) {
    if (alerts.clientStopped) return Look::clientStopped;
    return alerts.alerts.empty() ? Look::allWell : Look::attention;
}

QString TrayIcon::toolTipOf(const RefreshValue& value) {
    QString tip = QString::fromStdString(workSummaryText(value.alerts->work, value.dateFormat));
    const auto count = value.alerts->alerts.size();
    tip += QStringLiteral(" · ");
    if (count == 0) tip += tr("no alerts");
    else if (count == 1) tip += tr("1 alert");
    else tip += tr("%1 alerts").arg(count);
    return tip;
}

// The program's own picture, with a badge in a corner when something needs
// the user: amber with "!" for alerts; red with a stop square, over a greyed
// picture, when the client has stopped.
QIcon TrayIcon::iconOf(Look look) {
    constexpr int side = 64;
    const QIcon app(QStringLiteral(":/crunchwatch.png"));
    QPixmap picture = app.pixmap(QSize(side, side), look == Look::clientStopped ? QIcon::Disabled : QIcon::Normal);
    if (look == Look::allWell) return QIcon(picture);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF badge(side * 0.5, side * 0.5, side * 0.48, side * 0.48);
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(look == Look::clientStopped ? QColor(0xd9, 0x34, 0x2b) : QColor(0xf0, 0xa3, 0x0a));
    p.drawEllipse(badge);
    if (look == Look::clientStopped) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        const double s = badge.width() * 0.36;
        p.drawRect(QRectF(badge.center().x() - s / 2, badge.center().y() - s / 2, s, s));
    } else {
        p.setPen(QPen(QColor(0x20, 0x20, 0x20), 4, Qt::SolidLine, Qt::RoundCap));
        const QPointF c = badge.center();
        const double h = badge.height();
        p.drawLine(QPointF(c.x(), c.y() - h * 0.26), QPointF(c.x(), c.y() + h * 0.06));
        p.drawPoint(QPointF(c.x(), c.y() + h * 0.24));
    }
    p.end();
    return QIcon(picture);
}

void TrayIcon::show(const RefreshValuePtr& value) {
    if (!value || !value->alerts) return;
    const bool fresh = !m_icon;
    if (!makeIcon()) return;
    const Look look = lookOf(*value->alerts);
    const QString tip = toolTipOf(*value);
    if (!fresh && look == m_look && tip == m_tip) return;
    if (fresh || look != m_look) m_icon->setIcon(iconOf(look));
    m_icon->setToolTip(tip);
    m_look = look;
    m_tip = tip;
    trace();
}

// Made only once a tray is there; a desktop's tray may come after us.
bool TrayIcon::makeIcon() {
    if (m_icon) return true;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(tr("&Show window"), this, &TrayIcon::showWindow);
    m_menu->addAction(tr("&Update"), this, &TrayIcon::updateAsked);
    m_menu->addSeparator();
    // Closed first, so that its layout is saved as on any close.
    m_menu->addAction(tr("&Quit"), this, [this] {
        m_window.close();
        QApplication::quit();
    });
    m_icon = new QSystemTrayIcon(iconOf(m_look), this);
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger) showWindow();
    });
    m_icon->show();
    return true;
}

void TrayIcon::showWindow() {
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

// Whether closing the window quits is decided as it closes, so that the
// setting and the tray as they are then have their say.
bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_window && event->type() == QEvent::Close)
        QApplication::setQuitOnLastWindowClosed(!(shown() && m_settings.keepInTray()));
    return QObject::eventFilter(watched, event);
}

void TrayIcon::trace() const {
    if (!m_trace) return;
    std::fprintf(stderr, "crunchwatch tray: %s · %s\n", lookName(m_look), m_tip.toUtf8().constData());
    std::fflush(stderr);
}

}  // namespace crunchwatch

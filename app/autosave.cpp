#include "app/autosave.hpp"

#include <functional>

#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QTimer>
#include <QWidget>

#include "app/settings.hpp"

namespace crunchwatch {
namespace {

// Dragging a column or the window's edge changes it many times a second; the
// settings are written once it has settled.
constexpr int settleMs = 400;

// A save that waits for the change to settle, and is made at once when the
// window closes or the application quits, so that no change the user made is
// lost however soon after it they leave.
class SettledSave final : public QObject {
public:
    SettledSave(QObject* owner, QWidget* window, std::function<void()> save) : QObject(owner), m_save(std::move(save)) {
        m_timer.setSingleShot(true);
        m_timer.setInterval(settleMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { m_save(); });
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { flush(); });
        if (window) window->installEventFilter(this);
    }
    void later() { m_timer.start(); }
    void flush() {
        if (!m_timer.isActive()) return;
        m_timer.stop();
        m_save();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) flush();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_save;
    QTimer m_timer;
};

class WindowWatcher final : public QObject {
public:
    WindowWatcher(QWidget* window, std::function<void()> save)
        : QObject(window), m_save(save), m_settled(new SettledSave(this, nullptr, save)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowStateChange: m_settled->later(); break;
            case QEvent::Close: m_save(); break;
            default: break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_save;
    SettledSave* m_settled;
};

}  // namespace

void autosaveHeader(QHeaderView* header, Settings& settings, const QString& name) {
    const QByteArray saved = settings.autosaved(name);
    if (!saved.isEmpty()) header->restoreState(saved);
    QWidget* window = header->window() != header ? header->window() : nullptr;
    auto* settled =
        new SettledSave(header, window, [header, &settings, name] { settings.autosave(name, header->saveState()); });
    const auto later = [settled] { settled->later(); };
    QObject::connect(header, &QHeaderView::sectionResized, settled, later);
    QObject::connect(header, &QHeaderView::sectionMoved, settled, later);
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, settled, later);
}

void autosaveWindow(QWidget* window, Settings& settings, const QString& name) {
    const QByteArray saved = settings.autosaved(name);
    if (!saved.isEmpty()) window->restoreGeometry(saved);
    window->installEventFilter(
        new WindowWatcher(window, [window, &settings, name] { settings.autosave(name, window->saveGeometry()); }));
}

}  // namespace crunchwatch

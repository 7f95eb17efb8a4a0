#include "app/autosave.hpp"

#include <functional>

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

QTimer* saveTimer(QObject* owner, std::function<void()> save) {
    auto* timer = new QTimer(owner);
    timer->setSingleShot(true);
    timer->setInterval(settleMs);
    QObject::connect(timer, &QTimer::timeout, owner, std::move(save));
    return timer;
}

class WindowWatcher final : public QObject {
public:
    WindowWatcher(QWidget* window, std::function<void()> save) : QObject(window), m_save(save), m_timer(saveTimer(this, save)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowStateChange: m_timer->start(); break;
            case QEvent::Close: m_save(); break;
            default: break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_save;
    QTimer* m_timer;
};

}  // namespace

void autosaveHeader(QHeaderView* header, Settings& settings, const QString& name) {
    const QByteArray saved = settings.autosaved(name);
    if (!saved.isEmpty()) header->restoreState(saved);
    QTimer* timer = saveTimer(header, [header, &settings, name] { settings.autosave(name, header->saveState()); });
    const auto later = [timer] { timer->start(); };
    QObject::connect(header, &QHeaderView::sectionResized, timer, later);
    QObject::connect(header, &QHeaderView::sectionMoved, timer, later);
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, timer, later);
}

void autosaveWindow(QWidget* window, Settings& settings, const QString& name) {
    const QByteArray saved = settings.autosaved(name);
    if (!saved.isEmpty()) window->restoreGeometry(saved);
    window->installEventFilter(
        new WindowWatcher(window, [window, &settings, name] { settings.autosave(name, window->saveGeometry()); }));
}

}  // namespace crunchwatch

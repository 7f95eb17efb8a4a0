#include "app/autosave.hpp"

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include <QBitArray>
#include <QCoreApplication>
#include <QDataStream>
#include <QHash>
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

// Where a column stands and how wide it is before a saved layout is restored.
struct FirstRun {
    int visual = 0;
    int width = 0;
};

// How many columns a saved header state holds. The toolkit writes its
// header's state as a version marker (0xff) and version (0), then the
// orientation, the sort order and column, whether the sort is shown, the
// visual and logical orders, the hidden sections and their sizes, the total
// length, and the number of sections: the layout every version of it reads.
// Asked only of a state the header has just restored.
std::optional<int> savedSectionCount(const QByteArray& state) {
    QDataStream in(state);
    in.setVersion(QDataStream::Qt_5_0);
    int marker = 0, version = 0, orientation = 0, order = 0, sortSection = 0, length = 0, sections = 0;
    bool sortShown = false;
    QList<int> visual, logical;
    QBitArray hidden;
    QHash<int, int> hiddenSizes;
    in >> marker >> version >> orientation >> order >> sortSection >> sortShown >> visual >> logical >> hidden >>
        hiddenSizes >> length >> sections;
    if (in.status() != QDataStream::Ok || marker != 0xff || version != 0 || sections < 0) return std::nullopt;
    return sections;
}

// The toolkit gives the columns a saved state does not know its default
// width, shown, after the others. They take the place and width they have on
// a first run instead, and those the table offers hidden start hidden.
void startNewColumns(QHeaderView* header, int known, int shownByDefault, const std::vector<FirstRun>& firstRun) {
    for (int c = known; c < header->count(); ++c) {
        const FirstRun& first = firstRun[static_cast<std::size_t>(c)];
        header->moveSection(header->visualIndex(c), first.visual);
        header->resizeSection(c, first.width);
        if (c >= shownByDefault) header->hideSection(c);
    }
}

}  // namespace

void saveLayoutSoon(QHeaderView* header) {
    for (QObject* child : header->children())
        if (auto* settled = dynamic_cast<SettledSave*>(child)) settled->later();
}

void autosaveHeader(QHeaderView* header, Settings& settings, const QString& name, int shownByDefault) {
    const int count = header->count();
    if (shownByDefault < 0) shownByDefault = count;
    std::vector<FirstRun> firstRun;
    for (int c = 0; c < count; ++c) firstRun.push_back({header->visualIndex(c), header->sectionSize(c)});
    for (int c = shownByDefault; c < count; ++c) header->hideSection(c);
    const QByteArray saved = settings.autosaved(name);
    if (!saved.isEmpty() && header->restoreState(saved)) {
        const int known = savedSectionCount(saved).value_or(count);
        if (known < count) startNewColumns(header, known, shownByDefault, firstRun);
    }
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

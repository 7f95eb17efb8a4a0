#include "bench/window_bench.hpp"

#include <algorithm>
#include <chrono>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QHeaderView>
#include <QEventLoop>
#include <QTableView>
#include <QTemporaryDir>

#include "app/main_controller.hpp"
#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "app/table_model.hpp"

namespace crunchwatch::bench {
namespace {

class PaintCounter final : public QObject {
public:
    using QObject::QObject;
    int paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// Times each event the window's thread delivers, the outermost only (an
// event handled inside another's handling is part of it).
class TimingApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        QElapsedTimer timer;
        timer.start();
        const bool handled = QApplication::notify(receiver, event);
        longest = std::max(longest, static_cast<double>(timer.nsecsElapsed()) * 1e-9);
        --m_depth;
        return handled;
    }
    double longest = 0;

private:
    int m_depth = 0;
};

TimingApplication* timing() { return static_cast<TimingApplication*>(QCoreApplication::instance()); }

}  // namespace

QtApplication::QtApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    m_app = std::make_unique<TimingApplication>(argc, argv);
}

QtApplication::~QtApplication() = default;

struct OffscreenWindow::Parts {
    QTemporaryDir dir;
    Settings settings{dir.path() + QStringLiteral("/settings.ini")};
    MainWindow window{settings};
    PaintCounter counter;
    RefreshValuePtr values[2];  // two refreshes of the file, for resets
    int shown = 0;

    mainController& c() { return window.controller(); }
    void settle() {
        if (!c().refreshing()) return;
        QEventLoop loop;
        QObject::connect(&c(), &mainController::settled, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // Delivers what an install or a reset left queued (the view's delayed
    // layout, its update request); paints the results table at once if that
    // did not.
    void paintResults() {
        const int before = counter.paints;
        QCoreApplication::processEvents();
        if (counter.paints == before) window.resultsView()->viewport()->repaint();
    }
};

OffscreenWindow::OffscreenWindow(const std::string& statePath) : m_parts(std::make_unique<Parts>()) {
    // No watchdog timer: the benchmark ticks by itself.
    m_parts->settings.setEnableWatchdog(0);
    m_parts->window.resultsView()->viewport()->installEventFilter(&m_parts->counter);
    m_parts->window.start(QString::fromStdString(statePath));
    m_parts->settle();
    m_parts->paintResults();
}

OffscreenWindow::~OffscreenWindow() = default;

double OffscreenWindow::update() {
    timing()->longest = 0;
    m_parts->c().Update();
    m_parts->settle();
    m_parts->paintResults();
    return timing()->longest;
}

void OffscreenWindow::resetAndPaint() {
    // Two values of the file, made once, shown in turn: each a model reset.
    if (!m_parts->values[1]) {
        m_parts->values[0] = m_parts->c().value();
        m_parts->c().Update();
        m_parts->settle();
        m_parts->values[1] = m_parts->c().value();
    }
    m_parts->shown = 1 - m_parts->shown;
    m_parts->c().resultsModel()->show(m_parts->values[m_parts->shown]);
    m_parts->paintResults();
}

void OffscreenWindow::sortResults(int column) {
    m_parts->window.resultsView()->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
    m_parts->paintResults();
}

void OffscreenWindow::tick() {
    m_parts->c().watchDog();
    m_parts->settle();
}

int OffscreenWindow::refreshCount() const { return m_parts->c().refreshCount(); }
int OffscreenWindow::resultPaints() const { return m_parts->counter.paints; }

}  // namespace crunchwatch::bench

#include "bench/window_bench.hpp"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>

#include "app/main_controller.hpp"
#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "app/table_models.hpp"

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

}  // namespace

QtApplication::QtApplication(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    m_app = std::make_unique<QApplication>(argc, argv);
}

QtApplication::~QtApplication() = default;

struct OffscreenWindow::Parts {
    QTemporaryDir dir;
    Settings settings{dir.path() + QStringLiteral("/settings.ini")};
    MainWindow window{settings};
    PaintCounter counter;

    // Delivers what a reset left queued (the view's delayed layout, its
    // update request); paints the results table at once if that did not.
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
    m_parts->paintResults();
}

OffscreenWindow::~OffscreenWindow() = default;

void OffscreenWindow::update() {
    m_parts->window.controller().Update();
    m_parts->paintResults();
}

void OffscreenWindow::resetAndPaint() {
    ResultsModel* model = m_parts->window.controller().resultsModel();
    model->beginReload();
    model->endReload();
    m_parts->paintResults();
}

void OffscreenWindow::sortResults(int column) {
    m_parts->window.resultsView()->horizontalHeader()->setSortIndicator(column, Qt::AscendingOrder);
    m_parts->paintResults();
}

void OffscreenWindow::tick() { m_parts->window.controller().watchDog(); }

int OffscreenWindow::refreshCount() const { return m_parts->window.controller().refreshCount(); }
int OffscreenWindow::resultPaints() const { return m_parts->counter.paints; }

}  // namespace crunchwatch::bench

#include "app/main_window.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include "app/alerts_view.hpp"
#include "app/autosave.hpp"
#include "app/cell_delegates.hpp"
#include "app/client_state_text.hpp"
#include "app/computer_view.hpp"
#include "app/disk_view.hpp"
#include "app/event_log_view.hpp"
#include "app/filter_bar.hpp"
#include "app/history_view.hpp"
#include "app/main_controller.hpp"
#include "app/notices_view.hpp"
#include "app/project_table.hpp"
#include "app/sorting.hpp"
#include "app/statistics_view.hpp"
#include "app/table_model.hpp"
#include "app/table_note.hpp"
#include "app/table_view.hpp"
#include "app/task_details_panel.hpp"
#include "app/transfers_view.hpp"
#include "app/unreadable_reason.hpp"
#include "state/vector_level.hpp"

// The picture resources live in the application's static library, which the
// linker leaves out unless something names them.
static void loadResources() { Q_INIT_RESOURCE(resources); }

namespace crunchwatch {
namespace {

QLineEdit* makeCounter(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setAlignment(Qt::AlignRight);
    return field;
}

// A label that draws its text cut short, with an ellipsis, when it has less
// room than the text needs, and asks only for a little room at least.
class ElidingLabel final : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override {
        return {fontMetrics().averageCharWidth() * 16, QLabel::minimumSizeHint().height()};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
        style()->drawItemText(&painter, room, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                              foregroundRole());
    }
};

// Redraws one column's visible cells (the data are not touched).
void repaintColumn(QTableView* view, int column) {
    QHeaderView* header = view->horizontalHeader();
    if (header->isSectionHidden(column)) return;
    const int x = header->sectionViewportPosition(column);
    const int width = header->sectionSize(column);
    if (x + width < 0 || x > view->viewport()->width()) return;
    view->viewport()->update(QRect(x, 0, width, view->viewport()->height()));
}

}  // namespace

MainWindow::MainWindow(Settings& settings, QWidget* parent)
    : QMainWindow(parent),
      m_controller(new mainController(settings, this)),
      m_projects(new projectTable(settings, this)),
      m_clock(new QTimer(this)) {
    loadResources();
    setWindowTitle(QStringLiteral("crunchwatch"));
    setWindowIcon(QIcon(QStringLiteral(":/crunchwatch.png")));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* top = new QHBoxLayout;
    auto* pathLabel = new QLabel(tr("&State file:"), central);
    m_path = new QLineEdit(central);
    m_path->setReadOnly(true);  // the watchdog follows it: a half-typed path would be refreshed
    pathLabel->setBuddy(m_path);
    m_open = new QPushButton(tr("&Open..."), central);
    m_update = new QPushButton(tr("&Update"), central);
    m_watch = new QCheckBox(tr("&Watch for changes"), central);
    m_watch->setToolTip(tr("Refresh by itself whenever the client rewrites the file (checked every 2 seconds)"));
    top->addWidget(pathLabel);
    top->addWidget(m_path, 1);
    top->addWidget(m_open);
    top->addWidget(m_update);
    top->addWidget(m_watch);
    layout->addLayout(top);

    // Today's tables in the first two tabs; the history the client keeps
    // beside its state file in the other two.
    m_tabs = new QTabWidget(central);
    m_tabs->setDocumentMode(true);
    m_tabs->addTab(buildTasksTab(m_tabs), tr("Tasks"));
    m_transfers = new TransfersView(m_tabs);
    m_tabs->addTab(m_transfers, tr("Transfers"));
    m_statistics = new StatisticsView(m_tabs);
    m_tabs->addTab(m_statistics, tr("Statistics"));
    m_history = new HistoryView(m_tabs);
    m_tabs->addTab(m_history, tr("History"));
    // What the client and its projects say, beside what its files hold.
    m_eventLog = new EventLogView(settings.eventLogEntries(), m_tabs);
    m_tabs->addTab(m_eventLog, tr("Event log"));
    m_notices = new NoticesView(settings, m_tabs);
    m_tabs->addTab(m_notices, tr("Notices"));
    // The computer the client runs on, and what its files take of the disk.
    m_computer = new ComputerView(m_tabs);
    m_tabs->addTab(m_computer, tr("Computer"));
    m_disk = new DiskView(m_tabs);
    m_tabs->addTab(m_disk, tr("Disk"));
    // What needs the user now, found by the rules in every refresh.
    m_alerts = new AlertsView(m_tabs);
    m_tabs->addTab(m_alerts, AlertsView::title(0));
    layout->addWidget(m_tabs, 1);

    auto* bottom = new QHBoxLayout;
    auto* projectsCount = makeCounter(central);
    auto* credit = makeCounter(central);
    auto* projectsLabel = new QLabel(tr("&Projects:"), central);
    projectsLabel->setBuddy(projectsCount);
    auto* creditLabel = new QLabel(tr("Total &credit:"), central);
    creditLabel->setBuddy(credit);
    m_prefs = new QLabel(central);
    bottom->addWidget(projectsLabel);
    bottom->addWidget(projectsCount);
    bottom->addSpacing(16);
    bottom->addWidget(creditLabel);
    bottom->addWidget(credit);
    bottom->addStretch(1);
    bottom->addWidget(m_prefs);
    layout->addLayout(bottom);
    setCentralWidget(central);

    m_details = new TaskDetailsPanel(m_results, this);
    addDockWidget(Qt::RightDockWidgetArea, m_details);
    m_details->hide();
    // How the last refresh went on the left, the client's state on the right;
    // where both do not fit, the client's is cut short (its tooltip holds it).
    m_refreshNote = new QLabel(this);
    m_clientState = new ElidingLabel(this);
    statusBar()->addWidget(m_refreshNote);
    statusBar()->addPermanentWidget(m_clientState);
    for (QTableView* view : {m_results, m_projectsView, m_transfers->table(), m_eventLog->table(), m_notices->table(),
                              m_computer->table(), m_disk->table(), m_alerts->table()})
        offerColumns(view);

    // Connect the controller's outlets, and every view to the values it makes.
    mainController& c = *m_controller;
    c.clientStatePath = m_path;
    c.numberOfProjects = projectsCount;
    c.totalCreditCount = credit;
    c.mainTable = m_results;
    c.watchDogButton = m_watch;
    c.mainWindow = this;
    c.projectTableOutlet = m_projects;
    m_projects->connectView(m_projectsView);
    c.awakeFromNib();
    connect(&c, &mainController::valueChanged, m_projects, &projectTable::przeladujTabelke);
    connect(&c, &mainController::valueChanged, m_statistics, &StatisticsView::show);
    connect(&c, &mainController::valueChanged, m_history, &HistoryView::show);
    connect(&c, &mainController::valueChanged, m_transfers, &TransfersView::show);
    connect(&c, &mainController::valueChanged, m_eventLog, &EventLogView::show);
    connect(&c, &mainController::valueChanged, m_notices, &NoticesView::show);
    connect(&c, &mainController::valueChanged, m_computer, &ComputerView::show);
    connect(&c, &mainController::valueChanged, m_disk, &DiskView::show);
    connect(&c, &mainController::valueChanged, m_alerts, &AlertsView::show);
    connect(m_alerts, &AlertsView::countChanged, this, [this](int count) {
        m_tabs->setTabText(m_tabs->indexOf(m_alerts), AlertsView::title(static_cast<std::size_t>(count)));
    });
    connect(m_eventLog, &EventLogView::sourceChosen, &c, &mainController::chooseEventSource);
    connect(m_notices, &NoticesView::unreadChanged, this, [this](int unread) {
        m_tabs->setTabText(m_tabs->indexOf(m_notices), unread > 0 ? tr("Notices (%1)").arg(unread) : tr("Notices"));
    });
    connect(&c, &mainController::valueChanged, m_details, &TaskDetailsPanel::refreshFrom);
    connect(&c, &mainController::valueChanged, this, &MainWindow::showClientState);
    connect(&c, &mainController::refreshed, this, &MainWindow::showRefresh);
    connect(&c, &mainController::stillReading, this, [this](const QString& path) {
        m_refreshNote->setText(tr("Reading %1: the disk has not answered yet. Open can choose another file.").arg(path));
    });

    connect(m_open, &QPushButton::clicked, &c, &mainController::Open);
    connect(m_update, &QPushButton::clicked, &c, &mainController::Update);
    connect(m_watch, &QCheckBox::clicked, &c, &mainController::watchDogButtonAction);
    buildMenus();

    // The first size fits the screen the window opens on, whatever its scale.
    QSize size(1180, 720);
    if (const QScreen* here = screen()) size = size.boundedTo(here->availableSize() * 9 / 10);
    resize(size);

    // "Completes", a project's deferral and a transfer's next try are counted
    // from the moment a cell is drawn: redraw them every second.
    m_clock->setInterval(1000);
    connect(m_clock, &QTimer::timeout, this, &MainWindow::repaintCountdowns);
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::buildTasksTab(QWidget* parent) {
    auto* tab = new QWidget(parent);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 4, 0, 0);
    m_results = makeTable(m_controller->resultsModel(), tab);
    m_projectsView = makeTable(m_projects->model(), tab);
    layout->addWidget(new FilterBar(proxyOf(m_results), tr("Search work units"), tab));
    auto* splitter = new QSplitter(Qt::Vertical, tab);
    splitter->addWidget(m_results);
    splitter->addWidget(m_projectsView);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);
    m_results->setItemDelegateForColumn(indexOf(ResultColumn::Progress), new ProgressDelegate(m_results));
    setInitialWidths(m_results, {"h1_0412.35_O3aC01Cl1In0__O", "World Community Grid", "Version", "MM Downloading",
                                 "Progress 100.00%", "CPU time", "Remaining", "12/09/26 04:27:02", "12/09/26 04:27:02",
                                 "Gravitational Wave search O3 1.07", "Elapsed time", "avx2_opencl_nvidia",
                                 "12/09/26 04:27:02"});
    setInitialWidths(m_projectsView, {"World Community Grid", "2345678.901234", "User average", "12/09/26 04:27:02",
                                      "2345678.901234", "Host average", "12/09/26 04:27:02", "12/09/26 04:27:02",
                                      "1796153474.120388", "100.00", "milkyway_nbody",
                                      "Suspended by user · Communication deferred 00:00:00"});
    // What holds a project back is read beside its name, in sight however
    // narrow the window.
    m_projectsView->horizontalHeader()->moveSection(indexOf(ProjectColumn::status), 1);
    return tab;
}

TableNote* MainWindow::resultsNote() const { return noteOf(m_results); }

void MainWindow::start(const std::optional<QString>& pathForThisRun, const std::optional<QString>& journalFile) {
    Settings& settings = m_controller->settings();
    autosaveHeader(m_transfers->table()->horizontalHeader(), settings, Settings::transfersTableLayout);
    autosaveHeader(m_eventLog->table()->horizontalHeader(), settings, Settings::eventLogTableLayout);
    autosaveHeader(m_notices->table()->horizontalHeader(), settings, Settings::noticesTableLayout);
    autosaveHeader(m_computer->table()->horizontalHeader(), settings, Settings::computerTableLayout);
    autosaveHeader(m_disk->table()->horizontalHeader(), settings, Settings::diskTableLayout);
    autosaveHeader(m_alerts->table()->horizontalHeader(), settings, Settings::alertsTableLayout);
    if (journalFile) m_controller->setJournalFile(journalFile->toStdString());
    m_controller->applicationDidFinishLaunching(pathForThisRun);
    for (QTableView* view : {m_results, m_projectsView, m_transfers->table(), m_eventLog->table(), m_notices->table(),
                              m_computer->table(), m_disk->table(), m_alerts->table()})
        applyHeaderSort(view);
    m_clock->start();
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(tr("&Open..."), m_controller, &mainController::Open);
    open->setShortcut(QKeySequence::Open);
    QAction* update = file->addAction(tr("&Update"), m_controller, &mainController::Update);
    update->setShortcut(QKeySequence(Qt::Key_F5));
    file->addSeparator();
    // Closing first lets the layout be saved as on any close of the window.
    QAction* quit = file->addAction(tr("&Quit"), this, [this] {
        close();
        QApplication::quit();
    });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(m_details->toggleViewAction());
    menuBar()->addMenu(makeAlertsMenu(m_controller->settings(), this));
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About crunchwatch"), this, [this] {
        const auto level = vectorLevelName(vectorLevel());
        QMessageBox::about(this, tr("About crunchwatch"),
                           tr("<p><b>crunchwatch</b> %1</p>"
                              "<p>Shows what a BOINC client is working on, and what it has done, from its own "
                              "files: no RPC password needed.</p>"
                              "<p>Licence: MIT.</p><p>Text search: %2 instructions.</p>")
                               .arg(QApplication::applicationVersion(),
                                    QString::fromLatin1(level.data(), static_cast<qsizetype>(level.size()))));
    });
}

void MainWindow::showAlert(const Alert& alert) {
    if (isMinimized()) showNormal();
    else show();
    raise();
    activateWindow();
    if (!alert.task.empty()) selectTask(alert.projectUrl, alert.task);
    m_tabs->setCurrentWidget(m_alerts);
    m_alerts->select(alert.key());
}

bool MainWindow::selectTask(const std::string& projectUrl, const std::string& name) {
    const SortingProxy* proxy = proxyOf(m_results);
    const auto* model = proxy ? dynamic_cast<const TableModel*>(proxy->sourceModel()) : nullptr;
    if (!model || !model->value() || !*model->value()) return false;
    const RefreshValue& value = *model->value();
    const std::size_t rows = resultsTable.size(value);
    for (std::size_t i = 0; i < rows; ++i) {
        const resultRow row = resultRowOf(value, i);
        if (row.get(Key::name) == std::optional<std::string_view>(name) &&
            row.get(Key::master_url).value_or("") == projectUrl)
            return selectSourceRow(m_results, static_cast<int>(i));
    }
    return false;
}

void MainWindow::showRefresh(bool ok) {
    showPreferences(m_controller->value());
    TableNote* note = resultsNote();
    if (ok) {
        const QString path = m_path->text();
        m_hasShownAFile = true;
        m_path->setToolTip(path);
        note->setNote(QString());
        setWindowTitle(tr("%1 — crunchwatch").arg(path));
        const int results = m_controller->numberOfRowsInTableView();
        m_refreshNote->setText(tr("Updated at %1: %n result(s)", nullptr, results)
                                   .arg(QLocale().toString(QTime::currentTime(), QLocale::ShortFormat)));
    } else {
        const QString failed = m_controller->lastFailedPath();
        m_path->setToolTip(unreadableReason(failed, m_controller->lastFailure()));
        note->setNote(unreadableHelp(failed, m_controller->lastFailure()));
        m_refreshNote->setText(m_hasShownAFile
                                   ? tr("The state file could not be read; showing the last one that could.")
                                   : tr("The state file could not be read."));
    }
}

// The values the client uses: the override file's where it sets them, else
// the web preferences', else the client's own default; the tooltip names
// the file each came from. The web file's own values stay on the controller.
void MainWindow::showPreferences(const RefreshValuePtr& value) {
    const EffectivePrefs* prefs = value && value->prefs ? &value->prefs->effective : nullptr;
    const auto find = [prefs](std::string_view name) { return prefs ? prefs->find(name) : nullptr; };
    const EffectivePref* period = find("cpu_scheduling_period_minutes");
    const EffectivePref* interval = find("disk_interval");
    const auto text = [](const EffectivePref* p) { return p ? QString::fromStdString(p->value) : QStringLiteral("-"); };
    m_prefs->setText(tr("CPU scheduling period: %1 min   Disk interval: %2 s").arg(text(period), text(interval)));
    const auto from = [](const EffectivePref& p) {
        const std::string_view source = prefSourceText(p.source);
        return QString::fromUtf8(source.data(), static_cast<qsizetype>(source.size()));
    };
    QStringList tips;
    if (period) tips << tr("CPU scheduling period from %1").arg(from(*period));
    if (interval) tips << tr("Disk interval from %1").arg(from(*interval));
    m_prefs->setToolTip(tips.join(QLatin1Char('\n')));
}

void MainWindow::showClientState(const RefreshValuePtr& value) {
    const QString text = value ? clientStateText(*value) : QString();
    m_clientState->setText(text);
    m_clientState->setToolTip(text.isEmpty() ? QString() : text + QStringLiteral("\n\n") + clientStateTip(*value));
}

void MainWindow::repaintCountdowns() {
    repaintColumn(m_results, indexOf(ResultColumn::ETC));
    repaintColumn(m_projectsView, indexOf(ProjectColumn::status));
    repaintColumn(m_transfers->table(), static_cast<int>(TransferColumn::next));
}

}  // namespace crunchwatch

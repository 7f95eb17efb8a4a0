// The window itself: sorting through the header, the redraw of the
// completion column, the layout kept across runs, header tooltips, and the
// explanation of a file that could not be read.

#include <algorithm>

#include <QDateTime>
#include <QGuiApplication>
#include <QAction>
#include <QClipboard>
#include <QScreen>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTest>

#include "app/cell_delegates.hpp"
#include "app/table_model.hpp"
#include "app/table_note.hpp"
#include "app/table_view.hpp"
#include "app/unreadable_reason.hpp"
#include "app_test_support.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

QByteArray task(const char* result, const char* fraction, const char* cpu) {
    return QByteArray("<active_task>\n<project_master_url>http://delta.example/</project_master_url>\n<result_name>") +
           result + "</result_name>\n<scheduler_state>2</scheduler_state>\n<fraction_done>" + fraction +
           "</fraction_done>\n<current_cpu_time>" + cpu + "</current_cpu_time>\n</active_task>\n";
}

// Four running results whose progress and processor time sort one way by
// value and another by text: "5.00%" < "10.00%" but "10.00%" < "5.00%";
// 20 hours < 111 hours but "111:06:40" < "20:00:00".
QByteArray fourRunningResults() {
    QByteArray s = "<client_state>\n<project>\n<master_url>http://delta.example/</master_url>\n"
                   "<project_name>Delta</project_name>\n<user_total_credit>5</user_total_credit>\n"
                   "<resource_share>100</resource_share>\n</project>\n";
    for (const char* name : {"w1", "w2", "w3", "w4"})
        s += QByteArray("<result>\n<name>") + name + "</name>\n<state>2</state>\n<wu_name>" + name +
             "</wu_name>\n</result>\n";
    s += "<active_task_set>\n" + task("w1", "0.050000", "32400") + task("w2", "0.456789", "400000") +
         task("w3", "0.100000", "72000") + task("w4", "0.900000", "100") + "</active_task_set>\n";
    return s + "<platform_name>x</platform_name>\n</client_state>\n";
}

QStringList units(std::initializer_list<const char*> names) {
    QStringList list;
    for (const char* n : names) list << QString::fromLatin1(n);
    return list;
}

// One click, far enough from the one before not to make a double click.
void clickHeader(QTableView* view, int logical) {
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 20);
    QHeaderView* header = view->horizontalHeader();
    if (view->model()->rowCount() > 0) view->scrollTo(view->model()->index(0, logical));
    const QPoint at(header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class WindowTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        m_state = m_box->write(QStringLiteral("client_state.xml"), fourRunningResults());
    }
    void cleanup() { m_box.reset(); }

    void headerClicksSortByValueThenReturnToFileOrder_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QStringList>("ascending");
        QTest::newRow("progress") << QStringLiteral("Progress") << units({"w1", "w3", "w2", "w4"});
        QTest::newRow("cpu time") << QStringLiteral("CPU time") << units({"w4", "w1", "w3", "w2"});
    }
    void headerClicksSortByValueThenReturnToFileOrder() {
        QFETCH(QString, column);
        QFETCH(QStringList, ascending);
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        QTableView* view = h.window.resultsView();
        const int logical = columnTitled(view->model(), column);
        const QString unit = QStringLiteral("Work unit");
        QCOMPARE(columnTexts(view->model(), unit), units({"w1", "w2", "w3", "w4"}));

        clickHeader(view, logical);
        QCOMPARE(view->horizontalHeader()->sortIndicatorSection(), logical);
        QCOMPARE(columnTexts(view->model(), unit), ascending);
        clickHeader(view, logical);
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(columnTexts(view->model(), unit), descending);
        clickHeader(view, logical);
        QCOMPARE(columnTexts(view->model(), unit), units({"w1", "w2", "w3", "w4"}));

        // A refresh keeps the chosen order.
        clickHeader(view, logical);
        QVERIFY(h.update());
        QCOMPARE(columnTexts(view->model(), unit), ascending);
    }

    void completionRedrawLeavesTheModelAlone() {
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("1"));
        Harness h(*m_box);
        h.c().setWatchdogIntervalForTesting(100);
        QVERIFY(h.start(m_state));
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        QSignalSpy sourceResets(h.c().resultsModel(), &QAbstractItemModel::modelReset);
        QSignalSpy viewResets(h.results(), &QAbstractItemModel::modelReset);
        QSignalSpy relayouts(h.results(), &QAbstractItemModel::layoutChanged);
        QSignalSpy removals(h.results(), &QAbstractItemModel::rowsRemoved);
        QTest::qWait(2500);
        QCOMPARE(sourceResets.count(), 0);
        QCOMPARE(viewResets.count(), 0);
        QCOMPARE(relayouts.count(), 0);
        QCOMPARE(removals.count(), 0);
        QCOMPARE(h.results()->rowCount(), 4);
    }

    // A current client's suspended task, an hour from its end by its
    // checkpoint, a minute from its deadline: the cells explain themselves
    // and the late completion is marked, unlike a deadline already passed.
    void cellTooltipsAndACompletionAfterTheDeadline() {
        const QByteArray soon = QByteArray::number(QDateTime::currentSecsSinceEpoch() + 60);
        m_state = m_box->write(
            QStringLiteral("client_state.xml"),
            "<client_state>\n<project>\n<master_url>http://e/</master_url>\n<resource_share>100</resource_share>\n"
            "</project>\n<result>\n<name>r1</name>\n<state>2</state>\n<wu_name>w1</wu_name>\n<report_deadline>" +
                soon + "</report_deadline>\n</result>\n<result>\n<name>r2</name>\n<state>6</state>\n"
                "<report_deadline>1</report_deadline>\n</result>\n<active_task_set>\n<active_task>\n"
                "<project_master_url>http://e/</project_master_url>\n<result_name>r1</result_name>\n"
                "<active_task_state>9</active_task_state>\n<checkpoint_cpu_time>3600</checkpoint_cpu_time>\n"
                "<checkpoint_fraction_done>0.5</checkpoint_fraction_done>\n<current_cpu_time>3600</current_cpu_time>\n"
                "</active_task>\n</active_task_set>\n</client_state>\n");
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        const QAbstractItemModel* m = h.results();
        const auto at = [m](int row, const char* title, int role) {
            return m->index(row, columnTitled(m, QString::fromLatin1(title))).data(role);
        };
        QCOMPARE(at(0, "State", Qt::DisplayRole).toString(), QStringLiteral("Paused"));
        QVERIFY(at(0, "State", Qt::ToolTipRole).toString().contains(QStringLiteral("suspended")));
        // One mark per colour, the same after a refresh: a new picture for
        // every cell painted would pile up in the program-wide picture cache.
        const QIcon mark = at(0, "State", Qt::DecorationRole).value<QIcon>();
        QCOMPARE(mark.pixmap(16).toImage().pixelColor(8, 8), toneColour(Tone::paused));
        QVERIFY(h.update());
        QCOMPARE(at(0, "State", Qt::DecorationRole).value<QIcon>().cacheKey(), mark.cacheKey());
        QVERIFY(at(0, "Progress", Qt::ToolTipRole).toString().contains(QStringLiteral("checkpoint")));
        QCOMPARE(at(0, "Completes", Qt::ForegroundRole).value<QColor>(), toneColour(Tone::atRisk));
        QVERIFY(at(0, "Completes", Qt::ToolTipRole).toString().contains(QStringLiteral("after its report deadline")));
        QVERIFY(!at(0, "Deadline", Qt::ForegroundRole).isValid());
        QVERIFY(at(1, "State", Qt::ToolTipRole).toString().contains(QStringLiteral("aborted")));
        QCOMPARE(at(1, "Deadline", Qt::ForegroundRole).value<QColor>(), toneColour(Tone::late));
        QVERIFY(!at(1, "Completes", Qt::ForegroundRole).isValid());
    }

    // What a new user meets: the window's icon, a first size that fits the
    // screen, counters that show their whole number, Copy of the selected
    // rows, a cut-off cell whose tooltip is its whole text, and an empty
    // table that says why it is empty.
    void whatANewUserMeets() {
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        QVERIFY(!h.window.windowIcon().isNull());
        const QSize screen = h.window.screen()->availableSize();
        QVERIFY(h.window.width() <= screen.width() && h.window.height() <= screen.height());
        QLineEdit* credit = h.c().totalCreditCount;
        QVERIFY(credit->minimumWidth() > credit->fontMetrics().horizontalAdvance(credit->text()));

        QTableView* view = h.window.resultsView();
        view->horizontalHeader()->moveSection(indexOf(ResultColumn::PName), 0);
        view->selectionModel()->select(view->model()->index(1, indexOf(ResultColumn::Version)),
                                       QItemSelectionModel::Select);
        view->selectionModel()->select(view->model()->index(3, 0), QItemSelectionModel::Select);
        const QStringList lines = selectedRowsText(view).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);  // two rows and the end of the last
        QCOMPARE(lines[0].split(QLatin1Char('\t')).mid(0, 3),
                 (QStringList{QStringLiteral("Delta"), QStringLiteral("w2"), QString()}));
        // The columns shown: those offered hidden are not copied.
        const QHeaderView* header = view->horizontalHeader();
        QCOMPARE(lines[1].split(QLatin1Char('\t')).size(), header->count() - header->hiddenSectionCount());
        for (QAction* copy : view->actions()) copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), selectedRowsText(view));

        auto* delegate = dynamic_cast<CellDelegate*>(view->itemDelegate());
        QVERIFY(delegate);
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.rect = QRect(0, 0, 200, 20);
        const QModelIndex unit = view->model()->index(0, indexOf(ResultColumn::WUnit));
        QVERIFY(!delegate->isElided(option, unit));
        option.rect.setWidth(8);
        QVERIFY(delegate->isElided(option, unit));

        m_box->write(QStringLiteral("client_state.xml"),
                     "<client_state>\n<project>\n<master_url>http://e/</master_url>\n</project>\n</client_state>\n");
        QVERIFY(h.update());
        QVERIFY2(h.window.resultsNote()->note().startsWith(QStringLiteral("No tasks")),
                 qPrintable(h.window.resultsNote()->note()));
    }

    void layoutIsRestoredAtTheNextStart_data() {
        QTest::addColumn<bool>("quitAtOnce");
        QTest::newRow("after the layout settled") << false;
        QTest::newRow("quit at once") << true;  // before the settling delay ran out
    }
    void layoutIsRestoredAtTheNextStart() {
        QFETCH(bool, quitAtOnce);
        int cpu = -1;
        {
            Harness h(*m_box);
            QVERIFY(h.start(m_state));
            QVERIFY(QTest::qWaitForWindowExposed(&h.window));
            cpu = columnTitled(h.results(), QStringLiteral("CPU time"));
            QHeaderView* results = h.window.resultsView()->horizontalHeader();
            results->moveSection(0, 3);
            results->resizeSection(1, 321);
            results->setSortIndicator(cpu, Qt::DescendingOrder);
            h.window.projectsView()->horizontalHeader()->moveSection(0, 2);
            h.window.resize(900, 640);
            if (quitAtOnce) {
                QAction* quit = nullptr;
                for (QAction* a : h.window.findChildren<QAction*>())
                    if (a->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Q)) quit = a;
                QVERIFY(quit);
                quit->trigger();
            } else {
                QTest::qWait(600);  // longer than the layout takes to settle
            }
        }
        // The names the layout is stored under, kept from the first version
        // ("maniWindow" among them) so that users' layouts survive updates.
        for (const char* key : {"autosave/maniWindow", "autosave/mainTable", "autosave/projectTable"})
            QVERIFY2(!m_box->storedSetting(QString::fromLatin1(key)).toByteArray().isEmpty(), key);
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        const QHeaderView* results = h.window.resultsView()->horizontalHeader();
        QCOMPARE(results->visualIndex(0), 3);
        QCOMPARE(results->sectionSize(1), 321);
        QCOMPARE(results->sortIndicatorSection(), cpu);
        QCOMPARE(results->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(columnTexts(h.results(), QStringLiteral("Work unit")), units({"w2", "w3", "w1", "w4"}));
        QCOMPARE(h.window.projectsView()->horizontalHeader()->visualIndex(0), 2);
        QCOMPARE(h.window.size(), QSize(900, 640));
    }

    void headerTooltipsExplainTheEstimates_data() {
        QTest::addColumn<QString>("column");
        QTest::newRow("remaining") << QStringLiteral("Remaining");
        QTest::newRow("completes") << QStringLiteral("Completes");
        QTest::newRow("progress") << QStringLiteral("Progress");
    }
    void headerTooltipsExplainTheEstimates() {
        QFETCH(QString, column);
        Harness h(*m_box);
        const int c = columnTitled(h.results(), column);
        QVERIFY2(c >= 0, qPrintable(column));
        QVERIFY(!h.results()->headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty());
    }

    // A first run on a machine without a readable state file: the empty
    // results table says which file, why (as the reader saw it), where the
    // client keeps its files and what to do; the first good refresh clears it.
    void unreadableFileIsExplainedUntilAGoodRefresh_data() {
        QTest::addColumn<QString>("inSandbox");  // null: no path at all
        QTest::addColumn<ReadFailure>("why");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << QStringLiteral("gone/client_state.xml") << ReadFailure::notFound
                                      << QStringLiteral("there is no such file");
        QTest::newRow("directory") << QStringLiteral("") << ReadFailure::notRegularFile
                                   << QStringLiteral("it is not a regular file");
        QTest::newRow("nothing chosen") << QString() << ReadFailure::noPath << QStringLiteral("No state file is chosen.");
    }
    void unreadableFileIsExplainedUntilAGoodRefresh() {
        QFETCH(QString, inSandbox);
        QFETCH(ReadFailure, why);
        QFETCH(QString, reason);
        const QString path = inSandbox.isNull() ? QString() : m_box->path(inSandbox);
        Harness h(*m_box);
        QVERIFY(h.start(path));
        QCOMPARE(h.c().clientStatePath->text(), QStringLiteral("Error: file not found!"));
        QCOMPARE(h.c().lastFailure(), why);
        const QString tip = h.c().clientStatePath->toolTip();
        QCOMPARE(tip, unreadableReason(path, why));
        QVERIFY2(tip.contains(reason) && tip.contains(path), qPrintable(tip));

        const TableNote* note = h.window.resultsNote();
        QVERIFY2(note->isVisible(), "the explanation is out of sight");
        QVERIFY(note->note().startsWith(tip));
        for (const QString& part : {QStringLiteral("/var/lib/boinc-client"), QStringLiteral("File \u25B8 Open\u2026")})
            QVERIFY2(note->note().contains(part), qPrintable(note->note()));

        h.c().setFilePanel([this](const QString&, const QStringList&) -> std::optional<QString> { return m_state; });
        QVERIFY(h.open());
        QCOMPARE(h.c().clientStatePath->text(), m_state);
        QVERIFY(note->note().isEmpty());
        QVERIFY(!note->isVisible());
    }

private:
    std::optional<Sandbox> m_box;
    QString m_state;
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"

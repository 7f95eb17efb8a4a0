// The task details panel: Enter opens it on the current result; it follows
// the selection through a sorted table, shows its task again from each
// refresh (the reload lets go of the current row), says when the task has
// left the file, and Copy puts its lines on the clipboard.

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>

#include "app/task_details_panel.hpp"
#include "app_test_support.hpp"
#include "tables/columns.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

// Three results of one project; t2 runs at `fraction`; t3 only while `withT3`.
QByteArray threeTasks(const char* fraction, bool withT3 = true) {
    using namespace test;
    std::string rows;
    for (const char* name : {"t1", "t2", "t3"})
        if (withT3 || std::string_view(name) != "t3") rows += result(name, name, el("state", "2"));
    return QByteArray::fromStdString(
        stateFile(project("http://p/", el("project_name", "P") + el("resource_share", "100")) + rows,
                  task("http://p/", "t2",
                       el("active_task_state", "1") + el("checkpoint_fraction_done", fraction) +
                           el("checkpoint_cpu_time", "60") + el("current_cpu_time", "60"))));
}

}  // namespace

class TaskDetailsPanelTest final : public QObject {
    Q_OBJECT

private slots:
    void followsTheSelectionAndEachRefresh() {
        Sandbox box;
        QVERIFY(box.isValid());
        box.setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        const QString state = box.write(QStringLiteral("client_state.xml"), threeTasks("0.100000"));
        Harness h(box);
        QVERIFY(h.start(state));
        QVERIFY(QTest::qWaitForWindowActive(&h.window));
        QTableView* view = h.window.resultsView();
        TaskDetailsPanel* panel = h.window.detailsPanel();
        QVERIFY(!panel->isVisible());

        // Sorted by name, descending: the first row is t3.
        view->horizontalHeader()->setSortIndicator(indexOf(ResultColumn::WUnit), Qt::DescendingOrder);
        view->setCurrentIndex(view->model()->index(0, 0));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Return);
        QVERIFY(panel->isVisible());
        QVERIFY2(panel->plainText().startsWith(QStringLiteral("Task: t3\n")), qPrintable(panel->plainText()));
        QVERIFY(panel->textView()->toPlainText().contains(QStringLiteral("t3")));

        view->setCurrentIndex(view->model()->index(1, 0));
        QVERIFY(panel->plainText().startsWith(QStringLiteral("Task: t2\n")));
        QVERIFY(panel->plainText().contains(QStringLiteral("Fraction done: 10.000%")));

        box.write(QStringLiteral("client_state.xml"), threeTasks("0.250000"));
        QVERIFY(h.update());
        QVERIFY(!view->currentIndex().isValid());
        QVERIFY2(panel->plainText().contains(QStringLiteral("Fraction done: 25.000%")), qPrintable(panel->plainText()));

        panel->copyButton()->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), panel->plainText());

        view->setCurrentIndex(view->model()->index(0, 0));
        QVERIFY(panel->plainText().startsWith(QStringLiteral("Task: t3\n")));
        box.write(QStringLiteral("client_state.xml"), threeTasks("0.300000", false));
        QVERIFY(h.update());
        QVERIFY2(panel->plainText().contains(QStringLiteral("no longer in the state file")), qPrintable(panel->plainText()));
        QVERIFY(!panel->plainText().contains(QStringLiteral("Fraction done")));
        QVERIFY(panel->textView()->toPlainText().contains(QStringLiteral("no longer in the state file")));
    }
};

QTEST_MAIN(TaskDetailsPanelTest)
#include "task_details_panel_test.moc"

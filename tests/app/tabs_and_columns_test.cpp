// The Transfers tab, the columns the header's menu shows and hides (the
// results' extra ones hidden at first, the choice kept across runs, a layout
// of an older version with fewer columns restored sensibly), the projects'
// Status tooltip, and the State column's marks.

#include <QAction>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include "app/settings.hpp"
#include "app/table_model.hpp"
#include "app/table_note.hpp"
#include "app/table_view.hpp"
#include "app/transfers_view.hpp"
#include "app_test_support.hpp"
#include "tables/columns.hpp"
#include "tables/transfers_table.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

// A project deferred for an hour, with a download stuck (when `stuck`), and
// results in the states whose marks differ: running, waiting (plain), a
// computation error and an aborted task (failed), sent (done).
QByteArray projectWithTransfer(bool stuck) {
    using namespace test;
    const std::string deferred = std::to_string(static_cast<long long>(QDateTime::currentSecsSinceEpoch()) + 3600);
    const std::string file =
        "<file>" + el("name", "input.zip") + el("nbytes", "2048") +
        "<persistent_file_xfer>" + el("num_retries", "6") + el("first_request_time", "1796000000") +
        el("next_request_time", deferred) + el("is_upload", "0") + "</persistent_file_xfer></file>";
    return QByteArray::fromStdString(stateFile(
        project("http://p/", el("project_name", "P") + el("resource_share", "100") + el("min_rpc_time", deferred)) +
            (stuck ? file : std::string()) + result("run", "run", el("state", "2")) +
            result("wait", "wait", el("state", "2")) + result("error", "error", el("state", "3")) +
            result("aborted", "aborted", el("state", "6")) + result("sent", "sent", el("state", "5")),
        task("http://p/", "run", el("active_task_state", "1"))));
}

// A header state saved over `columns` columns, its section 1 `width` wide.
QByteArray olderLayout(int columns, int width) {
    QStandardItemModel model(0, columns);
    QTableView view;
    view.setModel(&model);
    view.horizontalHeader()->resizeSection(1, width);
    return view.horizontalHeader()->saveState();
}

QColor markColour(const QVariant& decoration) {
    const QIcon icon = decoration.value<QIcon>();
    const QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty()) return {};
    return icon.pixmap(sizes.first()).toImage().pixelColor(sizes.first().width() / 2, sizes.first().height() / 2);
}

}  // namespace

class TabsAndColumnsTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        m_state = m_box->write(QStringLiteral("client_state.xml"), projectWithTransfer(true));
    }
    void cleanup() { m_box.reset(); }

    void transfersTabShowsTheStuckFilesOrSaysThereAreNone() {
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        QTableView* table = h.window.transfersView()->table();
        QCOMPARE(table->model()->rowCount(), 1);
        const auto cell = [table](TransferColumn c) {
            return table->model()->index(0, static_cast<int>(c)).data().toString();
        };
        QCOMPARE(cell(TransferColumn::name), QStringLiteral("input.zip"));
        QCOMPARE(cell(TransferColumn::direction), QStringLiteral("Download"));
        QVERIFY2(cell(TransferColumn::next).startsWith(QStringLiteral("retry in 00:59:")), qPrintable(cell(TransferColumn::next)));
        QCOMPARE(noteOf(table)->note(), QString());

        m_box->write(QStringLiteral("client_state.xml"), projectWithTransfer(false));
        QVERIFY(h.update());
        QCOMPARE(table->model()->rowCount(), 0);
        QCOMPARE(noteOf(table)->note(), QStringLiteral("No transfers"));
    }

    void extraResultColumnsStartHiddenAndTheChoiceIsKept() {
        const int planClass = indexOf(ResultColumn::PlanClass);
        {
            Harness h(*m_box);
            QVERIFY(h.start(m_state));
            const QHeaderView* header = h.window.resultsView()->horizontalHeader();
            for (int c = 0; c < header->count(); ++c)
                QCOMPARE(header->isSectionHidden(c), c >= static_cast<int>(resultColumnsShown));
            std::unique_ptr<QMenu> menu(columnsMenu(h.window.resultsView(), nullptr));
            const QList<QAction*> actions = menu->actions();
            QCOMPARE(actions.size(), header->count());
            QCOMPARE(actions[planClass]->text(), QStringLiteral("Plan class"));
            QVERIFY(actions[0]->isChecked() && !actions[planClass]->isChecked());
            actions[planClass]->trigger();
            actions[indexOf(ResultColumn::Version)]->trigger();
            QVERIFY(!header->isSectionHidden(planClass));
            QVERIFY(header->isSectionHidden(indexOf(ResultColumn::Version)));
            QVERIFY(header->sectionSize(planClass) > 0);
            h.window.close();  // saves the layout at once
        }
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        const QHeaderView* header = h.window.resultsView()->horizontalHeader();
        QVERIFY(!header->isSectionHidden(planClass));
        QVERIFY(header->isSectionHidden(indexOf(ResultColumn::Version)));
        QVERIFY(header->isSectionHidden(indexOf(ResultColumn::Received)));
    }

    // An older version saved 9 results columns and 11 projects columns: what
    // they held comes back; the results' new columns stay hidden, and the
    // projects' Status is shown beside the project's name, in sight.
    void layoutsOfAnOlderVersionComeBackWithTheNewColumns() {
        {
            Settings settings(m_box->iniPath());
            settings.autosave(Settings::resultsTableLayout, olderLayout(9, 321));
            settings.autosave(Settings::projectsTableLayout, olderLayout(11, 222));
        }
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        const QHeaderView* results = h.window.resultsView()->horizontalHeader();
        QCOMPARE(results->sectionSize(1), 321);
        for (int c = 0; c < results->count(); ++c)
            QCOMPARE(results->isSectionHidden(c), c >= static_cast<int>(resultColumnsShown));

        const QHeaderView* projects = h.window.projectsView()->horizontalHeader();
        const int status = indexOf(ProjectColumn::status);
        QCOMPARE(projects->sectionSize(1), 222);
        QVERIFY(!projects->isSectionHidden(status));
        QCOMPARE(projects->visualIndex(status), 1);
        QVERIFY(projects->sectionSize(status) > 100);
        QVERIFY(projects->sectionViewportPosition(status) + projects->sectionSize(status) <= projects->width());
        const QModelIndex cell = h.projects()->index(0, status);
        QVERIFY2(cell.data().toString().startsWith(QStringLiteral("Communication deferred 00:59:")),
                 qPrintable(cell.data().toString()));
        QVERIFY(cell.data(Qt::ToolTipRole).toString().contains(QStringLiteral("(min_rpc_time)")));
    }

    // Every state has a mark, a blank one where the state has no tone, so
    // that the texts line up; a failed task's is red.
    void everyStateHasItsMark() {
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        const QAbstractItemModel* results = h.results();
        QStringList states;
        QList<QColor> colours;
        QSize size;
        for (int r = 0; r < results->rowCount(); ++r) {
            const QModelIndex cell = results->index(r, indexOf(ResultColumn::State));
            const QIcon mark = cell.data(Qt::DecorationRole).value<QIcon>();
            QVERIFY(!mark.isNull());
            QVERIFY(size.isEmpty() || mark.availableSizes().first() == size);
            size = mark.availableSizes().first();
            QVERIFY(!cell.data(Qt::ForegroundRole).isValid());
            states << cell.data().toString();
            colours << markColour(cell.data(Qt::DecorationRole));
        }
        QCOMPARE(states, (QStringList{QStringLiteral("running..."), QStringLiteral("Waiting"), QStringLiteral("3"),
                                      QStringLiteral("6"), QStringLiteral("Sent")}));
        QCOMPARE(colours[1].alpha(), 0);
        QCOMPARE(colours[2], QColor(0xd9, 0x4a, 0x3f));
        QCOMPARE(colours[3], colours[2]);
        QVERIFY(colours[0] != colours[2] && colours[4] != colours[2] && colours[0].alpha() == 255);
    }

private:
    std::optional<Sandbox> m_box;
    QString m_state;
};

QTEST_MAIN(TabsAndColumnsTest)
#include "tabs_and_columns_test.moc"

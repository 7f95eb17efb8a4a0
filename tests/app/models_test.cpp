// The tables' models over refresh values of their own, without a window or a
// controller: they show the value they were given, follow its replacement,
// sort by the keys they compute once per reload (one set of rules for every
// table), and filter by project and name.

#include <algorithm>
#include <optional>
#include <string>

#include <QTableView>
#include <QTest>

#include "app/sorting.hpp"
#include "app/table_model.hpp"
#include "app_test_support.hpp"
#include "tables/columns.hpp"
#include "tables/refresher.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

RefreshValuePtr valueOf(const QByteArray& state) { return valueOfText(state.toStdString()); }

QString joined(const QAbstractItemModel* model, const QString& title) {
    return columnTexts(model, title).join(QLatin1Char(' '));
}

}  // namespace

class ModelsTest final : public QObject {
    Q_OBJECT

private slots:
    void modelsShowTheValueTheyAreGivenAndFollowItsReplacement() {
        ColumnTableModel<resultRow> results(resultsTable, nullptr);
        ColumnTableModel<projectRecord> projects(projectsTable, nullptr);
        QCOMPARE(results.rowCount(), 0);  // nothing shown yet
        const RefreshValuePtr first = valueOf(twoProjectState());
        results.show(first);
        projects.show(first);
        QCOMPARE(results.rowCount(), 5);
        QCOMPARE(projects.rowCount(), 2);
        const QModelIndex progress = results.index(0, indexOf(ResultColumn::Progress));
        QCOMPARE(progress.data().toString(), QStringLiteral("45.68%"));
        QCOMPARE(progress.data(CellValueRole).toDouble(), 45.6789);
        QCOMPARE(projects.index(1, indexOf(ProjectColumn::project_name)).data().toString(), QStringLiteral("Beta"));

        // A value with the same rows (a failed refresh keeps them) is no reset.
        QSignalSpy resets(&results, &QAbstractItemModel::modelReset);
        RefreshValue failed = *first;
        failed.status.failure = ReadFailure::notFound;
        results.show(std::make_shared<const RefreshValue>(failed));
        QCOMPARE(resets.count(), 0);
        const RefreshValuePtr next = valueOf(oneProjectState("g1"));
        results.show(next);
        projects.show(next);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(columnTexts(&results, QStringLiteral("Work unit")), QStringList{QStringLiteral("g1")});
        QCOMPARE(columnTexts(&projects, QStringLiteral("Project")), QStringList{QStringLiteral("Gamma")});
    }

    // Text columns sort in the user's collation, numbers by value, the state
    // by its meaning; empty cells after every other in both directions; ties
    // in file order. A reload sorts the new rows again.
    void sortingFollowsOneSetOfRulesAndEveryReload_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("ascending");
        QTest::addColumn<QString>("descending");
        const auto row = [](const char* name, ResultColumn c, const char* up, const char* down) {
            QTest::newRow(name) << indexOf(c) << QString::fromUtf8(up) << QString::fromUtf8(down);
        };
        // Progress: a1 45.68 %, a2 checking (0), the others empty.
        row("progress", ResultColumn::Progress, "a2 a1 a3 b1 b2", "a1 a2 a3 b1 b2");
        // State: running, then waiting, downloading, sent.
        row("state by meaning", ResultColumn::State, "a1 a2 a3 b1 b2", "b2 b1 a3 a1 a2");
        row("project by collation", ResultColumn::PName, "a1 a2 a3 b1 b2", "b1 b2 a1 a2 a3");
        row("remaining, mostly empty", ResultColumn::ETR, "a1 a2 a3 b1 b2", "a1 a2 a3 b1 b2");
    }
    void sortingFollowsOneSetOfRulesAndEveryReload() {
        QFETCH(int, column);
        QFETCH(QString, ascending);
        QFETCH(QString, descending);
        ColumnTableModel<resultRow> results(resultsTable, nullptr);
        results.show(valueOf(twoProjectState()));
        QTableView view;
        SortingProxy* proxy = installSorting(&view, &results);
        const QString unit = QStringLiteral("Work unit");
        proxy->sort(column, Qt::AscendingOrder);
        QCOMPARE(joined(proxy, unit), ascending);
        proxy->sort(column, Qt::DescendingOrder);
        QCOMPARE(joined(proxy, unit), descending);
        // The current row stays the same result through a sort.
        view.setCurrentIndex(proxy->index(1, 0));
        const QString current = view.currentIndex().data().toString();
        proxy->sort(-1);
        QCOMPARE(joined(proxy, unit), QStringLiteral("a1 a2 a3 b1 b2"));
        QCOMPARE(view.currentIndex().data().toString(), current);
        proxy->sort(indexOf(ResultColumn::WUnit), Qt::DescendingOrder);
        results.show(valueOf(QByteArray(twoProjectState()).replace("b2", "a0")));
        QCOMPARE(joined(proxy, unit), QStringLiteral("b1 a3 a2 a1 a0"));
    }

    // A filter keeps a project's rows, or those whose name holds a text
    // (letters in any case); it holds through a sort and a reload.
    void filterByProjectAndName() {
        ColumnTableModel<resultRow> results(resultsTable, nullptr);
        results.show(valueOf(twoProjectState()));
        QTableView view;
        SortingProxy* proxy = installSorting(&view, &results);
        const QString unit = QStringLiteral("Work unit");
        QCOMPARE(results.projects(), (std::vector<std::string>{"Alpha", "Beta"}));
        proxy->setFilter({std::string("Beta"), ""});
        QCOMPARE(joined(proxy, unit), QStringLiteral("b1 b2"));
        proxy->sort(indexOf(ResultColumn::WUnit), Qt::DescendingOrder);
        QCOMPARE(joined(proxy, unit), QStringLiteral("b2 b1"));
        proxy->setFilter({std::nullopt, "A"});
        QCOMPARE(joined(proxy, unit), QStringLiteral("a3 a2 a1"));
        proxy->setFilter({std::string("Alpha"), "2"});
        QCOMPARE(joined(proxy, unit), QStringLiteral("a2"));
        results.show(valueOf(oneProjectState("g2")));
        QCOMPARE(proxy->rowCount(), 0);
        QVERIFY(!proxy->mapFromSource(results.index(0, 0)).isValid());
        proxy->setFilter({});
        QCOMPARE(joined(proxy, unit), QStringLiteral("g2"));
    }
};

QTEST_MAIN(ModelsTest)
#include "models_test.moc"

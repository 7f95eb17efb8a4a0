// The tables' models over a snapshot of their own, without a window or a
// controller: they show the snapshot they were given, follow its
// replacement, and sort by the keys they compute once per reload.

#include <algorithm>
#include <optional>
#include <string>

#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>

#include "app/sorting.hpp"
#include "app/table_models.hpp"
#include "app_test_support.hpp"
#include "tables/columns.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

class ModelsTest final : public QObject {
    Q_OBJECT

private slots:
    void modelsShowTheSnapshotTheyReadAndFollowItsReplacement() {
        Snapshot snapshot = snapshotOfText(twoProjectState().toStdString());
        const std::optional<std::string> format;
        ResultsModel results(snapshot, format, nullptr);
        ProjectsModel projects(snapshot, format, nullptr);
        QCOMPARE(results.rowCount(), 5);
        QCOMPARE(projects.rowCount(), 2);
        const QModelIndex progress = results.index(0, indexOf(ResultColumn::Progress));
        QCOMPARE(progress.data().toString(), QStringLiteral("45.68%"));
        QCOMPARE(progress.data(CellValueRole).toDouble(), 45.6789);
        QCOMPARE(projects.index(1, indexOf(ProjectColumn::project_name)).data().toString(), QStringLiteral("Beta"));

        results.beginReload();
        projects.beginReload();
        snapshot = snapshotOfText(oneProjectState("g1").toStdString());
        results.endReload();
        projects.endReload();
        QCOMPARE(columnTexts(&results, QStringLiteral("Work unit")), QStringList{QStringLiteral("g1")});
        QCOMPARE(columnTexts(&projects, QStringLiteral("Project")), QStringList{QStringLiteral("Gamma")});
    }

    // Text columns sort in the user's collation, empty cells after every
    // other, ties in file order; a reload sorts the new rows again.
    void sortingFollowsTheCollationAndEveryReload() {
        Snapshot snapshot = snapshotOfText(twoProjectState().toStdString());
        const std::optional<std::string> format;
        ResultsModel results(snapshot, format, nullptr);
        QTableView view;
        SortingProxy* proxy = installSorting(&view, &results);
        for (const ResultColumn column : {ResultColumn::State, ResultColumn::Progress, ResultColumn::PName}) {
            const QString title = QString::fromUtf8(columnOf(column).title.data());
            QStringList expected = columnTexts(&results, title);
            std::stable_sort(expected.begin(), expected.end(), [column](const QString& a, const QString& b) {
                if (a.isEmpty() || b.isEmpty()) return !a.isEmpty() && b.isEmpty();
                return column == ResultColumn::Progress ? a.chopped(1).toDouble() < b.chopped(1).toDouble()
                                                        : a.localeAwareCompare(b) < 0;
            });
            proxy->sort(indexOf(column), Qt::AscendingOrder);
            QCOMPARE(columnTexts(proxy, title), expected);
        }
        // The current row stays the same result through a sort.
        const int wu = indexOf(ResultColumn::WUnit);
        proxy->sort(-1);
        view.setCurrentIndex(proxy->index(1, wu));
        proxy->sort(wu, Qt::DescendingOrder);
        QCOMPARE(columnTexts(proxy, QStringLiteral("Work unit")).join(QLatin1Char(' ')), QStringLiteral("b2 b1 a3 a2 a1"));
        QCOMPARE(view.currentIndex().data().toString(), QStringLiteral("a2"));
        QCOMPARE(view.currentIndex().row(), 3);
        results.beginReload();
        snapshot = snapshotOfText(twoProjectState().replace("b2", "a0").toStdString());
        results.endReload();
        QCOMPARE(columnTexts(proxy, QStringLiteral("Work unit")).join(QLatin1Char(' ')), QStringLiteral("b1 a3 a2 a1 a0"));
    }
};

QTEST_MAIN(ModelsTest)
#include "models_test.moc"

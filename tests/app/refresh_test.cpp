// The refresh cycle as the window shows it: tables, counters, the path field,
// the preferences, and the cells the results table draws.

#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include "app/project_table.hpp"
#include "app/table_model.hpp"
#include "app/unreadable_reason.hpp"
#include "app_test_support.hpp"
#include "tables/format.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

const QString notFound = QStringLiteral("Error: file not found!");

// The counter's text: a point before the decimals whatever the locale.
QString credit(double value) { return QString::fromStdString(formatGrouped(value)); }

}  // namespace

class RefreshTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        // The watchdog stays off: every refresh here is one the test asks for.
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        m_state = m_box->write(QStringLiteral("client_state.xml"), twoProjectState());
        m_box->write(QStringLiteral("global_prefs.xml"), globalPrefs("60.000000"));
        m_h.emplace(*m_box);
    }
    void cleanup() {
        m_h.reset();
        m_box.reset();
    }

    void goodCycleFillsTablesCountersAndPath() {
        QVERIFY(m_h->start(m_state));
        QCOMPARE(m_h->results()->rowCount(), 5);
        QCOMPARE(m_h->projects()->rowCount(), 2);
        QCOMPARE(m_h->c().numberOfProjects->text(), QStringLiteral("2"));
        QCOMPARE(m_h->c().totalCreditCount->text(), credit(1234.5 + 100.25));
        QCOMPARE(m_h->c().clientStatePath->text(), m_state);
        QCOMPARE(m_h->c().clientStatePath->toolTip(), m_state);
        QCOMPARE(m_h->c().podajRozmiarTabelkiProjektow(), 2);
        QCOMPARE(m_h->c().podajWartoscZTabelkiProjektow(1).values.get(Key::project_name), "Beta");
        QCOMPARE(m_h->c().podajWartoscZTabelkiProjektow(0).result.size(), 3u);
    }

    // Numbers are written with a point whatever the user's locale: never
    // "1.334,75", and no grouping that could be read as a decimal point.
    void totalCreditIgnoresTheLocale() {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(m_h->start(m_state));
        QLocale::setDefault(before);
        QCOMPARE(m_h->c().totalCreditCount->text(), QStringLiteral("1\u202F334.75"));
    }

    void failedCycleKeepsTablesAndCounters() {
        QVERIFY(m_h->start(m_state));
        const QStringList units = columnTexts(m_h->results(), QStringLiteral("Work unit"));
        const QStringList names = columnTexts(m_h->projects(), QStringLiteral("Project"));
        QVERIFY(QFile::remove(m_state));

        QVERIFY(m_h->update());
        QCOMPARE(m_h->c().clientStatePath->text(), notFound);
        QCOMPARE(columnTexts(m_h->results(), QStringLiteral("Work unit")), units);
        QCOMPARE(columnTexts(m_h->projects(), QStringLiteral("Project")), names);
        QCOMPARE(m_h->c().numberOfProjects->text(), QStringLiteral("2"));
        QCOMPARE(m_h->c().totalCreditCount->text(), credit(1334.75));
        const QString tip = m_h->c().clientStatePath->toolTip();
        QCOMPARE(m_h->c().lastFailure(), ReadFailure::notFound);
        QCOMPARE(tip, unreadableReason(m_state, ReadFailure::notFound));
        QVERIFY2(tip.contains(QStringLiteral("there is no such file")) && tip.contains(m_state), qPrintable(tip));
    }

    // The field now holds the message, so every later cycle fails on it too
    // (the watchdog runs one every tick); the tooltip must go on naming the
    // file that is missing, not the message standing in its place.
    void repeatedFailuresStillExplainTheMissingFile() {
        QVERIFY(m_h->start(m_state));
        QVERIFY(QFile::remove(m_state));
        QVERIFY(m_h->update());
        QVERIFY(m_h->update());
        QCOMPARE(m_h->c().clientStatePath->text(), notFound);
        const QString tip = m_h->c().clientStatePath->toolTip();
        QVERIFY2(tip.contains(m_state), qPrintable(tip));
    }

    void cycleWithoutProjectsEmptiesTablesAndZeroesCounters() {
        // Whatever the views could ask at any point of a reset, before or after
        // it, must be answerable: every cell of both tables is read then.
        int checks = 0;
        const auto readEverything = [this, &checks] {
            allCells(m_h->results());
            allCells(m_h->projects());
            allCells(m_h->c().resultsModel());
            allCells(m_h->window.projects().model());
            ++checks;
        };
        for (QAbstractItemModel* m : {static_cast<QAbstractItemModel*>(m_h->c().resultsModel()),
                                      static_cast<QAbstractItemModel*>(m_h->window.projects().model())}) {
            connect(m, &QAbstractItemModel::modelAboutToBeReset, this, readEverything);
            connect(m, &QAbstractItemModel::modelReset, this, readEverything);
        }

        QVERIFY(m_h->start(m_state));
        m_h->window.grab();
        QCOMPARE(m_h->results()->rowCount(), 5);
        m_box->write(QStringLiteral("client_state.xml"), "These are notes, not a client's state.\n");
        QVERIFY(m_h->update());
        m_h->window.grab();  // the views paint what they now hold
        QCOMPARE(m_h->c().clientStatePath->text(), m_state);  // the cycle succeeded
        QCOMPARE(m_h->results()->rowCount(), 0);
        QCOMPARE(m_h->projects()->rowCount(), 0);
        QCOMPARE(m_h->c().numberOfProjects->text(), QStringLiteral("0"));
        QCOMPARE(m_h->c().totalCreditCount->text(), credit(0));

        // And back: the emptied tables fill again.
        m_box->write(QStringLiteral("client_state.xml"), oneProjectState("g1"));
        QVERIFY(m_h->update());
        m_h->window.grab();
        QCOMPARE(columnTexts(m_h->results(), QStringLiteral("Work unit")), QStringList{QStringLiteral("g1")});
        QCOMPARE(m_h->c().numberOfProjects->text(), QStringLiteral("1"));
        QCOMPARE(m_h->c().totalCreditCount->text(), credit(10));
        QCOMPARE(checks, 3 * 2 * 2);  // three cycles, two models, two signals
        readEverything();
    }

    void preferencesReReadOnlyWhenTheirDateTextChanges() {
        const auto reads = [this] { return m_h->c().value()->prefs->reads; };
        QVERIFY(m_h->start(m_state));
        // Start-up reads them, and its first cycle reads them again: no stamp yet.
        QCOMPARE(reads(), 2u);
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::optional<std::string>("60.000000"));

        QVERIFY(m_h->update());
        QVERIFY(m_h->update());
        QCOMPARE(reads(), 2u);

        m_box->write(QStringLiteral("global_prefs.xml"), globalPrefs("120.000000"));
        QVERIFY(m_h->update());
        QCOMPARE(reads(), 3u);
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::optional<std::string>("120.000000"));
        QVERIFY(m_h->update());
        QCOMPARE(reads(), 3u);
    }

    // The preferences step ends every cycle, a failed one too; a file that
    // is there but cannot be read leaves no stamp, so it is tried again.
    void preferencesAfterAFailedStateReadAndWhenUnreadable() {
        QVERIFY(m_h->start(m_state));
        QVERIFY(QFile::remove(m_state));
        m_box->write(QStringLiteral("global_prefs.xml"), globalPrefs("90.000000"));
        QVERIFY(m_h->update());
        QCOMPARE(m_h->c().clientStatePath->text(), notFound);
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::optional<std::string>("90.000000"));

        const QString prefs = m_box->path(QStringLiteral("global_prefs.xml"));
        QVERIFY(QFile::remove(prefs));
        QVERIFY(QDir().mkdir(prefs));
        const DateText before = m_h->c().global_prefs_time_stamp;
        QVERIFY(m_h->update());
        QCOMPARE(m_h->c().global_prefs_time_stamp, before);
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::optional<std::string>("90.000000"));
        QVERIFY(QDir().rmdir(prefs));
        m_box->write(QStringLiteral("global_prefs.xml"), globalPrefs("30.000000"));
        QVERIFY(m_h->update());
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::optional<std::string>("30.000000"));
    }

    void missingPreferencesAreTriedOnEveryCycle() {
        QVERIFY(QFile::remove(m_box->path(QStringLiteral("global_prefs.xml"))));
        const auto reads = [this] { return m_h->c().value()->prefs->reads; };
        QVERIFY(m_h->start(m_state));
        QVERIFY(m_h->update());
        QCOMPARE(reads(), 0u);
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::nullopt);
        m_box->write(QStringLiteral("global_prefs.xml"), globalPrefs("45.000000"));
        QVERIFY(m_h->update());
        QCOMPARE(reads(), 1u);
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::optional<std::string>("45.000000"));
    }

    void resultCellsShowTheTableRules_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("text");
        const auto add = [](const char* name, int row, const char* column, const char* text) {
            QTest::newRow(name) << row << QString::fromUtf8(column) << QString::fromUtf8(text);
        };
        add("running progress", 0, "Progress", "45.68%");
        add("running state", 0, "State", "running...");
        add("version", 0, "Version", "1.07");
        add("cpu time", 0, "CPU time", "01:00:00");
        add("remaining", 0, "Remaining", "01:11:21");
        add("nothing done yet", 1, "Progress", "checking...");
        add("no estimate at zero", 1, "Remaining", "");
        add("waiting", 2, "State", "Waiting");
        add("waiting has no progress", 2, "Progress", "");
        add("own workunit's version", 2, "Version", "1.08");
        add("downloading", 3, "State", "Downloading");
        add("second project", 3, "Project", "Beta");
        add("second project's version", 3, "Version", "7.01");
        add("sent", 4, "State", "Sent");
        add("work unit", 4, "Work unit", "b2");
    }
    void resultCellsShowTheTableRules() {
        QFETCH(int, row);
        QFETCH(QString, column);
        QFETCH(QString, text);
        QVERIFY(m_h->start(m_state));
        const QAbstractItemModel* model = m_h->results();
        const int c = columnTitled(model, column);
        QVERIFY2(c >= 0, qPrintable(column));
        QCOMPARE(model->index(row, c).data().toString(), text);
    }

    void rowsGroupedByProjectInFileOrder() {
        QVERIFY(m_h->start(m_state));
        const QStringList units{QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("a3"), QStringLiteral("b1"),
                                QStringLiteral("b2")};
        QCOMPARE(columnTexts(m_h->results(), QStringLiteral("Work unit")), units);
        const QString a = QStringLiteral("Alpha"), b = QStringLiteral("Beta");
        QCOMPARE(columnTexts(m_h->results(), QStringLiteral("Project")), (QStringList{a, a, a, b, b}));
        QCOMPARE(columnTexts(m_h->projects(), QStringLiteral("Project")), (QStringList{a, b}));
        // Credits show exactly as the file stores them.
        QCOMPARE(columnTexts(m_h->projects(), QStringLiteral("User credit")),
                 (QStringList{QStringLiteral("1234.500000"), QStringLiteral("100.250000")}));
    }

private:
    std::optional<Sandbox> m_box;
    std::optional<Harness> m_h;
    QString m_state;
};

QTEST_MAIN(RefreshTest)
#include "refresh_test.moc"

// The Statistics and History tabs on a data directory: the tasks newest
// first under their projects' names, failures marked, sorting by value,
// filtering by project and by name, an appended task after a refresh, and
// the credit lines per project with their total, in both palettes.

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "app/cell_delegates.hpp"
#include "app/history_view.hpp"
#include "app/statistics_view.hpp"
#include "app/table_note.hpp"
#include "app/table_view.hpp"
#include "app_test_support.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

const QByteArray state = "<client_state>\n<project>\n<master_url>http://delta.example/</master_url>\n"
                         "<project_name>Delta</project_name>\n</project>\n</client_state>\n";

QByteArray statistics(const QByteArray& url, std::initializer_list<std::pair<int, int>> days) {
    QByteArray s = "<project_statistics>\n<master_url>" + url + "</master_url>\n";
    for (const auto& [day, credit] : days)
        s += "<daily_statistics>\n<day>" + QByteArray::number(day) + "</day>\n<user_total_credit>" +
             QByteArray::number(credit) + "</user_total_credit>\n</daily_statistics>\n";
    return s + "</project_statistics>\n";
}

QStringList strings(std::initializer_list<const char*> items) {
    QStringList list;
    for (const char* i : items) list << QString::fromUtf8(i);
    return list;
}

}  // namespace

class HistoryViewTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        m_state = m_box->write(QStringLiteral("client_state.xml"), state);
        m_box->write(QStringLiteral("job_log_delta.example.txt"),
                     "86400 ue 100 ct 7200 nm d_big et 7300 es 0\n"
                     "172800 ue 100 ct 900 nm d_small et 950 es 197\n"
                     "not-a-time nm junk\n");
        m_box->write(QStringLiteral("job_log_other.org.txt"), "100000 ct 60 nm o_first et 61\n");
        m_box->write(QStringLiteral("statistics_delta.example.xml"), statistics("http://delta.example/", {{86400, 10}, {172800, 30}}));
        m_box->write(QStringLiteral("statistics_other.org.xml"), statistics("http://other.org/", {{129600, 5}}));
    }
    void cleanup() { m_box.reset(); }

    void tasksNewestFirstSortedAndFiltered() {
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        HistoryView* view = h.window.historyView();
        QAbstractItemModel* model = view->table()->model();
        const QString task = QStringLiteral("Task");
        QCOMPARE(columnTexts(model, task), strings({"d_small", "o_first", "d_big"}));
        QCOMPARE(columnTexts(model, QStringLiteral("Project")), strings({"Delta", "job_log_other.org.txt", "Delta"}));
        QCOMPARE(columnTexts(model, QStringLiteral("CPU time")), strings({"00:15:00", "00:01:00", "02:00:00"}));

        // A failure is marked, and says why.
        const int status = columnTitled(model, QStringLiteral("Exit status"));
        QCOMPARE(model->index(0, status).data(Qt::ForegroundRole).value<QColor>(), toneColour(Tone::late));
        QVERIFY(model->index(0, status).data(Qt::ToolTipRole).toString().contains(QStringLiteral("longer than allowed")));
        QVERIFY(!model->index(2, status).data(Qt::ForegroundRole).isValid());
        QVERIFY(!model->index(1, status).data().isValid());  // an older client wrote none

        // By value: 60 s < 900 s < 7200 s, whatever the texts.
        model->sort(columnTitled(model, QStringLiteral("CPU time")), Qt::AscendingOrder);
        QCOMPARE(columnTexts(model, task), strings({"o_first", "d_small", "d_big"}));
        model->sort(0, Qt::DescendingOrder);

        view->projectFilter()->setCurrentIndex(view->projectFilter()->findText(QStringLiteral("Delta")));
        QCOMPARE(columnTexts(model, task), strings({"d_small", "d_big"}));
        view->searchBox()->setText(QStringLiteral("BIG"));
        QTRY_COMPARE(columnTexts(model, task), strings({"d_big"}));
        view->searchBox()->clear();
        QTRY_COMPARE(model->rowCount(), 2);

        // An appended line shows at the next refresh; the filter stays.
        QFile log(m_box->path(QStringLiteral("job_log_delta.example.txt")));
        QVERIFY(log.open(QIODevice::Append));
        log.write("259200 ct 1 nm d_new es 0\n");
        log.close();
        QVERIFY(h.update());
        QCOMPARE(view->projectFilter()->currentText(), QStringLiteral("Delta"));
        QCOMPARE(columnTexts(model, task), strings({"d_new", "d_small", "d_big"}));
    }

    void creditLinesPerProjectWithTheirTotal() {
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        h.window.show();
        h.window.tabs()->setCurrentWidget(h.window.statisticsView());
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        const auto& series = h.window.statisticsView()->shownSeries().at(0);  // user total credit
        QStringList labels;
        for (const CreditSeries& s : series) labels << QString::fromStdString(s.label);
        QCOMPARE(labels, strings({"Delta", "statistics_other.org.xml", "Total"}));
        // Other's 5 from its one day on, Delta's 10 then 30.
        std::vector<std::pair<double, double>> total;
        for (const CreditPoint& p : series.back().points) total.emplace_back(p.day, p.value);
        QCOMPARE(total, (std::vector<std::pair<double, double>>{{86400, 10}, {129600, 15}, {172800, 35}}));
        QCOMPARE(h.window.statisticsView()->chart(0)->series().size(), 3);

        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Base, QColor(0x10, 0x10, 0x10));
        h.window.setPalette(dark);
        QCOMPARE(h.window.statisticsView()->chart(0)->theme(), QChart::ChartThemeDark);
        h.window.setPalette(QPalette(QColor(0xf0, 0xf0, 0xf0)));
        QCOMPARE(h.window.statisticsView()->chart(0)->theme(), QChart::ChartThemeLight);
    }

    // A statistics file of one day is a point, not a blank chart; the date
    // axis never shows one label twice; the per-day chart of the history
    // has every day between its first and last task, at zero without one.
    void chartsDrawALoneDayAndEveryDay() {
        m_box->write(QStringLiteral("statistics_other.org.xml"), statistics("http://other.org/", {{1289347200, 5}}));
        m_box->write(QStringLiteral("statistics_delta.example.xml"), statistics("http://delta.example/", {{1289347200, 7}}));
        m_box->write(QStringLiteral("job_log_delta.example.txt"),
                     "1289390400 ct 60 nm first es 0\n1290254400 ct 60 nm tenth es 0\n");
        QVERIFY(QFile::remove(m_box->path(QStringLiteral("job_log_other.org.txt"))));
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        h.window.show();
        h.window.tabs()->setCurrentWidget(h.window.statisticsView());
        QVERIFY(QTest::qWaitForWindowExposed(&h.window));
        QChart* credit = h.window.statisticsView()->chart(0);
        for (QAbstractSeries* series : credit->series())
            QVERIFY(qobject_cast<QLineSeries*>(series)->pointsVisible());
        auto* axis = qobject_cast<QDateTimeAxis*>(credit->axes(Qt::Horizontal).first());
        QStringList labels;
        const qint64 from = axis->min().toMSecsSinceEpoch(), to = axis->max().toMSecsSinceEpoch();
        for (int i = 0; i < axis->tickCount(); ++i)
            labels << QDateTime::fromMSecsSinceEpoch(from + (to - from) * i / (axis->tickCount() - 1)).toString(axis->format());
        labels.removeDuplicates();
        QCOMPARE(labels.size(), axis->tickCount());

        h.window.tabs()->setCurrentWidget(h.window.historyView());
        QChart* daily = h.window.historyView()->dailyChart()->chart();
        auto* tasks = qobject_cast<QLineSeries*>(daily->series().first());
        QCOMPARE(tasks->count(), 11);
        double total = 0;
        for (const QPointF& p : tasks->points()) total += p.y();
        QCOMPARE(total, 2.0);
    }

    // History files that cannot be read are named, with the reason, where
    // the history would be.
    void unreadableHistoryFilesAreExplained() {
        for (const char* name : {"job_log_delta.example.txt", "job_log_other.org.txt", "statistics_delta.example.xml",
                                 "statistics_other.org.xml"}) {
            QVERIFY(QFile::remove(m_box->path(QString::fromLatin1(name))));
            QVERIFY(QDir().mkdir(m_box->path(QString::fromLatin1(name))));
        }
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        const QString note = noteOf(h.window.historyView()->table())->note();
        QVERIFY2(note.contains(QStringLiteral("job_log_delta.example.txt could not be read: it is not a regular file")),
                 qPrintable(note));
        const QString statistics = h.window.statisticsView()->emptyText();
        QVERIFY2(statistics.contains(QStringLiteral("statistics_other.org.xml could not be read")), qPrintable(statistics));
    }

private:
    std::optional<Sandbox> m_box;
    QString m_state;
};

QTEST_MAIN(HistoryViewTest)
#include "history_view_test.moc"

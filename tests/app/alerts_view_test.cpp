// The Alerts tab over hand-made alerts (newest first, marked by severity, the
// tab's title counting them, a note when there are none), the Alerts menu
// writing each choice to its key at once, and the alert thresholds read from
// the settings file, where a text that is no usable number reads as the
// default.

#include <array>

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QTabWidget>
#include <QTest>

#include "app/alerts_view.hpp"
#include "app/table_note.hpp"
#include "app/table_view.hpp"
#include "app_test_support.hpp"
#include "tables/alerts_table.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

Alert alert(AlertRule rule, AlertSeverity severity, std::string project, std::string task, double since) {
    Alert a;
    a.rule = rule;
    a.severity = severity;
    a.project = std::move(project);
    a.projectUrl = a.project.empty() ? std::string() : "http://" + a.project + ".example/";
    a.task = std::move(task);
    a.text = std::string(ruleTitle(rule)) + " " + a.task;
    a.since = since;
    return a;
}

// The value the window shows, with `alerts` in place of its own.
RefreshValuePtr withAlerts(const RefreshValuePtr& shown, std::vector<Alert> alerts) {
    auto value = std::make_shared<RefreshValue>(*shown);
    auto made = std::make_shared<AlertsValue>();
    made->alerts = std::move(alerts);
    value->alerts = std::move(made);
    return value;
}

QColor markColour(const QVariant& decoration) {
    const QIcon icon = decoration.value<QIcon>();
    const QSize size = icon.availableSizes().value(0);
    return icon.pixmap(size).toImage().pixelColor(size.width() / 2, size.height() / 2);
}

}  // namespace

class AlertsViewTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
    }
    void cleanup() { m_box.reset(); }

    void tabListsTheAlertsNewestFirstAndCountsThem() {
        Harness h(*m_box);
        QVERIFY(h.start(m_box->write(QStringLiteral("client_state.xml"), oneProjectState("g1"))));
        AlertsView* view = h.window.alertsView();
        QTabWidget* tabs = h.window.tabs();
        const QAbstractItemModel* model = view->table()->model();
        view->show(withAlerts(h.c().value(), {
            alert(AlertRule::deadline_at_risk, AlertSeverity::warning, "Gamma", "g2", 2000),
            alert(AlertRule::task_failed, AlertSeverity::error, "Gamma", "g1", 1000),
            alert(AlertRule::client_stopped, AlertSeverity::error, "", "", 500),
        }));
        QCOMPARE(tabs->tabText(tabs->indexOf(view)), QStringLiteral("Alerts (3)"));
        const auto cell = [model](int row, AlertColumn c, int role = Qt::DisplayRole) {
            return model->index(row, indexOf(c)).data(role);
        };
        QCOMPARE(cell(0, AlertColumn::rule).toString(), QStringLiteral("Deadline at risk"));
        QCOMPARE(cell(0, AlertColumn::rule, Qt::ToolTipRole).toString(), QStringLiteral("deadline_at_risk"));
        QCOMPARE(cell(1, AlertColumn::task).toString(), QStringLiteral("g1"));
        QCOMPARE(cell(1, AlertColumn::project, Qt::ToolTipRole).toString(), QStringLiteral("http://Gamma.example/"));
        QCOMPARE(cell(2, AlertColumn::severity).toString(), QStringLiteral("Error"));
        QVERIFY(!cell(2, AlertColumn::project).isValid());
        // Marked as the results' failed and late tasks are: red for an error, orange for a warning.
        QCOMPARE(markColour(cell(1, AlertColumn::severity, Qt::DecorationRole)), QColor(0xd9, 0x4a, 0x3f));
        QCOMPARE(markColour(cell(0, AlertColumn::severity, Qt::DecorationRole)), QColor(0xe0, 0x7b, 0x12));
        QCOMPARE(cell(1, AlertColumn::text, Qt::ForegroundRole).value<QColor>(), QColor(0xd9, 0x4a, 0x3f));
        QCOMPARE(noteOf(view->table())->note(), QString());

        view->show(withAlerts(h.c().value(), {}));
        QCOMPARE(tabs->tabText(tabs->indexOf(view)), QStringLiteral("Alerts"));
        QCOMPARE(noteOf(view->table())->note(), QStringLiteral("No alerts: nothing needs you now."));
    }

    void menuChoicesAreShownAndWrittenAtOnce() {
        m_box->setSetting(QStringLiteral("alerts/notify idle"), QStringLiteral("false"));
        Harness h(*m_box);
        const auto action = [&h](const char* name) {
            return h.window.findChild<QAction*>(QString::fromLatin1(name));
        };
        for (const char* name : {"doNotDisturb", "keepInTray", "notify task_failed", "notify idle"})
            QVERIFY2(action(name) && action(name)->isCheckable(), name);
        QCOMPARE(action("notify idle")->text(), QStringLiteral("Notify: Nothing running"));
        QVERIFY(!action("doNotDisturb")->isChecked() && !action("keepInTray")->isChecked());
        QVERIFY(action("notify task_failed")->isChecked() && !action("notify idle")->isChecked());

        for (const char* name : {"doNotDisturb", "keepInTray", "notify task_failed", "notify idle"})
            action(name)->trigger();
        const Settings written(m_box->iniPath());
        QVERIFY(written.doNotDisturb() && written.keepInTray());
        QVERIFY(!written.notifyRule(AlertRule::task_failed) && written.notifyRule(AlertRule::idle));
        QVERIFY(written.notifyRule(AlertRule::disk_full));
        QCOMPARE(m_box->storedSetting(QStringLiteral("alerts/do not disturb")).toString(), QStringLiteral("true"));
        QCOMPARE(m_box->storedSetting(QStringLiteral("alerts/keep in tray")).toString(), QStringLiteral("true"));
    }

    void thresholdsReadTheirDefaultForAnUnusableText_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("field");
        QTest::addColumn<double>("expected");
        QTest::newRow("retries") << "transfer retries" << "8" << 0 << 8.0;
        QTest::newRow("negative") << "transfer retries" << "-3" << 0 << 5.0;
        QTest::newRow("zero") << "idle minutes" << "0" << 4 << 1800.0;
        QTest::newRow("spaced") << "idle minutes" << " 45 " << 4 << 2700.0;
        QTest::newRow("unit") << "failed task hours" << "12h" << 6 << 86400.0;
        QTest::newRow("comma") << "disk percent" << "95,5" << 5 << 0.9;
        QTest::newRow("fraction") << "disk percent" << "95.5" << 5 << 0.955;
        QTest::newRow("nan") << "stale minutes" << "nan" << 3 << 3600.0;
        QTest::newRow("infinite") << "transfer gives up within hours" << "inf" << 1 << 86400.0;
        QTest::newRow("empty") << "deferred minutes" << "" << 2 << 3600.0;
    }
    void thresholdsReadTheirDefaultForAnUnusableText() {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(int, field);
        QFETCH(double, expected);
        m_box->setSetting(QStringLiteral("alerts/") + key, stored);
        const AlertThresholds t = Settings(m_box->iniPath()).alertThresholds();
        const std::array<double, 7> read{t.transferRetries, t.transferGivesUpWithin, t.deferredFor, t.staleFor,
                                         t.idleFor,         t.diskShare,             t.failedJobWithin};
        QCOMPARE(read[static_cast<std::size_t>(field)], expected);
    }

private:
    std::optional<Sandbox> m_box;
};

QTEST_MAIN(AlertsViewTest)
#include "alerts_view_test.moc"

// What the notifier tells the desktop, step by step through a run of values:
// a rule switched off and "Do not disturb" keep alerts quiet without
// replaying them later; only a stopped client's end is told; a state file
// that could not be read ends nothing. (The real bus, dunst and a restart
// are in tests/desktop.)

#include <functional>
#include <string>
#include <vector>

#include <QTemporaryDir>
#include <QTest>

#include "app/alert_notifier.hpp"
#include "app/settings.hpp"

using namespace crunchwatch;

namespace {

Alert alert(AlertRule rule, const char* task) {
    Alert a;
    a.rule = rule;
    a.severity = rule == AlertRule::deadline_at_risk ? AlertSeverity::warning : AlertSeverity::error;
    a.project = rule == AlertRule::client_stopped ? "" : "Einstein@Home";
    a.projectUrl = rule == AlertRule::client_stopped ? "" : "https://einsteinathome.org/";
    a.task = task;
    a.text = "one line";
    return a;
}

RefreshValuePtr valueWith(std::vector<Alert> alerts, bool read = true) {
    auto value = std::make_shared<RefreshValue>();
    value->path = StatePath("/var/lib/boinc-client/client_state.xml");
    if (!read) value->status.failure = ReadFailure::notFound;
    auto av = std::make_shared<AlertsValue>();
    av->alerts = std::move(alerts);
    value->alerts = std::move(av);
    return value;
}

}  // namespace

class AlertNotifierTest final : public QObject {
    Q_OBJECT

private slots:
    void toldOnceAsTheSettingsSay() {
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.ini")));
        std::vector<std::string> told;  // each summary, "!" after a critical one
        AlertNotifier notifier(settings, std::nullopt, [&](const DesktopNotification& n) {
            told.push_back(n.summary.toStdString() + (n.critical ? "!" : ""));
        });
        const Alert failed = alert(AlertRule::task_failed, "a_0");
        const Alert risky = alert(AlertRule::deadline_at_risk, "b_0");
        const Alert stopped = alert(AlertRule::client_stopped, "");
        const Alert muted = alert(AlertRule::task_failed, "c_0");
        const Alert off = alert(AlertRule::deadline_at_risk, "d_0");

        struct Step {
            const char* what;
            std::function<void()> before;
            RefreshValuePtr value;
            std::vector<std::string> expected;
        };
        const std::vector<Step> steps{
            {"begun: told, an error as critical", {}, valueWith({failed, risky}),
             {"Task failed: Einstein@Home!", "Deadline at risk: Einstein@Home"}},
            {"still there: not again", {}, valueWith({risky, failed}), {}},
            {"a file that could not be read ends nothing", {}, valueWith({}, false), {}},
            {"read again: still nothing new", {}, valueWith({failed, risky}), {}},
            {"the client stops", {}, valueWith({failed, risky, stopped}), {"Client stopped!"}},
            {"it runs again; an ended failure is not told", {}, valueWith({risky}), {"Client running again"}},
            {"muted: not told", [&] { settings.setDoNotDisturb(true); }, valueWith({risky, muted}), {}},
            {"unmuted: what began meanwhile is not replayed", [&] { settings.setDoNotDisturb(false); },
             valueWith({risky, muted}), {}},
            {"a rule switched off", [&] { settings.setNotifyRule(AlertRule::deadline_at_risk, false); },
             valueWith({risky, muted, off}), {}},
            {"gone and back: told again", [&] { settings.setNotifyRule(AlertRule::deadline_at_risk, true); },
             valueWith({failed}), {"Task failed: Einstein@Home!"}},
        };
        for (const Step& step : steps) {
            if (step.before) step.before();
            told.clear();
            notifier.take(step.value);
            QVERIFY2(told == step.expected, step.what);
        }
    }

    // The body names the task or file first; the services read it as
    // markup, and the file's words are not.
    void theBodyNamesTheTaskAsText() {
        Alert a = alert(AlertRule::transfer_stuck, "in<1>.dat");
        a.text = "failed: <a href=\"x\">R&D</a>";
        QCOMPARE(AlertNotifier::notificationOf(a).body,
                 QStringLiteral("in&lt;1&gt;.dat: failed: &lt;a href=\"x\"&gt;R&amp;D&lt;/a&gt;"));
        QCOMPARE(AlertNotifier::notificationOf(alert(AlertRule::client_stopped, "")).body, QStringLiteral("one line"));
    }
};

QTEST_MAIN(AlertNotifierTest)
#include "alert_notifier_test.moc"

// The status bar's account of the client: running (with its process), stopped
// since the state file's date, or that it cannot be told, with the run modes
// in words and computing suspended said as such; a stopped client never reads
// as a running one. Against a real lock held by a child process, the watchdog
// refreshes when only the lock changed.

#include <QLabel>
#include <QTest>

#include "app/client_state_text.hpp"
#include "app/table_model.hpp"
#include "app_test_support.hpp"
#include "lock_holder.hpp"
#include "tables/refresher.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

// A client's state file: one project, results whose tasks' processes are in
// `processStates` (a result without a task for an empty one), and the
// client's own values at its end.
QByteArray clientFile(const QStringList& processStates, const std::string& clientValues) {
    using namespace test;
    std::string projects = project("http://p/", el("project_name", "P") + el("resource_share", "100"));
    std::string tasks;
    for (int i = 0; i < processStates.size(); ++i) {
        const std::string name = "r" + std::to_string(i);
        projects += result(name, name, el("state", "2"));
        if (!processStates[i].isEmpty())
            tasks += task("http://p/", name, el("active_task_state", processStates[i].toStdString()));
    }
    std::string file = stateFile(projects, tasks);
    file.insert(file.rfind("</client_state>"), clientValues);
    return QByteArray::fromStdString(file);
}

std::string clientValues(const char* run, const char* network, const char* gpu = nullptr) {
    using test::el;
    return el("core_client_major_version", "7") + el("core_client_minor_version", "20") +
           el("core_client_release", "5") + el("user_run_request", run) + el("user_network_request", network) +
           (gpu ? el("user_gpu_request", gpu) : std::string()) + el("user_run_prev_request", "2");
}

const QString running = QStringLiteral("Client 7.20.5 running (process 1234)");
const QString cannotTell = QStringLiteral("whether it runs cannot be told (no lock file)");

}  // namespace

class ClientStateTest final : public QObject {
    Q_OBJECT

private slots:
    void clientStateInWords_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("running");  // ClientRunning
        QTest::addColumn<QString>("expected");
        const auto yes = static_cast<int>(ClientRunning::yes);
        const QStringList oneRunning{QStringLiteral("1"), QString()};
        const QString network = QStringLiteral(" · network: always");
        QTest::newRow("running") << clientFile(oneRunning, clientValues("2", "1", "3")) << yes
                                 << running + QStringLiteral(" · computing: according to preferences · GPU: never") +
                                        network;
        QTest::newRow("run mode never") << clientFile(oneRunning, clientValues("3", "1")) << yes
                                        << running + QStringLiteral(" · computing suspended (run mode: never)") + network;
        QTest::newRow("every started task suspended")
            << clientFile({QStringLiteral("9"), QString(), QStringLiteral("9")}, clientValues("2", "1")) << yes
            << running + QStringLiteral(" · computing suspended: every started task is suspended (run mode: according "
                                        "to preferences)") + network;
        QTest::newRow("one suspended, one executing")
            << clientFile({QStringLiteral("9"), QStringLiteral("1")}, clientValues("1", "1")) << yes
            << running + QStringLiteral(" · computing: always") + network;
        // A stopped client's file still says its task executes: none of it is repeated.
        QTest::newRow("stopped") << clientFile(oneRunning, clientValues("1", "1")) << static_cast<int>(ClientRunning::no)
                                 << QStringLiteral("No client running on this folder since 2026-12-10");
        QTest::newRow("cannot tell") << clientFile(oneRunning, clientValues("2", "1"))
                                     << static_cast<int>(ClientRunning::cannotTell)
                                     << QStringLiteral("Client 7.20.5 · ") + cannotTell +
                                            QStringLiteral(" · computing: according to preferences") + network;
    }
    void clientStateInWords() {
        QFETCH(QByteArray, file);
        QFETCH(int, running);
        QFETCH(QString, expected);
        RefreshValue value = *valueOfText(file.toStdString(), std::string("%Y-%m-%d"));
        auto around = std::make_shared<Surroundings>();
        around->lock = {static_cast<ClientRunning>(running), 1234};
        around->stateFileTime = 1796904000;  // noon on 2026-12-10 (UTC), that day in any time zone
        value.around = around;
        QCOMPARE(clientStateText(value), expected);
        // The tooltip gives each mode's number with the one it returns to.
        QVERIFY(clientStateTip(value).contains(QStringLiteral("\nnetwork: 1 (always)")));
        QVERIFY(clientStateTip(value).contains(QStringLiteral(", before: 2 (according to preferences)")));
    }

    // The state file is never rewritten: only the lock changes, and the
    // watchdog's tick refreshes for it. A running task of a stopped client is
    // paused, and runs again once a client holds the lock.
    void watchdogFollowsTheLockAlone() {
        Sandbox box;
        QVERIFY(box.isValid());
        box.setSetting(QStringLiteral("enable watchdog"), QStringLiteral("1"));
        const QString state = box.write(QStringLiteral("client_state.xml"),
                                        clientFile({QStringLiteral("1")}, clientValues("2", "1")));
        const QString lockfile = box.write(QStringLiteral("lockfile"), QByteArray());
        Harness h(box);
        h.c().setWatchdogIntervalForTesting(40);
        QVERIFY(h.start(state));
        const QLabel* label = h.window.clientStateLabel();
        const QAbstractItemModel* results = h.results();
        const QModelIndex stateCell = results->index(0, indexOf(ResultColumn::State));
        QVERIFY2(label->text().startsWith(QStringLiteral("No client running on this folder since ")),
                 qPrintable(label->text()));
        QCOMPARE(stateCell.data().toString(), QStringLiteral("Paused"));

        const int before = h.c().refreshCount();
        {
            test::LockHolder lock(box.path(QStringLiteral("lockfile")).toStdString());
            QVERIFY(lock.locked());
            const QString expected =
                QStringLiteral("Client 7.20.5 running (process %1) · computing: according to preferences · network: "
                               "always")
                    .arg(lock.pid());
            QTRY_COMPARE_WITH_TIMEOUT(label->text(), expected, 5000);
            QVERIFY(h.c().refreshCount() > before);
            QCOMPARE(results->index(0, indexOf(ResultColumn::State)).data().toString(), QStringLiteral("running..."));
        }
        QTRY_VERIFY_WITH_TIMEOUT(label->text().startsWith(QStringLiteral("No client running on this folder")), 5000);
        QVERIFY(QFile::remove(lockfile));
        QTRY_VERIFY_WITH_TIMEOUT(label->text().contains(cannotTell), 5000);
    }
};

QTEST_MAIN(ClientStateTest)
#include "client_state_test.moc"

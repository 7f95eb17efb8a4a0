// The window driven by a long random sequence of what a user and a client do:
// Update, watchdog ticks, Open with any choice, the check box, and the state
// file replaced by random content (or by nothing, or by a directory). After
// every step both views agree with the refresh's records, and every cell of
// both, in every role, is asked for: under the sanitizers, a request that
// reached a row that is gone would be caught.

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include "app/main_controller.hpp"
#include "app/project_table.hpp"
#include "app/table_model.hpp"
#include "app_test_support.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

// A state file of 0 to 3 projects with 0 to 4 results each, old and current
// tasks mixed, sometimes cut off anywhere.
QByteArray randomState(QRandomGenerator& rng) {
    QByteArray s = "<client_state>\n";
    const int projects = rng.bounded(4);
    QByteArray tasks;
    for (int p = 0; p < projects; ++p) {
        const QByteArray url = "http://p" + QByteArray::number(p) + "/";
        s += "<project>\n<master_url>" + url + "</master_url>\n<project_name>P" + QByteArray::number(p) +
             "</project_name>\n<resource_share>" + QByteArray::number(rng.bounded(3) * 50) +
             "</resource_share>\n<user_total_credit>" + QByteArray::number(rng.bounded(1e6)) +
             "</user_total_credit>\n</project>\n";
        for (int r = rng.bounded(5); r > 0; --r) {
            const QByteArray name = "r" + QByteArray::number(p) + "_" + QByteArray::number(r);
            s += "<workunit><name>" + name + "</name><version_num>" + QByteArray::number(rng.bounded(900)) +
                 "</version_num></workunit>\n<result><name>" + name + "</name><wu_name>" + name + "</wu_name><state>" +
                 QByteArray::number(rng.bounded(7)) + "</state><report_deadline>" +
                 QByteArray::number(1796000000 + rng.bounded(1000000)) + "</report_deadline></result>\n";
            if (rng.bounded(2))
                tasks += "<active_task><project_master_url>" + url + "</project_master_url><result_name>" + name +
                         "</result_name>" +
                         (rng.bounded(2) ? "<scheduler_state>" + QByteArray::number(rng.bounded(3)) +
                                               "</scheduler_state><fraction_done>" +
                                               QByteArray::number(rng.generateDouble()) + "</fraction_done>"
                                         : "<active_task_state>" + QByteArray::number(rng.bounded(10)) +
                                               "</active_task_state><checkpoint_fraction_done>" +
                                               QByteArray::number(rng.generateDouble()) +
                                               "</checkpoint_fraction_done><checkpoint_cpu_time>" +
                                               QByteArray::number(rng.bounded(5000)) + "</checkpoint_cpu_time>") +
                         "<current_cpu_time>" + QByteArray::number(rng.bounded(10000)) +
                         "</current_cpu_time></active_task>\n";
        }
    }
    s += "<active_task_set>\n" + tasks + "</active_task_set>\n<platform_name>x</platform_name>\n</client_state>\n";
    if (rng.bounded(8) == 0) s.truncate(rng.bounded(static_cast<int>(s.size()) + 1));
    return s;
}

// Every cell of a model in the roles a view and its tooltips ask for.
void readEveryCell(const QAbstractItemModel* model) {
    for (int r = 0; r < model->rowCount(); ++r)
        for (int c = 0; c < model->columnCount(); ++c) {
            const QModelIndex i = model->index(r, c);
            for (const int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::ForegroundRole),
                                   int(Qt::DecorationRole), int(Qt::UserRole + 1)})
                (void)i.data(role);
        }
}

}  // namespace

class RandomActionsTest final : public QObject {
    Q_OBJECT

private slots:
    void viewsFollowEveryStep() {
        // A new sequence every run; CRUNCHWATCH_RANDOM_SEED replays one.
        bool given = false;
        const quint32 replay = qEnvironmentVariable("CRUNCHWATCH_RANDOM_SEED").toUInt(&given);
        const quint32 seed = given ? replay : QRandomGenerator::global()->generate();
        qInfo("seed %u (CRUNCHWATCH_RANDOM_SEED replays it)", seed);
        QRandomGenerator rng(seed);
        Sandbox box;
        box.setSetting(QStringLiteral("enable watchdog"), QStringLiteral("1"));
        const QString a = box.write(QStringLiteral("a/client_state.xml"), randomState(rng));
        const QString b = box.write(QStringLiteral("b/client_state.xml"), randomState(rng));
        Harness h(box);
        h.c().setWatchdogIntervalForTesting(5);
        h.c().setFilePanel([&](const QString&, const QStringList&) -> std::optional<QString> {
            switch (rng.bounded(4)) {
                case 0: return std::nullopt;
                case 1: return a;
                case 2: return b;
                default: return box.path(QStringLiteral("missing/client_state.xml"));
            }
        });
        QVERIFY(h.start(a));

        for (int step = 0; step < 400; ++step) {
            const QString target = rng.bounded(2) ? a : b;
            switch (rng.bounded(7)) {
                case 0: QVERIFY(h.update()); break;
                case 1: h.c().watchDog(); break;
                case 2: QVERIFY(h.open()); break;
                case 3: h.c().watchDogButton->click(); break;
                case 4: QTest::qWait(rng.bounded(15)); break;  // let the timer tick
                case 5:
                    QFile::remove(target);
                    QDir().rmdir(target);
                    if (rng.bounded(6) == 0) QDir().mkdir(target);
                    else if (rng.bounded(6) != 0) box.write(target.mid(box.path(QString()).size()), randomState(rng));
                    break;
                default: box.write(target.mid(box.path(QString()).size()), randomState(rng)); break;
            }
            QCOMPARE(h.c().resultsModel()->rowCount(), h.c().numberOfRowsInTableView());
            QCOMPARE(h.results()->rowCount(), h.c().numberOfRowsInTableView());
            QCOMPARE(h.projects()->rowCount(), h.c().podajRozmiarTabelkiProjektow());
            readEveryCell(h.results());
            readEveryCell(h.projects());
        }
    }
};

QTEST_MAIN(RandomActionsTest)
#include "random_actions_test.moc"

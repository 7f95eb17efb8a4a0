// Open and Update: choosing another state file (through a stand-in for the
// file panel), cancelling, refreshing by hand, and which files the panel offers.

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/file_panel.hpp"
#include "app/history_view.hpp"
#include "app/table_model.hpp"
#include "app_test_support.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

const QString notFound = QStringLiteral("Error: file not found!");
const QString locationKey = QStringLiteral("client_state location");

}  // namespace

class CommandsTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        m_state = m_box->write(QStringLiteral("one/client_state.xml"), twoProjectState());
        m_box->write(QStringLiteral("one/global_prefs.xml"), globalPrefs("60.000000"));
        m_h.emplace(*m_box);
        m_panelCalls = 0;
    }
    void cleanup() {
        m_h.reset();
        m_box.reset();
    }

    void openChosenFileInAnotherDirectory() {
        const QString other = m_box->write(QStringLiteral("two/client_state.xml"), oneProjectState("other"));
        m_box->write(QStringLiteral("two/global_prefs.xml"), globalPrefs("30.000000"));
        QVERIFY(m_h->start(m_state));
        const int before = m_h->c().refreshCount();
        QString startedAt;
        QStringList offered;
        m_h->c().setFilePanel([&](const QString& start, const QStringList& types) -> std::optional<QString> {
            startedAt = start;
            offered = types;
            return other;
        });

        m_h->window.openButton()->click();
        QVERIFY(settle(m_h->c()));
        QCOMPARE(startedAt, m_state);
        QCOMPARE(offered, (QStringList{QStringLiteral("xml"), QStringLiteral("log"), QStringLiteral("txt"),
                                       QStringLiteral("text"), textFileType}));
        QCOMPARE(m_h->c().clientStatePath->text(), other);
        QCOMPARE(m_box->storedSetting(locationKey).toString(), other);
        QCOMPARE(QString::fromStdString(m_h->c().root_dir()), m_box->path(QStringLiteral("two/")));
        QCOMPARE(QString::fromStdString(m_h->c().global_prefsFileLocation()),
                 m_box->path(QStringLiteral("two/global_prefs.xml")));
        QCOMPARE(m_h->c().refreshCount(), before + 1);
        QCOMPARE(columnTexts(m_h->results(), QStringLiteral("Work unit")), QStringList{QStringLiteral("other")});
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::optional<std::string>("30.000000"));
    }

    void openChosenFileThatCannotBeLoaded() {
        const QString gone = m_box->path(QStringLiteral("two/client_state.xml"));
        QVERIFY(m_h->start(m_state));
        m_h->c().setFilePanel([&](const QString&, const QStringList&) -> std::optional<QString> { return gone; });
        QVERIFY(m_h->open());
        QCOMPARE(m_h->c().clientStatePath->text(), notFound);
        QCOMPARE(m_box->storedSetting(locationKey).toString(), gone);  // the next start-up takes it again
        QCOMPARE(m_h->results()->rowCount(), 5);                       // the last good file stays shown
    }

    void openCancelledKeepsFieldAndSettingAndRefreshes() {
        m_box->setSetting(locationKey, m_state);
        QVERIFY(m_h->start());
        const int before = m_h->c().refreshCount();
        m_h->c().setFilePanel([this](const QString&, const QStringList&) -> std::optional<QString> {
            ++m_panelCalls;
            return std::nullopt;
        });
        QVERIFY(m_h->open());
        QCOMPARE(m_panelCalls, 1);
        QCOMPARE(m_h->c().clientStatePath->text(), m_state);
        QCOMPARE(m_box->storedSetting(locationKey).toString(), m_state);
        QCOMPARE(QString::fromStdString(m_h->c().root_dir()), m_box->path(QStringLiteral("one/")));
        QCOMPARE(m_h->c().refreshCount(), before + 1);
        QCOMPARE(m_h->results()->rowCount(), 5);
    }

    // Cancelling the panel while the field shows the message keeps the state
    // file's directory (the message names none): once the file is back the
    // watchdog shows it, with the history and the preferences beside it.
    void openCancelledOverTheErrorMessageKeepsTheDirectory() {
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("1"));
        m_h->c().setWatchdogIntervalForTesting(30);
        m_box->write(QStringLiteral("one/job_log_alpha.example.txt"), "86400 ct 60 nm t_done es 0\n");
        QVERIFY(QFile::remove(m_state));
        QVERIFY(m_h->start(m_state));
        QCOMPARE(m_h->c().clientStatePath->text(), notFound);
        QString startedAt;
        m_h->c().setFilePanel([&](const QString& start, const QStringList&) -> std::optional<QString> {
            startedAt = start;
            return std::nullopt;
        });
        QVERIFY(m_h->open());
        QCOMPARE(startedAt, notFound);
        QCOMPARE(QString::fromStdString(m_h->c().root_dir()), m_box->path(QStringLiteral("one/")));
        QCOMPARE(QString::fromStdString(m_h->c().global_prefsFileLocation()),
                 m_box->path(QStringLiteral("one/global_prefs.xml")));
        QCOMPARE(m_h->c().clientStatePath->text(), notFound);
        QVERIFY(!m_box->storedSetting(locationKey).isValid());

        m_box->write(QStringLiteral("one/client_state.xml"), twoProjectState());
        QTRY_COMPARE(m_h->c().clientStatePath->text(), m_state);
        QVERIFY(settle(m_h->c()));
        QCOMPARE(m_h->c().cpu_scheduling_period_minutes, std::optional<std::string>("60.000000"));
        const QAbstractItemModel* history = m_h->window.historyView()->table()->model();
        QCOMPARE(columnTexts(history, QStringLiteral("Task")), QStringList{QStringLiteral("t_done")});
        QCOMPARE(columnTexts(history, QStringLiteral("Project")), QStringList{QStringLiteral("Alpha")});
    }

    void updateRebuildsAnUnchangedFile() {
        QVERIFY(m_h->start(m_state));
        const DateText stamp = m_h->c().client_state_time_stamp;
        const std::string prefs = m_h->c().global_prefsFileLocation();
        const int before = m_h->c().refreshCount();
        QSignalSpy resets(m_h->c().resultsModel(), &QAbstractItemModel::modelReset);
        m_h->window.updateButton()->click();
        QVERIFY(settle(m_h->c()));
        QCOMPARE(m_h->c().refreshCount(), before + 1);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(m_h->results()->rowCount(), 5);
        QCOMPARE(m_h->c().client_state_time_stamp, stamp);
        QCOMPARE(m_h->c().global_prefsFileLocation(), prefs);
        QVERIFY(!m_box->storedSetting(locationKey).isValid());
    }

    void updateOverTheErrorMessageFailsAgain() {
        QVERIFY(m_h->start(m_state));
        QVERIFY(QFile::remove(m_state));
        QVERIFY(m_h->update());
        m_box->write(QStringLiteral("one/client_state.xml"), twoProjectState());
        QVERIFY(m_h->update());
        QCOMPARE(m_h->c().clientStatePath->text(), notFound);
    }

    void noWatchdogRefreshWhileThePanelIsOpen() {
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("1"));
        m_h->c().setWatchdogIntervalForTesting(30);
        QVERIFY(m_h->start(m_state));
        QVERIFY(m_h->c().watchdogRunning());
        // Counted once the panel is up: a tick's refresh that began before
        // it may end while it is open (on a busy machine it does).
        int before = -1, duringPanel = -1;
        m_h->c().setFilePanel([&](const QString&, const QStringList&) -> std::optional<QString> {
            if (settle(m_h->c())) before = m_h->c().refreshCount();
            m_box->write(QStringLiteral("one/client_state.xml"), oneProjectState("changed while choosing"));
            QTest::qWait(300);  // the panel's own event loop delivers the timer meanwhile
            duringPanel = m_h->c().refreshCount();
            return std::nullopt;
        });
        QVERIFY(m_h->open());
        QVERIFY(before >= 0);
        QCOMPARE(duringPanel, before);
        QVERIFY(m_h->c().refreshCount() >= before + 1);  // Open's own refresh
        // Open does not stamp: the first tick after it sees the change once more.
        QTRY_COMPARE(m_h->c().refreshCount(), before + 2);
        QTest::qWait(200);
        QCOMPARE(m_h->c().refreshCount(), before + 2);
    }

    void watchdogFollowsTheOpenedFile() {
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("1"));
        const QString other = m_box->write(QStringLiteral("two/client_state.xml"), oneProjectState("other"));
        m_h->c().setWatchdogIntervalForTesting(30);
        QVERIFY(m_h->start(m_state));
        m_h->c().setFilePanel([&](const QString&, const QStringList&) -> std::optional<QString> { return other; });
        const int before = m_h->c().refreshCount();
        QVERIFY(m_h->open());
        // The stamp is still the old file's: one more refresh, then quiet.
        QTRY_COMPARE(m_h->c().refreshCount(), before + 2);
        QTest::qWait(200);
        QCOMPARE(m_h->c().refreshCount(), before + 2);
        m_box->write(QStringLiteral("two/client_state.xml"), oneProjectState("other, rewritten"));
        QTRY_COMPARE(m_h->c().refreshCount(), before + 3);
        QCOMPARE(columnTexts(m_h->results(), QStringLiteral("Work unit")),
                 QStringList{QStringLiteral("other, rewritten")});
        // The file opened before is no longer watched.
        m_box->write(QStringLiteral("one/client_state.xml"), oneProjectState("old file, rewritten"));
        QTest::qWait(200);
        QCOMPARE(m_h->c().refreshCount(), before + 3);
    }

    void filePanelAccepts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("withTextType");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("xml") << QStringLiteral("a.xml") << true << true;
        QTest::newRow("upper-case XML") << QStringLiteral("A.XML") << true << true;
        QTest::newRow("log") << QStringLiteral("b.log") << true << true;
        QTest::newRow("txt") << QStringLiteral("c.txt") << true << true;
        QTest::newRow("text") << QStringLiteral("d.text") << true << true;
        QTest::newRow("png") << QStringLiteral("e.png") << true << false;
        QTest::newRow("shell script: a text type") << QStringLiteral("f.sh") << true << true;
        QTest::newRow("shell script, no text type") << QStringLiteral("f.sh") << false << false;
        QTest::newRow("xml without the text type") << QStringLiteral("a.xml") << false << true;
        QTest::newRow("no extension") << QStringLiteral("client_state") << true << false;
        QTest::newRow("extension only in the name") << QStringLiteral("xml.png") << true << false;
    }
    void filePanelAccepts() {
        QFETCH(QString, name);
        QFETCH(bool, withTextType);
        QFETCH(bool, accepted);
        QStringList types{QStringLiteral("xml"), QStringLiteral("log"), QStringLiteral("txt"), QStringLiteral("text")};
        if (withTextType) types << textFileType;
        QCOMPARE(crunchwatch::filePanelAccepts(name, types), accepted);
    }

    // The panel itself: one existing file, opening where the current file is,
    // and a name typed into its field held to the offered types as a
    // clicked one is.
    void filePanelTakesOnlyOfferedFiles() {
        const QStringList types{QStringLiteral("xml"), QStringLiteral("log"), textFileType};
        const QString other = m_box->write(QStringLiteral("one/hostname"), "vm\n");
        const QString log = m_box->write(QStringLiteral("one/client.log"), "x\n");
        const struct {
            QString typed;
            bool accepted;
        } cases[] = {
            {m_state, true},
            {log, true},
            {other, false},
            {m_box->path(QStringLiteral("one/missing.xml")), false},
        };
        for (const auto& c : cases) {
            StateFilePanel panel(nullptr, m_state, types);
            QCOMPARE(panel.fileMode(), QFileDialog::ExistingFile);
            QCOMPARE(panel.directory().absolutePath(), m_box->path(QStringLiteral("one")));
            panel.selectFile(c.typed);
            panel.accept();
            QVERIFY2((panel.result() == QDialog::Accepted) == c.accepted, qPrintable(c.typed));
        }
        StateFilePanel cancelled(nullptr, m_box->path(QStringLiteral("nowhere/x.xml")), types);
        QCOMPARE(cancelled.directory().absolutePath(), QDir::homePath());
        cancelled.reject();
        QCOMPARE(cancelled.result(), int(QDialog::Rejected));
    }

private:
    std::optional<Sandbox> m_box;
    std::optional<Harness> m_h;
    QString m_state;
    int m_panelCalls = 0;
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"

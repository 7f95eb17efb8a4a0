// The file watchdog: one refresh per change of the state file's date text,
// a refresh on every tick while the file is missing and the file followed
// again once it is back, and the check box that switches it and remembers the
// switch. Also the date text itself.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include "tables/refresher.hpp"
#include "app_test_support.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

constexpr int tickMs = 40;
// Long enough for several ticks.
constexpr int severalTicksMs = 8 * tickMs;
const QString notFound = QStringLiteral("Error: file not found!");
const QString watchdogKey = QStringLiteral("enable watchdog");

bool setModified(const QString& path, time_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    return ::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0) == 0;
}

}  // namespace

class WatchdogTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        m_state = m_box->write(QStringLiteral("client_state.xml"), oneProjectState("g1"));
        m_h.emplace(*m_box);
        m_h->c().setWatchdogIntervalForTesting(tickMs);
    }
    void cleanup() {
        m_h.reset();
        m_box.reset();
    }

    void refreshesOnceWhenTheDateTextChanges() {
        QVERIFY(m_h->start(m_state));
        QVERIFY(m_h->c().watchdogRunning());
        const int started = m_h->c().refreshCount();
        QTest::qWait(severalTicksMs);
        QCOMPARE(m_h->c().refreshCount(), started);

        m_box->write(QStringLiteral("client_state.xml"), oneProjectState("rewritten"));
        QTRY_COMPARE(m_h->c().refreshCount(), started + 1);
        QCOMPARE(columnTexts(m_h->results(), QStringLiteral("Work unit")), QStringList{QStringLiteral("rewritten")});
        QTest::qWait(severalTicksMs);
        QCOMPARE(m_h->c().refreshCount(), started + 1);
    }

    void theProgramTicksEveryTwoSeconds() {
        m_h->c().setWatchdogIntervalForTesting(0);
        QVERIFY(m_h->start(m_state));
        QElapsedTimer since;
        since.start();
        const int started = m_h->c().refreshCount();
        QVERIFY(QFile::remove(m_state));
        QTest::qWait(1700);
        QCOMPARE(m_h->c().refreshCount(), started);
        QTRY_COMPARE_WITH_TIMEOUT(m_h->c().refreshCount(), started + 1, 2000);
        QVERIFY(since.elapsed() >= 1800);
    }

    // While nothing readable has the file's name every tick that sees a new
    // date text fails and the field shows the message; once a file is back
    // under that name, the next tick reads it under its own path again.
    void followsTheFileAgainOnceItIsBack_data() {
        QTest::addColumn<bool>("directory");
        QTest::newRow("file missing, every tick fails") << false;
        QTest::newRow("a directory in its place") << true;
    }
    void followsTheFileAgainOnceItIsBack() {
        QFETCH(bool, directory);
        QVERIFY(m_h->start(m_state));
        QSignalSpy refreshes(&m_h->c(), &mainController::refreshed);
        QVERIFY(QFile::remove(m_state));
        if (directory) QVERIFY(QDir().mkdir(m_state));
        QTRY_VERIFY(refreshes.count() >= (directory ? 1 : 3));
        QTest::qWait(severalTicksMs);
        for (const QList<QVariant>& ok : refreshes) QCOMPARE(ok.first().toBool(), false);
        QCOMPARE(m_h->c().clientStatePath->text(), notFound);

        if (directory) QVERIFY(QDir().rmdir(m_state));
        m_box->write(QStringLiteral("client_state.xml"), oneProjectState("back"));
        QTRY_VERIFY(refreshes.last().first().toBool());
        QCOMPARE(m_h->c().clientStatePath->text(), m_state);
        QCOMPARE(columnTexts(m_h->results(), QStringLiteral("Work unit")), QStringList{QStringLiteral("back")});
        const int back = refreshes.count();
        QTest::qWait(severalTicksMs);
        QCOMPARE(refreshes.count(), back);
    }

    void untickingStopsTheWatchdogAndTickingRestartsIt() {
        QVERIFY(m_h->start(m_state));
        QVERIFY(QTest::qWaitForWindowExposed(&m_h->window));
        QCheckBox* box = m_h->c().watchDogButton;
        const int started = m_h->c().refreshCount();

        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
        QVERIFY(!box->isChecked());
        QVERIFY(!m_h->c().watchdogRunning());
        QCOMPARE(m_box->storedSetting(watchdogKey).toString(), QStringLiteral("0"));
        m_box->write(QStringLiteral("client_state.xml"), oneProjectState("while off"));
        QTest::qWait(severalTicksMs);
        QCOMPARE(m_h->c().refreshCount(), started);

        box->click();
        QVERIFY(box->isChecked());
        QVERIFY(m_h->c().watchdogRunning());
        QCOMPARE(m_box->storedSetting(watchdogKey).toString(), QStringLiteral("1"));
        // The stamp stayed while off: the change made meanwhile is seen once.
        QTRY_COMPARE(m_h->c().refreshCount(), started + 1);
        QTest::qWait(severalTicksMs);
        QCOMPARE(m_h->c().refreshCount(), started + 1);
    }

    // A tick asked for while a refresh runs waits for it; switched off
    // meanwhile, the watchdog's tick does not run after all.
    void untickingDropsATickWaitingToRun() {
        QVERIFY(m_h->start(m_state));
        const int started = m_h->c().refreshCount();
        m_h->c().Update();
        m_box->write(QStringLiteral("client_state.xml"), oneProjectState("rewritten"));
        m_h->c().watchDog();
        m_h->c().watchDogButton->click();
        QVERIFY(!m_h->c().watchdogRunning());
        QVERIFY(settle(m_h->c()));
        QCOMPARE(m_h->c().refreshCount(), started + 1);
    }

    // Open and Update refresh, and leave the switch, its setting and the
    // timer as they were, on or off; the check box ticks every 2 seconds.
    void openAndUpdateLeaveTheWatchdogAlone() {
        m_h->c().setWatchdogIntervalForTesting(0);
        QVERIFY(m_h->start(m_state));
        QVERIFY(m_h->c().watchdogRunning());
        QCOMPARE(m_h->c().watchdogIntervalMs(), 2000);
        const QString other = m_box->write(QStringLiteral("other/client_state.xml"), oneProjectState("o1"));
        m_h->c().setFilePanel([&](const QString&, const QStringList&) -> std::optional<QString> { return other; });
        for (const bool on : {true, false}) {
            if (m_h->c().watchDogButton->isChecked() != on) m_h->c().watchDogButton->click();
            QCOMPARE(m_h->c().watchdogRunning(), on);
            if (on) QCOMPARE(m_h->c().watchdogIntervalMs(), 2000);
            const QVariant stored = m_box->storedSetting(watchdogKey);
            QVERIFY(m_h->update());
            QVERIFY(m_h->open());
            QCOMPARE(m_h->c().watchDogButton->isChecked(), on);
            QCOMPARE(m_h->c().watchdogRunning(), on);
            QCOMPARE(m_box->storedSetting(watchdogKey), stored);
        }
    }

    // Two ticks and a click: still one timer, so one refresh per change.
    void repeatedTickingKeepsOneTimer() {
        QVERIFY(m_h->start(m_state));
        QSignalSpy refreshes(&m_h->c(), &mainController::refreshed);
        m_h->c().watchDogButton->setChecked(true);
        m_h->c().watchDogButtonAction();
        m_h->c().watchDogButtonAction();
        QVERIFY(QFile::remove(m_state));
        QTest::qWait(10 * tickMs);
        QVERIFY2(refreshes.count() <= 11, qPrintable(QString::number(refreshes.count())));
        m_h->c().watchDogButton->click();
        QVERIFY(!m_h->c().watchdogRunning());
        const int stopped = refreshes.count();
        QTest::qWait(severalTicksMs);
        QCOMPARE(refreshes.count(), stopped);
    }

    void changesWithinOneSecond_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("refreshes");
        QTest::newRow("same size, other nanoseconds") << QStringLiteral("rewrite") << true;
        QTest::newRow("touched only") << QStringLiteral("touch") << true;
        QTest::newRow("older copy renamed into place") << QStringLiteral("older copy") << true;
        QTest::newRow("same size, same moment") << QStringLiteral("same moment") << false;
    }
    void changesWithinOneSecond() {
        QFETCH(QString, change);
        QFETCH(bool, refreshes);
        const time_t second = 1796150000;
        QVERIFY(setModified(m_state, second, 100000000));
        QVERIFY(m_h->start(m_state));
        const int started = m_h->c().refreshCount();
        QTest::qWait(severalTicksMs);
        QCOMPARE(m_h->c().refreshCount(), started);

        const QByteArray sameSize = oneProjectState("g2");
        if (change == QStringLiteral("rewrite")) {
            m_box->rewriteInPlace(QStringLiteral("client_state.xml"), sameSize);
            QVERIFY(setModified(m_state, second, 200000000));
        } else if (change == QStringLiteral("touch")) {
            QVERIFY(setModified(m_state, second, 300000000));
        } else if (change == QStringLiteral("older copy")) {
            const QString copy = m_box->write(QStringLiteral("copy.xml"), sameSize);
            QVERIFY(setModified(copy, second - 3600, 0));
            QVERIFY(::rename(copy.toLocal8Bit().constData(), m_state.toLocal8Bit().constData()) == 0);
        } else {
            m_box->rewriteInPlace(QStringLiteral("client_state.xml"), sameSize);
            QVERIFY(setModified(m_state, second, 100000000));
        }
        if (refreshes) {
            QTRY_COMPARE(m_h->c().refreshCount(), started + 1);
        } else {
            QTest::qWait(severalTicksMs);
            QCOMPARE(m_h->c().refreshCount(), started);
        }
    }

    void dateTextOfMissingOrNamelessPathsIsNone_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << QStringLiteral("missing.xml");
        QTest::newRow("the error message") << notFound;
        QTest::newRow("empty") << QString();
    }
    void dateTextOfMissingOrNamelessPathsIsNone() {
        QFETCH(QString, path);
        const QString full = path.endsWith(QStringLiteral(".xml")) ? m_box->path(path) : path;
        QCOMPARE(fileDateText(full.toStdString()), std::nullopt);
    }

    void dateTextOfASymlinkIsItsTargets() {
        const QString link = m_box->path(QStringLiteral("link.xml"));
        QVERIFY(QFile::link(m_state, link));
        const DateText target = fileDateText(m_state.toStdString());
        QVERIFY(target.has_value());
        QCOMPARE(fileDateText(link.toStdString()), target);
        QCOMPARE(fileDateText(m_state.toStdString()), target);  // unchanged: equal texts
        m_box->write(QStringLiteral("client_state.xml"), oneProjectState("longer name"));
        QVERIFY(fileDateText(link.toStdString()) != target);
        QCOMPARE(fileDateText(link.toStdString()), fileDateText(m_state.toStdString()));
    }

    void noneEqualsNothing() {
        const DateText text = std::string("1796150000.100000000 2049:12 300");
        QVERIFY(!crunchwatch::sameDate(std::nullopt, std::nullopt));
        QVERIFY(!crunchwatch::sameDate(text, std::nullopt));
        QVERIFY(!crunchwatch::sameDate(std::nullopt, text));
        QVERIFY(crunchwatch::sameDate(text, text));
    }

private:
    std::optional<Sandbox> m_box;
    std::optional<Harness> m_h;
    QString m_state;
};

QTEST_MAIN(WatchdogTest)
#include "watchdog_test.moc"

// Start-up: which file is shown, the paths derived from it, the date format
// and the watchdog, all as the settings (or their absence) say.

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <unistd.h>

#include "app/state_path.hpp"
#include "app/unreadable_reason.hpp"
#include "app_test_support.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

const QString notFound = QStringLiteral("Error: file not found!");
const QString locationKey = QStringLiteral("client_state location");
const QString lastDirectoryKey = QStringLiteral("NSNavLastCurrentDirectory");
const QString watchdogKey = QStringLiteral("enable watchdog");

}  // namespace

class StartupTest final : public QObject {
    Q_OBJECT

private slots:
    void noSettingsAtAll() {
        Sandbox box;
        QVERIFY(box.isValid());
        {
            const Settings empty(box.iniPath());
            QCOMPARE(resolveStatePath(empty, {}), defaultStatePath());
            QCOMPARE(defaultStatePath(),
                     QDir::homePath() + QStringLiteral("/Library/Application Support/Boinc Data/client_state.xml"));
        }
        Harness h(box);
        const QString expected = resolveStatePath(h.settings);
        QVERIFY(h.start());
        if (QFileInfo::exists(expected)) {
            QCOMPARE(h.c().clientStatePath->text(), expected);
        } else {
            QCOMPARE(h.c().clientStatePath->text(), notFound);
            QCOMPARE(h.c().lastFailedPath(), expected);
        }
        QCOMPARE(QString::fromStdString(h.c().root_dir()), QFileInfo(expected).path() + QLatin1Char('/'));
        QVERIFY(h.c().watchDogButton->isChecked());
        QCOMPARE(h.c().watchDogButtonState, std::int8_t{1});
        QVERIFY(h.c().watchdogRunning());
        // Start-up reads the settings; it writes none of the keys it reads.
        QVERIFY(!box.storedSetting(watchdogKey).isValid());
        QVERIFY(!box.storedSetting(locationKey).isValid());
    }

    void watchdogSetting_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("state");
        QTest::newRow("on") << QStringLiteral("1") << true << true << 1;
        QTest::newRow("off") << QStringLiteral("0") << false << false << 0;
        QTest::newRow("two: ticked, not started") << QStringLiteral("2") << true << false << 2;
        QTest::newRow("257: low byte 1") << QStringLiteral("257") << true << true << 1;
        QTest::newRow("256: low byte 0") << QStringLiteral("256") << false << false << 0;
        QTest::newRow("-1: signed byte") << QStringLiteral("-1") << true << false << -1;
        QTest::newRow("no number") << QStringLiteral("yes") << false << false << 0;
        QTest::newRow("empty") << QString() << false << false << 0;
    }
    void watchdogSetting() {
        QFETCH(QString, stored);
        QFETCH(bool, ticked);
        QFETCH(bool, running);
        QFETCH(int, state);
        Sandbox box;
        box.setSetting(watchdogKey, stored.isNull() ? QStringLiteral("") : stored);
        const QString path = box.write(QStringLiteral("client_state.xml"), oneProjectState("g1"));
        Harness h(box);
        QVERIFY(h.start(path));
        QCOMPARE(h.c().watchDogButton->isChecked(), ticked);
        QCOMPARE(h.c().watchdogRunning(), running);
        QCOMPARE(int{h.c().watchDogButtonState}, state);
        QCOMPARE(box.storedSetting(watchdogKey).toString(), stored.isNull() ? QStringLiteral("") : stored);
    }

    void emptyLocationShowsTheErrorWithRootPaths() {
        Sandbox box;
        box.setSetting(locationKey, QStringLiteral(""));
        box.setSetting(lastDirectoryKey, box.write(QStringLiteral("elsewhere.xml"), oneProjectState("g1")));
        Harness h(box);
        QVERIFY(h.start());
        QCOMPARE(h.c().clientStatePath->text(), notFound);
        QCOMPARE(h.c().lastFailedPath(), QString());
        QCOMPARE(h.c().root_dir(), std::string("/"));
        QCOMPARE(h.c().global_prefsFileLocation(), std::string("/global_prefs.xml"));
        QCOMPARE(h.c().clientStatePath->toolTip(), unreadableReason(QString(), ReadFailure::noPath));
    }

    // Without a chosen file or directory: the first data directory that holds
    // a state file, or that exists but cannot be searched (the client's own
    // group only), else the first that exists (a client installed and not
    // started yet: its file comes there), else the home directory's default.
    void defaultPathFollowsTheDataDirectories() {
        Sandbox box;
        const QString empty = box.path(QStringLiteral("empty"));
        QVERIFY(QDir().mkpath(empty));
        const QString first = box.write(QStringLiteral("first/client_state.xml"), oneProjectState("f1"));
        const QString second = box.write(QStringLiteral("second/client_state.xml"), oneProjectState("s1"));
        const QString missing = box.path(QStringLiteral("missing"));
        const Settings settings(box.iniPath());
        const QString firstDir = box.path(QStringLiteral("first")), secondDir = box.path(QStringLiteral("second"));
        QCOMPARE(resolveStatePath(settings, {missing, empty, firstDir, secondDir}), first);
        QCOMPARE(resolveStatePath(settings, {secondDir, firstDir}), second);
        QCOMPARE(resolveStatePath(settings, {missing, empty}), empty + QStringLiteral("/client_state.xml"));
        QCOMPARE(resolveStatePath(settings, {missing}), defaultStatePath());

        if (::geteuid() == 0) QSKIP("root searches every directory");
        const QString closed = box.path(QStringLiteral("closed"));
        QVERIFY(QDir().mkpath(closed));
        QVERIFY(QFile::setPermissions(closed, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(resolveStatePath(settings, {missing, closed, firstDir}), closed + QStringLiteral("/client_state.xml"));
        QFile::setPermissions(closed, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void missingRememberedFileIsStillTaken() {
        Sandbox box;
        const QString gone = box.path(QStringLiteral("gone/client_state.xml"));
        box.setSetting(locationKey, gone);
        // A loadable file the second choice would find: it must not be tried.
        box.setSetting(lastDirectoryKey, box.write(QStringLiteral("elsewhere.xml"), oneProjectState("g1")));
        Harness h(box);
        QCOMPARE(resolveStatePath(h.settings, {}), gone);
        QVERIFY(h.start());
        QCOMPARE(h.c().clientStatePath->text(), notFound);
        QCOMPARE(h.c().lastFailedPath(), gone);
        QCOMPARE(QString::fromStdString(h.c().root_dir()), box.path(QStringLiteral("gone/")));
        QCOMPARE(h.results()->rowCount(), 0);
    }

    void lastCurrentDirectoryWhenNoLocation() {
        Sandbox box;
        const QString state = box.write(QStringLiteral("d/client_state.xml"), oneProjectState("g1"));
        box.setSetting(lastDirectoryKey, state);
        Harness h(box);
        QCOMPARE(resolveStatePath(h.settings, {}), state);
        QVERIFY(h.start());
        QCOMPARE(h.c().clientStatePath->text(), state);
        QCOMPARE(h.results()->rowCount(), 1);
        QCOMPARE(QString::fromStdString(h.c().global_prefsFileLocation()), box.path(QStringLiteral("d/global_prefs.xml")));
    }

    void lastCurrentDirectoryNamingADirectoryShowsTheError() {
        Sandbox box;
        box.write(QStringLiteral("d/client_state.xml"), oneProjectState("g1"));
        box.setSetting(lastDirectoryKey, box.path(QStringLiteral("d")));
        Harness h(box);
        QVERIFY(h.start());
        QCOMPARE(h.c().clientStatePath->text(), notFound);
        QCOMPARE(QString::fromStdString(h.c().root_dir()), box.path(QString()));
    }

    void dateFormatSettingShapesDateCells() {
        Sandbox box;
        box.setSetting(QStringLiteral("NSShortTimeDateFormatString"), QStringLiteral("%Y/%m/%d"));
        box.setSetting(watchdogKey, QStringLiteral("0"));
        const QString path = box.write(QStringLiteral("client_state.xml"), twoProjectState());
        Harness h(box);
        QVERIFY(h.start(path));
        QCOMPARE(h.c().formatDaty, std::optional<std::string>("%Y/%m/%d"));
        const auto day = [](qint64 seconds) {
            return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy/MM/dd"));
        };
        QCOMPARE(columnTexts(h.results(), QStringLiteral("Deadline")).first(), day(1893456000));
        QCOMPARE(columnTexts(h.projects(), QStringLiteral("User since")).first(), day(1442317920));
    }

    void commandLinePathWinsAndIsNotStored() {
        Sandbox box;
        const QString remembered = box.write(QStringLiteral("a/client_state.xml"), oneProjectState("remembered"));
        const QString given = box.write(QStringLiteral("b/client_state.xml"), oneProjectState("given"));
        box.setSetting(locationKey, remembered);
        Harness h(box);
        QVERIFY(h.start(given));
        QCOMPARE(h.c().clientStatePath->text(), given);
        QCOMPARE(columnTexts(h.results(), QStringLiteral("Work unit")), QStringList{QStringLiteral("given")});
        QCOMPARE(QString::fromStdString(h.c().root_dir()), box.path(QStringLiteral("b/")));
        QCOMPARE(box.storedSetting(locationKey).toString(), remembered);
    }

    void pathsDerivedFromTheStatePath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("rootDir");
        QTest::newRow("file") << QStringLiteral("/a/b/client_state.xml") << QStringLiteral("/a/b/");
        QTest::newRow("directory") << QStringLiteral("/a/b") << QStringLiteral("/a/");
        QTest::newRow("trailing slash") << QStringLiteral("/a/b/") << QStringLiteral("/a/");
        QTest::newRow("no slash") << QStringLiteral("client_state.xml") << QStringLiteral("/");
    }
    void pathsDerivedFromTheStatePath() {
        QFETCH(QString, path);
        QFETCH(QString, rootDir);
        Sandbox box;
        box.setSetting(watchdogKey, QStringLiteral("0"));
        Harness h(box);
        QVERIFY(h.start(path));
        QCOMPARE(QString::fromStdString(h.c().root_dir()), rootDir);
        QCOMPARE(QString::fromStdString(h.c().global_prefsFileLocation()), rootDir + QStringLiteral("global_prefs.xml"));
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"

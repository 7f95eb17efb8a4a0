// The window against hostile and unlucky files: a state file renamed away for
// a moment while the client replaces it, paths that name no regular file, and
// a settings file that is corrupt or cannot be read.

#include <chrono>
#include <future>
#include <cstdio>
#include <optional>

#include <QByteArray>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolTip>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/cell_delegates.hpp"
#include "app/main_controller.hpp"
#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "app/state_path.hpp"
#include "app_test_support.hpp"

using namespace crunchwatch;

namespace {

const QString notFound = QStringLiteral("Error: file not found!");

const QByteArray oneProjectState =
    "<client_state>\n<project>\n<master_url>http://a/</master_url>\n<project_name>Alpha</project_name>\n"
    "<resource_share>100</resource_share>\n</project>\n<workunit>\n<name>wu1</name>\n<app_name>app</app_name>\n"
    "</workunit>\n<result>\n<name>r1</name>\n<wu_name>wu1</wu_name>\n<state>2</state>\n</result>\n"
    "<platform_name>x86_64-pc-linux-gnu</platform_name>\n</client_state>\n";

bool writeFile(const QString& path, const QByteArray& contents) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(contents) == contents.size();
}

bool renameFile(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// The window on its own settings file, with the watchdog off unless the
// settings say otherwise: every refresh here is one the test asks for.
struct Window {
    explicit Window(const QString& ini) : settings(ini), window(settings) {}
    mainController& c() { return window.controller(); }
    QString shownPath() { return c().clientStatePath->text(); }
    bool start(const QString& path) {
        window.start(path);
        return apptest::settle(c());
    }
    // Runs Update and returns how long it took to show its outcome.
    std::chrono::milliseconds timedUpdate() {
        QElapsedTimer clock;
        clock.start();
        c().Update();
        apptest::settle(c());
        return std::chrono::milliseconds(clock.elapsed());
    }
    Settings settings;
    MainWindow window;
};

}  // namespace

class HostileTest final : public QObject {
    Q_OBJECT

private:
    QString path(const QString& name) const { return m_dir->path() + QLatin1Char('/') + name; }
    QString iniWithWatchdogOff() const {
        const QString ini = path(QStringLiteral("settings.ini"));
        QSettings(ini, QSettings::IniFormat).setValue(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        return ini;
    }

    std::optional<QTemporaryDir> m_dir;

private slots:
    void init() { QVERIFY(m_dir.emplace().isValid()); }
    void cleanup() { m_dir.reset(); }

    // The client writes a new state file and renames it into place, so for a
    // moment the path names nothing. A refresh that falls into that moment
    // waits for the file to come back, on the reading thread: the window's
    // own thread goes on meanwhile, and what is asked for while the refresh
    // waits runs once after it, however often it was asked for.
    void fileRenamedBackWhileUpdateWaitsIsRead() {
        const QString state = path(QStringLiteral("client_state.xml"));
        const QString away = path(QStringLiteral("client_state.xml.away"));
        QVERIFY(writeFile(state, oneProjectState));
        Window w(iniWithWatchdogOff());
        QVERIFY(w.start(state));
        QCOMPARE(w.shownPath(), state);
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);

        QVERIFY(renameFile(state, away));
        QThread client;
        QObject inClient;
        inClient.moveToThread(&client);
        client.start();
        QTimer::singleShot(40, &inClient, [&] { renameFile(away, state); });
        int beats = 0;
        QTimer beat;
        beat.setInterval(5);
        connect(&beat, &QTimer::timeout, this, [&] { ++beats; });
        beat.start();
        const int before = w.c().refreshCount();
        w.c().Update();
        w.c().Update();
        w.c().watchDog();
        w.c().Update();
        QVERIFY(w.c().refreshing());
        QVERIFY(apptest::settle(w.c()));
        client.quit();
        client.wait();

        QCOMPARE(w.c().refreshCount(), before + 2);
        QVERIFY2(beats >= 3, qPrintable(QString::number(beats)));
        QCOMPARE(w.shownPath(), state);
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);
        QVERIFY(QFile::exists(state));
    }

    // Open while an earlier refresh still runs: the file chosen is the one
    // read and shown, whatever the earlier one's outcome. A reading that
    // does not answer at all (a hung mount) is said so, and Open of another
    // file goes on without it.
    void openWhileAReadingRunsShowsTheFileChosen_data() {
        QTest::addColumn<bool>("hung");
        QTest::newRow("the earlier one fails meanwhile") << false;
        QTest::newRow("the earlier one never answers") << true;
    }
    void openWhileAReadingRunsShowsTheFileChosen() {
        QFETCH(bool, hung);
        const QString first = path(QStringLiteral("client_state.xml"));
        const QString other = path(QStringLiteral("other/client_state.xml"));
        QVERIFY(writeFile(first, oneProjectState));
        QVERIFY(QDir().mkpath(path(QStringLiteral("other"))));
        QVERIFY(writeFile(other, QByteArray(oneProjectState).replace("Alpha", "Omega")));
        Window w(iniWithWatchdogOff());
        QVERIFY(w.start(first));
        w.c().setSlowReadingForTesting(30);
        QSignalSpy slow(&w.c(), &mainController::stillReading);
        auto release = std::make_shared<std::promise<void>>();
        if (hung) {
            w.c().setReadingPauseForTesting([answer = release->get_future().share()] { answer.wait(); });
        } else {
            QVERIFY(QFile::remove(first));  // read before: retried for about 100 ms, then failed
        }
        w.c().Update();
        if (hung) QTRY_COMPARE(slow.count(), 1);
        w.c().setFilePanel([&](const QString&, const QStringList&) { return std::optional<QString>(other); });
        w.c().Open();
        QVERIFY(apptest::settle(w.c()));
        QCOMPARE(w.shownPath(), other);
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);
        QCOMPARE(apptest::columnTexts(w.window.resultsView()->model(), QStringLiteral("Project")),
                 QStringList{QStringLiteral("Omega")});
        release->set_value();  // the hung reading ends; what it read goes nowhere
        QTest::qWait(50);
        QCOMPARE(w.shownPath(), other);
    }

    // A path that was never read is not waited for: a wrong choice, or the
    // error message itself on the next tick, fails at once.
    void pathNeverReadFailsWithoutWaiting() {
        const QString state = path(QStringLiteral("client_state.xml"));
        QVERIFY(writeFile(state, oneProjectState));
        Window w(iniWithWatchdogOff());
        QVERIFY(w.start(state));
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);

        const QString missing = path(QStringLiteral("missing.xml"));
        w.c().setFilePanel([&](const QString&, const QStringList&) { return std::optional<QString>(missing); });
        QElapsedTimer clock;
        clock.start();
        w.c().Open();
        QVERIFY(apptest::settle(w.c()));
        QVERIFY2(clock.elapsed() < 90, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(w.shownPath(), notFound);
        QCOMPARE(w.c().lastFailedPath(), missing);
        // The rows of the last good file stay.
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);

        QVERIFY(w.timedUpdate() < std::chrono::milliseconds(90));  // the message is no path
        QCOMPARE(w.shownPath(), notFound);
    }

    // A file that was read and is then gone for good is given up after a
    // short, bounded wait.
    void fileGoneForGoodFailsAfterAShortWait() {
        const QString state = path(QStringLiteral("client_state.xml"));
        QVERIFY(writeFile(state, oneProjectState));
        Window w(iniWithWatchdogOff());
        QVERIFY(w.start(state));
        QVERIFY(QFile::remove(state));
        QVERIFY(w.timedUpdate() < std::chrono::seconds(2));
        QCOMPARE(w.shownPath(), notFound);
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);
    }

    // Whatever the user picks, the refresh ends at once with the message.
    void anythingButARegularFileShowsTheMessage_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("directory") << QStringLiteral("directory");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("socket") << QStringLiteral("socket");
        QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero");
        QTest::newRow("/dev/null") << QStringLiteral("/dev/null");
        QTest::newRow("/dev/urandom") << QStringLiteral("/dev/urandom");
        QTest::newRow("dangling link") << QStringLiteral("dangling");
        QTest::newRow("link loop") << QStringLiteral("loop");
        QTest::newRow("NUL inside the path") << QStringLiteral("nul");
    }
    void anythingButARegularFileShowsTheMessage() {
        QFETCH(QString, what);
        const QString good = path(QStringLiteral("good.xml"));
        QVERIFY(writeFile(good, oneProjectState));
        QString target = what.startsWith(QLatin1Char('/')) ? what : path(what);
        int socketFd = -1;
        if (what == QLatin1String("directory")) QVERIFY(QDir().mkdir(target));
        if (what == QLatin1String("fifo")) QVERIFY(::mkfifo(QFile::encodeName(target).constData(), 0600) == 0);
        if (what == QLatin1String("socket")) {
            socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            const QByteArray native = QFile::encodeName(target);
            QVERIFY(socketFd >= 0 && native.size() < static_cast<int>(sizeof addr.sun_path));
            std::copy(native.begin(), native.end(), addr.sun_path);
            QVERIFY(::bind(socketFd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0);
        }
        if (what == QLatin1String("dangling")) QVERIFY(QFile::link(path(QStringLiteral("nowhere")), target));
        if (what == QLatin1String("loop")) {
            QVERIFY(QFile::link(path(QStringLiteral("loop2")), target));
            QVERIFY(QFile::link(target, path(QStringLiteral("loop2"))));
        }
        // A NUL ends the name for the system: the good file must not be read instead.
        if (what == QLatin1String("nul")) target = good + QChar(0) + QStringLiteral("junk");

        Window w(iniWithWatchdogOff());
        QVERIFY(w.start(good));
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);
        w.c().setFilePanel([&](const QString&, const QStringList&) { return std::optional<QString>(target); });
        QElapsedTimer clock;
        clock.start();
        w.c().Open();
        QVERIFY(apptest::settle(w.c()));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(w.shownPath(), notFound);
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);
        if (socketFd >= 0) ::close(socketFd);
    }

    // A settings file that is corrupt, or cannot be read at all, gives the
    // defaults: the remembered file absent (so the default place is tried),
    // the watchdog on, the locale's date format; and the window starts.
    void corruptSettingsGiveTheDefaults_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("isDirectory");
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator random(20240607);
        for (char& byte : noise) byte = static_cast<char>(random.bounded(256));
        QTest::newRow("random bytes") << noise << false;
        QTest::newRow("NUL bytes") << QByteArray(4096, '\0') << false;
        QTest::newRow("values of a corrupt type")
            << QByteArray("[General]\n"
                          "client_state%20location=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x3garbage)\n"
                          "enable%20watchdog=@Variant(\\xff\\xff\\xff\\xff)\n"
                          "NSShortTimeDateFormatString=@Variant(\\0\\0\\0\\b\\xff\\xff\\xff\\xff)\n"
                          "NSNavLastCurrentDirectory=@Variant(\\0\\0\\0\\x1c\\xff\\xff\\xff\\xff\\xff)\n"
                          "[autosave]\n"
                          "maniWindow=@ByteArray(\\x1\\xd9\\xd0\\xcb\\0\\x3\\0\\0garbage)\n"
                          "mainTable=@ByteArray(\\0\\0\\0\\xff\\0\\0\\0\\0\\xff\\xff\\xff\\xffgarbage)\n"
                          "projectTable=@ByteArray(\\xff)\n")
            << false;
        QTest::newRow("unterminated sections and escapes")
            << QByteArray("[General\n[\n=\n\\\n%\n%zz=1\nclient_state%20location\n\"unterminated\n@Variant(\n")
            << false;
        QTest::newRow("one huge line") << QByteArray(8 << 20, 'k') << false;
        QTest::newRow("a directory in its place") << QByteArray() << true;
    }
    void corruptSettingsGiveTheDefaults() {
        QFETCH(QByteArray, contents);
        QFETCH(bool, isDirectory);
        const QString ini = path(QStringLiteral("settings.ini"));
        if (isDirectory) QVERIFY(QDir().mkdir(ini));
        else QVERIFY(writeFile(ini, contents));

        Settings settings(ini);
        QVERIFY(!settings.clientStateLocation());
        QVERIFY(!settings.lastCurrentDirectory());
        QVERIFY(!settings.enableWatchdog());
        QVERIFY(!settings.shortTimeDateFormat());
        // The client's usual places are tried; on a machine without a
        // client's file the one chosen is missing and shows the message.
        const QString usual = resolveStatePath(settings);
        MainWindow window(settings);
        window.start();
        QVERIFY(apptest::settle(window.controller()));
        if (QFile::exists(usual)) {
            QCOMPARE(window.controller().clientStatePath->text(), usual);
        } else {
            QCOMPARE(window.controller().lastFailedPath(), usual);
            QCOMPARE(window.controller().clientStatePath->text(), notFound);
        }
        QVERIFY(window.controller().watchdogRunning());
        QVERIFY(!window.controller().formatDaty);
    }

    // A remembered file of this run still opens with a corrupt settings file,
    // and the window's own writes to it do no harm.
    void corruptSettingsStillShowTheFileGiven() {
        const QString ini = path(QStringLiteral("settings.ini"));
        static const char raw[] = "\xff\xfe[General]\0\0client_state location=\xc3(\n";
        QVERIFY(writeFile(ini, QByteArray(raw, sizeof raw - 1)));
        const QString state = path(QStringLiteral("client_state.xml"));
        QVERIFY(writeFile(state, oneProjectState));
        Settings settings(ini);
        MainWindow window(settings);
        window.start(state);
        QVERIFY(apptest::settle(window.controller()));
        QCOMPARE(window.controller().clientStatePath->text(), state);
        QCOMPARE(window.controller().numberOfRowsInTableView(), 1);
        window.controller().watchDogButton->click();  // writes the setting
        settings.setClientStateLocation(state);
        QCOMPARE(settings.clientStateLocation(), std::optional<QString>(state));
    }

    // The stored watchdog setting is a number read from the settings file:
    // one that overflows, or is no number, is clamped or read as 0, never
    // undefined. Only a value whose low eight bits are 1 starts the watchdog.
    void hostileWatchdogSettingIsReadSoundly_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("running");
        QTest::newRow("beyond 64 bits") << QStringLiteral("99999999999999999999999") << false;
        QTest::newRow("below -2^31") << QStringLiteral("-99999999999999999999999") << false;
        QTest::newRow("2^32 + 1") << QStringLiteral("4294967297") << false;  // clamped, not wrapped to 1
        QTest::newRow("257") << QStringLiteral("257") << true;
        QTest::newRow("-255") << QStringLiteral("-255") << true;
        QTest::newRow("nan") << QStringLiteral("nan") << false;
        QTest::newRow("1e400") << QStringLiteral("1e400") << true;  // the integer is the leading 1
        QTest::newRow("empty") << QString() << false;
    }
    void hostileWatchdogSettingIsReadSoundly() {
        QFETCH(QString, stored);
        QFETCH(bool, running);
        const QString ini = path(QStringLiteral("settings.ini"));
        QVERIFY(writeFile(ini, "[General]\nenable%20watchdog=" + stored.toUtf8() + "\n"));
        const QString state = path(QStringLiteral("client_state.xml"));
        QVERIFY(writeFile(state, oneProjectState));
        Window w(ini);
        QVERIFY(w.start(state));
        QCOMPARE(w.c().watchdogRunning(), running);
        QCOMPARE(w.c().numberOfRowsInTableView(), 1);
    }

    void unreadableSettingsGiveTheDefaults() {
        if (::geteuid() == 0) QSKIP("running as root: every file can be read, permission cannot be denied");
        const QString ini = path(QStringLiteral("settings.ini"));
        // Written by hand: QSettings would keep what it wrote in its cache.
        QVERIFY(writeFile(ini, "[General]\nclient_state%20location=/x\nenable%20watchdog=0\n"));
        QVERIFY(QFile::setPermissions(ini, QFileDevice::Permissions()));
        Settings settings(ini);
        QVERIFY(!settings.clientStateLocation());
        MainWindow window(settings);
        window.start();
        QVERIFY(window.controller().watchdogRunning());
    }

    // A value of the file that looks like markup is shown as written, in a
    // cell's tooltip whether or not the cell is cut short.
    void markupInATooltipIsShownAsText() {
        QStandardItemModel model(1, 1);
        model.setData(model.index(0, 0), QStringLiteral("short"));
        model.setData(model.index(0, 0), QStringLiteral("<img src=\"/x\"><b>http://a/</b>"), Qt::ToolTipRole);
        QTableView view;
        CellDelegate delegate;
        view.setItemDelegate(&delegate);
        view.setModel(&model);
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QRect cell = view.visualRect(model.index(0, 0));
        QHelpEvent help(QEvent::ToolTip, cell.center(), view.viewport()->mapToGlobal(cell.center()));
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = cell;
        QVERIFY(delegate.helpEvent(&help, &view, option, model.index(0, 0)));
        QCOMPARE(QToolTip::text(), QStringLiteral("<p>&lt;img src=&quot;/x&quot;&gt;&lt;b&gt;http://a/&lt;/b&gt;</p>"));
    }
};

QTEST_MAIN(HostileTest)
#include "hostile_test.moc"

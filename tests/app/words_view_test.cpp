// The Event log and Notices tabs on a data directory of the client's own
// words: both fill; a notice's description loads nothing; selected lines
// copy as the client wrote them; new lines are followed, or, once the user
// scrolled up, the lines in sight stay in sight; a notice read stays read
// after a restart.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>

#include "app/event_log_view.hpp"
#include "app/notices_view.hpp"
#include "app/table_view.hpp"
#include "app_test_support.hpp"
#include "tables/client_words.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

// The client's own lines, a preference line with its leading blanks, the
// plain "Initialization completed", and a message continued on a line of
// its own.
const QByteArray clientLog =
    "09-Dec-2026 14:05:30 [---] Starting BOINC client version 7.20.5 for x86_64-pc-linux-gnu\n"
    "09-Dec-2026 14:05:31 [---]    max memory usage when active: 12052.61 MB\n"
    "09-Dec-2026 14:05:31 Initialization completed\n"
    "09-Dec-2026 14:05:32 [Gamma] Scheduler request failed\n"
    "    continued on the next line\n";

// A tracking picture and a script in a project's news.
const QByteArray noticesArchive =
    "<notices>\n<notice>\n<title>New application</title>\n"
    "<description><![CDATA[<p>Hello <b>crunchers</b><img src=\"http://tracker.example/pixel.png\">"
    "<script>document.write('scripted')</script></p>]]></description>\n"
    "<create_time>1796860800.000000</create_time>\n<arrival_time>1796860900.000000</arrival_time>\n"
    "<is_private>0</is_private>\n<project_name>Gamma</project_name>\n<category>news</category>\n"
    "<link>https://gamma.example/forum_thread.php?id=1</link>\n"
    "<guid>https://gamma.example/forum_thread.php?id=1</guid>\n</notice>\n</notices>\n";

QByteArray numberedLines(int from, int to) {
    QByteArray lines;
    for (int i = from; i < to; ++i)
        lines += QByteArray("10-Dec-2026 08:00:00 [Gamma] line ") + QByteArray::number(i) + "\n";
    return lines;
}

void append(const QString& path, const QByteArray& lines) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::Append));
    f.write(lines);
}

QString textOfRow(const QTableView* view, int row) {
    return view->model()->index(row, static_cast<int>(EventColumn::text)).data().toString();
}

int rowTitled(const QAbstractItemModel* model, const QString& title) {
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->index(r, static_cast<int>(NoticeColumn::title)).data().toString() == title) return r;
    return -1;
}

}  // namespace

class WordsViewTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        m_state = m_box->write(QStringLiteral("client_state.xml"), oneProjectState("g1"));
    }
    void cleanup() { m_box.reset(); }

    void bothTabsFillAndANoticeReadStaysRead() {
        m_box->write(QStringLiteral("stdoutdae.txt"), clientLog);
        m_box->write(QStringLiteral("notices/archive_https___gamma.example_notices.xml"), noticesArchive);
        m_box->write(QStringLiteral("sched_reply_gamma.example.xml"),
                     "<scheduler_reply>\n<message priority=\"notice\">Your tasks will be late</message>\n"
                     "</scheduler_reply>\n");
        {
            Harness h(*m_box);
            QVERIFY(h.start(m_state));
            EventLogView* log = h.window.eventLogView();
            QTableView* lines = log->table();
            QCOMPARE(lines->model()->rowCount(), 4);
            QCOMPARE(textOfRow(lines, 1), QStringLiteral("   max memory usage when active: 12052.61 MB"));
            QCOMPARE(textOfRow(lines, 3), QStringLiteral("Scheduler request failed\n    continued on the next line"));
            QVERIFY(log->sourceLabel()->text().contains(QStringLiteral("stdoutdae.txt")));
            lines->selectAll();
            copyActionOf(lines)->trigger();
            QCOMPARE(QApplication::clipboard()->text(),
                     QString::fromUtf8(QByteArray(clientLog).replace("31 Initialization", "31 [---] Initialization")));

            NoticesView* notices = h.window.noticesView();
            QTabWidget* tabs = h.window.tabs();
            QCOMPARE(notices->table()->model()->rowCount(), 2);
            QCOMPARE(tabs->tabText(tabs->indexOf(notices)), QStringLiteral("Notices (2)"));
            tabs->setCurrentWidget(notices);
            const int row = rowTitled(notices->table()->model(), QStringLiteral("New application"));
            QVERIFY(row >= 0);
            notices->table()->setCurrentIndex(notices->table()->model()->index(row, 0));
            const QString page = notices->reader()->document()->toHtml();
            QVERIFY(page.contains(QStringLiteral("crunchers")));
            QVERIFY(!page.contains(QStringLiteral("<img")));
            QVERIFY(!page.contains(QStringLiteral("script")));
            for (const QUrl& asked : notices->reader()->resourcesAsked()) QVERIFY(asked.isRelative() && asked.host().isEmpty());
            // Whatever a document asks for, the pane fetches nothing.
            QVERIFY(notices->reader()->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("http://tracker.example/p.png"))).isNull());
            QCOMPARE(notices->unreadCount(), 1);
            QCOMPARE(tabs->tabText(tabs->indexOf(notices)), QStringLiteral("Notices (1)"));
        }
        Harness again(*m_box);
        QVERIFY(again.start(m_state));
        QCOMPARE(again.window.noticesView()->unreadCount(), 1);
    }

    // The newest 500 of 2,000 lines shown; the watchdog's ticks bring new
    // ones without a new state file.
    void followsTheEndUnlessScrolledUp() {
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("1"));
        m_box->setSetting(QStringLiteral("event log entries"), QStringLiteral("500"));
        const QString file = m_box->write(QStringLiteral("stdoutdae.txt"), numberedLines(0, 2000));
        Harness h(*m_box);
        h.c().setWatchdogIntervalForTesting(20);
        QVERIFY(h.start(m_state));
        EventLogView* log = h.window.eventLogView();
        h.window.tabs()->setCurrentWidget(log);
        QTableView* lines = log->table();
        QScrollBar* bar = lines->verticalScrollBar();
        QCOMPARE(lines->model()->rowCount(), 500);
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        const int refreshes = h.c().refreshCount();

        append(file, numberedLines(2000, 2010));
        QTRY_COMPARE(textOfRow(lines, 499), QStringLiteral("line 2009"));
        QTRY_VERIFY(bar->value() == bar->maximum());

        bar->setValue(100);
        const QString top = textOfRow(lines, lines->rowAt(0));
        lines->selectRow(lines->rowAt(0) + 2);
        const QString selected = log->selectedText();
        QVERIFY(selected.endsWith(QStringLiteral("line 1612\n")));
        append(file, numberedLines(2010, 2020));
        QTRY_COMPARE(textOfRow(lines, 499), QStringLiteral("line 2019"));
        QCOMPARE(textOfRow(lines, lines->rowAt(0)), top);
        QCOMPARE(log->selectedText(), selected);
        QVERIFY(!log->following());

        log->olderButton()->click();
        QCOMPARE(lines->model()->rowCount(), 1000);
        QCOMPARE(textOfRow(lines, lines->rowAt(0)), top);
        QCOMPARE(h.c().refreshCount(), refreshes);  // the state file was never read again
    }

    // The account's key, wherever the client's files hold it, reaches no
    // model, label or notice pane of the window.
    void noSecretReachesTheWindow() {
        const QByteArray key = "c4n4ry0f7h34cc0un7k3y";
        m_box->write(QStringLiteral("account_gamma.example.xml"), "<account><authenticator>" + key + "</authenticator></account>");
        m_box->write(QStringLiteral("sched_request_gamma.example.xml"), "<authenticator>" + key + "</authenticator>");
        m_box->write(QStringLiteral("slots/0/init_data.xml"), "<authenticator>" + key + "</authenticator>");
        m_box->write(QStringLiteral("gui_rpc_auth.cfg"), key);
        m_box->write(QStringLiteral("stdoutdae.txt"),
                     "09-Dec-2026 14:05:32 [Gamma] [http] Sent <authenticator>" + key + "</authenticator>\n"
                     "09-Dec-2026 14:05:33 [Gamma] [http] GET /rpc.php?auth=" + key + "&x=1\n");
        m_box->write(QStringLiteral("notices/archive_x.xml"),
                     "<notices><notice><title>t</title><description><![CDATA[<authenticator>" + key +
                         "</authenticator>]]></description></notice></notices>");
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        QCOMPARE(h.window.eventLogView()->table()->model()->rowCount(), 2);
        NoticesView* notices = h.window.noticesView();
        notices->table()->setCurrentIndex(notices->table()->model()->index(0, 0));
        QVERIFY(!notices->reader()->toPlainText().isEmpty());
        QVERIFY(!notices->reader()->toHtml().contains(QString::fromLatin1(key)));
        for (const QAbstractItemModel* model : h.window.findChildren<QAbstractItemModel*>())
            for (int r = 0; r < model->rowCount(); ++r)
                for (int c = 0; c < model->columnCount(); ++c)
                    for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole)})
                        QVERIFY(!model->index(r, c).data(role).toString().contains(QString::fromLatin1(key)));
        for (const QLabel* label : h.window.findChildren<QLabel*>())
            QVERIFY(!label->text().contains(QString::fromLatin1(key)));
    }

    // A clicked link goes to the user's browser only when it is a web or mail address.
    void linksThatOpen_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("opens");
        QTest::newRow("https") << QStringLiteral("https://gamma.example/forum_thread.php?id=1") << true;
        QTest::newRow("http, upper case") << QStringLiteral("HTTP://gamma.example/") << true;
        QTest::newRow("mail") << QStringLiteral("mailto:admin@gamma.example") << true;
        QTest::newRow("script") << QStringLiteral("javascript:alert(1)") << false;
        QTest::newRow("local file") << QStringLiteral("file:///home/user/.ssh/id_rsa") << false;
        QTest::newRow("data") << QStringLiteral("data:text/html,<b>x</b>") << false;
        QTest::newRow("relative") << QStringLiteral("forum_thread.php?id=1") << false;
        QTest::newRow("no host") << QStringLiteral("https:///forum") << false;
    }
    void linksThatOpen() {
        QFETCH(QString, link);
        QFETCH(bool, opens);
        QCOMPARE(NoticesView::opensExternally(QUrl(link)), opens);
    }

private:
    std::optional<Sandbox> m_box;
    QString m_state;
};

QTEST_MAIN(WordsViewTest)
#include "words_view_test.moc"

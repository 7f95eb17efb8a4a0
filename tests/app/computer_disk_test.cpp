// The Computer and Disk tabs on a generated data directory: a host with a
// GPU, two projects with files of their own and a running task's slot, the
// web preferences and an override that sets the disk limit and the
// scheduling period. The status bar shows the values in force and names
// their files; the override's lines are bold; the transfer chart shows the
// history's days; the Disk tab's bytes are those the tables count, and its
// pie and summary follow the limit that sets the allowance.

#include <QChart>
#include <QChartView>
#include <QFont>
#include <QLabel>
#include <QPieSeries>
#include <QPieSlice>
#include <QTabWidget>
#include <QTest>

#include "app/computer_view.hpp"
#include "app/disk_view.hpp"
#include "app/table_model.hpp"
#include "app_test_support.hpp"
#include "state/disk_usage.hpp"

using namespace crunchwatch;
using namespace crunchwatch::apptest;

namespace {

const QByteArray hostState =
    "<client_state>\n<host_info>\n<timezone>3600</timezone>\n<domain_name>cruncher</domain_name>\n"
    "<p_ncpus>8</p_ncpus>\n<p_vendor>AuthenticAMD</p_vendor>\n<p_model>AMD Ryzen 7 5800X</p_model>\n"
    "<p_features>fpu sse2 avx2</p_features>\n<p_fpops>4000000000.0</p_fpops>\n<m_nbytes>34359738368.0</m_nbytes>\n"
    "<d_total>1000000000000.0</d_total>\n<d_free>500000000000.0</d_free>\n<os_name>Linux Debian</os_name>\n"
    "<os_version>6.1.0</os_version>\n<coprocs>\n<coproc_cuda>\n<count>1</count>\n<name>GeForce GTX 680</name>\n"
    "<available_ram>4171501568.000000</available_ram>\n<peak_flops>3251712000000.000000</peak_flops>\n"
    "<drvVersion>0</drvVersion>\n</coproc_cuda>\n</coprocs>\n</host_info>\n"
    "<time_stats>\n<on_frac>0.874000</on_frac>\n<active_frac>0.5</active_frac>\n</time_stats>\n"
    "<net_stats>\n<avg_up>100.0</avg_up>\n<avg_down>2000.0</avg_down>\n</net_stats>\n"
    "<project>\n<master_url>http://alpha.example/</master_url>\n<project_name>Alpha</project_name>\n"
    "<disk_usage>12345.000000</disk_usage>\n</project>\n"
    "<result>\n<name>a1_0</name>\n<wu_name>a1</wu_name>\n<state>2</state>\n</result>\n"
    "<project>\n<master_url>http://beta.example/</master_url>\n<project_name>Beta</project_name>\n</project>\n"
    "<active_task_set>\n<active_task>\n<project_master_url>http://alpha.example/</project_master_url>\n"
    "<result_name>a1_0</result_name>\n<slot>0</slot>\n<scheduler_state>2</scheduler_state>\n</active_task>\n"
    "</active_task_set>\n<platform_name>x86_64-pc-linux-gnu</platform_name>\n"
    "<core_client_major_version>7</core_client_major_version>\n</client_state>\n";

const QByteArray webPrefs = "<global_preferences>\n<cpu_scheduling_period_minutes>60.000000</cpu_scheduling_period_minutes>\n"
                            "<disk_interval>120.000000</disk_interval>\n<disk_max_used_gb>100.000000</disk_max_used_gb>\n"
                            "</global_preferences>\n";
const QByteArray overridePrefs = "<global_preferences>\n<cpu_scheduling_period_minutes>30.000000</cpu_scheduling_period_minutes>\n"
                                 "<disk_max_used_gb>5.000000</disk_max_used_gb>\n</global_preferences>\n";

const QByteArray dailyXfers = "<daily_xfers>\n<dx>\n<when>20430</when>\n<up>1000.0</up>\n<down>3000000.0</down>\n</dx>\n"
                              "<dx>\n<when>20432</when>\n<up>2000.0</up>\n<down>0.0</down>\n</dx>\n</daily_xfers>\n";

std::vector<DailyXfer> days(std::initializer_list<DailyXfer> list) { return list; }

}  // namespace

class ComputerDiskTest final : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(m_box.emplace().isValid());
        m_box->setSetting(QStringLiteral("enable watchdog"), QStringLiteral("0"));
        m_state = m_box->write(QStringLiteral("client_state.xml"), hostState);
        m_box->write(QStringLiteral("global_prefs.xml"), webPrefs);
        m_box->write(QStringLiteral("global_prefs_override.xml"), overridePrefs);
        m_box->write(QStringLiteral("daily_xfer_history.xml"), dailyXfers);
        m_box->write(QStringLiteral("projects/alpha.example/input.dat"), QByteArray(100000, 'a'));
        m_box->write(QStringLiteral("projects/alpha.example/app"), QByteArray(5000, 'x'));
        m_box->write(QStringLiteral("projects/beta.example/big.dat"), QByteArray(300000, 'b'));
        m_box->write(QStringLiteral("slots/0/out.txt"), QByteArray(40000, 'o'));
    }
    void cleanup() { m_box.reset(); }

    void statusBarShowsThePreferencesInForce() {
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        QLabel* prefs = h.window.preferencesLabel();
        QCOMPARE(prefs->text(), QStringLiteral("CPU scheduling period: 30.000000 min   Disk interval: 120.000000 s"));
        QCOMPARE(prefs->toolTip(), QStringLiteral("CPU scheduling period from global_prefs_override.xml\n"
                                                  "Disk interval from global_prefs.xml"));
        // The web file's own value stays the controller's.
        QCOMPARE(h.c().cpu_scheduling_period_minutes, std::optional<std::string>("60.000000"));

        // A changed override is read at the next refresh; without it the web file's values are in force.
        m_box->write(QStringLiteral("global_prefs_override.xml"),
                     "<global_preferences><cpu_scheduling_period_minutes>45.5</cpu_scheduling_period_minutes>"
                     "</global_preferences>");
        QVERIFY(h.update());
        QVERIFY(prefs->text().startsWith(QStringLiteral("CPU scheduling period: 45.5 min")));
        QVERIFY(QFile::remove(m_box->path(QStringLiteral("global_prefs_override.xml"))));
        QVERIFY(h.update());
        QVERIFY(prefs->text().startsWith(QStringLiteral("CPU scheduling period: 60.000000 min")));
        QVERIFY(prefs->toolTip().startsWith(QStringLiteral("CPU scheduling period from global_prefs.xml")));
    }

    void computerTabShowsTheHostAndItsTransfers() {
        Harness h(*m_box);
        h.window.tabs()->setCurrentWidget(h.window.computerView());
        h.window.show();
        QVERIFY(h.start(m_state));
        ComputerView* view = h.window.computerView();
        const QAbstractItemModel* model = view->table()->model();
        const QStringList cells = allCells(model);
        for (const char* shown : {"AMD Ryzen 7 5800X", "GeForce GTX 680", "Linux Debian", "87.4%"})
            QVERIFY2(cells.join(QLatin1Char('|')).contains(QString::fromUtf8(shown)), shown);
        // Every line says where it was read; the override's lines are bold, the web file's not.
        for (int r = 0; r < model->rowCount(); ++r)
            QVERIFY(model->index(r, static_cast<int>(ComputerColumn::value)).data(Qt::ToolTipRole).toString().contains(
                QStringLiteral("Read from ")));
        const auto& lines = h.c().value()->computer->lines;
        bool sawOverride = false;
        for (std::size_t r = 0; r < lines.size(); ++r) {
            const bool bold = model->index(static_cast<int>(r), 2).data(Qt::FontRole).value<QFont>().bold();
            QCOMPARE(bold, lines[r].mark == ComputerLine::Mark::overridden);
            sawOverride |= bold;
        }
        QVERIFY(sawOverride);
        QVERIFY(view->chartShown());
        QCOMPARE(view->chartDays().size(), std::size_t{3});
        QCOMPARE(view->chartDays().front().down, 3000000.0);
        QCOMPARE(view->chartDays()[1].up + view->chartDays()[1].down, 0.0);  // a day without transfers
    }

    // The newest days, every day between, nothing from an entry that is no number.
    void transferDaysFromTheHistory() {
        struct Case {
            const char* name;
            std::vector<DailyXfer> history;
            std::size_t most;
            std::vector<long long> shown;
            double lastDown;
        };
        const std::vector<Case> cases = {
            {"none", {}, 31, {}, 0},
            {"garbage only", days({{"soon", "1", "2"}}), 31, {}, 0},
            {"gap filled", days({{"10", "1", "2"}, {"12", "3", "4"}}), 31, {10, 11, 12}, 4},
            {"newest kept", days({{"1", "1", "1"}, {"100", "5", "6"}, {"99", "0", "x"}}), 2, {99, 100}, 6},
            {"one day twice", days({{"7", "1", "2"}, {"7", "1", "2"}}), 31, {7}, 4},
        };
        for (const Case& c : cases) {
            const auto shown = transferDays(c.history, c.most);
            std::vector<long long> numbers;
            for (const TransferDay& d : shown) numbers.push_back(d.day);
            QVERIFY2(numbers == c.shown, c.name);
            if (!shown.empty()) QVERIFY2(shown.back().down == c.lastDown, c.name);
        }
    }

    void diskTabCountsAsTheTablesDo() {
        Harness h(*m_box);
        QVERIFY(h.start(m_state));
        const RefreshValuePtr& value = h.c().value();
        const ClientState& state = value->snapshot->state;
        const DiskWalk walk = walkDisk(m_box->path(QString()).toStdString(), projectFolders(state));
        DiskView* view = h.window.diskView();
        const QAbstractItemModel* model = view->table()->model();
        QCOMPARE(model->rowCount(), 3);  // two projects, then the client's own files
        const DiskFigures& disk = value->computer->disk;
        for (std::size_t p = 0; p < 2; ++p) {
            QCOMPARE(disk.row(p).bytes, std::optional<std::uint64_t>(walk.projectBytes[p]));
            QVERIFY(walk.projectBytes[p] > 0);
            const auto counted = cellText(diskColumns[static_cast<std::size_t>(DiskColumn::bytes)].cell(disk.row(p), 0),
                                          value->dateFormat);
            QVERIFY(counted);
            QCOMPARE(model->index(static_cast<int>(p), static_cast<int>(DiskColumn::bytes)).data().toString(),
                     QString::fromStdString(*counted));
        }
        // Alpha's slot counts as its own.
        QVERIFY(walk.projectBytes[0] >= 145000);
        // The override's 5 GB sets the allowance; the pie shows what is left of it.
        QVERIFY(view->summary()->text().contains(QStringLiteral("disk_max_used_gb")));
        QCOMPARE(disk.allowed.bytes, std::optional<double>(5.0 * (1 << 30)));
        const QList<QPieSlice*> slices = view->pie()->slices();
        QCOMPARE(slices.size(), 4);
        QCOMPARE(slices.back()->value(), *disk.allowanceLeft);
        QVERIFY(!view->walkNote()->text().isEmpty());
    }

private:
    std::optional<Sandbox> m_box;
    QString m_state;
};

QTEST_MAIN(ComputerDiskTest)
#include "computer_disk_test.moc"

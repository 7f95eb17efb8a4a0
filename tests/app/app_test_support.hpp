#pragma once
// Shared by the window's tests: a temporary directory that holds the state
// files and the settings file of one test, hand-written state files, and
// reading the cells a view shows.

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QTemporaryDir>
#include <QVariant>

#include "app/main_controller.hpp"
#include "app/main_window.hpp"
#include "app/settings.hpp"

namespace crunchwatch::apptest {

// One test's files: the state and preferences files it writes and its own
// settings file, so the user's real settings are never read or written.
class Sandbox final {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QString iniPath() const { return path(QStringLiteral("settings.ini")); }

    // Writes (or replaces in place) a file; returns its full path.
    QString write(const QString& name, const QByteArray& contents) const {
        const QString p = path(name);
        QDir().mkpath(p.section(QLatin1Char('/'), 0, -2));
        QFile f(p);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(contents);
        return p;
    }
    QString copy(const QString& from, const QString& name) const {
        QFile in(from);
        return in.open(QIODevice::ReadOnly) ? write(name, in.readAll()) : QString();
    }

    // Settings as a previous run (or the platform) left them.
    void setSetting(const QString& key, const QString& value) const {
        QSettings s(iniPath(), QSettings::IniFormat);
        s.setValue(key, value);
    }
    QVariant storedSetting(const QString& key) const {
        QSettings s(iniPath(), QSettings::IniFormat);
        return s.value(key);
    }

private:
    QTemporaryDir m_dir;
};

// A window on the sandbox's own settings file. The settings outlive the
// window, whose autosave writes into them until it goes.
struct Harness {
    explicit Harness(const Sandbox& box) : settings(box.iniPath()), window(settings) {}
    mainController& c() { return window.controller(); }
    QAbstractItemModel* results() const { return window.resultsView()->model(); }
    QAbstractItemModel* projects() const { return window.projectsView()->model(); }

    Settings settings;
    MainWindow window;
};

inline QByteArray globalPrefs(const QByteArray& cpuSchedulingMinutes) {
    return "<global_preferences>\n<mod_time>1794412861</mod_time>\n<cpu_scheduling_period_minutes>" +
           cpuSchedulingMinutes + "</cpu_scheduling_period_minutes>\n<disk_interval>60.000000</disk_interval>\n"
           "</global_preferences>\n";
}

// Two projects. Alpha (share 100, credit 1234.5) has three results: one
// running at 45.6789 %, one running at 0 % (still checking), one waiting.
// Beta (share 50, credit 100.25) has one downloading and one sent. Rows in
// file order: a1 a2 a3 b1 b2.
inline QByteArray twoProjectState() {
    return R"(<client_state>
<host_info>
    <p_ncpus>4</p_ncpus>
</host_info>
<project>
    <master_url>http://alpha.example/</master_url>
    <project_name>Alpha</project_name>
    <user_total_credit>1234.500000</user_total_credit>
    <user_create_time>1442317920.000000</user_create_time>
    <resource_share>100.000000</resource_share>
</project>
<workunit><name>a1</name><app_name>alpha_app</app_name><version_num>107</version_num></workunit>
<workunit><name>a2</name><app_name>alpha_app</app_name><version_num>107</version_num></workunit>
<workunit><name>a3</name><app_name>alpha_app</app_name><version_num>108</version_num></workunit>
<result><name>a1_0</name><state>2</state><wu_name>a1</wu_name><report_deadline>1893456000.000000</report_deadline></result>
<result><name>a2_0</name><state>2</state><wu_name>a2</wu_name><report_deadline>1893456000.000000</report_deadline></result>
<result><name>a3_0</name><state>2</state><wu_name>a3</wu_name><report_deadline>1893456000.000000</report_deadline></result>
<project>
    <master_url>http://beta.example/</master_url>
    <project_name>Beta</project_name>
    <user_total_credit>100.250000</user_total_credit>
    <resource_share>50.000000</resource_share>
</project>
<workunit><name>b1</name><app_name>beta_app</app_name><version_num>701</version_num></workunit>
<workunit><name>b2</name><app_name>beta_app</app_name><version_num>701</version_num></workunit>
<result><name>b1_0</name><state>1</state><wu_name>b1</wu_name><report_deadline>1893456000.000000</report_deadline></result>
<result>
    <name>b2_0</name>
    <state>5</state>
    <wu_name>b2</wu_name>
    <report_deadline>1893456000.000000</report_deadline>
    <ready_to_report/>
</result>
<active_task_set>
<active_task>
    <project_master_url>http://alpha.example/</project_master_url>
    <result_name>a1_0</result_name>
    <scheduler_state>2</scheduler_state>
    <fraction_done>0.456789</fraction_done>
    <current_cpu_time>3600.000000</current_cpu_time>
</active_task>
<active_task>
    <project_master_url>http://alpha.example/</project_master_url>
    <result_name>a2_0</result_name>
    <scheduler_state>2</scheduler_state>
    <fraction_done>0.000000</fraction_done>
    <current_cpu_time>0.000000</current_cpu_time>
</active_task>
</active_task_set>
<platform_name>x86_64-pc-linux-gnu</platform_name>
</client_state>
)";
}

// One project of a single result, the name given: small files that differ.
inline QByteArray oneProjectState(const QByteArray& resultName, const QByteArray& credit = "10.000000") {
    return "<client_state>\n<project>\n<master_url>http://gamma.example/</master_url>\n"
           "<project_name>Gamma</project_name>\n<user_total_credit>" + credit +
           "</user_total_credit>\n<resource_share>100</resource_share>\n</project>\n"
           "<result>\n<name>" + resultName + "</name>\n<state>2</state>\n<wu_name>" + resultName +
           "</wu_name>\n</result>\n<platform_name>x</platform_name>\n</client_state>\n";
}

// The display text of every cell a model offers, row by row; reading each
// one is what a view does when it paints.
inline QStringList allCells(const QAbstractItemModel* model) {
    QStringList cells;
    for (int r = 0; r < model->rowCount(); ++r)
        for (int c = 0; c < model->columnCount(); ++c) cells << model->index(r, c).data().toString();
    return cells;
}

// The column whose header says `title`, or -1.
inline int columnTitled(const QAbstractItemModel* model, const QString& title) {
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == title) return c;
    return -1;
}

// One column's display texts, top to bottom as the view shows them.
inline QStringList columnTexts(const QAbstractItemModel* model, const QString& title) {
    QStringList texts;
    const int c = columnTitled(model, title);
    for (int r = 0; r < model->rowCount(); ++r) texts << model->index(r, c).data().toString();
    return texts;
}

}  // namespace crunchwatch::apptest

#pragma once
// Shared by the window's tests: a temporary directory that holds the state
// files and the settings file of one test, hand-written state files, and
// reading the cells a view shows.

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QTemporaryDir>
#include <QVariant>

#include "app/main_controller.hpp"
#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "state_text.hpp"

namespace crunchwatch::apptest {

// One test's files: the state and preferences files it writes and its own
// settings file, so the user's real settings are never read or written.
class Sandbox final {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QString iniPath() const { return path(QStringLiteral("settings.ini")); }

    // Writes (or replaces) a file as the client does, whole: written beside
    // it and renamed into place, so that a watchdog reading meanwhile never
    // sees it half written. Returns its full path.
    QString write(const QString& name, const QByteArray& contents) const {
        const QString p = path(name);
        QDir().mkpath(p.section(QLatin1Char('/'), 0, -2));
        QSaveFile f(p);
        f.setDirectWriteFallback(false);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(contents);
            f.commit();
        }
        return p;
    }
    // Rewrites the file where it is (the same file, not another renamed
    // over it), as an editor may.
    QString rewriteInPlace(const QString& name, const QByteArray& contents) const {
        const QString p = path(name);
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

// Waits until the controller has shown all it was asked for: no refresh
// runs and none waits. False when that takes longer than `ms`.
inline bool settle(mainController& c, int ms = 10000) {
    if (!c.refreshing()) return true;
    QSignalSpy settled(&c, &mainController::settled);
    return settled.wait(ms);
}

// A window on the sandbox's own settings file. The settings outlive the
// window, whose autosave writes into them until it goes. Its commands
// return once what they asked for is shown.
struct Harness {
    explicit Harness(const Sandbox& box) : settings(box.iniPath()), window(settings) {}
    mainController& c() { return window.controller(); }
    bool start(const std::optional<QString>& path = std::nullopt) {
        window.start(path);
        return settle(c());
    }
    bool update() {
        c().Update();
        return settle(c());
    }
    bool open() {
        c().Open();
        return settle(c());
    }
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
    using namespace test;
    const auto job = [](const char* name, const char* app, const char* version, const char* state,
                        const char* ready = "") {
        return workunit(name, app, el("version_num", version)) +
               result(std::string(name) + "_0", name,
                      el("state", state) + el("report_deadline", "1893456000.000000") + ready);
    };
    const auto running = [](const char* name, const char* fraction, const char* cpu) {
        return task("http://alpha.example/", name,
                    el("scheduler_state", "2") + el("fraction_done", fraction) + el("current_cpu_time", cpu));
    };
    return QByteArray::fromStdString(stateFile(
        project("http://alpha.example/", el("project_name", "Alpha") + el("user_total_credit", "1234.500000") +
                                             el("user_create_time", "1442317920.000000") +
                                             el("resource_share", "100.000000")) +
            job("a1", "alpha_app", "107", "2") + job("a2", "alpha_app", "107", "2") +
            job("a3", "alpha_app", "108", "2") +
            project("http://beta.example/", el("project_name", "Beta") + el("user_total_credit", "100.250000") +
                                                el("resource_share", "50.000000")) +
            job("b1", "beta_app", "701", "1") + job("b2", "beta_app", "701", "5", "<ready_to_report/>"),
        running("a1_0", "0.456789", "3600.000000") + running("a2_0", "0.000000", "0.000000"),
        el("p_ncpus", "4")));
}

// One project of a single result, the name given: small files that differ.
inline QByteArray oneProjectState(const QByteArray& resultName, const QByteArray& credit = "10.000000") {
    using namespace test;
    const std::string name = resultName.toStdString();
    return QByteArray::fromStdString(
        stateFile(project("http://gamma.example/", el("project_name", "Gamma") +
                                                       el("user_total_credit", credit.toStdString()) +
                                                       el("resource_share", "100")) +
                  result(name, name, el("state", "2"))));
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

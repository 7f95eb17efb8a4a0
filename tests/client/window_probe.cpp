// The window, offscreen, on a live client's state file, reporting what it
// shows: after every refresh cycle one JSON line on stdout with whether the
// file was read, the results table's cells and the History view's cells,
// row by row, keyed by column identifier. The real-client test reads these
// lines to see the watchdog follow the client's own rewrites.
//
//   crunchwatch-window-probe STATE_FILE SETTINGS_INI [--summary]
//
// With --summary a refresh's line leaves the cells out (a long run on a big
// file would print them by the million); a line "view" on stdin asks for one
// line with them. Stdin is then the driver's channel, and its end (the driver
// gone, however it went) ends the probe too.

#include <cstdio>
#include <string_view>

#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSocketNotifier>
#include <QTableView>

#include "app/history_view.hpp"
#include "app/main_controller.hpp"
#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "tables/columns.hpp"
#include "tables/history_table.hpp"

namespace {

template <class C, std::size_t N>
QJsonArray cells(const QAbstractItemModel& model, const std::array<C, N>& columns) {
    QJsonArray rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        QJsonObject row;
        for (int c = 0; c < model.columnCount(); ++c) {
            const auto id = columns.at(static_cast<std::size_t>(c)).id;
            row.insert(QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size())),
                       model.index(r, c).data().toString());
        }
        rows.append(row);
    }
    return rows;
}

void printLine(const QJsonObject& object) {
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool summary = argc == 4 && std::string_view(argv[3]) == "--summary";
    if (argc != 3 && !summary) {
        std::fprintf(stderr, "usage: crunchwatch-window-probe STATE_FILE SETTINGS_INI [--summary]\n");
        return 2;
    }
    const QString statePath = QString::fromLocal8Bit(argv[1]);
    const QString ini = QString::fromLocal8Bit(argv[2]);
    QSettings(ini, QSettings::IniFormat).setValue(QStringLiteral("enable watchdog"), QStringLiteral("1"));
    crunchwatch::Settings settings(ini);
    crunchwatch::MainWindow window(settings);
    crunchwatch::mainController& controller = window.controller();
    bool lastOk = false;
    const auto shown = [&](bool ok, bool withCells) {
        const QAbstractItemModel& results = *window.resultsView()->model();
        QJsonObject line{{QStringLiteral("ok"), ok},
                         {QStringLiteral("refreshes"), controller.refreshCount()},
                         {QStringLiteral("rows"), results.rowCount()}};
        if (withCells) {
            line.insert(QStringLiteral("results"), cells(results, crunchwatch::resultColumns));
            line.insert(QStringLiteral("history"),
                        cells(*window.historyView()->table()->model(), crunchwatch::historyColumns));
        }
        return line;
    };
    QObject::connect(&controller, &crunchwatch::mainController::refreshed, &app, [&](bool ok) {
        lastOk = ok;
        printLine(shown(ok, !summary));
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            if (summary) QApplication::quit();
            return;
        }
        if (std::string_view(buffer, static_cast<std::size_t>(n)).find("view") != std::string_view::npos) {
            QJsonObject view = shown(lastOk, true);
            view.insert(QStringLiteral("view"), true);
            printLine(view);
        }
    });
    window.start(statePath);
    return QApplication::exec();
}

// The window, offscreen, on a live client's state file, reporting what it
// shows: after every refresh cycle one JSON line on stdout with whether the
// file was read and the results table's cells, row by row, keyed by column
// identifier. The real-client test reads these lines to see the watchdog
// follow the client's own rewrites.
//
//   crunchwatch-window-probe STATE_FILE SETTINGS_INI

#include <cstdio>

#include <QAbstractItemModel>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTableView>

#include "app/main_controller.hpp"
#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "tables/columns.hpp"

namespace {

QJsonObject shown(const QAbstractItemModel& model, bool ok, int refreshes) {
    QJsonArray rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        QJsonObject row;
        for (int c = 0; c < model.columnCount(); ++c) {
            const auto id = crunchwatch::resultColumns.at(static_cast<std::size_t>(c)).id;
            row.insert(QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size())),
                       model.index(r, c).data().toString());
        }
        rows.append(row);
    }
    return QJsonObject{{QStringLiteral("ok"), ok}, {QStringLiteral("refreshes"), refreshes},
                       {QStringLiteral("results"), rows}};
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: crunchwatch-window-probe STATE_FILE SETTINGS_INI\n");
        return 2;
    }
    const QString statePath = QString::fromLocal8Bit(argv[1]);
    const QString ini = QString::fromLocal8Bit(argv[2]);
    QSettings(ini, QSettings::IniFormat).setValue(QStringLiteral("enable watchdog"), QStringLiteral("1"));
    crunchwatch::Settings settings(ini);
    crunchwatch::MainWindow window(settings);
    crunchwatch::mainController& controller = window.controller();
    QObject::connect(&controller, &crunchwatch::mainController::refreshed, &app, [&](bool ok) {
        const QByteArray line =
            QJsonDocument(shown(*window.resultsView()->model(), ok, controller.refreshCount()))
                .toJson(QJsonDocument::Compact);
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    window.start(statePath);
    return QApplication::exec();
}

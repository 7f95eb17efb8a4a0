// The window, offscreen, on a live client's state file, reporting what it
// shows: after every refresh cycle one JSON line on stdout with whether the
// file was read, the results table's cells and the History view's cells, row
// by row, keyed by column identifier. The real-client test reads these lines to see the watchdog
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
#include "app/history_view.hpp"
#include "app/main_window.hpp"
#include "app/settings.hpp"
#include "tables/columns.hpp"
#include "tables/history_table.hpp"

namespace {

template <std::size_t N>
QJsonArray cells(const QAbstractItemModel& model, const std::array<crunchwatch::Column, N>& columns) {
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
        const QJsonObject shown{
            {QStringLiteral("ok"), ok},
            {QStringLiteral("refreshes"), controller.refreshCount()},
            {QStringLiteral("results"), cells(*window.resultsView()->model(), crunchwatch::resultColumns)},
            {QStringLiteral("history"), cells(*window.historyView()->table()->model(), crunchwatch::historyColumns)}};
        const QByteArray line = QJsonDocument(shown).toJson(QJsonDocument::Compact);
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    window.start(statePath);
    return QApplication::exec();
}

#pragma once
// projectTable: the projects table's data source. It holds no data of its
// own: its model reads the records of the refresh value it is shown.

#include <QObject>

#include "tables/refresh_value.hpp"

class QTableView;

namespace crunchwatch {

class Settings;
class TableModel;

class projectTable final : public QObject {
    Q_OBJECT

public:
    projectTable(Settings& settings, QObject* parent = nullptr);

    // Outlet: the table view, connected by the window.
    QTableView* projectTableView = nullptr;
    void connectView(QTableView* view) { projectTableView = view; }

    // uruchomAutoSave ("start autosave"): the table's column layout is kept
    // under "projectTable" and restored from there.
    void uruchomAutoSave();
    // przeladujTabelke ("reload the table"): the view asks again for the row
    // count and its visible cells, now from `value`.
    void przeladujTabelke(const crunchwatch::RefreshValuePtr& value);

    TableModel* model() const { return m_model; }

private:
    Settings& m_settings;
    TableModel* m_model;
};

}  // namespace crunchwatch

#pragma once
// projectTable: the projects table's data source. It holds no data: every
// request goes to the controller's project records and date format.

#include <string_view>

#include <QObject>

#include "tables/cell.hpp"

class QTableView;

namespace crunchwatch {

class mainController;
class ProjectsModel;

class projectTable final : public QObject {
    Q_OBJECT

public:
    explicit projectTable(QObject* parent = nullptr);

    // Outlets, connected by the window.
    QTableView* projectTableView = nullptr;
    mainController* mainControllerOutlet = nullptr;

    // Connects the table view to this data source.
    void connectView(QTableView* view, mainController* controller);

    // uruchomAutoSave ("start autosave"): the table's column layout is kept
    // under "projectTable" and restored from there.
    void uruchomAutoSave();
    // przeladujTabelke ("reload the table"): the view asks again for the row
    // count and its visible cells. beginReload comes first, before the records
    // the view reads are replaced.
    void beginReload();
    void przeladujTabelke();

    int numberOfRowsInTableView() const;
    Cell objectValue(std::string_view columnId, int row) const;
    ProjectsModel* model() const { return m_model; }

private:
    ProjectsModel* m_model = nullptr;
};

}  // namespace crunchwatch

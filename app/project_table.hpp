#pragma once
// projectTable: the projects table's data source. It holds no data of its
// own: its model reads the records of the snapshot the controller holds.

#include <QObject>

class QTableView;

namespace crunchwatch {

class mainController;
class ProjectsModel;

class projectTable final : public QObject {
    Q_OBJECT

public:
    // The model reads `controller`'s snapshot and date format from now on.
    explicit projectTable(mainController& controller, QObject* parent = nullptr);

    // Outlets: the table view, connected by the window, and the controller.
    QTableView* projectTableView = nullptr;
    mainController* mainControllerOutlet = nullptr;

    // Connects the table view to this data source.
    void connectView(QTableView* view);

    // uruchomAutoSave ("start autosave"): the table's column layout is kept
    // under "projectTable" and restored from there.
    void uruchomAutoSave();
    // przeladujTabelke ("reload the table"): the view asks again for the row
    // count and its visible cells. beginReload comes first, before the
    // snapshot the view reads is replaced.
    void beginReload();
    void przeladujTabelke();

    ProjectsModel* model() const { return m_model; }

private:
    ProjectsModel* m_model;
};

}  // namespace crunchwatch

#include "app/project_table.hpp"
#include "app/settings.hpp"

#include <QTableView>

#include "app/autosave.hpp"
#include "app/main_controller.hpp"
#include "app/table_models.hpp"
#include "tables/projects_cells.hpp"

namespace crunchwatch {

projectTable::projectTable(QObject* parent) : QObject(parent), m_model(new ProjectsModel(*this, this)) {}

void projectTable::connectView(QTableView* view, mainController* controller) {
    projectTableView = view;
    mainControllerOutlet = controller;
}

void projectTable::uruchomAutoSave() {
    if (projectTableView) autosaveHeader(projectTableView->horizontalHeader(), mainControllerOutlet->settings(), Settings::projectsTableLayout);
}

void projectTable::beginReload() { m_model->beginReload(); }
void projectTable::przeladujTabelke() { m_model->endReload(); }

int projectTable::numberOfRowsInTableView() const { return mainControllerOutlet->podajRozmiarTabelkiProjektow(); }

Cell projectTable::objectValue(std::string_view columnId, int row) const {
    return projectCell(mainControllerOutlet->podajWartoscZTabelkiProjektow(row), columnId);
}

}  // namespace crunchwatch

#include "app/project_table.hpp"

#include <QTableView>

#include "app/autosave.hpp"
#include "app/main_controller.hpp"
#include "app/settings.hpp"
#include "app/table_models.hpp"

namespace crunchwatch {

projectTable::projectTable(mainController& controller, QObject* parent)
    : QObject(parent),
      mainControllerOutlet(&controller),
      m_model(new ProjectsModel(controller.snapshot(), controller.formatDaty, this)) {}

void projectTable::connectView(QTableView* view) { projectTableView = view; }

void projectTable::uruchomAutoSave() {
    if (projectTableView)
        autosaveHeader(projectTableView->horizontalHeader(), mainControllerOutlet->settings(), Settings::projectsTableLayout);
}

void projectTable::beginReload() { m_model->beginReload(); }
void projectTable::przeladujTabelke() { m_model->endReload(); }

}  // namespace crunchwatch

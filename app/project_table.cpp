#include "app/project_table.hpp"

#include <QHeaderView>
#include <QTableView>

#include "app/autosave.hpp"
#include "app/settings.hpp"
#include "app/table_model.hpp"

namespace crunchwatch {

projectTable::projectTable(Settings& settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_model(new ColumnTableModel<projectRecord>(projectsTable, this)) {}

void projectTable::uruchomAutoSave() {
    if (projectTableView)
        autosaveHeader(projectTableView->horizontalHeader(), m_settings, Settings::projectsTableLayout);
}

void projectTable::przeladujTabelke(const RefreshValuePtr& value) { m_model->show(value); }

}  // namespace crunchwatch

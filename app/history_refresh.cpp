// The history's part of a refresh: the data directory listed again, the
// history files that changed read again, and their labels matched against
// the projects the refresh just read.

#include "app/main_controller.hpp"

namespace crunchwatch {

void mainController::refreshHistory() {
    bool changed = m_history.refresh(root_dir);
    const ProjectInfo& projects = m_snapshot.state.projectInfo;
    HistoryLabels labels = crunchwatch::historyLabels(m_history, projects, matchHistory(m_history, projects));
    if (labels != m_historyLabels) {
        m_historyLabels = std::move(labels);
        changed = true;
    }
    if (changed) emit historyChanged();
}

std::vector<ProjectHistoryFigures> mainController::historyFigures() const {
    const ProjectInfo& projects = m_snapshot.state.projectInfo;
    return historyFiguresByProject(m_history, projects, matchHistory(m_history, projects));
}

}  // namespace crunchwatch

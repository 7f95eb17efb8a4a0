// The window's commands: Open another state file, Update from the same one.

#include <QLineEdit>
#include <QMainWindow>

#include "app/file_panel.hpp"
#include "app/main_controller.hpp"

namespace crunchwatch {

void mainController::Update() { policzIWstawDoTabelki(); }

void mainController::Open() {
    const QStringList types{QStringLiteral("xml"), QStringLiteral("log"), QStringLiteral("txt"),
                            QStringLiteral("text"), textFileType};
    if (const auto chosen = wybierzIZapamietajPlikZFolderu(clientStatePath->text(), types))
        clientStatePath->setText(*chosen);
    derivePaths(clientStatePath->text());
    policzIWstawDoTabelki();
}

std::optional<QString> mainController::wybierzIZapamietajPlikZFolderu(const QString& start, const QStringList& types) {
    m_panelOpen = true;
    const auto chosen = m_filePanel ? m_filePanel(start, types) : runFilePanel(mainWindow, start, types);
    m_panelOpen = false;
    if (chosen) m_settings.setClientStateLocation(*chosen);
    return chosen;
}

}  // namespace crunchwatch

// The window's commands: Open another state file, Update from the same one.

#include <QLineEdit>
#include <QMainWindow>

#include "app/file_panel.hpp"
#include "app/main_controller.hpp"

namespace crunchwatch {

void mainController::Update() { policzIWstawDoTabelki(); }

// A chosen file becomes the state path, its directory and preferences file
// with it. Cancelling keeps the path: the field may show the message then,
// which names no directory.
void mainController::Open() {
    const QStringList types{QStringLiteral("xml"), QStringLiteral("log"), QStringLiteral("txt"),
                            QStringLiteral("text"), textFileType};
    if (const auto chosen = wybierzIZapamietajPlikZFolderu(clientStatePath->text(), types)) {
        clientStatePath->setText(*chosen);
        m_path = StatePath(chosen->toStdString());
    }
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

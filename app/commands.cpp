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
        StatePath next(chosen->toStdString());
        // A reading of the file before that has not answered for a while (a
        // hung mount) is left to itself: another file is read on a thread of
        // its own, going on from what the window shows.
        if (m_inFlight && !(next == m_path) && m_jobClock.elapsed() >= slowReadingMs()) startRunner(m_value);
        m_path = std::move(next);
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

#pragma once
// The modal file-open panel of the Open command.

#include <optional>

#include <QFileDialog>
#include <QString>
#include <QStringList>

namespace crunchwatch {

// The file-type entry that stands for "any text file": files whose type (by
// name) is text/plain or derives from it, as a shell script or a .conf does.
inline const QString textFileType = QStringLiteral("text/plain");

// The panel: one existing file, starting in the directory of `start`, the
// list filtered to the offered types, and a typed name held to them too.
class StateFilePanel final : public QFileDialog {
public:
    StateFilePanel(QWidget* parent, const QString& start, QStringList types);
    void accept() override;

private:
    QStringList m_types;
};

// Runs the panel modally: one file, starting in the directory of `start`
// (the current state file's path, or the home directory when that names no
// directory), showing only files with one of the extensions in `types` or of
// the text type. The chosen file's full path, or nothing on cancel.
std::optional<QString> runFilePanel(QWidget* parent, const QString& start, const QStringList& types);

// Whether the panel offers a file: its extension is one of `types` (case
// does not matter) or it is a text file and `types` holds the text type.
bool filePanelAccepts(const QString& fileName, const QStringList& types);

}  // namespace crunchwatch

#include "app/file_panel.hpp"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMimeDatabase>
#include <QSortFilterProxyModel>

namespace crunchwatch {
namespace {

class TypeFilter final : public QSortFilterProxyModel {
public:
    TypeFilter(QStringList types, QObject* parent) : QSortFilterProxyModel(parent), m_types(std::move(types)) {}

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const auto* fs = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!fs) return true;
        const QModelIndex index = fs->index(row, 0, parent);
        return fs->isDir(index) || filePanelAccepts(fs->fileName(index), m_types);
    }

private:
    QStringList m_types;
};

}  // namespace

bool filePanelAccepts(const QString& fileName, const QStringList& types) {
    const QString suffix = QFileInfo(fileName).suffix();
    for (const QString& t : types)
        if (t != textFileType && suffix.compare(t, Qt::CaseInsensitive) == 0) return true;
    if (!types.contains(textFileType)) return false;
    // By name only: the panel must not open every file it lists.
    return QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).inherits(textFileType);
}

StateFilePanel::StateFilePanel(QWidget* parent, const QString& start, QStringList types)
    : QFileDialog(parent, QObject::tr("Open a client state file")), m_types(std::move(types)) {
    setFileMode(QFileDialog::ExistingFile);  // a single file
    setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own panel: the platform's cannot take the type filter below.
    setOption(QFileDialog::DontUseNativeDialog, true);
    const QFileInfo startInfo(start);
    const QString dir = startInfo.isDir() ? start : startInfo.absolutePath();
    setDirectory(QFileInfo(dir).isDir() && start.contains(QLatin1Char('/')) ? dir : QDir::homePath());
    setProxyModel(new TypeFilter(m_types, this));
}

void StateFilePanel::accept() {
    const QStringList files = selectedFiles();
    const QFileInfo chosen(files.isEmpty() ? QString() : files.first());
    // A directory typed into the name field is opened by the panel itself.
    if (files.size() == 1 && chosen.isDir()) return QFileDialog::accept();
    // The list shows only the offered types, but a name can be typed: it is
    // held to the same rule, so no other file is ever chosen and remembered.
    if (files.size() != 1 || !chosen.isFile() || !filePanelAccepts(chosen.fileName(), m_types)) {
        QApplication::beep();
        return;
    }
    QFileDialog::accept();
}

std::optional<QString> runFilePanel(QWidget* parent, const QString& start, const QStringList& types) {
    StateFilePanel panel(parent, start, types);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    return panel.selectedFiles().first();
}

}  // namespace crunchwatch

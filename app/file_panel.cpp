#include "app/file_panel.hpp"

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

std::optional<QString> runFilePanel(QWidget* parent, const QString& start, const QStringList& types) {
    QFileDialog panel(parent, QObject::tr("Open a client state file"));
    panel.setFileMode(QFileDialog::ExistingFile);  // a single file
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own panel: the platform's cannot take the type filter below.
    panel.setOption(QFileDialog::DontUseNativeDialog, true);
    const QFileInfo startInfo(start);
    const QString dir = startInfo.isDir() ? start : startInfo.absolutePath();
    panel.setDirectory(QFileInfo(dir).isDir() && start.contains(QLatin1Char('/')) ? dir : QDir::homePath());
    panel.setProxyModel(new TypeFilter(types, &panel));
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    return panel.selectedFiles().first();
}

}  // namespace crunchwatch

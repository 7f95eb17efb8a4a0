#include "app/table_view.hpp"

#include <algorithm>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTableView>

#include "app/autosave.hpp"
#include "app/cell_delegates.hpp"
#include "app/sorting.hpp"
#include "app/table_model.hpp"
#include "app/table_note.hpp"

namespace crunchwatch {

QTableView* makeTable(TableModel* model, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->setTabKeyNavigation(false);  // Tab moves on to the next control
    view->setItemDelegate(new CellDelegate(view));
    QHeaderView* rows = view->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(view->fontMetrics().height() + 8);
    rows->hide();
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setSectionsMovable(true);
    view->horizontalHeader()->setStretchLastSection(true);
    SortingProxy* proxy = installSorting(view, model);

    auto* copy = new QAction(QObject::tr("&Copy"), view);
    copy->setObjectName(QStringLiteral("copyRows"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(copy, &QAction::triggered, view, [view] {
        const QString text = selectedRowsText(view);
        if (!text.isEmpty()) QApplication::clipboard()->setText(text);
    });
    view->addAction(copy);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* note = new TableNote(view);
    note->setObjectName(QStringLiteral("emptyNote"));
    // An empty table says why: the table's own reason, or the filter's.
    const auto explain = [note, proxy, model] {
        if (proxy->rowCount() > 0) note->setReason(QString());
        else if (model->rowCount() > 0) note->setReason(QObject::tr("No row matches the filter."));
        else note->setReason(model->emptyText());
    };
    QObject::connect(proxy, &SortingProxy::rowsShownChanged, note, explain);
    QObject::connect(model, &TableModel::shown, note, explain);
    return view;
}

QAction* copyActionOf(const QTableView* view) {
    return view->findChild<QAction*>(QStringLiteral("copyRows"), Qt::FindDirectChildrenOnly);
}

SortingProxy* proxyOf(const QTableView* view) { return qobject_cast<SortingProxy*>(view->model()); }

bool selectSourceRow(QTableView* view, int sourceRow) {
    SortingProxy* proxy = proxyOf(view);
    if (!proxy || sourceRow < 0 || sourceRow >= proxy->sourceModel()->rowCount()) return false;
    const QModelIndex index = proxy->mapFromSource(proxy->sourceModel()->index(sourceRow, 0));
    if (!index.isValid()) return false;
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(index);
    return true;
}

TableNote* noteOf(const QTableView* view) {
    return view->viewport()->findChild<TableNote*>(QStringLiteral("emptyNote"), Qt::FindDirectChildrenOnly);
}

void setInitialWidths(QTableView* view, std::initializer_list<const char*> samples) {
    const QFontMetrics metrics = view->fontMetrics();
    int column = 0;
    for (const char* sample : samples)
        view->horizontalHeader()->resizeSection(column++, metrics.horizontalAdvance(QString::fromUtf8(sample)) + 24);
}

QMenu* columnsMenu(QTableView* view, QWidget* parent) {
    QHeaderView* header = view->horizontalHeader();
    const QAbstractItemModel* model = view->model();
    auto* menu = new QMenu(parent);
    menu->setToolTipsVisible(true);
    const int shown = header->count() - header->hiddenSectionCount();
    for (int column = 0; column < header->count(); ++column) {
        QAction* action = menu->addAction(model->headerData(column, Qt::Horizontal).toString());
        action->setToolTip(model->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString());
        action->setCheckable(true);
        action->setChecked(!header->isSectionHidden(column));
        action->setEnabled(header->isSectionHidden(column) || shown > 1);
        QObject::connect(action, &QAction::toggled, header, [header, column](bool on) {
            header->setSectionHidden(column, !on);
            saveLayoutSoon(header);
        });
    }
    return menu;
}

void offerColumns(QTableView* view) {
    QHeaderView* header = view->horizontalHeader();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(header, &QHeaderView::customContextMenuRequested, view, [view, header](const QPoint& at) {
        QMenu* menu = columnsMenu(view, view);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(header->viewport()->mapToGlobal(at));
    });
}

QString selectedRowsText(const QTableView* view) {
    const QAbstractItemModel* model = view->model();
    const QItemSelectionModel* selection = view->selectionModel();
    if (!model || !selection) return {};
    std::vector<int> rows;
    for (const QModelIndex& i : selection->selectedIndexes()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const QHeaderView* header = view->horizontalHeader();
    QStringList lines;
    for (const int row : rows) {
        QStringList cells;
        for (int visual = 0; visual < header->count(); ++visual) {
            const int column = header->logicalIndex(visual);
            if (header->isSectionHidden(column)) continue;
            // A tab or a line break inside a cell would split it.
            QString text = model->index(row, column).data().toString();
            text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
            cells << text;
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace crunchwatch

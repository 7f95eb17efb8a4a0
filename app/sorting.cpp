#include "app/sorting.hpp"

#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QTableView>

#include "app/table_models.hpp"

namespace crunchwatch {

QSortFilterProxyModel* installSorting(QTableView* view, QAbstractItemModel* source) {
    auto* proxy = new QSortFilterProxyModel(view);
    proxy->setSourceModel(source);
    proxy->setSortRole(SortRole);
    proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    proxy->setSortLocaleAware(true);
    proxy->setDynamicSortFilter(true);  // a refresh keeps the chosen order
    view->setModel(proxy);

    QHeaderView* header = view->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    // A clearable indicator goes ascending, descending, then off on the third
    // click; the proxy follows it (column -1 is the source's own order).
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, proxy,
                     [proxy](int section, Qt::SortOrder order) { proxy->sort(section, order); });
    return proxy;
}

void applyHeaderSort(QTableView* view) {
    auto* proxy = qobject_cast<QSortFilterProxyModel*>(view->model());
    if (!proxy) return;
    const QHeaderView* header = view->horizontalHeader();
    proxy->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

}  // namespace crunchwatch

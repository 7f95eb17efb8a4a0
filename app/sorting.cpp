#include "app/sorting.hpp"

#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QTableView>

#include "app/table_models.hpp"

namespace crunchwatch {
namespace {

// Compares rows by the source's sort keys, never by asking for cells.
class SortProxy final : public QSortFilterProxyModel {
public:
    SortProxy(SnapshotModel* source, QObject* parent) : QSortFilterProxyModel(parent), m_source(source) {
        setSourceModel(source);
    }

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        return m_source->sortsBefore(left.column(), left.row(), right.row());
    }

private:
    const SnapshotModel* m_source;
};

}  // namespace

QSortFilterProxyModel* installSorting(QTableView* view, SnapshotModel* source) {
    auto* proxy = new SortProxy(source, view);
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

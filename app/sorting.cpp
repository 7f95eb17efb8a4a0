#include "app/sorting.hpp"

#include <algorithm>
#include <numeric>

#include <QHeaderView>
#include <QTableView>

#include "app/table_models.hpp"

namespace crunchwatch {

SortingProxy::SortingProxy(SnapshotModel* source, QObject* parent) : QAbstractProxyModel(parent), m_source(source) {
    QAbstractProxyModel::setSourceModel(source);
    // The source only ever resets: a reload replaces every row at once.
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        order();
        endResetModel();
    });
    connect(source, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
}

void SortingProxy::order() {
    m_toSource.clear();
    m_fromSource.clear();
    m_toSource.shrink_to_fit();
    m_fromSource.shrink_to_fit();
    if (m_column < 0 || m_column >= m_source->columnCount()) return;
    const auto rows = static_cast<std::uint32_t>(m_source->rowCount());
    m_toSource.resize(rows);
    std::iota(m_toSource.begin(), m_toSource.end(), 0u);
    // Stable, so that rows with equal keys keep their own order either way.
    const int column = m_column;
    if (m_order == Qt::AscendingOrder)
        std::stable_sort(m_toSource.begin(), m_toSource.end(), [&](std::uint32_t a, std::uint32_t b) {
            return m_source->sortsBefore(column, static_cast<int>(a), static_cast<int>(b));
        });
    else
        std::stable_sort(m_toSource.begin(), m_toSource.end(), [&](std::uint32_t a, std::uint32_t b) {
            return m_source->sortsBefore(column, static_cast<int>(b), static_cast<int>(a));
        });
    m_fromSource.resize(rows);
    for (std::uint32_t i = 0; i < rows; ++i) m_fromSource[m_toSource[i]] = i;
}

void SortingProxy::sort(int column, Qt::SortOrder order) {
    if (column == m_column && (column < 0 || order == m_order)) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList sources;
    sources.reserve(before.size());
    for (const QModelIndex& i : before) sources.push_back(mapToSource(i));
    m_column = column;
    m_order = order;
    this->order();
    QModelIndexList after;
    after.reserve(sources.size());
    for (const QModelIndex& s : sources) after.push_back(mapFromSource(s));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QModelIndex SortingProxy::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return {};
    return createIndex(row, column);
}

QModelIndex SortingProxy::parent(const QModelIndex&) const { return {}; }

int SortingProxy::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_source->rowCount(); }

int SortingProxy::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_source->columnCount(); }

QModelIndex SortingProxy::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || proxyIndex.model() != this || proxyIndex.row() >= rowCount()) return {};
    const auto row = static_cast<std::size_t>(proxyIndex.row());
    const int source = m_toSource.empty() ? proxyIndex.row() : static_cast<int>(m_toSource[row]);
    return m_source->index(source, proxyIndex.column());
}

QModelIndex SortingProxy::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid() || sourceIndex.model() != m_source || sourceIndex.row() >= rowCount()) return {};
    const auto row = static_cast<std::size_t>(sourceIndex.row());
    const int proxy = m_fromSource.empty() ? sourceIndex.row() : static_cast<int>(m_fromSource[row]);
    return createIndex(proxy, sourceIndex.column());
}

SortingProxy* installSorting(QTableView* view, SnapshotModel* source) {
    auto* proxy = new SortingProxy(source, view);
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
    auto* proxy = qobject_cast<SortingProxy*>(view->model());
    if (!proxy) return;
    const QHeaderView* header = view->horizontalHeader();
    proxy->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

}  // namespace crunchwatch

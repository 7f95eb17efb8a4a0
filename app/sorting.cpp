#include "app/sorting.hpp"

#include <algorithm>
#include <numeric>

#include <QHeaderView>
#include <QTableView>

#include "app/table_model.hpp"

namespace crunchwatch {

namespace {
constexpr std::uint32_t hidden = UINT32_MAX;
}

SortingProxy::SortingProxy(TableModel* source, QObject* parent) : QAbstractProxyModel(parent), m_source(source) {
    QAbstractProxyModel::setSourceModel(source);
    // The source only ever resets: a reload replaces every row at once.
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        order();
        endResetModel();
        emit rowsShownChanged();
    });
    connect(source, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
}

void SortingProxy::order() {
    m_toSource.clear();
    m_fromSource.clear();
    m_toSource.shrink_to_fit();
    m_fromSource.shrink_to_fit();
    const bool sorted = m_column >= 0 && m_column < m_source->columnCount();
    m_identity = !sorted && m_filter.empty();
    if (m_identity) return;
    const auto rows = static_cast<std::uint32_t>(m_source->rowCount());
    if (m_filter.empty()) {
        m_toSource.resize(rows);
        std::iota(m_toSource.begin(), m_toSource.end(), 0u);
    } else {
        for (std::uint32_t r = 0; r < rows; ++r)
            if (m_source->accepts(static_cast<int>(r), m_filter)) m_toSource.push_back(r);
    }
    if (sorted) {
        // Stable, so that rows with equal keys keep their own order either way.
        const int column = m_column;
        const bool descending = m_order == Qt::DescendingOrder;
        std::stable_sort(m_toSource.begin(), m_toSource.end(), [&](std::uint32_t a, std::uint32_t b) {
            return m_source->sortsBefore(column, descending, static_cast<int>(a), static_cast<int>(b));
        });
    }
    m_fromSource.assign(rows, hidden);
    for (std::uint32_t i = 0; i < m_toSource.size(); ++i) m_fromSource[m_toSource[i]] = i;
}

// A change of the order keeps the rows the view holds on to (its current
// row and selection) where they go; a row the filter now hides is let go.
void SortingProxy::reorder(const std::function<void()>& change) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList sources;
    sources.reserve(before.size());
    for (const QModelIndex& i : before) sources.push_back(mapToSource(i));
    change();
    this->order();
    QModelIndexList after;
    after.reserve(sources.size());
    for (const QModelIndex& s : sources) after.push_back(mapFromSource(s));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit rowsShownChanged();
}

void SortingProxy::sort(int column, Qt::SortOrder order) {
    if (column == m_column && (column < 0 || order == m_order)) return;
    reorder([&] {
        m_column = column;
        m_order = order;
    });
}

void SortingProxy::setFilter(RowFilter filter) {
    if (filter == m_filter) return;
    reorder([&] { m_filter = std::move(filter); });
}

int SortingProxy::sourceRow(int row) const {
    return m_identity ? row : static_cast<int>(m_toSource[static_cast<std::size_t>(row)]);
}

QModelIndex SortingProxy::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return {};
    return createIndex(row, column);
}

QModelIndex SortingProxy::parent(const QModelIndex&) const { return {}; }

int SortingProxy::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return m_identity ? m_source->rowCount() : static_cast<int>(m_toSource.size());
}

int SortingProxy::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_source->columnCount(); }

QModelIndex SortingProxy::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || proxyIndex.model() != this || proxyIndex.row() >= rowCount()) return {};
    return m_source->index(sourceRow(proxyIndex.row()), proxyIndex.column());
}

QModelIndex SortingProxy::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid() || sourceIndex.model() != m_source || sourceIndex.row() >= m_source->rowCount()) return {};
    const auto row = static_cast<std::size_t>(sourceIndex.row());
    if (m_identity) return createIndex(sourceIndex.row(), sourceIndex.column());
    if (row >= m_fromSource.size() || m_fromSource[row] == hidden) return {};
    return createIndex(static_cast<int>(m_fromSource[row]), sourceIndex.column());
}

SortingProxy* installSorting(QTableView* view, TableModel* source) {
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

#include "app/transfers_view.hpp"

#include <QTableView>
#include <QVBoxLayout>

#include "app/filter_bar.hpp"
#include "app/table_model.hpp"
#include "app/table_view.hpp"

namespace crunchwatch {

TransfersView::TransfersView(QWidget* parent)
    : QWidget(parent),
      m_model(new ColumnTableModel<TransferRow>(transfersTable, this)),
      m_table(makeTable(m_model, this)),
      m_filter(new FilterBar(proxyOf(m_table), tr("Search file names"), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setInitialWidths(m_table, {"World Community Grid", "h1_0412.35_O3aC01Cl1In0__O3AS1a_4_r0", "Download",
                               "1023.99 MiB", "1023.99 MiB (100.0%)", "Retries", "retry in 00:00:00",
                               "12/09/26 04:27:02", "Time spent", "12/09/26 04:27:02"});
    layout->addWidget(m_table, 1);
}

void TransfersView::show(const RefreshValuePtr& value) { m_model->show(value); }

}  // namespace crunchwatch

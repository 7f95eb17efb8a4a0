#include "app/filter_bar.hpp"

#include <algorithm>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "app/sorting.hpp"
#include "app/table_model.hpp"

namespace crunchwatch {

FilterBar::FilterBar(SortingProxy* proxy, const QString& searchHint, QWidget* parent)
    : QWidget(parent),
      m_proxy(proxy),
      m_project(new QComboBox(this)),
      m_search(new QLineEdit(this)),
      m_searchDelay(new QTimer(this)),
      m_row(new QHBoxLayout(this)) {
    m_row->setContentsMargins(0, 0, 0, 0);
    auto* projectLabel = new QLabel(tr("Pro&ject:"), this);
    projectLabel->setBuddy(m_project);
    m_project->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_project->addItem(tr("All projects"));
    m_search->setPlaceholderText(searchHint);
    m_search->setClearButtonEnabled(true);
    m_row->addWidget(projectLabel);
    m_row->addWidget(m_project);
    m_row->addWidget(m_search, 1);

    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(150);
    connect(m_search, &QLineEdit::textChanged, m_searchDelay, qOverload<>(&QTimer::start));
    connect(m_searchDelay, &QTimer::timeout, this, &FilterBar::apply);
    connect(m_project, &QComboBox::currentIndexChanged, this, &FilterBar::apply);
    connect(proxy->table(), &TableModel::shown, this, &FilterBar::followProjects);
}

void FilterBar::followProjects() {
    const QString chosen = m_project->currentIndex() > 0 ? m_project->currentText() : QString();
    QStringList names;
    for (const std::string& name : m_proxy->table()->projects()) names << QString::fromStdString(name);
    QStringList shown;
    for (int i = 1; i < m_project->count(); ++i) shown << m_project->itemText(i);
    if (names == shown) return;
    const QSignalBlocker quiet(m_project);
    m_project->clear();
    m_project->addItem(tr("All projects"));
    m_project->addItems(names);
    const int index = chosen.isEmpty() ? 0 : m_project->findText(chosen);
    m_project->setCurrentIndex(std::max(index, 0));
    if (index < 0) apply();  // that project is gone
}

void FilterBar::apply() {
    RowFilter filter;
    if (m_project->currentIndex() > 0) filter.project = m_project->currentText().toStdString();
    filter.search = m_search->text().toStdString();
    m_proxy->setFilter(std::move(filter));
}

}  // namespace crunchwatch

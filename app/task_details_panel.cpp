#include "app/task_details_panel.hpp"

#include <optional>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMainWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/sorting.hpp"
#include "app/table_model.hpp"
#include "app/table_view.hpp"
#include "tables/date_value.hpp"
#include "tables/task_details.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string text(std::optional<std::string_view> v) { return v ? std::string(*v) : std::string(); }

// The row of `value` that holds the task, looked for first where it was.
std::optional<std::size_t> findTask(const RefreshValue& value, const std::string& url, const std::string& name,
                                    std::size_t hint) {
    const ResultTable& rows = value.snapshot->rows.main_result_table;
    const auto isTask = [&](std::size_t i) {
        const resultRow row = rows[i];
        return row.get(Key::name) == name && row.project.values.get(Key::master_url) == url;
    };
    if (hint < rows.size() && isTask(hint)) return hint;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (isTask(i)) return i;
    return std::nullopt;
}

// Labels and values as a table, every value escaped (they are the file's
// text) and its line breaks kept; a heading line in bold.
QString htmlOf(const std::vector<Detail>& details) {
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">");
    for (const Detail& d : details) {
        const QString value = qText(d.value).toHtmlEscaped();
        if (d.label.empty())
            html += QStringLiteral("<tr><td colspan=\"2\"><br><b>%1</b></td></tr>").arg(value);
        else
            html += QStringLiteral("<tr><td valign=\"top\" style=\"padding-right:12px; white-space:nowrap\">%1</td>"
                                   "<td style=\"white-space:pre-wrap\">%2</td></tr>")
                        .arg(qText(d.label).toHtmlEscaped(), value);
    }
    return html + QStringLiteral("</table>");
}

}  // namespace

TaskDetailsPanel::TaskDetailsPanel(QTableView* results, QWidget* parent)
    : QDockWidget(tr("Task details"), parent), m_results(results) {
    setObjectName(QStringLiteral("taskDetails"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    m_text = new QTextBrowser(body);
    m_text->setOpenLinks(false);  // the file's text is never followed as a link
    m_text->setPlaceholderText(tr("Double-click a task, or press Enter on it, to see everything the state file says "
                                  "about it."));
    layout->addWidget(m_text, 1);
    auto* buttons = new QHBoxLayout;
    m_copy = new QPushButton(tr("&Copy all"), body);
    m_copy->setToolTip(tr("Put every line on the clipboard as text"));
    buttons->addStretch(1);
    buttons->addWidget(m_copy);
    layout->addLayout(buttons);
    setWidget(body);
    connect(m_copy, &QPushButton::clicked, this, [this] {
        if (!m_plain.isEmpty()) QApplication::clipboard()->setText(m_plain);
    });

    // Enter opens it as double-click does; the action is in the table's
    // context menu too, beside Copy.
    auto* open = new QAction(tr("Task &details"), results);
    open->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    open->setShortcutContext(Qt::WidgetShortcut);
    results->addAction(open);
    connect(open, &QAction::triggered, this, &TaskDetailsPanel::openOnCurrentRow);
    connect(results, &QTableView::doubleClicked, this, &TaskDetailsPanel::openOnCurrentRow);
    // A reload lets go of the current row: the panel keeps its task then.
    connect(results->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && isVisible()) followRow(current.row());
            });
}

void TaskDetailsPanel::openOnCurrentRow() {
    const QModelIndex current = m_results->currentIndex();
    if (!current.isValid()) return;
    followRow(current.row());
    show();
    raise();
    // Wide enough at first for a label and a value side by side; the user's
    // own width after that.
    if (!m_sized) {
        m_sized = true;
        if (auto* window = qobject_cast<QMainWindow*>(parentWidget()); window && !isFloating())
            window->resizeDocks({this}, {fontMetrics().averageCharWidth() * 64}, Qt::Horizontal);
    }
}

void TaskDetailsPanel::followRow(int proxyRow) {
    const SortingProxy* proxy = proxyOf(m_results);
    const RefreshValuePtr& value = proxy->table()->value();
    const int source = proxy->sourceRow(proxyRow);
    if (!value || source < 0 || static_cast<std::size_t>(source) >= value->snapshot->rows.main_result_table.size())
        return;
    m_value = value;
    m_lastRow = static_cast<std::size_t>(source);
    const resultRow row = value->snapshot->rows.main_result_table[m_lastRow];
    m_name = text(row.get(Key::name));
    m_url = text(row.project.values.get(Key::master_url));
    m_hasTask = true;
    render();
}

void TaskDetailsPanel::refreshFrom(const RefreshValuePtr& value) {
    if (!value || !m_hasTask) return;
    m_value = value;
    m_stale = !isVisible();
    if (!m_stale) render();
}

void TaskDetailsPanel::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    if (m_stale && m_hasTask) render();
}

void TaskDetailsPanel::render() {
    m_stale = false;
    QString html;
    if (const auto at = findTask(*m_value, m_url, m_name, m_lastRow)) {
        m_lastRow = *at;
        const auto details = taskDetails(resultRowOf(*m_value, *at), nowSeconds(), m_value->dateFormat);
        m_plain = QString::fromStdString(detailsText(details));
        html = htmlOf(details);
    } else {
        const QString name = QString::fromStdString(m_name);
        const QString gone = tr("This task is no longer in the state file: the client has reported it to its "
                                "project, or dropped it.");
        m_plain = name + QLatin1Char('\n') + gone + QLatin1Char('\n');
        html = QStringLiteral("<p><b>%1</b></p><p>%2</p>").arg(name.toHtmlEscaped(), gone.toHtmlEscaped());
    }
    if (html == m_html) return;
    // The same task again stays where the reader had scrolled to.
    const bool sameTask = m_renderedName == m_name && m_renderedUrl == m_url;
    const int scrolled = m_text->verticalScrollBar()->value();
    m_text->setHtml(html);
    m_html = html;
    m_renderedName = m_name;
    m_renderedUrl = m_url;
    if (sameTask) m_text->verticalScrollBar()->setValue(scrolled);
}

}  // namespace crunchwatch

#include "app/notices_view.hpp"

#include <algorithm>
#include <functional>
#include <utility>

#include <QDesktopServices>
#include <QItemSelectionModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "app/cell_delegates.hpp"
#include "app/filter_bar.hpp"
#include "app/settings.hpp"
#include "app/sorting.hpp"
#include "app/table_model.hpp"
#include "app/table_view.hpp"
#include "tables/table_definition.hpp"

namespace crunchwatch {
namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Unread notices in bold.
class UnreadDelegate final : public CellDelegate {
public:
    UnreadDelegate(std::function<bool(int)> unread, QObject* parent)
        : CellDelegate(parent), m_unread(std::move(unread)) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        CellDelegate::initStyleOption(option, index);
        if (!m_unread(index.row())) return;
        option->font.setBold(true);
        option->fontMetrics = QFontMetrics(option->font);
    }

private:
    std::function<bool(int)> m_unread;
};

// What the pane shows of a row: its title, where and when it is from, and
// the text. The cells' own texts are used, so the pane says what the table
// says. A notice's link is its decoded text, kept only when it may open.
QString pageOf(const TableModel* model, int row, const NoticeRow& notice) {
    const auto cell = [&](NoticeColumn c) {
        return model->index(row, static_cast<int>(c)).data().toString().toHtmlEscaped();
    };
    QStringList about;
    for (const NoticeColumn c : {NoticeColumn::project, NoticeColumn::date, NoticeColumn::category})
        if (const QString text = cell(c); !text.isEmpty()) about << text;
    QString page = QStringLiteral("<h3>%1</h3><p><i>%2</i></p>").arg(cell(NoticeColumn::title), about.join(QStringLiteral(" · ")));
    if (notice.notice) {
        page += qText(safeHtml(notice.notice->description));
        const QUrl link(qText(plainTextOfHtml(notice.notice->link)).trimmed());
        if (NoticesView::opensExternally(link))
            page += QStringLiteral("<p><a href=\"%1\">%2</a></p>")
                        .arg(link.toString(QUrl::FullyEncoded).toHtmlEscaped(), link.toString().toHtmlEscaped());
    } else {
        // A scheduler's message is kept as its reply's file holds it, entities and all.
        QString body = qText(plainTextOfHtml(noticeBody(notice))).toHtmlEscaped();
        page += QStringLiteral("<p>%1</p>").arg(body.replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    }
    return page;
}

}  // namespace

QVariant NoticeBrowser::loadResource(int, const QUrl& name) {
    if (m_asked.size() < 100) m_asked << name;
    return {};
}

NoticesView::NoticesView(Settings& settings, QWidget* parent)
    : QWidget(parent),
      m_settings(settings),
      m_model(new ColumnTableModel<NoticeRow>(noticesTable, this)),
      m_table(makeTable(m_model, this)),
      m_filter(new FilterBar(proxyOf(m_table), tr("Search titles"), this)),
      m_reader(new NoticeBrowser(this)),
      m_read(settings.noticesRead()) {
    m_readSet = QSet<QString>(m_read.begin(), m_read.end());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setItemDelegate(new UnreadDelegate([this](int row) { return unread(row); }, m_table));
    setInitialWidths(m_table, {"A notice's title of about this length, or more", "World Community Grid",
                               "12/09/26 04:27:02", "Category "});
    // Nothing a notice names is fetched; a link goes to the user's browser.
    m_reader->setOpenLinks(false);
    m_reader->setOpenExternalLinks(false);
    m_reader->setPlaceholderText(tr("Choose a notice to read it."));
    connect(m_reader, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
        if (opensExternally(url)) QDesktopServices::openUrl(url);
    });
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_table);
    splitter->addWidget(m_reader);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter, 1);
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &NoticesView::showCurrent);
}

bool NoticesView::opensExternally(const QUrl& url) {
    if (!url.isValid()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto")) return !url.path().isEmpty();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

// Notices come again with every refresh that found their files changed: the
// one being read stays chosen, found again by its key.
void NoticesView::show(const RefreshValuePtr& value) {
    if (!value || !value->notices) return;
    const RefreshValuePtr& before = m_model->value();
    if (before && before->notices == value->notices) {
        m_model->show(value);
        return;
    }
    const QModelIndex current = m_table->currentIndex();
    const QString reading =
        current.isValid() ? m_keys[static_cast<std::size_t>(proxyOf(m_table)->sourceRow(current.row()))] : QString();
    const auto rows = static_cast<std::size_t>(noticesTable.size(*value));
    m_keys.assign(rows, QString());
    m_unread.assign(rows, false);
    for (std::size_t i = 0; i < rows; ++i) {
        m_keys[i] = QString::fromStdString(noticeKey(noticeRowOf(*value, i)));
        m_unread[i] = !m_readSet.contains(m_keys[i]);
    }
    m_model->show(value);
    const auto again = std::find(m_keys.begin(), m_keys.end(), reading);
    if (!reading.isEmpty() && again != m_keys.end()) {
        const SortingProxy* proxy = proxyOf(m_table);
        const QModelIndex at = proxy->mapFromSource(m_model->index(static_cast<int>(again - m_keys.begin()), 0));
        if (at.isValid())
            m_table->selectionModel()->setCurrentIndex(
                at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    countUnread();
    showCurrent();
}

void NoticesView::showCurrent() {
    const QModelIndex current = m_table->currentIndex();
    const RefreshValuePtr& value = m_model->value();
    if (!current.isValid() || !value) {
        m_reader->clear();
        return;
    }
    const int row = proxyOf(m_table)->sourceRow(current.row());
    m_reader->setHtml(pageOf(m_model, row, noticeRowOf(*value, static_cast<std::size_t>(row))));
    // Read is what has been in sight, not what was chosen while the tab was not.
    if (isVisible()) markRead(row);
}

void NoticesView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (const QModelIndex current = m_table->currentIndex(); current.isValid())
        markRead(proxyOf(m_table)->sourceRow(current.row()));
}

void NoticesView::markRead(int sourceRow) {
    const auto row = static_cast<std::size_t>(sourceRow);
    if (row >= m_keys.size() || !m_unread[row]) return;
    const QString& key = m_keys[row];
    for (std::size_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i] == key) m_unread[i] = false;
    if (!m_readSet.contains(key)) {
        m_read << key;
        m_readSet.insert(key);
        while (m_read.size() > Settings::noticesReadKept) m_readSet.remove(m_read.takeFirst());
        m_settings.setNoticesRead(m_read);
    }
    countUnread();
    m_table->viewport()->update();
}

void NoticesView::countUnread() {
    const int count = static_cast<int>(std::count(m_unread.begin(), m_unread.end(), true));
    if (count == m_unreadCount) return;
    m_unreadCount = count;
    emit unreadChanged(count);
}

bool NoticesView::unread(int proxyRow) const {
    const auto row = static_cast<std::size_t>(proxyOf(m_table)->sourceRow(proxyRow));
    return row < m_unread.size() && m_unread[row];
}

}  // namespace crunchwatch

#include "app/table_note.hpp"

#include <algorithm>

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

namespace crunchwatch {
namespace {

constexpr int noteMargin = 16;

}  // namespace

TableNote::TableNote(QTableView* view) : QLabel(view->viewport()), m_view(view) {
    setWordWrap(true);
    setTextFormat(Qt::PlainText);  // paths are shown as they are, never as markup
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The path and the command in the text are worth copying.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setAutoFillBackground(false);
    hide();
    view->viewport()->installEventFilter(this);
    // The rows' height changes with the model and with scrolling.
    QHeaderView* rows = view->verticalHeader();
    connect(rows, &QHeaderView::sectionCountChanged, this, &TableNote::place);
    connect(rows, &QHeaderView::sectionResized, this, &TableNote::place);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &TableNote::place);
}

void TableNote::setNote(const QString& text) {
    m_note = text;
    setText(note());
    place();
}

void TableNote::setReason(const QString& text) {
    m_reason = text;
    setText(note());
    place();
}

bool TableNote::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view->viewport() && event->type() == QEvent::Resize) place();
    return QLabel::eventFilter(watched, event);
}

void TableNote::place() {
    if (note().isEmpty()) {
        hide();
        return;
    }
    const QWidget* area = m_view->viewport();
    const QHeaderView* rows = m_view->verticalHeader();
    const int rowsBottom = std::max(0, rows->length() - rows->offset());
    // A paragraph of about 90 characters per line reads better than one
    // across a wide window, and keeps a folder's path on one line.
    const int width = std::min(area->width() - 2 * noteMargin, fontMetrics().horizontalAdvance(QLatin1Char('n')) * 90);
    const int height = width > 0 ? heightForWidth(width) : 0;
    const int top = rowsBottom + noteMargin;
    if (width <= 0 || top + height > area->height()) {
        hide();
        return;
    }
    setGeometry(noteMargin, top, width, height);
    show();
}

}  // namespace crunchwatch

#include "app/cell_delegates.hpp"

#include <algorithm>

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QStyleOptionProgressBar>
#include <QTextDocument>
#include <QToolTip>

#include "app/table_model.hpp"

namespace crunchwatch {

bool CellDelegate::isElided(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    if (item.text.isEmpty()) return false;
    const QWidget* widget = option.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    // The style keeps a small margin on each side of the text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return item.fontMetrics.horizontalAdvance(item.text) > room.width() - 2 * margin;
}

bool CellDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                             const QModelIndex& index) {
    if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    // Tooltips carry the files' own words: shown as plain text always, never
    // as markup that a value of the file (a project's URL) could bring.
    const QString own = index.data(Qt::ToolTipRole).toString();
    const QString ownText = own.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    if (!isElided(option, index)) {
        if (own.isEmpty() || !Qt::mightBeRichText(own)) return QStyledItemDelegate::helpEvent(event, view, option, index);
        QToolTip::showText(event->globalPos(), QStringLiteral("<p>%1</p>").arg(ownText), view->viewport(),
                           view->visualRect(index));
        return true;
    }
    // A text of several lines (a log message's continuation) keeps them.
    QString tip = index.data(Qt::DisplayRole).toString().toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    if (!own.isEmpty()) tip += QStringLiteral("<br><br>") + ownText;
    QToolTip::showText(event->globalPos(), QStringLiteral("<p>%1</p>").arg(tip), view->viewport(),
                       view->visualRect(index));
    return true;
}

void ProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QVariant text = index.data(Qt::DisplayRole);
    if (!text.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The selection highlight first, so a selected row stays visibly selected.
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(2, 2, -2, -2);
    bar.state = option.state | QStyle::State_Horizontal;
    bar.direction = option.direction;
    bar.fontMetrics = option.fontMetrics;
    bar.palette = option.palette;
    bar.minimum = 0;
    bar.maximum = 10000;
    // The cell's own percentage: "checking..." draws an empty bar.
    const double percent = index.data(CellValueRole).toDouble();
    bar.progress = static_cast<int>(std::clamp(percent, 0.0, 100.0) * 100.0);
    bar.text = text.toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}

QColor toneColour(Tone tone) {
    switch (tone) {
        case Tone::running: return {0x3c, 0xa0, 0x4a};      // green
        case Tone::downloading: return {0x3d, 0x7e, 0xd6};  // blue
        case Tone::done: return {0x8c, 0x8c, 0x8c};         // grey
        case Tone::paused: return {0xd0, 0x9a, 0x2c};       // amber
        case Tone::late:
        case Tone::failed: return {0xd9, 0x4a, 0x3f};  // red
        // Orange, well apart from the red and the paused amber mark, and
        // bright enough for a dark background.
        case Tone::atRisk: return {0xe0, 0x7b, 0x12};
        case Tone::plain: break;
    }
    return {};
}

}  // namespace crunchwatch

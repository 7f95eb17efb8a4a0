#include "app/cell_delegates.hpp"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

#include "app/table_models.hpp"

namespace crunchwatch {

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

QColor overdueColour() { return QColor(0xd9, 0x4a, 0x3f); }

// Orange, well apart from the overdue red and the paused amber mark, and
// bright enough for a dark background.
QColor atRiskColour() { return QColor(0xe0, 0x7b, 0x12); }

QColor stateColour(const QString& state) {
    if (state == QLatin1String("running...")) return QColor(0x3c, 0xa0, 0x4a);       // green
    if (state == QLatin1String("Downloading")) return QColor(0x3d, 0x7e, 0xd6);      // blue
    if (state == QLatin1String("Finished") || state == QLatin1String("Sent")) return QColor(0x8c, 0x8c, 0x8c);
    if (state == QLatin1String("Paused")) return QColor(0xd0, 0x9a, 0x2c);           // amber
    return {};
}

}  // namespace crunchwatch

#pragma once
// How two result columns are drawn: "Progress" as a bar with the cell's own
// text over it (the platform style draws it, so dark palettes work), "State"
// with a small coloured mark that tells running, downloading, paused and
// finished results apart at a glance. A passed deadline is shown in red, and
// an expected completion after the deadline in orange.

#include <QStyledItemDelegate>

namespace crunchwatch {

class ProgressDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The mark's colour for a state text, or an invalid colour for none. Chosen
// mid-tone so that it reads on light and dark backgrounds alike.
QColor stateColour(const QString& state);
// The deadline's colour once it has passed.
QColor overdueColour();
// The expected completion's colour when it lies after the deadline.
QColor atRiskColour();

}  // namespace crunchwatch

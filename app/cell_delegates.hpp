#pragma once
// How cells look. The models say what a cell holds (its text, its value, its
// tone: a mark or a colour, see toneColour); the delegates draw it:
// "Progress" as a bar with the cell's own text over it (the platform style
// draws it, so dark palettes work), and in every table a cell whose text is
// cut off shows its whole text in its tooltip.

#include <QStyledItemDelegate>

#include "tables/columns.hpp"

namespace crunchwatch {

// Every table's cells: a cut-off text's tooltip is the whole text (and the
// cell's own explanation after it).
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // Whether the cell's text is wider than the room it is drawn in.
    bool isElided(const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

class ProgressDelegate final : public CellDelegate {
public:
    using CellDelegate::CellDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// A tone's colour, chosen mid-tone so that it reads on light and dark
// backgrounds alike; an invalid colour for a plain cell.
QColor toneColour(Tone tone);
// Whether a tone is a mark beside the text rather than the text's colour
// (in a column of marks, the results' State, every tone is a mark).
constexpr bool isMark(Tone tone) {
    return tone == Tone::running || tone == Tone::downloading || tone == Tone::done || tone == Tone::paused;
}

}  // namespace crunchwatch

#pragma once
// Charts that follow the desktop's palette, light or dark: Qt Charts' own
// light or dark theme, chosen by the palette's window colour, with the
// background, texts and grid taken from the palette itself. Applied again
// whenever the palette changes.

class QChart;
class QPalette;

namespace crunchwatch {

void styleChart(QChart* chart, const QPalette& palette);

}  // namespace crunchwatch

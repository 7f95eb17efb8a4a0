#pragma once
// Charts that follow the desktop's palette, light or dark: Qt Charts' own
// light or dark theme, chosen by the palette's window colour, with the
// background, texts and grid taken from the palette itself. Applied again
// whenever the palette changes. And date axes whose labels never repeat.

class QChart;
class QDateTimeAxis;
class QPalette;

namespace crunchwatch {

void styleChart(QChart* chart, const QPalette& palette);

// Empties `chart` of its series and axes, to be drawn anew.
void clearChart(QChart* chart);

// Sets `axis` to the moments from `first` to `last` (seconds since 1970; a
// span under two days is widened to two around its middle), with a label format and a
// number of ticks that tell every two neighbouring labels apart: months
// over a long span, days over a shorter one, hours within a few days.
void setDateRange(QDateTimeAxis* axis, double first, double last);

}  // namespace crunchwatch

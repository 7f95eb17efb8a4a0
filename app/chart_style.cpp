#include "app/chart_style.hpp"

#include <QAbstractAxis>
#include <QChart>
#include <QLegend>
#include <QPalette>

namespace crunchwatch {

void styleChart(QChart* chart, const QPalette& palette) {
    const bool dark = palette.color(QPalette::Window).lightness() < 128;
    // The theme recolours the series too: the same colours stay apart on both.
    chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart->setBackgroundBrush(palette.color(QPalette::Base));
    chart->setBackgroundRoundness(0);
    chart->setTitleBrush(palette.color(QPalette::WindowText));
    chart->legend()->setLabelColor(palette.color(QPalette::WindowText));
    QColor grid = palette.color(QPalette::WindowText);
    grid.setAlpha(40);
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsColor(palette.color(QPalette::WindowText));
        axis->setTitleBrush(palette.color(QPalette::WindowText));
        axis->setGridLineColor(grid);
        axis->setLinePenColor(grid);
    }
}

}  // namespace crunchwatch

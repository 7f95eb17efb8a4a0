#include "app/chart_style.hpp"

#include <algorithm>

#include <QAbstractAxis>
#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegend>
#include <QPalette>

namespace crunchwatch {

void clearChart(QChart* chart) {
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

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

void setDateRange(QDateTimeAxis* axis, double first, double last) {
    constexpr double day = 86400;
    if (!(last - first >= 2 * day)) {  // a lone day, or a few: two days around their middle
        const double middle = first / 2 + last / 2;
        first = middle - day;
        last = middle + day;
    }
    constexpr int mostTicks = 6;
    const double gap = (last - first) / (mostTicks - 1);
    // A gap of 31 days or more never puts two ticks in one month; one of a
    // day and a half never puts two on one date, even across a 25-hour day.
    const char* format = gap >= 31 * day ? "MMM yyyy" : gap >= 1.5 * day ? "d MMM yyyy" : "d MMM hh:mm";
    axis->setFormat(QString::fromLatin1(format));
    axis->setTickCount(mostTicks);
    axis->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(first * 1000)),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(last * 1000)));
}

}  // namespace crunchwatch

#pragma once
// Layout autosave: a window's geometry or a table's column widths, order and
// sort, kept in the settings under a name, restored when attached and saved
// once every change has settled, and at once when the window closes or the
// application quits, so that a change made just before leaving is kept.

#include <QString>

class QHeaderView;
class QWidget;

namespace crunchwatch {

class Settings;

void autosaveHeader(QHeaderView* header, Settings& settings, const QString& name);
void autosaveWindow(QWidget* window, Settings& settings, const QString& name);

}  // namespace crunchwatch

#pragma once
// Layout autosave: a window's geometry or a table's column widths, order and
// sort, kept in the settings under a name, restored when attached and saved
// shortly after every change (and when the window closes).

#include <QString>

class QHeaderView;
class QWidget;

namespace crunchwatch {

class Settings;

void autosaveHeader(QHeaderView* header, Settings& settings, const QString& name);
void autosaveWindow(QWidget* window, Settings& settings, const QString& name);

}  // namespace crunchwatch

#pragma once
// Layout autosave: a window's geometry or a table's column widths, order and
// sort, kept in the settings under a name, restored when attached and saved
// once every change has settled, and at once when the window closes or the
// application quits, so that a change made just before leaving is kept. A
// table's columns hidden or shown are part of its layout.

#include <QString>

class QHeaderView;
class QWidget;

namespace crunchwatch {

class Settings;

// The first `shownByDefault` columns are shown on a first run, the others
// hidden (-1: all shown). A layout saved when the table had fewer columns
// restores what it knew; the columns it did not know take the place, width
// and visibility they have on a first run (the header's state when this is
// called).
void autosaveHeader(QHeaderView* header, Settings& settings, const QString& name, int shownByDefault = -1);
void autosaveWindow(QWidget* window, Settings& settings, const QString& name);

// Saves the header's layout once it settles, after a change the header does
// not signal itself (a column shown or hidden).
void saveLayoutSoon(QHeaderView* header);

}  // namespace crunchwatch

#pragma once
// What the pages of figures (statistics, alarms) share: tables of displays
// and UTC times as they show them.
#include <QString>
#include <QStringList>

class QTableWidget;
class QWidget;

namespace tessaly {

// A table of displays: no editing, no focus (the menu keys stay with the
// menus), rows and columns sized to their texts.
QTableWidget* display_table(QWidget* parent, const QStringList& columns);

// Seconds since 1970 as "yyyy-MM-dd hh:mm:ss" (UTC).
QString utc_display(double seconds);

}  // namespace tessaly

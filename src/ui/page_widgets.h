#pragma once
// The look and the small texts shared by the main window and its pages.
#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <string>

#include "clock.h"
#include "format_fixed.h"

namespace tessaly {

QString time_of_day_text(double seconds);  // "hh:mm:ss", the day wrapped
QString clock_time_text(const ClockReading& r);
QString clock_date_text(const ClockReading& r);
// Background of the window and its fields (blue 255, green 128, red 0).
QColor window_colour();
void paint_field(QWidget* field);
QFont bold_font();
// A display field: read-only, never focused, no frame; painted in the
// window's colour unless told otherwise.
QLineEdit* make_field(QWidget* parent, bool painted = true);

inline QString ff(double value, int precision, int decimals) {
    return QString::fromStdString(FormatFixed(value, precision, decimals));
}
inline QString num(long long v) { return QString::number(v); }
// A text the station sent, as a display shows it: the nulls that fill up
// its last data word left out, other control characters as blanks (a font
// would show them as glyphs such as "∆").
QString display_text(const std::string& sent);

// Widgets redo their layout on every setText, even of the same text.
inline void set_text(QLineEdit* e, const QString& text) {
    if (e->text() != text) e->setText(text);
}
inline void set_text(QPlainTextEdit* e, const QString& text) {
    if (e->toPlainText() != text) e->setPlainText(text);
}

}  // namespace tessaly

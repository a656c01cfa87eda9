#include "page_widgets.h"

#include <cmath>

namespace tessaly {

QColor window_colour() { return QColor(0, 128, 255); }

void paint_field(QWidget* field) {
    QPalette pal = field->palette();
    pal.setColor(QPalette::Base, window_colour());
    pal.setColor(QPalette::Window, window_colour());
    field->setPalette(pal);
    field->setAutoFillBackground(true);
}

QFont bold_font() {
    QFont f;
    f.setBold(true);
    f.setPixelSize(13);
    return f;
}

QLineEdit* make_field(QWidget* parent, bool painted) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setFrame(false);
    if (painted) paint_field(e);
    return e;
}

QString time_of_day_text(double seconds) {
    long long s = (long long)std::floor(seconds);
    s %= 86400;
    if (s < 0) s += 86400;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString clock_time_text(const ClockReading& r) {
    return time_of_day_text(r.hour * 3600.0 + r.minute * 60.0 + r.second);
}

QString display_text(const std::string& sent) {
    QString out;
    out.reserve(qsizetype(sent.size()));
    for (const char c : sent) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0) continue;
        out += u < 0x20 || u == 0x7f ? QChar(' ') : QChar(u);
    }
    return out;
}

QString clock_date_text(const ClockReading& r) { return QString::fromStdString(date_text(r)); }

}  // namespace tessaly

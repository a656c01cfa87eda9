#include "elided_text.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace tessaly {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setMinimumWidth(40);
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width() - 2 * margin());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawFrame(&p);
    // The whole text is a hover away whenever the panel shows less.
    const QString shown = shownText();
    const QString tip = shown == text() ? QString() : text();
    if (toolTip() != tip) setToolTip(tip);
    p.drawText(contentsRect().adjusted(margin(), 0, -margin(), 0), int(alignment()), shown);
}

ElidedField::ElidedField(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) { setToolTip(t); });
}

QRect ElidedField::textRect() const {
    QStyleOptionFrame opt;
    initStyleOption(&opt);
    return style()->subElementRect(QStyle::SE_LineEditContents, &opt, this).adjusted(2, 0, -2, 0);
}

QString ElidedField::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, textRect().width());
}

void ElidedField::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionFrame opt;
    initStyleOption(&opt);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &opt, &p, this);
    p.setPen(palette().color(QPalette::Text));
    p.drawText(textRect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

}  // namespace tessaly

#pragma once
// Display widgets whose text is never cut silently: when it does not fit,
// the middle gives way to "…" and the tooltip holds the whole text. text()
// keeps returning the whole text.
#include <QLabel>
#include <QLineEdit>

namespace tessaly {

// A status bar panel.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    // The text as painted in the current width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* e) override;
};

// A read-only display field.
class ElidedField : public QLineEdit {
    Q_OBJECT
public:
    explicit ElidedField(QWidget* parent = nullptr);
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QRect textRect() const;
};

}  // namespace tessaly

#include "ui_messages.h"

#include <QApplication>
#include <QMessageBox>

#include "settings_standin.h"

namespace tessaly {

namespace {
BoxHandler& handler() {
    static BoxHandler h;
    return h;
}
}  // namespace

void show_box(BoxKind kind, const QString& text) {
    if (handler()) {
        handler()(kind, text);
        return;
    }
    QWidget* parent = QApplication::activeWindow();
    if (kind == BoxKind::Error) {
        QMessageBox::critical(parent, QStringLiteral("Error"), text, QMessageBox::Ok);
    } else {
        QMessageBox::information(parent, QApplication::applicationName(), text, QMessageBox::Ok);
    }
}

BoxHandler set_box_handler(BoxHandler h) {
    BoxHandler old = std::move(handler());
    handler() = std::move(h);
    return old;
}

SettingsRecord& settings() {
    static SettingsRecord s;
    return s;
}

}  // namespace tessaly

#include "ui_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>

namespace tessaly {

void post_box(QObject* context, const QString& caption, const QString& text) {
    QMetaObject::invokeMethod(
        context, [caption, text] { report_error(caption, text); }, Qt::QueuedConnection);
}

void install_message_boxes() {
    set_error_reporter([](const QString& caption, const QString& text) {
        QWidget* parent = QApplication::activeWindow();
        if (caption == kMessageCaption) {
            QMessageBox::information(parent, QApplication::applicationName(), text, QMessageBox::Ok);
        } else {
            QMessageBox::critical(parent, caption, text, QMessageBox::Ok);
        }
    });
}

}  // namespace tessaly

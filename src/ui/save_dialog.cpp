#include "save_dialog.h"

#include <QFileDialog>
#include <utility>

namespace tessaly {

namespace {
SaveFileAsker& current() {
    static SaveFileAsker asker;
    return asker;
}
}  // namespace

SaveFileAsker set_save_file_asker(SaveFileAsker asker) { return std::exchange(current(), std::move(asker)); }

QString ask_save_file(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter) {
    if (current()) return current()(parent, caption, suggested, filter);
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

}  // namespace tessaly

#pragma once
// The one way the program asks where to save a file. The window layer
// shows a file dialog; tests put an answer of their own in its place.
#include <QString>
#include <functional>

class QWidget;

namespace tessaly {

// Returns the chosen path, or an empty string when the operator cancelled.
using SaveFileAsker =
    std::function<QString(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter)>;

// Installs `asker` and returns the one it replaces; an empty asker puts the
// file dialog back.
SaveFileAsker set_save_file_asker(SaveFileAsker asker);

QString ask_save_file(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter);

}  // namespace tessaly

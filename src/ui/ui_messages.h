#pragma once
// Stand-in for the process-wide message seam: every modal box of the
// windows goes through here, so that tests can answer them.
#include <QString>
#include <functional>

namespace tessaly {

enum class BoxKind { Message, Error };
using BoxHandler = std::function<void(BoxKind, const QString&)>;

// Shows a modal box (or hands it to the installed handler).
void show_box(BoxKind kind, const QString& text);
// Installs a handler; an empty one restores the modal boxes. Returns the
// previous handler.
BoxHandler set_box_handler(BoxHandler handler);

}  // namespace tessaly

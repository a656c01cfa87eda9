#pragma once
// The boxes of the windows. Every one goes through the process-wide error
// seam, so that tests can answer them; the program installs the reporter
// that shows them as modal message boxes.
#include <QString>

#include "error_seam.h"

class QObject;

namespace tessaly {

inline const QString kErrorCaption = QStringLiteral("Error");
inline const QString kMessageCaption = QStringLiteral("Information");

// A modal message (" End of data", the product information).
inline void show_message(const QString& text) { report_error(kMessageCaption, text); }
// A modal error box with one OK button (a channel's error message).
inline void show_error(const QString& text) { report_error(kErrorCaption, text); }

// The same boxes, shown from the event loop once the handler that asks for
// them has returned; dropped when `context` is destroyed first. A modal box
// runs an event loop of its own: inside a socket's or a timer's handler it
// would run retries, reconnects and deletions under the object whose
// handler is still on the stack.
void post_box(QObject* context, const QString& caption, const QString& text);
inline void post_message(QObject* context, const QString& text) { post_box(context, kMessageCaption, text); }
inline void post_error(QObject* context, const QString& text) { post_box(context, kErrorCaption, text); }
inline void post_failure(QObject* context, const QString& text) { post_box(context, kFailureCaption, text); }

// Shows every report as a modal QMessageBox: an error box for errors and
// the general error report, an information box for messages.
void install_message_boxes();

}  // namespace tessaly

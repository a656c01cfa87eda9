#pragma once
// The boxes of the windows. Every one goes through the process-wide error
// seam, so that tests can answer them; the program installs the reporter
// that shows them as modal message boxes.
#include <QString>

#include "error_seam.h"

namespace tessaly {

inline const QString kErrorCaption = QStringLiteral("Error");
inline const QString kMessageCaption = QStringLiteral("Information");

// A modal message (" End of data", the product information).
inline void show_message(const QString& text) { report_error(kMessageCaption, text); }
// A modal error box with one OK button (a channel's error message).
inline void show_error(const QString& text) { report_error(kErrorCaption, text); }

// Shows every report as a modal QMessageBox: an error box for errors and
// the general error report, an information box for messages.
void install_message_boxes();

}  // namespace tessaly

#pragma once
// Records every box the program would show while it is in scope.

#include <QString>
#include <QStringList>

#include "error_seam.h"
#include "qt_printers.h"

namespace tessaly::test {

struct ErrorLog {
    QStringList captions;
    QStringList texts;
    ScopedErrorReporter scope{[this](const QString& caption, const QString& text) {
        captions << caption;
        texts << text;
    }};
};

}  // namespace tessaly::test

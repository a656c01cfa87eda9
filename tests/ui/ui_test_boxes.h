#pragma once
// Answers every error box of the windows for the length of a test and keeps
// their texts.
#include <QStringList>

#include "error_seam.h"

struct BoxAnswers {
    QStringList texts;
    tessaly::ScopedErrorReporter scope{[this](const QString&, const QString& text) { texts << text; }};
};

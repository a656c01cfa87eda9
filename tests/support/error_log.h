#pragma once
// Records every box the program would show while it is in scope.

#include <QStringList>
#include <vector>

#include "error_seam.h"
#include "qt_printers.h"

namespace tessaly::testing {

struct Box {
    QString caption;
    QString text;
    bool operator==(const Box&) const = default;
};

class BoxRecorder {
public:
    BoxRecorder() : scope_([this](const QString& caption, const QString& text) { boxes.push_back({caption, text}); }) {}
    QStringList texts() const {
        QStringList out;
        for (const Box& b : boxes) out << b.text;
        return out;
    }
    std::vector<Box> boxes;

private:
    ScopedErrorReporter scope_;
};

}  // namespace tessaly::testing

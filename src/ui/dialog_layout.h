#pragma once
// The dialogs place their controls at fixed pixel positions, as forms do.

#include <QRect>
#include <QWidget>

#include <utility>

namespace tessaly {

// Creates a control of `parent` at `place` (left, top, width, height); the
// arguments before the parent are the control's own (its caption, say).
template <class W, class... Args>
W* placed(QWidget* parent, const QRect& place, Args&&... args) {
    auto* w = new W(std::forward<Args>(args)..., parent);
    w->setGeometry(place);
    return w;
}

}  // namespace tessaly

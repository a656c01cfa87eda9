#include "event_loop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace tessaly::test {

bool spin_until(const std::function<bool()>& done, int limit_ms) {
    const QDeadlineTimer deadline(limit_ms);
    QTimer wake;  // so that waiting for events never outlasts the deadline
    wake.start(10);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace tessaly::test

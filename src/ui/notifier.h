#pragma once
// A new alarm on the desktop: a notification through the freedesktop
// notification service (org.freedesktop.Notifications) on the session's
// D-Bus. The call never waits for the answer. Where no session bus or no
// notification service runs, the first failure is one log line and nothing
// more happens.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

#include "alarm_engine.h"

namespace tessaly {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    // The bus to use instead of the session bus (tests: a private one).
    void setBus(const QDBusConnection& bus) { bus_ = bus; }

    // The begin of an alarm or notice: "Tessaly: RULE" with its detail and
    // source; alarms as critical, notices as normal urgency.
    void notify(const alarms::Event& e);

    // Notifications the service took (it answered with an id).
    int delivered() const { return delivered_; }
    // The log line of a failure, once.
    std::function<void(const QString&)> onLog;

private:
    void failed(const QString& why);

    QDBusConnection bus_;
    int delivered_ = 0;
    bool failed_ = false;
};

}  // namespace tessaly

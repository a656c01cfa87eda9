#pragma once
// The monitor as a system service: readiness, reloads, status and the
// watchdog told to systemd (sd_notify; nothing when not started by
// systemd or built without libsystemd), and the signals SIGHUP (reload),
// SIGTERM and SIGINT (stop) turned into calls on the event loop.

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QSocketNotifier;

namespace tessaly::monitord {

class ServiceNotifier : public QObject {
public:
    explicit ServiceNotifier(QObject* parent = nullptr);
    void ready(const QString& status);
    void reloading();
    void stopping();
    void status(const QString& text);

private:
    QTimer watchdog_;
};

class SignalPipe : public QObject {
public:
    std::function<void()> on_reload;
    std::function<void()> on_stop;

    explicit SignalPipe(QObject* parent = nullptr);
    ~SignalPipe() override;

private:
    void take();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tessaly::monitord

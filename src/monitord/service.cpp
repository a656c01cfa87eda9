#include "service.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdint>

#ifdef TESSALY_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace tessaly::monitord {

namespace {

void notify(const QByteArray& state) {
#ifdef TESSALY_HAVE_SYSTEMD
    sd_notify(0, state.constData());
#else
    (void)state;
#endif
}

int signal_pipe[2] = {-1, -1};

extern "C" void on_signal(int number) {
    const char c = char(number);
    const ssize_t ignored = ::write(signal_pipe[1], &c, 1);
    (void)ignored;
}

}  // namespace

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent) {
#ifdef TESSALY_HAVE_SYSTEMD
    std::uint64_t usec = 0;
    // Pinged from the event loop, so that a loop that hangs is restarted.
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        watchdog_.setInterval(int(std::max<std::uint64_t>(usec / 2000, 1)));
        connect(&watchdog_, &QTimer::timeout, this, [] { notify("WATCHDOG=1"); });
        watchdog_.start();
    }
#endif
}

void ServiceNotifier::ready(const QString& text) { notify("READY=1\nSTATUS=" + text.toUtf8()); }
void ServiceNotifier::reloading() { notify("RELOADING=1"); }
void ServiceNotifier::stopping() { notify("STOPPING=1"); }
void ServiceNotifier::status(const QString& text) { notify("STATUS=" + text.toUtf8()); }

SignalPipe::SignalPipe(QObject* parent) : QObject(parent) {
    if (signal_pipe[0] < 0 && ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalPipe::take);
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int s : {SIGHUP, SIGTERM, SIGINT}) ::sigaction(s, &sa, nullptr);
}

SignalPipe::~SignalPipe() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    for (const int s : {SIGHUP, SIGTERM, SIGINT}) ::sigaction(s, &sa, nullptr);
}

void SignalPipe::take() {
    char c = 0;
    while (::read(signal_pipe[0], &c, 1) == 1) {
        if (c == SIGHUP) {
            if (on_reload) on_reload();
        } else if (on_stop) {
            on_stop();
        }
    }
}

}  // namespace tessaly::monitord

#pragma once
// Watches one live source (TCP, NTRIP, serial) for the window: knows its
// state, says it in one line, notices silence, schedules reconnects with
// the ReconnectPolicy's backoff and keeps the outages of the run.
//
// The channel stays with its owner. The owner tells the supervisor what
// happened (connected, received, failed) and hands it two hooks: `open`
// starts one more attempt, `close` drops the channel (before a retry after
// silence). All timing runs on one one-second timer per source; received()
// costs a clock read per chunk and nothing per byte.
//
// An outage starts when a source that delivered data in this run stops
// delivering (its last byte when it fell silent, the failure otherwise) and
// ends with the first byte after it came back, or when the operator stops
// the source.

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <vector>

#include "reconnect_policy.h"
#include "source_event.h"

namespace tessaly {

class SourceSupervisor : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Connecting, Receiving, Silent, Waiting };

    using Outage = tessaly::Outage;

    static constexpr int kDefaultSilenceLimit = 20;  // s without a byte

    // Starts one more attempt of the channel; its result comes back through
    // connected() or failed() (at once or later).
    std::function<void()> open;
    // Drops the channel without a report (silence, a connect that hangs).
    std::function<void()> close;
    // The status line changed (on every state change and every second of
    // a countdown or a silence).
    std::function<void(State, const QString& text)> onStatus;
    // A failure. `first` is true for the first one of the run: the owner
    // shows that one to the operator; the later ones go to the status and
    // the log only.
    std::function<void(const QString& text, bool first)> onFailure;
    // A line for the connection log (failures, reconnects, outages).
    std::function<void(const QString& line)> onLog;
    // An outage has ended.
    std::function<void(const Outage&)> onOutage;
    // Failures, and outages at their begin and end, as every program
    // reports them (statistics, alarms).
    std::function<void(const SourceEvent&)> onEvent;

    explicit SourceSupervisor(QObject* parent = nullptr);

    // What the texts call the source: "127.0.0.1:2101", "com3 (/dev/ttyS2)".
    void setEndpoint(const QString& name) { endpoint_ = name; }
    const QString& endpoint() const { return endpoint_; }
    void setReconnect(bool on) { reconnect_ = on; }
    bool reconnect() const { return reconnect_; }
    // Seconds without a byte after which a connected source counts as lost
    // (and a connect attempt as failed); at least 1.
    void setSilenceLimit(int seconds) { silence_limit_ = seconds < 1 ? 1 : seconds; }
    int silenceLimit() const { return silence_limit_; }

    // The operator opened the source: a new run, the owner's first attempt
    // is under way.
    void start();
    // The operator closed the source or chose another one. An open outage
    // ends here.
    void stop();

    // Reports of the channel.
    void connected();
    void received() {
        last_data_ = clock_.elapsed();
        if (state_ != State::Receiving || !delivering_) data_after_quiet();
    }
    void failed(const QString& why);

    State state() const { return state_; }
    QString statusText() const;
    int attempt() const { return policy_.attempt(); }
    // Seconds until the next attempt while Waiting.
    int secondsToRetry() const { return wait_left_; }
    const std::vector<Outage>& outages() const { return outages_; }
    // Keep no list of outages (a monitor that runs for months counts them
    // itself; onOutage and onEvent still report each one).
    void setKeepOutages(bool keep) { keep_outages_ = keep; }

    // Without its own timer the owner calls tick() about once a second: a
    // monitor of thousands of sources ticks them all from one timer.
    void setOwnTimer(bool own) { own_timer_ = own; }
    void tick();

private:
    void data_after_quiet();
    void set_state(State s);
    void begin_outage(const QDateTime& start, const QString& reason);
    void end_outage(const QDateTime& end);
    void tell(SourceEvent::Kind kind, const QString& reason);
    void log(const QString& text);
    QDateTime wall_of(qint64 elapsed_ms) const;
    int silent_seconds() const { return int((clock_.elapsed() - last_data_) / 1000); }

    QTimer ticker_;
    QElapsedTimer clock_;          // started at construction
    QDateTime clock_origin_;       // wall time at clock_'s start
    ReconnectPolicy policy_;
    QString endpoint_;
    bool reconnect_ = false;
    int silence_limit_ = kDefaultSilenceLimit;
    State state_ = State::Closed;
    bool reported_ = false;        // the first failure of the run was handed on
    bool delivering_ = false;      // data came on this connection
    bool delivered_in_run_ = false;
    qint64 attempt_started_ = 0;   // clock_ ms
    qint64 first_data_ = 0;        // clock_ ms, first byte of this connection
    qint64 last_data_ = 0;         // clock_ ms, last byte (or the connect)
    int wait_left_ = 0;
    bool in_outage_ = false;
    QDateTime outage_start_;
    QString outage_reason_;
    std::vector<Outage> outages_;
    bool keep_outages_ = true;
    bool own_timer_ = true;
};

}  // namespace tessaly

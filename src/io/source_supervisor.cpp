#include "source_supervisor.h"

#include <algorithm>

#include "error_seam.h"

namespace tessaly {
namespace {

// A source this quiet is shown as silent (well before the limit ends it),
// so that the status never says "receiving" about a stream that stopped.
constexpr int kQuietShown = 5;

}  // namespace

SourceSupervisor::SourceSupervisor(QObject* parent) : QObject(parent) {
    clock_.start();
    clock_origin_ = QDateTime::currentDateTimeUtc();
    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, &SourceSupervisor::tick);
}

QDateTime SourceSupervisor::wall_of(qint64 elapsed_ms) const { return clock_origin_.addMSecs(elapsed_ms); }

void SourceSupervisor::log(const QString& text) {
    if (onLog) onLog(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + ' ' + text);
}

QString SourceSupervisor::statusText() const {
    switch (state_) {
    case State::Connecting:
        return attempt() > 0 ? QStringLiteral("connecting to %1 (attempt %2)").arg(endpoint_).arg(attempt())
                             : QStringLiteral("connecting to %1").arg(endpoint_);
    case State::Receiving:
        return delivering_ ? endpoint_ + QStringLiteral(" connected, receiving")
                           : endpoint_ + QStringLiteral(" connected, waiting for data");
    case State::Silent: return QStringLiteral("%1 silent for %2 s").arg(endpoint_).arg(silent_seconds());
    case State::Waiting: return QStringLiteral("reconnecting in %1 s (attempt %2)").arg(wait_left_).arg(attempt());
    case State::Closed: break;
    }
    return endpoint_ + QStringLiteral(" closed");
}

void SourceSupervisor::set_state(State s) {
    state_ = s;
    if (onStatus) onStatus(s, statusText());
}

void SourceSupervisor::start() {
    if (in_outage_) end_outage(QDateTime::currentDateTimeUtc());
    policy_.reset();
    reported_ = false;
    delivered_in_run_ = false;
    delivering_ = false;
    attempt_started_ = clock_.elapsed();
    if (own_timer_) ticker_.start();
    set_state(State::Connecting);
}

void SourceSupervisor::stop() {
    ticker_.stop();
    if (in_outage_) end_outage(QDateTime::currentDateTimeUtc());
    delivering_ = false;
    if (state_ != State::Closed) set_state(State::Closed);
}

void SourceSupervisor::connected() {
    if (state_ == State::Closed) return;
    delivering_ = false;
    last_data_ = clock_.elapsed();
    set_state(State::Receiving);
}

void SourceSupervisor::data_after_quiet() {
    if (state_ == State::Closed || state_ == State::Waiting) return;  // late bytes of a dropped channel
    if (!delivering_) {
        delivering_ = true;
        delivered_in_run_ = true;
        first_data_ = last_data_;
    }
    if (in_outage_) end_outage(wall_of(last_data_));
    set_state(State::Receiving);
}

namespace {

UtcTime utc_of(const QDateTime& t) { return UtcTime(std::chrono::milliseconds(t.toMSecsSinceEpoch())); }

}  // namespace

void SourceSupervisor::tell(SourceEvent::Kind kind, const QString& reason) {
    if (!onEvent) return;
    SourceEvent e{kind, utc_of(QDateTime::currentDateTimeUtc()), endpoint_.toStdString(), reason.toStdString(), {}};
    if (kind != SourceEvent::Kind::failed)
        e.outage = Outage{e.source, utc_of(outage_start_), e.time, outage_reason_.toStdString(), attempt(), false};
    onEvent(e);
}

void SourceSupervisor::begin_outage(const QDateTime& start, const QString& reason) {
    in_outage_ = true;
    outage_start_ = start;
    outage_reason_ = reason;
    tell(SourceEvent::Kind::outage_begin, reason);
}

void SourceSupervisor::end_outage(const QDateTime& end) {
    in_outage_ = false;
    const QDateTime until = std::max(end, outage_start_);
    const Outage o{endpoint_.toStdString(), utc_of(outage_start_), utc_of(until), outage_reason_.toStdString(),
                   attempt(), false};
    if (keep_outages_) outages_.push_back(o);
    log(QStringLiteral("%1: outage from %2 to %3 (%4 s)")
            .arg(endpoint_, outage_start_.toString(Qt::ISODate), until.toString(Qt::ISODate))
            .arg(outage_start_.secsTo(until)));
    if (onEvent) {
        SourceEvent e{SourceEvent::Kind::outage_end, utc_of(until), o.source, o.reason, o};
        onEvent(e);
    }
    if (onOutage) onOutage(o);
}

void SourceSupervisor::failed(const QString& why) {
    // After the operator's stop, and while a retry is scheduled (the close
    // of a channel the supervisor dropped itself), nothing is new.
    if (state_ == State::Closed || state_ == State::Waiting) return;
    const qint64 now = clock_.elapsed();
    const auto receiving = delivering_ ? std::chrono::milliseconds(last_data_ - first_data_)
                                       : std::chrono::milliseconds(0);
    // A channel's own text may name the endpoint already.
    const QString text = why.contains(endpoint_) ? why : endpoint_ + QStringLiteral(": ") + why;
    tell(SourceEvent::Kind::failed, text);
    if (delivered_in_run_ && !in_outage_ && reconnect_)
        begin_outage(state_ == State::Silent ? wall_of(last_data_) : wall_of(now), text);
    delivering_ = false;
    const bool first = !reported_;
    reported_ = true;
    log(text);
    if (reconnect_) {
        wait_left_ = int(policy_.next_wait(receiving).count());
        set_state(State::Waiting);
        log(statusText());
    } else {
        ticker_.stop();
        set_state(State::Closed);
    }
    // Last: the owner may show a box that runs its own event loop.
    if (onFailure) onFailure(text, first);
}

void SourceSupervisor::tick() {
    const qint64 now = clock_.elapsed();
    switch (state_) {
    case State::Connecting:
        // A connect to a host that never answers would take the system's
        // two minutes or more.
        if (now - attempt_started_ >= qint64(silence_limit_) * 1000) {
            if (close) close();
            failed(QStringLiteral("no connection within %1 s").arg(silence_limit_));
        }
        break;
    case State::Receiving:
        if (silent_seconds() >= std::min(kQuietShown, silence_limit_)) set_state(State::Silent);
        break;
    case State::Silent:
        if (silent_seconds() < silence_limit_) {
            set_state(State::Silent);
        } else if (reconnect_) {
            if (close) close();
            failed(QStringLiteral("no data for %1 s").arg(silence_limit_));
        } else {
            // Without reconnecting the connection is kept; the gap is an
            // outage all the same once data come again.
            if (delivered_in_run_ && !in_outage_)
                begin_outage(wall_of(last_data_), QStringLiteral("no data for %1 s").arg(silence_limit_));
            set_state(State::Silent);
        }
        break;
    case State::Waiting:
        if (--wait_left_ > 0) {
            set_state(State::Waiting);
            break;
        }
        attempt_started_ = now;
        set_state(State::Connecting);
        log(statusText());
        try {
            if (open) open();
        } catch (const Failure& f) {
            failed(f.text());
        }
        break;
    case State::Closed: break;
    }
}

}  // namespace tessaly

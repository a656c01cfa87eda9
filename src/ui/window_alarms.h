#pragma once
// The window's alarms: the engine over the window's stream, its events to
// the Alarms page, the status bar, the desktop's notifications and the
// operator's command, and a tick once a second (the engine's, for live
// sources, and the command's). The engine and the hook runner are the ones
// tessaly-decode uses; this is only their place in the window.
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "alarm_engine.h"
#include "hook_runner.h"
#include "notifier.h"

class QTimer;

namespace tessaly {

class RtcmDecoder;

class WindowAlarms : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t history_size = 1000;

    explicit WindowAlarms(const RtcmDecoder& decoder, QObject* parent = nullptr);
    ~WindowAlarms() override;

    // The rules file (empty: the default rules) and the command for every
    // event (empty: none), for the next source. A rules file that cannot be
    // read or parsed leaves the default rules in force; the reason is
    // returned (empty when all went well).
    QString configure(const QString& rulesFile, const QString& command);
    // Another source: what the previous one raised ends quietly. Live
    // sources are judged on the clock too, once a second.
    void startSource(const QString& name, bool live);
    void expect(std::vector<alarms::Expected> types);

    void frame(const stream::CompletedFrame& f);
    void sourceEvent(const SourceEvent& e);
    // The one-second step: the engine's tick (live sources) and the command's.
    void tick();

    const alarms::AlarmEngine& engine() const { return *engine_; }
    std::vector<alarms::Active> active() const { return engine_->active(); }
    // Newest last.
    const std::vector<alarms::Event>& history() const { return history_; }
    // The clock at the last completed frame (seconds since 1970); 0 before one.
    double lastFrameClock() const { return lastFrameClock_; }
    double clockNow() const;
    DesktopNotifier& notifier() { return *notifier_; }

signals:
    void alarmEvent(const tessaly::alarms::Event& e);
    // After every tick: the figures of the active alarms may have moved.
    void ticked();

private:
    void take(const alarms::Event& e);

    const RtcmDecoder& decoder_;
    alarms::Rules rules_ = alarms::Rules::defaults();
    std::unique_ptr<alarms::AlarmEngine> engine_;
    std::unique_ptr<HookRunner> hooks_;
    DesktopNotifier* notifier_;
    QTimer* timer_;
    QString source_;
    bool live_ = false;
    double lastFrameClock_ = 0;
    std::vector<alarms::Event> history_;
};

}  // namespace tessaly

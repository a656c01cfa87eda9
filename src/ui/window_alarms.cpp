// See window_alarms.h.
#include "window_alarms.h"

#include <QDebug>
#include <QFile>
#include <QTimer>

#include "alarm_text.h"
#include "rtcmdecw.h"

namespace tessaly {

WindowAlarms::WindowAlarms(const RtcmDecoder& decoder, QObject* parent)
    : QObject(parent),
      decoder_(decoder),
      engine_(std::make_unique<alarms::AlarmEngine>(rules_, std::string())),
      notifier_(new DesktopNotifier(this)),
      timer_(new QTimer(this)) {
    engine_->on_event = [this](const alarms::Event& e) { take(e); };
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, &WindowAlarms::tick);
    timer_->start();
}

WindowAlarms::~WindowAlarms() = default;

QString WindowAlarms::configure(const QString& rulesFile, const QString& command) {
    QString error;
    rules_ = alarms::Rules::defaults();
    if (!rulesFile.isEmpty()) {
        QFile f(rulesFile);
        std::string why;
        if (!f.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("Cannot read the alarm rules file %1: %2; the default rules apply.")
                        .arg(rulesFile, f.errorString());
        } else if (auto parsed = alarms::parse_rules(f.readAll().toStdString(), why)) {
            rules_ = std::move(*parsed);
        } else {
            error = QStringLiteral("The alarm rules file %1: %2; the default rules apply.")
                        .arg(rulesFile, QString::fromStdString(why));
        }
    }
    hooks_.reset();
    if (!command.trimmed().isEmpty()) {
        hooks_ = std::make_unique<HookRunner>(HookRunner::split(command.toStdString()));
        hooks_->on_problem = [](const std::string& text) {
            qInfo().noquote() << "alarm command:" << QString::fromStdString(text);
        };
    }
    return error;
}

void WindowAlarms::startSource(const QString& name, bool live) {
    source_ = name;
    live_ = live;
    lastFrameClock_ = 0;
    engine_ = std::make_unique<alarms::AlarmEngine>(rules_, name.toStdString());
    engine_->on_event = [this](const alarms::Event& e) { take(e); };
}

void WindowAlarms::expect(std::vector<alarms::Expected> types) { engine_->expect(std::move(types)); }

void WindowAlarms::frame(const stream::CompletedFrame& f) {
    lastFrameClock_ = f.utc + f.frame.latency;
    engine_->frame(f);
}

void WindowAlarms::sourceEvent(const SourceEvent& e) { engine_->source(e); }

double WindowAlarms::clockNow() const { return stream::epoch_seconds(decoder_.clock().now_utc()); }

void WindowAlarms::tick() {
    if (live_) engine_->tick(clockNow());
    if (hooks_) hooks_->poll();
    emit ticked();
}

void WindowAlarms::take(const alarms::Event& e) {
    history_.push_back(e);
    if (history_.size() > history_size) history_.erase(history_.begin());
    qInfo().noquote() << QString::fromStdString(alarms::event_line(e));
    if (hooks_)
        hooks_->run(alarms::event_fields(e));
    notifier_->notify(e);
    emit alarmEvent(e);
}

}  // namespace tessaly

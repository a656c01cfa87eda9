// The window's alarms: the "Alarms" page after the statistics, a new
// source, the count of standing alarms in the status bar, and the strip of
// a live source that went quiet, shown stale (greyed, with its age) rather
// than as current.
#include <QLineEdit>
#include <QMetaObject>

#include "RTCM_U1.h"
#include "alarm_text.h"
#include "alarms_page.h"
#include "elided_text.h"
#include "format_fixed.h"
#include "ntrip_client.h"
#include "ntrip_picker.h"
#include "ntrip_sourcetable.h"
#include "stats_page.h"
#include "window_alarms.h"

namespace tessaly {

void TForm1::setUpAlarms() {
    alarms_ = new WindowAlarms(decoder_, this);
    alarmsPage_ = new AlarmsPage(*alarms_, settings_, pages_);
    pages_->addTab(alarmsPage_, QStringLiteral("Alarms"));
    connect(alarms_, &WindowAlarms::alarmEvent, this, [this](const alarms::Event& e) {
        if (e.begin) statsPage_->countAlarm(e.rule);
    });
    connect(alarmsPage_, &AlarmsPage::countChanged, this, &TForm1::showAlarmCount);
    connect(alarms_, &WindowAlarms::ticked, this, &TForm1::showStaleness);
    alarms_->notifier().onLog = [this](const QString& line) { connectionLog_.append(line); };
}

void TForm1::alarmsForNewSource() {
    ++sourceRun_;
    QString name;
    switch (settings_.source) {
    case kSourceFile: name = settings_.fileName; break;
    case kSourceSerial: name = settings_.comport; break;
    case kSourceInternet: name = settings_.address + ':' + settings_.port; break;
    case kSourceNtrip: name = QString::fromStdString(ntrip_url(settings_).endpoint()); break;
    default: break;
    }
    const bool live = settings_.source == kSourceSerial || settings_.source == kSourceInternet ||
                      settings_.source == kSourceNtrip;
    // The settings as they stand when the source opens, as for the rest.
    const QString error = alarms_->configure(settings_.alarmRules, settings_.alarmCommand);
    // From the event loop: this may run inside the window's construction.
    if (!error.isEmpty()) QMetaObject::invokeMethod(this, [error] { show_error(error); }, Qt::QueuedConnection);
    alarms_->startSource(name, live);
    alarmsPage_->refresh();
    if (settings_.source != kSourceNtrip || !alarms_->engine().rules().expect.empty()) return;
    // The types the mountpoint's sourcetable entry promises, for `missing`.
    ntrip::Url url = ntrip_url(settings_);
    const std::string mount = url.mount;
    url.mount.clear();
    if (url.host.empty() || url.port == 0 || mount.empty()) return;
    auto* table = new NtripClient(this);
    table->setUrl(url);
    connect(table, &NtripClient::sourcetableReceived, this, [this, mount, run = sourceRun_](const ntrip::Sourcetable& t) {
        if (run != sourceRun_) return;  // another source by now
        for (const ntrip::StreamRecord& s : t.streams) {
            if (s.mountpoint != mount) continue;
            std::string why;
            if (const auto list = alarms::parse_expected(s.format_details, why)) alarms_->expect(*list);
            else connectionLog_.append(QString::fromStdString("sourcetable format details of " + mount + ": " + why));
        }
    });
    connect(table, &NtripClient::closed, table, &QObject::deleteLater);
    table->fetchSourcetable();
}

void TForm1::showAlarmCount(int standing, int unacknowledged) {
    ElidedLabel* panel = panels_[3];
    const QString text = standing == 0  ? QString()
                         : standing == 1 ? QStringLiteral("1 alarm")
                                         : QStringLiteral("%1 alarms").arg(standing);
    panel->setText(unacknowledged == 0 && standing > 0 ? text + QStringLiteral(" (acknowledged)") : text);
    panel->setStyleSheet(unacknowledged > 0 ? QStringLiteral("color: red") : QString());
}

void TForm1::showStaleness() {
    using State = SourceSupervisor::State;
    const bool live = settings_.source == kSourceSerial || settings_.source == kSourceInternet ||
                      settings_.source == kSourceNtrip;
    const double last = alarms_->lastFrameClock();
    const bool stale = live && last > 0 && supervisor_->state() != State::Receiving;
    if (!stale && !stripStale_) return;
    const QString age = stale ? QString::number(std::max(0.0, alarms_->clockNow() - last), 'f', 0) : QString();
    for (QLineEdit* e : {strip_.station, strip_.health, strip_.latency, strip_.refX, strip_.refY, strip_.refZ,
                         strip_.sequence, strip_.mzCount, strip_.frames, strip_.special}) {
        e->setEnabled(!stale);  // greyed
        e->setToolTip(stale ? QStringLiteral("not current: the last frame came %1 s ago").arg(age) : QString());
    }
    // The latency of the last frame would read as the age of what is shown.
    strip_.latency->setText(stale ? age + QStringLiteral(" s old")
                                  : QString::fromStdString(FormatFixed(noted_.latency, 10, 3)));
    stripStale_ = stale;
}

}  // namespace tessaly

#include "caster_watch.h"

#include "ntrip_client.h"
#include "ntrip_sourcetable.h"

namespace tessaly::monitord {

namespace {

// Mountpoint names become metric labels and log text: printable ASCII
// without '/' only.
bool usable_name(const std::string& name) {
    if (name.empty()) return false;
    for (const char c : name)
        if (c <= 0x20 || c >= 0x7f || c == '/') return false;
    return true;
}

}  // namespace

CasterWatch::CasterWatch(CasterSetup setup, Log log, QObject* parent)
    : QObject(parent), setup_(std::move(setup)), log_(std::move(log)) {
    timer_.setInterval(setup_.interval_s * 1000);
    connect(&timer_, &QTimer::timeout, this, &CasterWatch::fetch);
}

CasterWatch::~CasterWatch() = default;

void CasterWatch::start() {
    timer_.start();
    fetch();
}

void CasterWatch::fetch() {
    if (client_) return;  // the last read is still under way
    client_ = std::make_unique<NtripClient>();
    client_->setUrl(setup_.url);
    got_table_ = false;
    failure_.clear();
    connect(client_.get(), &NtripClient::sourcetableReceived, this,
            [this](const ntrip::Sourcetable& t) { table(t); });
    connect(client_.get(), &NtripClient::failed, this,
            [this](NtripClient::Failure, const QString& message) { failure_ = message; });
    connect(client_.get(), &NtripClient::closed, this, [this] {
        if (!got_table_) {
            ++failures_;
            table_read_ = false;
            log_("caster " + QString::fromStdString(setup_.name) + ": sourcetable not read: " +
                 (failure_.isEmpty() ? QStringLiteral("no answer") : failure_));
        }
        client_.release()->deleteLater();
    });
    client_->fetchSourcetable();
}

void CasterWatch::table(const ntrip::Sourcetable& t) {
    const QString name = QString::fromStdString(setup_.name);
    if (!t.complete) {
        failure_ = QStringLiteral("the sourcetable ended before ENDSOURCETABLE");
        return;
    }
    got_table_ = true;
    table_read_ = true;
    std::map<std::string, std::string> selected;
    std::vector<StreamSetup> streams;
    for (const ntrip::StreamRecord& r : t.streams) {
        if (!setup_.selects(r.mountpoint, r.format, r.is_rtcm2())) continue;
        if (!usable_name(r.mountpoint)) {
            log_("caster " + name + ": mountpoint name with spaces, '/' or control characters skipped");
            continue;
        }
        if (!selected.emplace(r.mountpoint, r.format_details).second) continue;  // listed twice
        streams.push_back(setup_.stream(r.mountpoint, r.format_details, r.nmea, r.latitude, r.longitude));
    }
    if (have_table_ && selected != current_) {
        ++changes_;
        for (const auto& [mount, details] : selected)
            if (!current_.contains(mount))
                log_("caster " + name + ": mountpoint " + QString::fromStdString(mount) + " appeared");
        for (const auto& [mount, details] : current_)
            if (!selected.contains(mount))
                log_("caster " + name + ": mountpoint " + QString::fromStdString(mount) +
                     " is gone from the sourcetable: its stream stops");
    }
    if (!have_table_)
        log_("caster " + name + ": " + QString::number(selected.size()) + " of " + QString::number(t.streams.size()) +
             " mountpoints selected");
    have_table_ = true;
    current_ = std::move(selected);
    if (on_streams) on_streams(setup_.name, streams);
}

}  // namespace tessaly::monitord

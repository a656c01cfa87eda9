#include "monitor.h"

#include <QDateTime>

#include <set>

namespace tessaly::monitord {

Monitor::Monitor(Shard shard, Log log, int rest_ms, QObject* parent)
    : QObject(parent), shard_(shard), log_(std::move(log)), reactor_(rest_ms) {
    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, &Monitor::tick);
    ticker_.start();
}

Monitor::~Monitor() {
    casters_.clear();
    streams_.clear();
}

void Monitor::tick() {
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    for (auto& [name, stream] : streams_) stream->tick(now);
}

void Monitor::run(const StreamSetup& setup) {
    if (!shard_.owns(setup.name)) return;
    const auto it = streams_.find(setup.name);
    if (it != streams_.end()) {
        if (it->second->setup() == setup) return;
        stop(setup.name, QStringLiteral("its definition changed"));
    }
    auto stream = std::make_unique<MonitoredStream>(reactor_, setup, log_);
    MonitoredStream& s = *stream;
    streams_.emplace(setup.name, std::move(stream));
    log_(s.label() + ": watching " + QString::fromStdString(setup.source.name()));
    s.start();
}

void Monitor::stop(const std::string& name, const QString& why) {
    const auto it = streams_.find(name);
    if (it == streams_.end()) return;
    log_(it->second->label() + ": stopped: " + why);
    streams_.erase(it);
}

void Monitor::apply(const RunConfig& config) {
    // Casters first: a removed or changed one takes its streams along,
    // while a changed one keeps them until its new table says otherwise.
    std::set<std::string> casters;
    for (const CasterSetup& c : config.casters) {
        casters.insert(c.name);
        const auto it = casters_.find(c.name);
        if (it != casters_.end() && it->second->setup() == c) continue;
        auto watch = std::make_unique<CasterWatch>(c, log_);
        watch->on_streams = [this](const std::string& caster, const std::vector<StreamSetup>& setups) {
            caster_streams(caster, setups);
        };
        CasterWatch& w = *watch;
        casters_[c.name] = std::move(watch);
        log_("caster " + QString::fromStdString(c.name) + ": following the sourcetable of " +
             QString::fromStdString(c.url.display()) + " every " + QString::number(c.interval_s) + " s");
        w.start();
    }
    std::set<std::string> wanted;
    for (const StreamSetup& s : config.streams) wanted.insert(s.name);
    for (auto it = casters_.begin(); it != casters_.end();) {
        if (casters.contains(it->first)) {
            ++it;
            continue;
        }
        log_("caster " + QString::fromStdString(it->first) + ": removed from the configuration");
        it = casters_.erase(it);
    }
    std::vector<std::string> gone;
    for (const auto& [name, stream] : streams_) {
        const std::string& caster = stream->setup().caster;
        if (caster.empty() ? !wanted.contains(name) : !casters.contains(caster)) gone.push_back(name);
    }
    for (const std::string& name : gone) stop(name, QStringLiteral("removed from the configuration"));
    for (const StreamSetup& s : config.streams) run(s);
}

void Monitor::caster_streams(const std::string& caster, const std::vector<StreamSetup>& setups) {
    std::set<std::string> listed;
    for (const StreamSetup& s : setups) listed.insert(s.name);
    std::vector<std::string> gone;
    for (const auto& [name, stream] : streams_)
        if (stream->setup().caster == caster && !listed.contains(name)) gone.push_back(name);
    for (const std::string& name : gone) stop(name, QStringLiteral("gone from its caster's sourcetable"));
    for (const StreamSetup& s : setups) run(s);
}

}  // namespace tessaly::monitord

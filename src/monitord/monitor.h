#pragma once
// The network monitor's streams and casters, on one event loop: applies a
// configuration (at the start and at every reload, keeping every stream
// whose definition did not change), follows the casters' sourcetables, and
// ticks every stream once a second from one timer.

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "caster_watch.h"
#include "config_file.h"
#include "monitor_config.h"
#include "monitored_stream.h"
#include "reactor.h"

namespace tessaly::monitord {

class Monitor : public QObject {
public:
    using Log = std::function<void(const QString& line)>;

    // `rest_ms`: how long the sockets rest between wake-ups (Reactor).
    Monitor(Shard shard, Log log, int rest_ms = 50, QObject* parent = nullptr);
    ~Monitor() override;

    void apply(const RunConfig& config);

    // By name, so that every listing comes sorted.
    const std::map<std::string, std::unique_ptr<MonitoredStream>>& streams() const { return streams_; }
    const std::map<std::string, std::unique_ptr<CasterWatch>>& casters() const { return casters_; }
    const Reactor& reactor() const { return reactor_; }

private:
    void tick();
    void caster_streams(const std::string& caster, const std::vector<StreamSetup>& setups);
    // Starts `setup` unless a stream of that name runs it already; one of
    // that name with another definition is stopped first.
    void run(const StreamSetup& setup);
    void stop(const std::string& name, const QString& why);

    Shard shard_;
    Log log_;
    Reactor reactor_;
    QTimer ticker_;
    std::map<std::string, std::unique_ptr<MonitoredStream>> streams_;
    std::map<std::string, std::unique_ptr<CasterWatch>> casters_;
};

}  // namespace tessaly::monitord

#pragma once
// A [caster.NAME] section at work: reads the caster's sourcetable at the
// start and then every interval, and hands the monitor the streams of the
// RTCM 2 mountpoints it selects. A read that fails, or a table cut off
// before its end, changes nothing: streams are only ever stopped because
// a complete table no longer lists them.

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "config_file.h"
#include "ntrip_sourcetable.h"

namespace tessaly {
class NtripClient;
}

namespace tessaly::monitord {

class CasterWatch : public QObject {
public:
    using Log = std::function<void(const QString& line)>;
    // The selected mountpoints' streams, after every complete table.
    std::function<void(const std::string& caster, const std::vector<StreamSetup>& streams)> on_streams;

    CasterWatch(CasterSetup setup, Log log, QObject* parent = nullptr);
    ~CasterWatch() override;

    void start();
    const CasterSetup& setup() const { return setup_; }

    bool table_read() const { return table_read_; }  // the latest read succeeded
    std::uint64_t changes() const { return changes_; }
    std::uint64_t failures() const { return failures_; }

private:
    void fetch();
    void table(const ntrip::Sourcetable& t);

    CasterSetup setup_;
    Log log_;
    QTimer timer_;
    std::unique_ptr<NtripClient> client_;
    bool have_table_ = false;
    bool table_read_ = false;
    bool got_table_ = false;  // in the read under way
    QString failure_;
    std::map<std::string, std::string> current_;  // mountpoint → format details
    std::uint64_t changes_ = 0;
    std::uint64_t failures_ = 0;
};

}  // namespace tessaly::monitord

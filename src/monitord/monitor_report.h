#pragma once
// What the monitor's HTTP interface serves: the metrics of every stream
// and caster (Prometheus text or OpenMetrics) and /streams.json.

#include <QByteArray>

#include <string>

#include "metrics_text.h"
#include "monitor.h"
#include "process_figures.h"

namespace tessaly::monitord {

// The monitor's own state, beside its streams.
struct DaemonFigures {
    bool last_reload_ok = true;
    double last_reload_time = 0;  // seconds since 1970
    ProcessFigures process;
};

std::string metrics_text(const Monitor& monitor, const DaemonFigures& daemon, stats::MetricsFormat format,
                         double now);

// One JSON object per stream, sorted by name.
QByteArray streams_json(const Monitor& monitor, double now);

}  // namespace tessaly::monitord

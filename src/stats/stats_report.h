#pragma once
// The statistics written out: one line per interval, a closing block, a
// JSON object and CSV, all from a Snapshot.

#include <string>

#include "stream_stats.h"

namespace tessaly::stats {

// One line for an interval, e.g.
// "72744.6-72804.6 s: bytes 5120 (85.3 B/s), frames 60 [1:10 18:25 19:25], ..."
std::string interval_line(const Snapshot& s);

// The closing block, one figure per line, one line per message type and
// outage and a line of stations.
std::string final_block(const Snapshot& s);

// One JSON object on one line, "class":"STATS"; `final` tells the closing
// object from the interval ones.
std::string to_json(const Snapshot& s, bool final);

// Comma-separated: figure,value rows, then a table of the message types,
// then one of the outages.
std::string to_csv(const Snapshot& s);

// A number with a fixed count of decimals ("%.*f"), as every report and
// alarm detail prints its figures.
std::string fixed(double v, int decimals);

}  // namespace tessaly::stats

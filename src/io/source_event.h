#pragma once
// What the supervision of a live source saw, in one form for every program:
// the window's supervisor, tessaly-decode's follower and the network
// monitor all report failures and outages as these, on the UTC axis of
// std::chrono::system_clock. No Qt, no I/O.
//
// An outage starts with the last byte of a source that had delivered data
// and then failed or fell silent, and ends with the first byte after it
// came back (or when the run ends: `ongoing`).

#include <chrono>
#include <string>

namespace tessaly {

using UtcTime = std::chrono::system_clock::time_point;

// Seconds since 1970-01-01 UTC, the unit the statistics and alarms count in.
inline double utc_seconds(UtcTime t) { return std::chrono::duration<double>(t.time_since_epoch()).count(); }
inline UtcTime utc_time(double seconds) {
    return UtcTime(std::chrono::duration_cast<UtcTime::duration>(std::chrono::duration<double>(seconds)));
}

struct Outage {
    std::string source;  // as the source is named in texts, never with a password
    UtcTime start;
    UtcTime end;
    std::string reason;    // what ended the connection
    int attempts = 0;      // connection attempts made during the outage
    bool ongoing = false;  // the run ended before the source came back

    double seconds() const { return std::chrono::duration<double>(end - start).count(); }
};

struct SourceEvent {
    enum class Kind {
        failed,        // an attempt or a connection failed (`reason`); more may follow
        outage_begin,  // `outage.start` and `outage.reason` are set
        outage_end,    // `outage` is complete
    };
    Kind kind = Kind::failed;
    UtcTime time;        // when it was noticed
    std::string source;
    std::string reason;  // failed: the failure's text
    Outage outage;       // outage_begin, outage_end
};

}  // namespace tessaly

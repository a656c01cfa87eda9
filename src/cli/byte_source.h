#pragma once
// Where tessaly-decode reads its bytes from: a file, standard input, a
// serial device, a TCP connection or an NTRIP caster's mountpoint. Live
// sources (all but files and standard input) are watched for silence and,
// with `reconnect`, followed across outages with a growing wait.
//
// SIGINT and SIGTERM (after install_stop_signals()) end the reading
// cleanly: read_source returns SourceEnd::stopped and the caller writes
// what it has.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "credentials.h"
#include "source_event.h"

namespace tessaly::cli {

using ChunkSink = std::function<void(std::span<const std::uint8_t>)>;

// One outage of a live source: from the failure to the first byte of the
// next good connection (or to the end of the run).
using Outage = tessaly::Outage;

struct SourceOptions {
    bool reconnect = false;
    int baud = 9600;           // serial devices
    int silence_s = 20;        // live sources: seconds without a byte; 0 waits for ever
    // Failures at once, an outage at its begin and at its end.
    std::function<void(const SourceEvent&)> on_event;
    // About once a second while a live source is read or waited for (not
    // for files and standard input), with the time of the call.
    std::function<void(UtcTime)> on_tick;
    std::optional<credentials::Login> ntrip_login;  // NTRIP: in place of the URL's user and password
};

struct SourceEnd {
    enum class How { done, stopped, failed };
    How how = How::done;
    std::string error;  // How::failed: one line naming the cause
};

// "outage of SOURCE from T to T (D s, K attempts): REASON", and the same
// as a JSON object of class OUTAGE.
std::string outage_line(const Outage& outage);
std::string outage_json(const Outage& outage);

// Makes SIGINT and SIGTERM stop read_source instead of the program.
void install_stop_signals();
// True once a stop signal came. From then on a write blocked on an output
// that takes nothing is interrupted at least once a second (SIGALRM), so
// that it can give up instead of keeping the run from ending.
bool stop_requested();

// Reads the source, handing every chunk to `sink` in order.
SourceEnd read_source(const std::string& source, const ChunkSink& sink, const SourceOptions& options = {});

// The Qt application the NTRIP channel needs, made once when there is none.
void ensure_qt_application();

// The format details ("1(1),3(10)") of the mountpoint of an ntrip:// source
// in its caster's sourcetable; nothing, and `failure` set, when the table
// cannot be had or lacks the mountpoint.
std::optional<std::string> mountpoint_format_details(const std::string& source, std::string& failure);

}  // namespace tessaly::cli

#pragma once
// Streams through the pipeline and the alarm engine, read as a file (all
// at once, the clock standing still) or as a live source (the clock
// following the stream, a tick after every step).
#include <cstdint>
#include <string>
#include <vector>

#include "alarm_engine.h"
#include "clock.h"

namespace tessaly::testing {

// The bytes up to `end` have arrived by stream time `utc`.
struct Step {
    std::size_t end;
    double utc;
};

ClockReading reading_at(double utc);

// Every event of the stream. Live: before each step the clock reads its
// time plus `lag`, and the engine ticks at that reading after it.
std::vector<alarms::Event> replay(const std::vector<std::uint8_t>& bytes, const std::vector<Step>& steps,
                                  const alarms::Rules& rules, bool live, double lag = 0.3);

// One step per completed frame: where it ends and its time, as a decoder
// whose clock reads `start` places them.
std::vector<Step> frame_steps(const std::vector<std::uint8_t>& bytes, double start);

// "begin prc_step 1140.0 PRC of G7 jumped 50.0 m (limit 10 m)" per line,
// times after `origin`.
std::string show(const std::vector<alarms::Event>& events, double origin = 0);

std::vector<std::uint8_t> read_bytes(const std::string& path);

}  // namespace tessaly::testing

#pragma once
// The source manager's flags and counters.
#include <cstdint>

namespace tessaly {

struct SourceState {
    bool clientStarted = false;    // a TCP connect got under way
    bool clientBusy = false;       // a TCP data event is being handled
    bool fileBusy = false;         // the file reader is running
    bool halted = false;           // file reading paused (and at close)
    bool openStoreAtStart = false; // storing dialog at the next Timer1 tick
    std::int32_t byteCount = 0;    // TCP bytes since the last rate tick
    std::int32_t lastRate = 0;     // bit/s
};

}  // namespace tessaly

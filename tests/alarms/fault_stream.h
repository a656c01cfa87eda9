#pragma once
// 48 minutes of a clean beacon-like stream (types 9, 1, 3, 7, 16 of
// station 42) into which faults are injected one after the other, each
// with the rule that must see it.
#include <cstdint>
#include <vector>

#include "alarm_test_util.h"

namespace tessaly::testing {

inline constexpr double fault_stream_start = 1796544000;  // 2026-12-06T08:00:00Z

struct Fault {
    const char* name;
    const char* rule;
    double from, to;  // s after the start
    // When the rule can first see the fault (its own measure: 3 intervals
    // of a type, a window filling, the silence limit) and when the fault's
    // trace leaves the rule's view; both in s after the start.
    double seen, cleared;
};
const std::vector<Fault>& faults();

struct FaultStream {
    std::vector<std::uint8_t> bytes;
    std::vector<Step> steps;  // one per Z-count
};
FaultStream build_fault_stream();

// The defaults, with types 1 and 3 expected every 6 and 30 s.
alarms::Rules fault_stream_rules();
inline constexpr const char* fault_stream_rules_file = "[missing]\nexpect=1(6),3(30)\n";

}  // namespace tessaly::testing

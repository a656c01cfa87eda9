// Arbitrary bytes into a fresh decoder with a fixed clock. The first byte
// picks the clock's minute, so that the frame-hour branches are reached.
#include <cstddef>
#include <cstdint>

#include "rtcmdecw.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessaly;
    if (size == 0) return 0;
    FixedClock clock({2026, 12, 31, 23, int(data[0] % 60), 30, 0});
    RtcmDecoder d(clock);
    for (std::size_t i = 1; i < size; ++i) d.rtcm_decode_byte(data[i]);
    return 0;
}

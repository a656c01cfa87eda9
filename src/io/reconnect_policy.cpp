#include "reconnect_policy.h"

#include <algorithm>

namespace tessaly {

ReconnectPolicy::seconds ReconnectPolicy::next_wait(std::chrono::steady_clock::duration receiving) {
    if (receiving >= good_) attempt_ = 0;
    ++attempt_;
    // 1 << 8 is the longest wait; later attempts keep it (and the shift
    // never grows past it, however long the outage lasts).
    const int doubling = std::min(attempt_ - 1, 8);
    return std::min(kFirstWait * (1 << doubling), kLongestWait);
}

}  // namespace tessaly

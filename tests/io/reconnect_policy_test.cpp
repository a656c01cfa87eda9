#include "reconnect_policy.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessaly {
namespace {

using std::chrono::seconds;

std::vector<long> waits(ReconnectPolicy& p, int n, seconds receiving = {}) {
    std::vector<long> out;
    for (int i = 0; i < n; ++i) out.push_back(long(p.next_wait(receiving).count()));
    return out;
}

TEST(ReconnectPolicy, DoublesToTheCapAndOnlyAGoodConnectionStartsOver) {
    ReconnectPolicy p(seconds(30));
    EXPECT_EQ(waits(p, 12), (std::vector<long>{1, 2, 4, 8, 16, 32, 64, 128, 256, 256, 256, 256}));
    EXPECT_EQ(p.attempt(), 12);
    p.reset();
    waits(p, 4);
    // Connections that fell before delivering for long keep the backoff.
    EXPECT_EQ(waits(p, 2, seconds(29)), (std::vector<long>{16, 32}));
    EXPECT_EQ(p.next_wait(seconds(30)), seconds(1));
    EXPECT_EQ(waits(p, 1), (std::vector<long>{2}));
    EXPECT_EQ(p.attempt(), 2);
    p.reset();
    EXPECT_EQ(waits(p, 1), (std::vector<long>{1}));
}

}  // namespace
}  // namespace tessaly

// The forwarding ring: no chunk lost when the writer laps the drain, no
// drain inside a drain, and a failed write leaves the rest waiting.
#include <gtest/gtest.h>

#include <stdexcept>

#include "send_ring.h"

using tessaly::Tsend_buffer;

namespace {

std::vector<std::string> drain(Tsend_buffer& r) {
    std::vector<std::string> out;
    r.drain([&](const std::string& c) { out.push_back(c); });
    return out;
}

// 250 chunks between two drains: the ring holds 100, the rest wait behind
// them; every chunk is written once, in order, also across stores made
// while the drain runs; a drain started inside it does nothing.
TEST(SendRing, LappingTheDrainLosesNothing) {
    Tsend_buffer r;
    std::vector<std::string> expected;
    for (int i = 0; i < 250; ++i) {
        expected.push_back(std::to_string(i));
        r.store(expected.back());
    }
    EXPECT_EQ(r.waiting(), 250u);
    std::vector<std::string> written;
    r.drain([&](const std::string& c) {
        written.push_back(c);
        if (written.size() == 120) {
            r.store("late");
            expected.push_back("late");
            EXPECT_TRUE(drain(r).empty());
        }
    });
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(r.empty());
    EXPECT_FALSE(r.busy);
}

TEST(SendRing, FailedWriteKeepsTheRestWaiting) {
    Tsend_buffer r;
    for (const char* c : {"1", "2", "3"}) r.store(c);
    EXPECT_THROW(r.drain([](const std::string& c) {
        if (c == "2") throw std::runtime_error("port gone");
    }),
                 std::runtime_error);
    EXPECT_FALSE(r.busy);
    EXPECT_EQ(drain(r), std::vector<std::string>({"3"}));
}

}  // namespace

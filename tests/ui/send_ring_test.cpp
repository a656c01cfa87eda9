// The forwarding ring: entry numbering, order, and no chunk lost when the
// writer laps the drain.
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

TEST(SendRing, EntriesWrapFromHundredToOne) {
    Tsend_buffer r;
    r.reset();
    for (int i = 1; i <= 101; ++i) {
        r.store("c" + std::to_string(i));
        EXPECT_EQ(r.inIndex, i == 101 ? 1 : i);
        EXPECT_EQ(drain(r), std::vector<std::string>({"c" + std::to_string(i)}));
        EXPECT_EQ(r.outIndex, r.inIndex);
    }
    EXPECT_EQ(r.entry(1), "c101");
    EXPECT_EQ(r.entry(100), "c100");
    EXPECT_TRUE(drain(r).empty());
}

// 250 chunks between two drains: the ring holds 100, the rest wait behind
// them; every chunk is written once, in order, also across further stores.
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
            r.store("late");  // arrives while the drain runs
            expected.push_back("late");
        }
    });
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(r.empty());
}

TEST(SendRing, DrainDoesNotRunInsideItself) {
    Tsend_buffer r;
    r.store("x");
    r.store("y");
    std::vector<std::string> inner;
    std::vector<std::string> outer = {};
    r.drain([&](const std::string& c) {
        outer.push_back(c);
        inner = drain(r);
    });
    EXPECT_TRUE(inner.empty());
    EXPECT_EQ(outer, std::vector<std::string>({"x", "y"}));
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

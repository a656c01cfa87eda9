// Ageing. Purge and insert-or-replace are followed
// through whole streams in the message tests.
#include <gtest/gtest.h>

#include "rtcmtype.h"

using namespace tessaly;

TEST(Staleness, AgesAcrossMidnightAndKeepsEqualOrNewerRecords) {
    EXPECT_FALSE(is_stale(100, 100));           // the same Z-count: a multiple-message set
    EXPECT_FALSE(is_stale(100, 100.25));        // measurement time after the frame time
    EXPECT_FALSE(is_stale(160, 100));           // 60 s is not more than 60 s
    EXPECT_TRUE(is_stale(161, 100));
    EXPECT_FALSE(is_stale(30, 86390));          // 23:59:50 seen at 00:00:30: 40 s
    EXPECT_TRUE(is_stale(60, 86390));           // at 00:01:00: 70 s
    EXPECT_FALSE(is_stale(10, 86395));          // 15 s
    EXPECT_DOUBLE_EQ(record_age(30, 86390), 40);
}

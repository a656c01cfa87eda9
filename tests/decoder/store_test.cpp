// Ageing and the slot table. Purge and insert-or-replace are followed
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

TEST(SlotTable, StableRowsAndSlotElevenDisplaced) {
    sv_slot_table t;
    t.sv_slots_clear();
    EXPECT_EQ(t.sv_slot_of(3), 0);
    EXPECT_EQ(t.sv_slot_of(9), 1);
    t.sv_slots_mark_all();
    EXPECT_EQ(t.sv_slot_of(9), 1);
    EXPECT_EQ(t.sv_slot_of(12), 2);
    t.sv_slots_free_marked();  // 3 was not asked for: its row is freed
    EXPECT_EQ(t.at(0).sv, 0);
    EXPECT_EQ(t.sv_slot_of(20), 0);

    for (std::uint8_t sv = 21; sv < 30; ++sv) t.sv_slot_of(sv);  // slots 3..11
    EXPECT_EQ(t.at(11).sv, 29);
    EXPECT_EQ(t.sv_slot_of(31), 11);
    EXPECT_EQ(t.sv_slot_of(32), 11);
    EXPECT_EQ(t.at(11).sv, 32);
    EXPECT_EQ(t.sv_slot_of(21), 3);
}

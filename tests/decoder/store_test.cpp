// Ageing, insert-or-replace and the slot table.
#include <gtest/gtest.h>

#include "rtcmtype.h"

using namespace tessaly;

namespace {

std::unique_ptr<rtcm_sat_1_type> sat(std::uint8_t sv, double time, double range = 0) {
    auto r = std::make_unique<rtcm_sat_1_type>();
    r->sv = sv;
    r->time = time;
    r->range_corr = range;
    return r;
}

std::vector<int> svs(const rtcm_sat_1_type* p) {
    std::vector<int> out;
    for (; p; p = p->next.get()) out.push_back(p->sv);
    return out;
}

}  // namespace

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

TEST(SatelliteList, PurgeKeepsOrderAndInsertReplacesInPlace) {
    rtcm_data_1_type store;
    EXPECT_DOUBLE_EQ(store.time, -1);
    EXPECT_EQ(store.list, nullptr);

    insert_record(store.list, sat(5, 100, 1.0));
    insert_record(store.list, sat(7, 100));
    insert_record(store.list, sat(9, 100));
    // 10 s later satellite 5 again: new values at its old position.
    purge_list(store.list, 110);
    insert_record(store.list, sat(5, 110, 2.0));
    EXPECT_EQ(svs(store.list.get()), (std::vector<int>{5, 7, 9}));
    EXPECT_DOUBLE_EQ(store.list->range_corr, 2.0);
    // 61 s after the frame that last carried 7 and 9 they go; 5 stays.
    purge_list(store.list, 161);
    EXPECT_EQ(svs(store.list.get()), (std::vector<int>{5}));
    insert_record(store.list, sat(12, 161));
    EXPECT_EQ(svs(store.list.get()), (std::vector<int>{5, 12}));
    // A repeated frame (same time) purges nothing.
    purge_list(store.list, 161);
    EXPECT_EQ(list_length(store.list.get()), 2u);
}

TEST(SatelliteList, MeasurementStoresStartEmpty) {
    rtcm_data_19_type s19;
    rtcm_data_21_type s21;
    EXPECT_EQ(s19.freq, 255);
    EXPECT_EQ(s19.smooth, 255);
    EXPECT_EQ(s21.smooth, 255);
    EXPECT_EQ(s19.current_list(), nullptr);
    rtcm_data_16_type s16;
    EXPECT_EQ(s16.text, std::string(168, ' '));
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

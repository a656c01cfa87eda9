// Message 3 (station coordinates) and message 16 (text).

#include "more_types_text.h"
#include "decoder_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

TEST(Station, CoordinatesAndTheirLastChange) {
    Link l;
    const auto& s = l.d.stores.data_3;
    // X = -1 and the others come back as the previous coordinates below.
    l.send({.type = 3, .zcount = 10, .data = station_words(-1, 66378276, -503069032)});
    EXPECT_EQ(std::tuple(s.prev_x, s.frame_length, s.time_received, s.date_changed), std::tuple(0, 6, 36006.0, "06.12.2026"));
    const double first_change = s.time_changed;
    EXPECT_DOUBLE_EQ(first_change, day_number(l.clock.now_utc()));
    EXPECT_TRUE(l.d.delivery.station_stored);

    // The same coordinates a day later: only the time of receipt moves.
    l.clock.set({2026, 12, 7, 10, 20, 0, 0});
    l.send({.type = 3, .zcount = 20, .data = station_words(-1, 66378276, -503069032)});
    EXPECT_EQ(std::tuple(s.time_received, s.time_changed, s.date_changed), std::tuple(36012.0, first_change, "06.12.2026"));

    // A failed third word: nothing changes.
    l.send({.type = 3, .zcount = 30, .data = station_words(5, 6, 7), .corrupt = {4}});
    EXPECT_EQ(std::tuple(s.x, s.time_received), std::tuple(-1, 36012.0));
    EXPECT_FALSE(l.d.delivery.station_stored || l.d.stores.frame_error_3);

    l.send({.type = 3, .zcount = 40, .data = station_words(5, 6, 7)});
    EXPECT_EQ((std::vector<int>{s.prev_x, s.prev_y, s.prev_z, s.x, s.y, s.z}),
              (std::vector<int>{-1, 66378276, -503069032, 5, 6, 7}));
    EXPECT_EQ(s.date_changed, "07.12.2026");
    EXPECT_EQ(l.d.frames_completed, 4u);
}

TEST(Station, AlwaysFourDataWordsWhateverTheLength) {
    // N = 5 declared: the fifth data word is read as header word 1.
    Link l;
    auto words = station_words(1, 2, 3);
    words.push_back(0x123456);
    l.send({.type = 3, .zcount = 10, .data = words});
    EXPECT_EQ(std::tuple(l.d.stores.data_3.z, l.d.stores.data_3.frame_length, l.d.frames_completed, l.d.sync_losses),
              std::tuple(3, 7, 1u, 1u));

    // N = 2 declared: the frame takes the next two words as its own.
    Link m;
    m.send({.type = 3, .zcount = 10, .data = station_words(8, 9, 10), .length = 2});
    EXPECT_EQ(std::tuple(m.d.stores.data_3.z, m.d.frames_completed), std::tuple(10, 1u));
    m.send({.type = 16, .zcount = 11, .data = text_words("OK")});
    EXPECT_EQ(m.d.stores.data_16.text, std::string("OK\0", 3));
}

TEST(Text, NullsAreKeptAndAFailedWordLosesItsCharacters) {
    Link l;
    l.send({.type = 16, .zcount = 10, .data = text_words("SAPOS_E")});
    EXPECT_EQ(l.d.stores.data_16.text, std::string("SAPOS_E\0\0", 9));

    l.send({.type = 16, .zcount = 11, .data = text_words("abcdefghi"), .corrupt = {3}});
    EXPECT_EQ(l.d.stores.data_16.text, "abcghi");

    l.send({.type = 16, .zcount = 12, .data = {}});  // N = 0 leaves the text alone
    EXPECT_EQ(l.d.stores.data_16.text, "abcghi");
    EXPECT_DOUBLE_EQ(l.d.stores.data_16.time, 36000 + 11 * 0.6);
}

// Message 14's line on the other-type page, and its warning when the hour
// of the week disagrees with the hour the frame time came from (the clock).
TEST(StationText, GpsTimeLineWarnsWhenTheClockHourDisagrees) {
    Link l;  // clock at 10:20
    auto week_hour_leap = [](std::uint32_t hour) { return std::vector<std::uint32_t>{(601u << 14) | (hour << 6) | 18u}; };
    l.send({.type = 14, .zcount = 100, .data = week_hour_leap(24 * 3 + 10)});
    EXPECT_EQ(more_type_line(l.d), "GPS week 601 hour 82 leap seconds 18");
    l.send({.type = 14, .zcount = 100, .data = week_hour_leap(109)});
    EXPECT_EQ(more_type_line(l.d),
              "GPS week 601 hour 109 leap seconds 18 - hour 13 of the day, the clock gives 10: check the computer's clock");
}

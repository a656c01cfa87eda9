// Types 15, 27 and 36, which no peer decodes: the encoder's field values come
// back exactly through the JSON members and the line of the other-type page;
// a frame with a failed word or too short for its layout gives no members.
// Type 17 is checked against RTKLIB in convbin_made_test.cpp.
#include <nlohmann/json.hpp>

#include "decoder_test_util.h"
#include "json_output.h"
#include "more_types_text.h"

using namespace tessaly;
using namespace tessaly::testing;
using nlohmann::json;

namespace {

// A beacon of 27: the fields of 7, then 72 bits of its own.
void put_beacon(BitPacker& p, std::uint16_t lat, std::uint16_t lon, std::uint32_t range, std::uint32_t freq,
                std::uint32_t health, std::uint32_t id, std::uint32_t rate, std::uint32_t flags, std::uint32_t ext) {
    p.put(lat, 16).put(lon, 16).put(range, 10).put(freq, 12).put(health, 2).put(id, 10).put(rate, 3).put(flags, 3);
    p.put(ext, 24).put(~ext & 0xFFFFFFu, 24).put(0x00FF00, 24);
}

std::vector<std::uint32_t> beacons_27() {
    BitPacker p;
    put_beacon(p, 0x7FFF, 0x8001, 1023, 4095, 3, 1023, 7, 7, 0xABCDEF);
    put_beacon(p, 0x4000, 0x2000, 300, 1200, 0, 513, 3, 0, 0x000001);
    return p.words();
}

}  // namespace

TEST(MoreTypes, FieldsComeBackExactly) {
    const struct {
        const char* name;
        std::uint8_t type;
        std::vector<std::uint32_t> data;
        const char* members;  // expected JSON members
        const char* line;     // expected line of the other-type page
    } cases[] = {
        {"15 at the limits", 15,
         iono_words({{.sv = 5, .delay = 16383, .rate = -8192}, {.glonass = true, .sv = 0, .delay = 1, .rate = 8191},
                     {.sv = 31, .delay = 1234, .rate = -1}}),
         R"({"satellites":[{"ident":5,"g":0,"delay":16.383,"rate":-409.6},{"ident":32,"g":1,"delay":0.001,"rate":409.55},
             {"ident":31,"g":0,"delay":1.234,"rate":-0.05}]})",
         "ionospheric delay: G5 16.383 m -409.60 cm/min; R32 0.001 m 409.55 cm/min; G31 1.234 m -0.05 cm/min;"},
        {"27, two beacons", 27, beacons_27(),
         R"({"satellites":[{"lat":90,"lon":-180,"range":1023,"frequency":599.5,"health":3,"station_id":1023,"bitrate":300,
             "ext":"abcdef54321000ff00"},{"lat":45.0014,"lon":45.0014,"range":300,"frequency":310,"health":0,
             "station_id":513,"bitrate":110,"ext":"000001fffffe00ff00"}]})",
         "beacons: 1023 599.5 kHz 90.0000 -180.0000; 513 310.0 kHz 45.0014 45.0014;"},
        {"36, text as sent", 36, text_words("GLONASS \xC7\xCC\"\\!"),
         R"({"message":"GLONASS \u00c7\u00cc\"\\!\u0000\u0000"})", "GLONASS message: GLONASS \xC7\xCC\"\\!"},
    };
    for (const auto& c : cases) {
        Link l;
        l.send({.type = c.type, .zcount = 100, .data = c.data});
        const json got = json::parse(cli::frame_json(l.d)), want = json::parse(c.members);
        for (const auto& [key, value] : want.items()) EXPECT_EQ(got[key], value) << c.name << " " << key;
        EXPECT_EQ(more_type_line(l.d), c.line) << c.name;

        // The same frame with a failed word, then cut short: no members, and
        // the record keeps the whole frame's values.
        l.send({.type = c.type, .zcount = 101, .data = c.data, .corrupt = {3}});
        EXPECT_FALSE(json::parse(cli::frame_json(l.d)).contains(want.begin().key())) << c.name;
        l.send({.type = c.type, .zcount = 102, .data = {c.data.begin(), c.data.begin() + 1}});
        const bool short_decodes = c.type == 36;  // a word of text is a whole text
        EXPECT_EQ(json::parse(cli::frame_json(l.d)).contains(want.begin().key()), short_decodes) << c.name;
    }
}

TEST(MoreTypes, EphemerisNeedsItsTwentyWords) {
    Link l;
    auto words = ephemeris_words({.week = 5, .sv = 0, .health = 63});
    l.send({.type = 17, .zcount = 100, .data = words});
    EXPECT_EQ(more_type_line(l.d), "ephemeris G32 week 5 IODE 0 toe 0 s health 63 URA index 0");
    words.pop_back();
    l.send({.type = 17, .zcount = 101, .data = words});
    EXPECT_FALSE(json::parse(cli::frame_json(l.d)).contains("ident"));
    EXPECT_EQ(l.d.stores.more.data_17.time, 36060.0);  // the whole frame's
}

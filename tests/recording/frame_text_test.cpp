// The decoded-frame text blocks, from stores filled by hand. Expected
// texts are written out column by column from the file layout.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "frame_text.h"

using namespace tessaly;

namespace {

std::string lines(std::initializer_list<const char*> ls) {
    std::string s;
    for (const char* l : ls) s += std::string(l) + "\r\n";
    return s;
}

std::string block(const RtcmDecoder& d) {
    std::string s;
    append_frame_text(s, d);
    return s;
}

template <class Sat>
Sat& add(std::unique_ptr<Sat>& list, Sat sat) {
    auto p = std::make_unique<Sat>(std::move(sat));
    Sat& ref = *p;
    insert_record(list, std::move(p));
    return ref;
}

double phase_err(int q) { return std::exp(q / std::sqrt(3.0)) / 256; }
double range_err(int q) { return 0.02 * std::exp(0.4 * q); }
double multipath(int m) { return 0.1 * std::exp(0.4 * m); }
constexpr double t_meas = 36000.123456;

struct Frame {
    RtcmDecoder d;
    Frame(std::uint8_t type, double latency = 1.5) {
        d.header = {.msg_type = type, .station_id = 5, .frame_time = 36000.0, .frame_length = 7};
        d.latency = latency;
    }
};

}  // namespace

TEST(FrameText, CorrectionsLayout) {
    Frame f(1);
    auto& st = f.d.stores.data_1;
    st.time = 36000.0;
    add(st.list, rtcm_sat_1_type{.time = 36000.0, .udre = 0, .sv = 5, .range_corr = -1.5, .rate_corr = -0.02f, .iod = 33});
    add(st.list, rtcm_sat_1_type{.time = 35990.4, .scale = true, .udre = 3, .sv = 32, .range_corr = 10485.44,
                                 .rate_corr = 4.064f, .iod = 255});
    EXPECT_EQ(block(f.d), lines({
        "frame: 1 latency: 1.500",
        "Differential GPS corrections                       FRAME 01",
        "M-Z-Count  : 36000.0",
        "SV | Factor  | UDRE m|PsRangeCo m|RaRaCo m/s| IOD |M-Z-Count",
        "===|=========|=======|===========|==========|=====|=========",
        " 5 | fine    | ... 1 |     -1.50 |  -0.020  |   33| 36000.0",
        "32 | coarse  | 8 ... |  10485.44 |   4.064  |  255| 35990.4",
        "",
    }));

    // An empty list: no rows and no blank line; type 9 has its own labels.
    Frame g(9, -0.0004);
    EXPECT_EQ(block(g.d), lines({
        "frame: 9 latency: 0.000",
        "Partial Differential GPS corrections               FRAME 09",
        "M-Z-Count (last receive) :    -1.0",
        "SV | Factor  | UDRE m|PsRangeCo m|RaRaCo m/s| IOD |M-Z-Count",
        "===|=========|=======|===========|==========|=====|=========",
    }));
}

TEST(FrameText, StationTextAndOtherLayouts) {
    Frame f(3);
    auto& st3 = f.d.stores.data_3;
    st3.x = -258937712;
    st3.y = 467613298;
    st3.z = -1;
    st3.time_received = 36000.6;
    st3.time_changed = 46362.4270833;
    st3.date_changed = "06.12.2026";
    EXPECT_EQ(block(f.d), lines({
        "frame: 3 latency: 1.500",
        "Reference station coordinates                      FRAME 03",
        " X :  -2589377.12",
        " Y :   4676132.98",
        " Z :        -0.01",
        " Last receive : 36000.6      ",
        " Last change  : 46362.4      06.12.2026",
        "",
    }));

    Frame t(16);
    std::string text(100, 'x');
    text[3] = '\0';  // written unchanged
    t.d.stores.data_16.text = text;
    EXPECT_EQ(block(t.d), "frame: 16 latency: 1.500\r\n"
                          "Special Frame  INFOTEXT                            FRAME 16\r\n" +
                              text.substr(0, 90) + "\r\n\r\n");

    // Other types show the header; a cleared header (failed header word) is type 0.
    Frame o(22);
    o.d.header.frame_length = 5;
    o.d.header.frame_time = 3599.4;
    EXPECT_EQ(block(o.d), lines({"frame: 22 latency: 1.500", "other frame  :  22      Length :  5",
                                 "m-z-count    :  3599.4"}));
    o.d.header = {};
    EXPECT_EQ(block(o.d), lines({"frame: 0 latency: 1.500", "other frame  :   0      Length :  0",
                                 "m-z-count    :     0.0"}));
}

TEST(FrameText, MeasurementLayouts18And19) {
    Frame f(18);
    auto& st18 = f.d.stores.data_18;
    EXPECT_EQ(block(f.d), lines({  // no frame of the type yet: no frequency line, no rows
        "frame: 18 latency: 1.500",
        "Uncorrected Carrier Phase Measurement              FRAME 18",
        "SV |PhErr  cycle|Loss| Wave | Code| Phase cycles | EXP-Time  s",
        "===|============|====|======|=====|==============|==========",
    }));
    st18.freq = 0;
    st18.meas_time = t_meas;
    add(st18.sat_list[0], rtcm_sat_18_type{.meas_time = t_meas, .half_wave = true, .sv = 3, .phase_err = phase_err(7),
                                           .loss = 5, .phase = 1234.625});
    add(st18.sat_list[0], rtcm_sat_18_type{.meas_time = t_meas, .p_code = true, .sv = 12, .phase_err = phase_err(6),
                                           .loss = 31, .phase = -1 / 256.0});
    add(st18.sat_list[2], rtcm_sat_18_type{.sv = 9});  // another frequency: not shown
    EXPECT_EQ(block(f.d), lines({
        "frame: 18 latency: 1.500",
        "Uncorrected Carrier Phase Measurement              FRAME 18",
        "Freq.:  L1                   EXP-Time : 36000.123456 s",
        "SV |PhErr  cycle|Loss| Wave | Code| Phase cycles | EXP-Time  s",
        "===|============|====|======|=====|==============|==========",
        " 3 |  > 0.22230 |  5 | HALF | C/A |      1234.63 | 36000.123456",
        "12 | <= 0.12480 | 31 | FULL |  P  |         0.00 | 36000.123456",
        "",
    }));

    Frame g(19);
    auto& st19 = g.d.stores.data_19;
    st19.freq = 2;
    st19.meas_time = t_meas;
    add(st19.sat_list[2], rtcm_sat_19_type{.meas_time = t_meas, .sv = 7, .pr_err = range_err(15),
                                           .mp_err = multipath(14), .pseudorange = 123456789.01});
    add(st19.sat_list[2], rtcm_sat_19_type{.meas_time = t_meas, .p_code = true, .sv = 8, .pr_err = range_err(0),
                                           .mp_err = multipath(15), .pseudorange = 20000000.0});
    add(st19.sat_list[2], rtcm_sat_19_type{.meas_time = t_meas, .sv = 9, .pr_err = range_err(14),
                                           .mp_err = multipath(0), .pseudorange = -0.004});
    // smooth 255: the smoothing line runs into the column header.
    EXPECT_EQ(block(g.d), lines({
        "frame: 19 latency: 1.500",
        "Uncorrected Pseudorange Measurement                FRAME 19",
        "Freq.:  L2                   EXP-Time   : 36000.123456 s",
        "Smooth-int : SV |PsRaErr | Multipatherr m |Code|PseudoRange m |  EXP-TIME s",
        "===|========|================|====|==============|==========",
        " 7 | > 8.069|    >  27.043   | C/A| 123456789.01  | 36000.123456",
        " 8 |<= 0.020| not determined |  P | 20000000.00  | 36000.123456",
        " 9 |<= 5.409|   <=   0.100   | C/A|        0.00  | 36000.123456",
        "",
    }));
}

TEST(FrameText, RtkLayouts20And21) {
    Frame f(20);
    auto& st20 = f.d.stores.data_20;
    st20.freq = 1;
    st20.meas_time = t_meas;
    add(st20.sat_list[1], rtcm_sat_20_type{.meas_time = t_meas, .half_wave = true, .sv = 10, .phase_err = phase_err(7),
                                           .loss = 3, .iod = 200, .phase_corr = -1.5});
    add(st20.sat_list[1], rtcm_sat_20_type{.meas_time = t_meas, .sv = 11, .phase_err = phase_err(6), .loss = 31,
                                           .iod = 0, .phase_corr = 65535.99609375});
    EXPECT_EQ(block(f.d), lines({
        "frame: 20 latency: 1.500",
        "RTK carrier phase correction                       FRAME 20",
        "Freq.:  IONOSPHERIC DIFF.    EXP-Time   : 36000.123456 s",
        "SV | PhErr cycle | loss | wave | IOD | phasecorr |  EXP-Time s",
        "===|=============|======|======|=====|===========|==========",
        "10 |  > 0.22230  |  3 | HALF |200|     -1.50 | 36000.123456",
        "11 | <= 0.12480  | 31 | FULL |  0|  65536.00 | 36000.123456",
        "",
    }));

    Frame g(21);
    auto& st21 = g.d.stores.data_21;
    st21.freq = 2;
    st21.smooth = 1;
    st21.meas_time = t_meas;
    const double coarse7 = std::exp(0.4 * 7) * 0.4907;
    add(st21.sat_list[2], rtcm_sat_21_type{.meas_time = t_meas, .sv = 4, .pr_err = range_err(0), .mp_err = multipath(7),
                                           .iod = 17, .prc = -0.02, .rrc = -0.256});
    add(st21.sat_list[2], rtcm_sat_21_type{.meas_time = t_meas, .p_code = true, .sv = 5, .pr_scale = true,
                                           .pr_err = coarse7, .mp_err = multipath(14), .iod = 255, .prc = 10485.44,
                                           .rrc = 4.064});
    add(st21.sat_list[2], rtcm_sat_21_type{.meas_time = t_meas, .sv = 6, .pr_err = range_err(7), .mp_err = multipath(15)});
    EXPECT_EQ(block(g.d), lines({
        "frame: 21 latency: 1.500",
        "RTK pseudorange corrections                        FRAME 21",
        "Freq.:  L2                   EXP-Time   : 36000.123456 s",
        "Smooth-int : 1 to 5 Minutes  ",
        "SV |PsRaEr m|M-p-err m| code| IOD|PsRange m|RaRaCo| EXP-Time s",
        "===|========|=========|=====|====|=========|======|=========",
        " 4 |<= 0.020|<=  1.644|  Y  | 17|    -0.02|-0.256| 36000.123456",
        " 5 | > 8.069| > 27.043|  P  |255| 10485.44| 4.064| 36000.123456",
        " 6 |<= 0.329|n. determ|  Y  |  0|     0.00| 0.000| 36000.123456",
        "",
    }));
    // On L1 the same C/A entries are C/A again.
    st21.freq = 0;
    st21.smooth = 3;
    add(st21.sat_list[0], rtcm_sat_21_type{.meas_time = t_meas, .sv = 4, .mp_err = multipath(7)});
    EXPECT_NE(block(g.d).find("Smooth-int : indefinite      \r\n"), std::string::npos);
    EXPECT_NE(block(g.d).find(" 4 |<= 0.000|<=  1.644| C/A |  0|     0.00| 0.000| 36000.123456\r\n"),
              std::string::npos);
}

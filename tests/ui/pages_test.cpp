// The page steps: every cell text, the row rule and the dispatch, with the
// stores filled directly (the decoders that fill them are tested on their own).
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>

#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

template <class Sat>
void push(std::unique_ptr<Sat>& list, Sat s) {
    insert_record(list, std::make_unique<Sat>(std::move(s)));
}

QStringList row(const SatellitePage& p, int r) {
    QStringList out;
    for (int c = 0; c < p.table->columnCount(); ++c) out << p.table->cell(c, r);
    return out;
}

QStringList titles(const SatellitePage& p) {
    QStringList out;
    for (int c = 0; c < p.table->columnCount(); ++c) out << p.table->title(c);
    return out;
}

const QStringList blank7(7, " ");

class PagesTest : public ::testing::Test {
protected:
    PagesTest() : w(rig.open()), p(w.pages()), s(rig.decoder.stores) {}
    WindowRig rig;
    TForm1& w;
    MessagePages& p;
    rtcm_stores& s;
};

TEST_F(PagesTest, ResetGivesFifteenBlankRows) {
    for (auto page : {MessagePages::Type1, MessagePages::Type2, MessagePages::Type9}) {
        EXPECT_EQ(p.page(page).table->rowCount(), 15);
        EXPECT_EQ(row(p.page(page), 14), blank7);
    }
    EXPECT_EQ(p.subPage(MessagePages::Type21, MessagePages::Special).table->rowCount(), 15);
    EXPECT_EQ(p.otherLines(), QStringList(15, " "));
    EXPECT_EQ(p.type3Text()->toPlainText(), "");
    EXPECT_EQ(titles(p.page(MessagePages::Type9)),
              QStringList({"SV", "Factor", "UDRE [m]", "PsRangeCorr [m]", "RaRaCorr [m/s]", "IOD", "M-Z-Count"}));
    EXPECT_EQ(titles(p.subPage(MessagePages::Type21, MessagePages::L2)),
              QStringList({"SV", "PsRaErr [m]", "M-P-Err [m]", "Code", "IOD", "PsRange [m]", "RaRaCorr",
                           "Exp.-Meas.-Time [s]"}));
}

TEST_F(PagesTest, Corrections) {
    for (auto* store : {&s.data_1, &s.data_2, &s.data_9}) {
        store->time = 1234.6;
        store->frame_length = 7;
        push(store->list, {.time = 1234.6, .udre = 1, .sv = 5, .range_corr = -1.5, .rate_corr = 0.25f, .iod = 77});
        push(store->list, {.time = 0.6, .scale = true, .udre = 3, .sv = 32, .range_problem = true,
                           .rate_corr = -0.032f, .iod = 0});
        push(store->list, {.time = 2.4, .udre = 0, .sv = 9, .range_corr = 655.34, .rate_problem = true, .iod = 1});
    }
    for (int t : {1, 2, 9}) p.ShowMessagePage(t);
    for (auto page : {MessagePages::Type1, MessagePages::Type2}) {
        const SatellitePage& sp = p.page(page);
        EXPECT_EQ(sp.header->text(), "1234.6 length:7");
        EXPECT_EQ(row(sp, 0), QStringList({"  5", " fine  ", "  1 - 4", "   -1.50", "   0.250", "   77", "   1234.6"}));
        EXPECT_EQ(row(sp, 1), QStringList({"  32", " coarse", "  8 ...", "   error    ", "   -0.032", "   0", "   0.6"}));
        EXPECT_EQ(row(sp, 2), QStringList({"  9", " fine  ", "  ... 1", "   655.34", "   error ", "   1", "   2.4"}));
    }
    // Type 9 has no problem marks: its columns always show the values.
    const SatellitePage& nine = p.page(MessagePages::Type9);
    EXPECT_EQ(row(nine, 0), QStringList({"   5", " fine  ", "  1 - 4", "    -1.50", "    0.250", "    77", "    1234.6"}));
    EXPECT_EQ(row(nine, 1), QStringList({"   32", " coarse", "  8 ...", "    0.00", "    -0.032", "    0", "    0.6"}));
    EXPECT_EQ(row(nine, 2), QStringList({"   9", " fine  ", "  ... 1", "    655.34", "    0.000", "    1", "    2.4"}));
}

TEST_F(PagesTest, CorrectionsWithoutDataChangeNothing) {
    s.data_1.time = -1;
    push(s.data_1.list, {.sv = 5});
    s.data_2.time = 10;  // empty list
    p.ShowMessagePage(1);
    p.ShowMessagePage(2);
    EXPECT_EQ(row(p.page(MessagePages::Type1), 0), blank7);
    EXPECT_EQ(p.page(MessagePages::Type1).header->text(), "");
    EXPECT_EQ(p.page(MessagePages::Type2).header->text(), "");
}

// A satellite keeps its row; a new one takes the first free row; rows of
// satellites that left keep their texts.
TEST_F(PagesTest, SatellitesKeepTheirRows) {
    s.data_1.time = 10;
    push(s.data_1.list, {.time = 10, .sv = 5, .iod = 1});
    push(s.data_1.list, {.time = 10, .sv = 7, .iod = 2});
    p.ShowMessagePage(1);
    s.data_1.list.reset();
    push(s.data_1.list, {.time = 20, .sv = 12, .iod = 3});
    push(s.data_1.list, {.time = 20, .sv = 7, .iod = 4});
    p.ShowMessagePage(1);
    const SatellitePage& sp = p.page(MessagePages::Type1);
    EXPECT_EQ(sp.table->cell(0, 0) + sp.table->cell(5, 0), "  5   1");
    EXPECT_EQ(sp.table->cell(0, 1) + sp.table->cell(5, 1), "  7   4");
    EXPECT_EQ(sp.table->cell(0, 2) + sp.table->cell(5, 2), "  12   3");
}

TEST_F(PagesTest, StationParameters) {
    auto& d = s.data_3;
    d.frame_length = 6;
    d.x = 123456789;
    d.y = -5;
    d.z = 0;
    d.prev_x = 1;
    d.prev_y = 2;
    d.prev_z = -300;
    d.time_received = 36600.6;
    d.time_changed = day_number({2026, 12, 5, 23, 59, 58, 500});
    d.date_changed = "05.12.2026";
    p.ShowMessagePage(3);
    EXPECT_EQ(w.strip().refX->text() + "|" + w.strip().refY->text() + "|" + w.strip().refZ->text(),
              "1234567.89|-0.05|0.00");
    EXPECT_EQ(p.type3Header()->text(), "36600.6 length:6");
    EXPECT_EQ(p.type3Text()->toPlainText(), " new Reference Station Parameters\n"
                                            " X: 1234567.89\n"
                                            " Y: -0.05\n"
                                            " Z: 0.00\n"
                                            " M-Z-Count: 36600.6   10:10:00\n"
                                            " Last receive: 10:12:00  06.12.2026\n"
                                            " Last Change : 23:59:58  05.12.2026\n"
                                            " from:\n"
                                            " X: 0.01\n"
                                            " Y: 0.02\n"
                                            " Z: -3.00");
}

// Only the sub-page of the list that holds records changes; lists map to
// sub-pages as L1 0, L2 2, Ionosph. Difference 1, Special 3.
TEST_F(PagesTest, UncorrectedPhases) {
    auto& d = s.data_18;
    d.freq = 2;
    d.meas_time = 36600.5;
    push(d.sat_list[2], {.meas_time = 36600.5, .half_wave = true, .p_code = true, .sv = 3, .phase_err = 0.1248,
                         .loss = 17, .phase = -12345.678});
    push(d.sat_list[2], {.meas_time = 36600.25, .sv = 4, .phase_err = 0.25, .loss = 0, .phase = 0.005});
    push(d.sat_list[1], {.meas_time = 1.0, .sv = 30, .phase_err = 0.0});
    p.ShowMessagePage(18);
    const SatellitePage& l2 = p.subPage(MessagePages::Type18, MessagePages::L2);
    EXPECT_EQ(l2.header->text(), "36600.500000");
    EXPECT_EQ(row(l2, 0), QStringList({"  3", "<= 0.12480", " 17", " HALF", "  P ", " -12345.68", " 36600.500000"}));
    EXPECT_EQ(row(l2, 1), QStringList({"  4", " > 0.25000", " 0", " FULL", " C/A", " 0.01", " 36600.250000"}));
    // The row table is shared: rows 0 and 1 were still held while the
    // ionospheric list (visited after L2) took its first free row.
    const SatellitePage& iono = p.subPage(MessagePages::Type18, MessagePages::Iono);
    EXPECT_EQ(row(iono, 0), blank7);
    EXPECT_EQ(row(iono, 2), QStringList({"  30", "<= 0.00000", " 0", " FULL", " C/A", " 0.00", " 1.000000"}));
    const SatellitePage& l1 = p.subPage(MessagePages::Type18, MessagePages::L1);
    EXPECT_EQ(l1.header->text(), "");
    EXPECT_EQ(row(l1, 0), blank7);
}

TEST_F(PagesTest, UncorrectedRanges) {
    auto& d = s.data_19;
    d.freq = 0;
    d.smooth = 1;
    d.meas_time = 36600.5;
    push(d.sat_list[0], {.meas_time = 36600.5, .sv = 1, .pr_err = 6.0, .mp_err = 18.5, .pseudorange = 21234567.12});
    push(d.sat_list[0], {.meas_time = 36600.5, .p_code = true, .sv = 2, .pr_err = 6.5, .mp_err = 19.0});
    push(d.sat_list[0], {.meas_time = 36600.5, .sv = 17, .pr_err = 0.1, .mp_err = 28.0});
    p.ShowMessagePage(19);
    const SatellitePage& l1 = p.subPage(MessagePages::Type19, MessagePages::L1);
    EXPECT_EQ(l1.header->text(), "Time:36600.500000  Smoothing:1 to 5 Minutes");
    EXPECT_EQ(row(l1, 0), QStringList({"  1", "<= 6.000", "  <=  18.500", " C/A", " 21234567.12", " 36600.500000"}));
    EXPECT_EQ(row(l1, 1), QStringList({"  2", " > 6.500", "   >  19.000", "  P ", " 0.00", " 36600.500000"}));
    EXPECT_EQ(row(l1, 2), QStringList({"  17", "<= 0.100", " not determ.", " C/A", " 0.00", " 36600.500000"}));
}

TEST_F(PagesTest, PhaseCorrections) {
    auto& d = s.data_20;
    d.freq = 3;
    d.meas_time = 100.125;
    push(d.sat_list[3], {.meas_time = 100.125, .half_wave = true, .sv = 21, .phase_err = 0.2, .loss = 3, .iod = 5,
                         .phase_corr = 1.25});
    push(d.sat_list[3], {.meas_time = 100.125, .sv = 22, .phase_err = 0.1, .phase_corr = -0.5});
    p.ShowMessagePage(20);
    const SatellitePage& sp = p.subPage(MessagePages::Type20, MessagePages::Special);
    EXPECT_EQ(sp.header->text(), "  100.125000");
    EXPECT_EQ(row(sp, 0), QStringList({" 21", " > 0.20000", " 3", " HALF", " 5", " 1.25", " 100.125000"}));
    EXPECT_EQ(row(sp, 1), QStringList({" 22", " <= 0.10000", " 0", " FULL", " 0", " -0.50", " 100.125000"}));
}

// The code column of type 21 follows the frequency of the latest frame.
TEST_F(PagesTest, RangeCorrections) {
    auto& d = s.data_21;
    d.smooth = 3;
    d.meas_time = 36600.5;
    push(d.sat_list[0], {.meas_time = 36600.5, .sv = 8, .pr_err = 6.0, .mp_err = 19.0, .iod = 9, .prc = -3.2,
                         .rrc = 0.016});
    push(d.sat_list[2], {.meas_time = 36600.5, .sv = 8, .pr_err = 0.5, .mp_err = 30.0, .iod = 9, .prc = 1});
    push(d.sat_list[2], {.meas_time = 36600.5, .p_code = true, .sv = 9, .mp_err = 1.5});
    d.freq = 2;
    p.ShowMessagePage(21);
    const SatellitePage& l1 = p.subPage(MessagePages::Type21, MessagePages::L1);
    const SatellitePage& l2 = p.subPage(MessagePages::Type21, MessagePages::L2);
    EXPECT_EQ(l1.header->text(), "Exp.Time: 36600.500000  Smoothing:indefinite     ");
    EXPECT_EQ(row(l1, 0), QStringList({" 8", " > 6.000", " > 19.000", "  Y ", " 9", "-3.20", "0.016", "36600.500000"}));
    EXPECT_EQ(row(l2, 0), QStringList({" 8", "<= 0.500", "not determ", "  Y ", " 9", "1.00", "0.000", "36600.500000"}));
    EXPECT_EQ(row(l2, 1), QStringList({" 9", "<= 0.000", "<= 1.500", "  P ", " 0", "0.00", "0.000", "36600.500000"}));
    d.freq = 0;
    d.smooth = 0;
    p.ShowMessagePage(21);
    EXPECT_EQ(l1.table->cell(3, 0), " C/A");
    EXPECT_EQ(l2.table->cell(3, 0), " C/A");
    EXPECT_EQ(l2.header->text(), "Exp.Time: 36600.500000  Smoothing:0 to 1 Minutes");
}

// Types without a page of their own scroll through the "other Type" box,
// which keeps the 16 newest lines.
TEST_F(PagesTest, OtherTypes) {
    auto& d = s.data_other;
    d.frame_length = 4;
    d.time = 36600;
    const int types[17] = {4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 17, 22, 23, 24, 25, 63};
    for (int i = 0; i < 17; ++i) {
        d.msg_type = types[i];
        d.raw = "AB" + std::to_string(i);
        p.ShowMessagePage(d.msg_type);
    }
    EXPECT_EQ(p.otherHeader()->text(), "Type: 63  Length: 4");
    EXPECT_EQ(p.otherZcount()->text(), "36600.0");
    ASSERT_EQ(p.otherLines().size(), 16);
    EXPECT_EQ(p.otherLines().front(), "5:AB1");
    EXPECT_EQ(p.otherLines().back(), "63:AB16");
    EXPECT_EQ(p.otherText()->toPlainText(), p.otherLines().join('\n'));
    // Outside 1..63 nothing is shown.
    for (int t : {0, 64}) {
        d.msg_type = t;
        p.ShowMessagePage(t);
    }
    EXPECT_EQ(p.otherLines().back(), "63:AB16");
    EXPECT_EQ(p.otherHeader()->text(), "Type: 63  Length: 4");
}

}  // namespace

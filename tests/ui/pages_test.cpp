// The page steps where the stream test cannot reach them: the row rule, the
// list to sub-page mapping, the marks of values beyond their tables, the
// code column following the frequency, and the "other Type" box. The
// stores are filled directly; the cells a decoded stream fills are checked
// by the stream test.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>

#include "rtcm_encoder.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

template <class List>
void push(List& list, typename List::value_type s) {
    list.put(s);
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

// Fifteen blank rows first. Without a time nothing changes. A satellite
// keeps its row; the row of one that left is blanked and a newcomer takes it.
TEST_F(PagesTest, SatellitesKeepTheirRows) {
    for (auto page : {MessagePages::Type1, MessagePages::Type9})  // fifteen blank rows after the reset
        EXPECT_EQ(page_row(p.page(page), 14), blank7);
    EXPECT_EQ(p.otherLines(), QStringList(15, " "));
    s.data_1.time = -1;
    push(s.data_1.list, {.sv = 5});
    s.data_2.time = 10;  // empty list
    p.ShowMessagePage(1);
    p.ShowMessagePage(2);
    EXPECT_EQ(page_row(p.page(MessagePages::Type1), 0), blank7);
    EXPECT_EQ(p.page(MessagePages::Type1).header->text() + p.page(MessagePages::Type2).header->text(), "");

    s.data_1.list.clear();
    s.data_1.time = 10;
    push(s.data_1.list, {.time = 10, .sv = 5, .iod = 1});
    push(s.data_1.list, {.time = 10, .sv = 7, .iod = 2});
    p.ShowMessagePage(1);
    s.data_1.list.clear();
    push(s.data_1.list, {.time = 20, .sv = 12, .iod = 3});
    push(s.data_1.list, {.time = 20, .sv = 7, .iod = 4});
    p.ShowMessagePage(1);
    const SatellitePage& sp = p.page(MessagePages::Type1);
    EXPECT_EQ(sp.table->cell(0, 0) + sp.table->cell(5, 0), "  12   3");
    EXPECT_EQ(sp.table->cell(0, 1) + sp.table->cell(5, 1), "  7   4");
    EXPECT_EQ(page_row(sp, 2), blank7);
}

// Only the sub-page of the list that holds records changes; lists map to
// sub-pages as L1 0, L2 2, Ionosph. Difference 1, Special 3.
TEST_F(PagesTest, MeasurementSubPagesAndMarks) {
    auto& d18 = s.data_18;
    d18.freq = 2;
    d18.meas_time = 36600.5;
    push(d18.sat_list[2], {.meas_time = 36600.5, .sv = 3, .phase_err = 0.25, .phase = 0.005});
    push(d18.sat_list[2], {.meas_time = 36600.25, .sv = 4});
    push(d18.sat_list[1], {.meas_time = 1.0, .sv = 30});
    p.ShowMessagePage(18);
    EXPECT_EQ(page_row(p.subPage(MessagePages::Type18, MessagePages::L2), 0),
              QStringList({"  3", " > 0.25000", " 0", " LAST", " C/A", " 0.01", " 36600.500000"}));
    const SatellitePage& iono = p.subPage(MessagePages::Type18, MessagePages::Iono);
    EXPECT_EQ(page_row(iono, 0), QStringList({"  30", "<= 0.00000", " 0", " LAST", " C/A", " 0.00", " 1.000000"}));
    EXPECT_EQ(p.subPage(MessagePages::Type18, MessagePages::L1).header->text(), "");

    auto& d19 = s.data_19;
    d19.meas_time = 36600.5;
    push(d19.sat_list[0], {.meas_time = 36600.5, .p_code = true, .sv = 2, .pr_err = 6.5, .mp_err = 19.0});
    p.ShowMessagePage(19);
    EXPECT_EQ(page_row(p.subPage(MessagePages::Type19, MessagePages::L1), 0),
              QStringList({"  2", " > 6.500", "   >  19.000", "  P ", " 0.00", " 36600.500000"}));

    auto& d20 = s.data_20;
    d20.freq = 3;
    d20.meas_time = 100.125;
    push(d20.sat_list[3], {.meas_time = 100.125, .more = true, .sv = 21, .phase_err = 0.2, .loss = 3,
                           .iod = 5, .phase_corr = 1.25});
    p.ShowMessagePage(20);
    const SatellitePage& special = p.subPage(MessagePages::Type20, MessagePages::Special);
    EXPECT_EQ(special.header->text(), "  100.125000");
    EXPECT_EQ(page_row(special, 0), QStringList({" 21", " > 0.20000", " 3", " MORE", " 5", " 1.25", " 100.125000"}));

    // The code column of type 21 follows the frequency of the latest frame.
    auto& d = s.data_21;
    d.smooth = 3;
    d.meas_time = 36600.5;
    push(d.sat_list[0], {.meas_time = 36600.5, .sv = 8, .pr_err = 6.0, .mp_err = 19.0, .iod = 9, .prc = -3.2,
                         .rrc = 0.016});
    push(d.sat_list[2], {.meas_time = 36600.5, .p_code = true, .sv = 9, .mp_err = 1.5});
    d.freq = 2;
    p.ShowMessagePage(21);
    const SatellitePage& l1 = p.subPage(MessagePages::Type21, MessagePages::L1);
    const SatellitePage& l2 = p.subPage(MessagePages::Type21, MessagePages::L2);
    EXPECT_EQ(page_row(l1, 0), QStringList({" 8", " > 6.000", " > 19.000", "  Y ", " 9", "-3.20", "0.016", "36600.500000"}));
    EXPECT_EQ(page_row(l2, 0), QStringList({" 9", "<= 0.000", "<= 1.500", "  P ", " 0", "0.00", "0.000", "36600.500000"}));
    d.freq = 0;
    d.smooth = 0;
    p.ShowMessagePage(21);
    EXPECT_EQ(p.subPage(MessagePages::Type21, MessagePages::L1).table->cell(3, 0), " C/A");
    EXPECT_EQ(p.subPage(MessagePages::Type21, MessagePages::L2).header->text(), "Exp.Time: 36600.500000  Smoothing:0 to 1 Minutes");
}

// Types without a page of their own scroll through the "other Type" box,
// which keeps the 16 newest lines.
TEST_F(PagesTest, OtherTypes) {
    auto& d = s.data_other;
    d.frame_length = 4;
    d.time = 36600;
    const int types[17] = {4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 17, 27, 23, 24, 25, 63};
    for (int i = 0; i < 17; ++i) {
        d.msg_type = types[i];
        d.raw = "AB" + std::to_string(i);
        p.ShowMessagePage(d.msg_type);
    }
    ASSERT_EQ(p.otherLines().size(), 16);
    EXPECT_EQ(p.otherLines().front() + " " + p.otherLines().back(), "5:AB1 63:AB16");
    EXPECT_EQ(p.otherText()->toPlainText(), p.otherLines().join('\n'));
    // Outside 1..63 nothing is shown.
    for (int t : {0, 64}) {
        d.msg_type = t;
        p.ShowMessagePage(t);
    }
    EXPECT_EQ(p.otherLines().back(), "63:AB16");
    EXPECT_EQ(p.otherHeader()->text(), "Type: 63  Length: 4");
}

// The text of 16 as the station sent it, shown without the nulls that fill
// its last word and with other control characters as blanks.
TEST_F(PagesTest, SpecialMessageWithoutControlCharacters) {
    const std::tuple<std::string, QString> cases[] = {
        {std::string("TESSALY 42\0\0", 12), "TESSALY 42"},
        {std::string("A\x07" "B\r\n\x7f" "C\0", 7), "A B   C"},
        {"\xe4\xb0", "\u00e4\u00b0"},  // Latin-1 as ever
    };
    for (const auto& [sent, shown] : cases) {
        s.data_16.text = sent;
        p.ShowMessagePage(16);
        w.refreshDisplay();
        EXPECT_EQ(p.type16Message()->text() + "|" + w.strip().special->text(), shown + "|" + shown);
    }
}

// A frame without data words is shown as itself, whatever its type: on the
// "other Type" page and in the strip's history, not as the frame before it.
TEST(EmptyFrames, ShownAsThemselves) {
    StreamEncoder s;
    s.frame({.type = 27, .station = 5, .zcount = 1000, .sequence = 1, .data = {0x123456}});
    s.frame({.type = 1, .station = 5, .zcount = 1001, .sequence = 2, .data = {}});
    s.frame({.type = 6, .station = 5, .zcount = 1002, .sequence = 3, .data = {}});
    const std::vector<std::uint8_t> bytes = s.bytes();
    QTemporaryDir dir;
    WindowRig rig;
    TForm1& w = rig.openFile(write_file(dir, "empty.rtcm", bytes));
    w.Timer1Timer();
    MessagePages& p = w.pages();
    const std::string word27(bytes.begin() + 11, bytes.begin() + 16);
    EXPECT_EQ(p.otherLines().mid(13), QStringList({"27:" + QString::fromStdString(word27), "1:", "6:  null frame"}));
    EXPECT_EQ(p.otherHeader()->text() + " " + p.otherZcount()->text(), "Type: 6  Length: 2 36601.2");
    EXPECT_EQ(w.strip().frames->text() + " " + w.strip().sequence->text(), "+27-1+6 +1-2+3");
}

}  // namespace

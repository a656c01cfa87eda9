// The whole road of a recorded stream: a file built by the test encoder,
// read by the window's file source, decoded, and shown on every page.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// The row that shows a satellite (its SV cell), or -1.
int row_of(const SatellitePage& p, const QString& sv_cell) {
    for (int r = 0; r < p.table->rowCount(); ++r)
        if (p.table->cell(0, r) == sv_cell) return r;
    return -1;
}

QStringList cells(const SatellitePage& p, const QString& sv_cell) {
    const int r = row_of(p, sv_cell);
    QStringList out;
    if (r < 0) return out;
    for (int c = 0; c < p.table->columnCount(); ++c) out << p.table->cell(c, r);
    return out;
}

class StreamPages : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<CorrectionBlock> blocks{
            {false, 1, 5, -75, 125, 77}, {true, 3, 0, -32768, -1, 0}, {false, 0, 9, 32767, -128, 1}};
        const auto send = [&](std::uint8_t type, std::vector<std::uint32_t> data) {
            s.frame({.type = type, .station = 42, .zcount = 1000, .sequence = seq++, .data = std::move(data)});
            seq &= 7;
        };
        correction_length = int(correction_words(blocks).size()) + 2;
        send(1, correction_words(blocks));
        send(2, correction_words(blocks));
        send(9, correction_words(blocks));
        send(3, station_words(123456789, -5, 0));
        send(16, text_words("TESSALY DEMO"));
        send(18, words_18(0, 1000, {{false, true, 3, 0, 17, 1000003}}));
        send(18, words_18(2, 1000, {{true, false, 4, 3, 0, -256}}));
        send(19, words_19(0, 1, 1000, {{false, 1, 0, 0, 1061728356}}));
        send(20, words_20(0, 1000, {{false, 21, 3, 2, 5, 160}}));
        send(21, words_21(2, 3, 1000, {{false, false, false, 8, 2, 15, 9, -160, 8}}));
        send(22, {0x111111, 0x222222});
        w = &rig.openFile(write_file(dir, "all.rtcm", s.bytes()));
        w->Timer1Timer();
    }
    QTemporaryDir dir;
    StreamEncoder s;
    std::uint8_t seq = 0;
    int correction_length = 0;
    WindowRig rig;  // clock 10:12:00.250: Z-count 1000 is 36600.0 s
    TForm1* w = nullptr;
};

TEST_F(StreamPages, Corrections) {
    MessagePages& p = w->pages();
    const QString header = "36600.0 length:" + QString::number(correction_length);
    for (auto page : {MessagePages::Type1, MessagePages::Type2}) {
        EXPECT_EQ(p.page(page).header->text(), header);
        EXPECT_EQ(cells(p.page(page), "  5"),
                  QStringList({"  5", " fine  ", "  1 - 4", "   -1.50", "   0.250", "   77", "   36600.0"}));
        EXPECT_EQ(cells(p.page(page), "  32"),
                  QStringList({"  32", " coarse", "  8 ...", "   error    ", "   -0.032", "   0", "   36600.0"}));
        EXPECT_EQ(cells(p.page(page), "  9"),
                  QStringList({"  9", " fine  ", "  ... 1", "   655.34", "   error ", "   1", "   36600.0"}));
    }
    // Type 9 has no problem marks: its columns always show the values.
    EXPECT_EQ(cells(p.page(MessagePages::Type9), "   32"),
              QStringList({"   32", " coarse", "  8 ...", "    -10485.76", "    -0.032", "    0", "    36600.0"}));
    EXPECT_EQ(cells(p.page(MessagePages::Type9), "   9"),
              QStringList({"   9", " fine  ", "  ... 1", "    655.34", "    -0.256", "    1", "    36600.0"}));
}

TEST_F(StreamPages, StationTextAndOtherType) {
    MessagePages& p = w->pages();
    EXPECT_EQ(w->strip().refX->text() + "|" + w->strip().refY->text() + "|" + w->strip().refZ->text(),
              "1234567.89|-0.05|0.00");
    EXPECT_EQ(p.type3Text()->toPlainText().split('\n'), QStringList({" new Reference Station Parameters", " X: 1234567.89", " Y: -0.05", " Z: 0.00",
                                  " M-Z-Count: 36600.0   10:10:00", " Last receive: 10:12:00  06.12.2026",
                                  " Last Change : 10:12:00  06.12.2026", " from:", " X: 0.00", " Y: 0.00",
                                  " Z: 0.00"}));
    EXPECT_EQ(p.type3Header()->text(), "36600.0 length:6");
    EXPECT_EQ(p.type16Message()->text(), "TESSALY DEMO");
    EXPECT_EQ(w->strip().special->text(), "TESSALY DEMO");
    EXPECT_EQ(p.type16Time()->text(), "10:12:00");
    EXPECT_EQ(p.type16Header()->text(), "36600.0 length:6");
    EXPECT_EQ(p.otherHeader()->text() + " " + p.otherZcount()->text(), "Type: 22  Length: 4 36600.0");
    EXPECT_TRUE(p.otherLines().back().startsWith("22:") && p.otherLines().back().size() == 3 + 10);
}

TEST_F(StreamPages, Measurements) {
    MessagePages& p = w->pages();
    const auto& l1_18 = p.subPage(MessagePages::Type18, MessagePages::L1);
    const auto& l2_18 = p.subPage(MessagePages::Type18, MessagePages::L2);
    EXPECT_EQ(l2_18.header->text(), "36600.001000");
    EXPECT_EQ(cells(l1_18, "  3"),
              QStringList({"  3", "<= 0.00391", " 17", " FULL", "  P ", " 3906.26", " 36600.001000"}));
    EXPECT_EQ(cells(l2_18, "  4"), QStringList({"  4", "<= 0.02208", " 0", " HALF", " C/A", " -2.00", " 36600.001000"}));

    const auto& l1_19 = p.subPage(MessagePages::Type19, MessagePages::L1);
    EXPECT_EQ(l1_19.header->text(), "Time:36600.001000  Smoothing:1 to 5 Minutes");
    EXPECT_EQ(cells(l1_19, "  1"),
              QStringList({"  1", "<= 0.020", "  <=  0.100", " C/A", " 21234567.12", " 36600.001000"}));

    const auto& l1_20 = p.subPage(MessagePages::Type20, MessagePages::L1);
    EXPECT_EQ(l1_20.header->text(), "  36600.001000");
    EXPECT_EQ(cells(l1_20, " 21"), QStringList({" 21", " <= 0.02208", " 2", " FULL", " 5", " 1.25", " 36600.001000"}));

    const auto& l2_21 = p.subPage(MessagePages::Type21, MessagePages::L2);
    EXPECT_EQ(l2_21.header->text(), "Exp.Time: 36600.001000  Smoothing:indefinite     ");
    EXPECT_EQ(cells(l2_21, " 8"),
              QStringList({" 8", "<= 0.045", "not determ", "  Y ", " 9", "-3.20", "0.016", "36600.001000"}));
    // Nothing came on the other frequencies.
    EXPECT_EQ(p.subPage(MessagePages::Type21, MessagePages::L1).header->text(), "");
    EXPECT_EQ(p.subPage(MessagePages::Type19, MessagePages::Special).table->cell(0, 0), " ");
}

}  // namespace

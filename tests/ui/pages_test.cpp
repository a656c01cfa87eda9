// The pages. With the stores filled directly, what a stream cannot reach:
// the row rule, the list to sub-page mapping, the marks of values beyond
// their tables, the code column following the frequency, the "other Type"
// box; then a whole stream against a golden file, and satellite rows.
#include <gtest/gtest.h>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <map>

#include "rtcm_encoder.h"
#include "ui_test_util.h"
#include "rtcm_messages.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

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
    s.data_1.list.put({.sv = 5});
    s.data_2.time = 10;  // empty list
    p.ShowMessagePage(1);
    p.ShowMessagePage(2);
    EXPECT_EQ(page_row(p.page(MessagePages::Type1), 0), blank7);
    EXPECT_EQ(p.page(MessagePages::Type1).header->text() + p.page(MessagePages::Type2).header->text(), "");
    s.data_1.list.clear();
    s.data_1.time = 10;
    s.data_1.list.put({.time = 10, .sv = 5, .iod = 1});
    s.data_1.list.put({.time = 10, .sv = 7, .iod = 2});
    p.ShowMessagePage(1);
    s.data_1.list.clear();
    s.data_1.list.put({.time = 20, .sv = 12, .iod = 3});
    s.data_1.list.put({.time = 20, .sv = 7, .iod = 4});
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
    d18.sat_list[2].put({.meas_time = 36600.5, .sv = 3, .phase_err = 0.25, .phase = 0.005});
    d18.sat_list[2].put({.meas_time = 36600.25, .sv = 4});
    d18.sat_list[1].put({.meas_time = 1.0, .sv = 30});
    p.ShowMessagePage(18);
    EXPECT_EQ(page_row(p.subPage(MessagePages::Type18, MessagePages::L2), 0),
              QStringList({"  3", " > 0.25000", " 0", " LAST", " C/A", " 0.01", " 36600.500000"}));
    const SatellitePage& iono = p.subPage(MessagePages::Type18, MessagePages::Iono);
    EXPECT_EQ(page_row(iono, 0), QStringList({"  30", "<= 0.00000", " 0", " LAST", " C/A", " 0.00", " 1.000000"}));
    EXPECT_EQ(p.subPage(MessagePages::Type18, MessagePages::L1).header->text(), "");
    auto& d19 = s.data_19;
    d19.meas_time = 36600.5;
    d19.sat_list[0].put({.meas_time = 36600.5, .p_code = true, .sv = 2, .pr_err = 6.5, .mp_err = 19.0});
    p.ShowMessagePage(19);
    EXPECT_EQ(page_row(p.subPage(MessagePages::Type19, MessagePages::L1), 0),
              QStringList({"  2", " > 6.500", "   >  19.000", "  P ", " 0.00", " 36600.500000"}));
    auto& d20 = s.data_20;
    d20.freq = 3;
    d20.meas_time = 100.125;
    d20.sat_list[3].put({.meas_time = 100.125, .more = true, .sv = 21, .phase_err = 0.2, .loss = 3,
                           .iod = 5, .phase_corr = 1.25});
    p.ShowMessagePage(20);
    const SatellitePage& special = p.subPage(MessagePages::Type20, MessagePages::Special);
    EXPECT_EQ(special.header->text(), "  100.125000");
    EXPECT_EQ(page_row(special, 0), QStringList({" 21", " > 0.20000", " 3", " MORE", " 5", " 1.25", " 100.125000"}));
    // The code column of type 21 follows the frequency of the latest frame.
    auto& d = s.data_21;
    d.smooth = 3;
    d.meas_time = 36600.5;
    d.sat_list[0].put({.meas_time = 36600.5, .sv = 8, .pr_err = 6.0, .mp_err = 19.0, .iod = 9, .prc = -3.2,
                         .rrc = 0.016});
    d.sat_list[2].put({.meas_time = 36600.5, .p_code = true, .sv = 9, .mp_err = 1.5});
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

// The received characters on the "other Type" page, and the texts a station
// sends in 36 and 23, as 16's text shows: control characters (DEL too) as
// blanks, bytes from 128 up as Latin-1.
TEST_F(PagesTest, OtherTypeCharactersAsTheStripShowsThem) {
    struct Case {
        int type;
        std::string raw, text;
        QString line;
    };
    const Case cases[] = {
        {36, "ab\x7f" "c", std::string("GLO \xc7\xcc\x07!\0\0", 10), "36:ab c  GLONASS message: GLO \u00c7\u00cc !"},
        {23, "\x7f\x7f", "ANT\xe9", "23:    antenna ANT\u00e9 setup 0"},
    };
    rig.decoder.delivery.whole_frame = true;
    for (const Case& c : cases) {
        rig.decoder.header.msg_type = std::uint8_t(c.type);
        s.data_other.msg_type = c.type;
        s.data_other.raw = c.raw;
        s.more.data_36.text = c.text;
        s.more.data_23.descriptor = c.text;
        p.ShowMessagePage(c.type);
        EXPECT_EQ(p.otherLines().back(), c.line);
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
    replay(w);
    MessagePages& p = w.pages();
    const std::string word27(bytes.begin() + 11, bytes.begin() + 16);
    EXPECT_EQ(p.otherLines().mid(13), QStringList({"27:" + QString::fromStdString(word27), "1:", "6:  null frame"}));
    EXPECT_EQ(p.otherHeader()->text() + " " + p.otherZcount()->text(), "Type: 6  Length: 2 36601.2");
    EXPECT_EQ(w.strip().frames->text() + " " + w.strip().sequence->text(), "+27-1+6 +1-2+3");
}

// The whole road of a recorded stream: a file built by the test encoder,
// read by the window's file source, decoded, and shown on every page, which
// is compared cell by cell with a file checked by hand against the layouts.
// TESSALY_UPDATE_GOLDEN=1 rewrites it (check the difference by hand).

// A page's header and its rows that are not blank, cells between bars.
void dump(QStringList& out, const QString& name, const SatellitePage& p) {
    out << name + " [" + p.header->text() + "]";
    for (int r = 0; r < p.table->rowCount(); ++r) {
        const QStringList row = page_row(p, r);
        if (!row.join("").trimmed().isEmpty()) out << row.join('|');
    }
}

TEST(StreamPages, EveryPageShowsWhatTheStreamCarried) {
    StreamEncoder s;
    std::uint8_t seq = 0;
    const auto send = [&](std::uint8_t type, std::vector<std::uint32_t> data) {
        s.frame({.type = type, .station = 42, .zcount = 1000, .sequence = seq++, .data = std::move(data)});
        seq &= 7;
    };
    // Fine and coarse scales, problem marks, and satellite 32 (id 0).
    const auto blocks = correction_words({{false, 1, 5, -75, 125, 77}, {true, 3, 0, -32768, -1, 0}, {false, 0, 9, 32767, -128, 1}});
    for (std::uint8_t type : {1, 2, 9}) send(type, blocks);
    send(3, station_words(123456789, -5, 0));
    send(16, text_words("TESSALY DEMO"));
    send(18, words_18(0, 1000, {{false, true, 3, 0, 17, 1000003}}));
    send(18, words_18(2, 1000, {{true, false, 4, 3, 0, -256}}));
    send(19, words_19(0, 1, 1000, {{false, 1, 0, 0, 1061728356}}));
    send(20, words_20(0, 1000, {{false, 21, 3, 2, 5, 160}}));
    send(21, words_21(2, 3, 1000, {{false, false, false, 8, 2, 15, 9, -160, 8}}));
    send(22, {0x111111, 0x222222});  // GLONASS station, antenna height given
    // Hour 109 of the week is 13 h of the day; the clock says 10 h.
    send(14, {(601u << 14) | (109u << 6) | 18u});
    send(6, {0x2AAAAA});  // fill
    // The other-type page's header stays with 6.
    send(31, correction_words({{false, 1, 14, -75, 125, 0x80 | 45}, {true, 3, 0, 32767, -128, 1}}));
    send(34, correction_words({{false, 2, 3, 100, -3, 5}}));
    send(2, blocks);  // cut short by the end of the file: its last word is missing
    std::vector<std::uint8_t> bytes = s.bytes();
    bytes.resize(bytes.size() - 5);
    QTemporaryDir dir;
    WindowRig rig;  // clock 10:12:00.250: Z-count 1000 is 36600.0 s
    TForm1& w = rig.openFile(write_file(dir, "all.rtcm", bytes));
    w.pages().setCurrentIndex(MessagePages::Type2);
    replay(w);
    // The page showing was painted at the end of the file, inside the frame.
    EXPECT_FALSE(w.pages().dirty(MessagePages::Type2));
    MessagePages& p = w.pages();
    QStringList out;
    dump(out, "Type 1", p.page(MessagePages::Type1));
    dump(out, "Type 2", p.page(MessagePages::Type2));
    dump(out, "Type 9", p.page(MessagePages::Type9));
    const char* const sub_names[] = {"L1", "L2", "Iono", "Special"};
    for (auto page : {MessagePages::Type18, MessagePages::Type19, MessagePages::Type20, MessagePages::Type21})
        for (int sub = 0; sub < 4; ++sub)
            dump(out, QString("Type %1 %2").arg(18 + page - MessagePages::Type18).arg(sub_names[sub]),
                 p.subPage(page, MessagePages::SubPage(sub)));
    dump(out, "Type 31", p.glonassPage(MessagePages::Type31));
    dump(out, "Type 34", p.glonassPage(MessagePages::Type34));
    const auto& st = w.strip();
    out << "Type 3 [" + p.type3Header()->text() + "]" << p.type3Text()->toPlainText()
        << "Type 16 [" + p.type16Header()->text() + "] " + p.type16Time()->text() + " " + p.type16Message()->text()
        << "Other [" + p.otherHeader()->text() + "] " + p.otherZcount()->text() << p.otherLines().mid(14)
        << "Strip " + QStringList({st.refX->text(), st.refY->text(), st.refZ->text(), st.special->text()}).join('|');
    const QString text = out.join('\n') + '\n';
    QFile golden(QStringLiteral(QT_TESTCASE_SOURCEDIR "/golden/stream_pages.txt"));
    if (qEnvironmentVariableIsSet("TESSALY_UPDATE_GOLDEN") && golden.open(QIODevice::WriteOnly)) golden.write(text.toUtf8());
    golden.close();
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    EXPECT_EQ(text, QString::fromUtf8(golden.readAll()));
}

// Satellite rows follow the store lists: every satellite of a list on a row
// of its own however many there are, nothing else on the page; a satellite
// that the store ages out leaves its row, and a new source leaves nothing
// of the old one.

const QString kData = QStringLiteral(TESSALY_SHARED_DATA);

// Satellite number -> how often shown (a GPS and a GLONASS satellite may
// share a number).
using Shown = std::map<int, int>;

Shown on_page(const SatellitePage& p) {
    Shown out;
    for (int r = 0; r < p.table->rowCount(); ++r) {
        QString sv = p.table->cell(0, r).trimmed();
        if (sv.isEmpty()) {
            for (int c = 1; c < p.table->columnCount(); ++c)
                EXPECT_EQ(p.table->cell(c, r), " ") << "blank row " << r << " column " << c;
            continue;
        }
        sv.remove(QRegularExpression("[^0-9]"));
        ++out[sv.toInt()];
    }
    return out;
}

template <class List>
Shown in_list(const List& list) {
    Shown out;
    for (const auto& s : list) ++out[s.sv];
    return out;
}

// Every satellite page shows exactly its list.
void expect_pages_show_stores(MessagePages& p, const rtcm_stores& s) {
    EXPECT_EQ(on_page(p.page(MessagePages::Type1)), in_list(s.data_1.list));
    EXPECT_EQ(on_page(p.page(MessagePages::Type2)), in_list(s.data_2.list));
    EXPECT_EQ(on_page(p.page(MessagePages::Type9)), in_list(s.data_9.list));
    const auto measured = [&](MessagePages::Page page, const auto& store) {
        for (int sub = 0; sub < 4; ++sub)
            EXPECT_EQ(on_page(p.subPage(page, MessagePages::SubPage(sub))),
                      in_list(store.sat_list[std::size_t(MessagePages::sub_page_list[std::size_t(sub)])]))
                << "page " << page << " sub-page " << sub;
    };
    measured(MessagePages::Type18, s.data_18);
    measured(MessagePages::Type19, s.data_19);
    measured(MessagePages::Type20, s.data_20);
    measured(MessagePages::Type21, s.data_21);
}

int count(const Shown& shown) {
    int n = 0;
    for (const auto& [sv, times] : shown) n += times;
    return n;
}

// rtklib-testglo sends 18 and 19 for more than twelve satellites on L1 and
// L2; then gpsd-bend (other satellites, and earlier in the day, so records
// of the first would look newer than its frames) replaces it.
TEST(SatelliteRows, RecordingsShowEverySatelliteAndNothingOfTheLastSource) {
    const QString glo = kData + "/rtklib-testglo.rtcm2";
    const QString bend = kData + "/gpsd-bend.rtcm2";
    if (!QFileInfo::exists(glo) || !QFileInfo::exists(bend)) GTEST_SKIP() << "recordings absent: " << kData.toStdString();
    WindowRig rig;
    TForm1& w = rig.openFile(glo);
    replay(w);
    MessagePages& p = w.pages();
    expect_pages_show_stores(p, rig.decoder.stores);
    for (auto page : {MessagePages::Type18, MessagePages::Type19})
        for (auto sub : {MessagePages::L1, MessagePages::L2})
            EXPECT_GE(count(on_page(p.subPage(page, sub))), 13) << page << " " << sub;
    rig.settings.fileName = bend;
    rig.settings.reopenRequested = true;
    w.OpenSource();
    EXPECT_EQ(on_page(p.subPage(MessagePages::Type18, MessagePages::L1)), Shown{});
    EXPECT_EQ(on_page(p.page(MessagePages::Type1)), Shown{});
    EXPECT_EQ(p.type3Header()->text(), "");
    replay(w);
    expect_pages_show_stores(p, rig.decoder.stores);
    const Shown bend_svs{{2, 1}, {6, 1}, {12, 1}, {15, 1}, {17, 1}, {19, 1}, {24, 1}, {28, 1}};
    for (const auto& [sv, n] : on_page(p.subPage(MessagePages::Type18, MessagePages::L1)))
        EXPECT_TRUE(bend_svs.count(sv)) << "satellite " << sv << " of the first recording";
}

// Seventeen satellites on type 1 and fifteen on type 18, then the last of
// each stops: 60 s later its row is gone, and type 1's grown table shrinks.
TEST(SatelliteRows, SatelliteThatStopsIsAgedOut) {
    StreamEncoder s;
    std::uint8_t seq = 0;
    const auto epoch = [&](std::uint16_t zcount, int sats) {
        std::vector<CorrectionBlock> blocks;
        std::vector<Phase18> phases;
        for (int sv = 1; sv <= sats + 2; ++sv) blocks.push_back({.id = std::uint8_t(sv), .range = std::int16_t(sv)});
        for (int sv = 1; sv <= sats; ++sv) phases.push_back({.sv = std::uint8_t(sv)});
        s.frame({.type = 1, .zcount = zcount, .sequence = std::uint8_t(seq++ & 7), .data = correction_words(blocks)});
        s.frame({.type = 18, .zcount = zcount, .sequence = std::uint8_t(seq++ & 7), .data = words_18(0, 0, phases)});
    };
    epoch(1000, 15);
    epoch(1050, 15);  // 30 s later
    epoch(1110, 14);  // 36 s later: the last ones were heard 36 s ago and stay
    epoch(1160, 14);  // 30 s later: 66 s since they were heard
    WindowRig rig;
    TForm1& w = rig.open();
    const SatellitePage& t1 = w.pages().page(MessagePages::Type1);
    const SatellitePage& l1 = w.pages().subPage(MessagePages::Type18, MessagePages::L1);
    for (const std::uint8_t b : s.bytes()) {
        rig.decoder.rtcm_decode_byte(b);
        w.AfterByte();
        if (rig.decoder.frame_completed && rig.decoder.frames_completed == 6) {
            expect_pages_show_stores(w.pages(), rig.decoder.stores);
            EXPECT_EQ(count(on_page(t1)), 17);
            EXPECT_EQ(t1.table->rowCount(), 17);
            EXPECT_EQ(on_page(l1).count(15), 1u);
        }
    }
    EXPECT_EQ(rig.decoder.frames_completed, 8u);
    expect_pages_show_stores(w.pages(), rig.decoder.stores);
    EXPECT_EQ(count(on_page(t1)), 16);
    EXPECT_EQ(on_page(t1).count(17), 0u);
    EXPECT_EQ(t1.table->rowCount(), 16);
    EXPECT_EQ(count(on_page(l1)), 14);
    EXPECT_EQ(on_page(l1).count(15), 0u);
}

}  // namespace

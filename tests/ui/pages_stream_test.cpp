// The whole road of a recorded stream: a file built by the test encoder,
// read by the window's file source, decoded, and shown on every page, which
// is compared cell by cell with a file checked by hand against the layouts.
// TESSALY_UPDATE_GOLDEN=1 rewrites it (check the difference by hand).

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

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
    w.Timer1Timer();
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

}  // namespace

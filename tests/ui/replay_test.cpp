// The window's replay: a recording read in slices loses and repeats no
// byte, and the display refresh shows whole frames only.

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// The four sub-pages of a page as their widgets show them now.
QStringList shown(const std::array<SatellitePage, 4>& subs) {
    QStringList out;
    for (const SatellitePage& sp : subs) {
        out << sp.header->text();
        for (int r = 0; r < sp.table->rowCount(); ++r) out << page_row(sp, r);
    }
    return out;
}

// Slices of 1000 bytes end inside frames and inside the reader's blocks;
// the page showing, painted by the refresh alone, matches a window fed the
// same bytes one by one.
TEST(Replay, RecordingReadInSlicesShowsWhatByteByByteShows) {
    const QString path = QStringLiteral(TESSALY_SHARED_DATA "/rtklib-testglo.rtcm2");
    if (!QFileInfo::exists(path)) GTEST_SKIP() << "recording absent: " << path.toStdString();
    WindowRig rig;
    TForm1& w = rig.openFile(path);
    w.setReplaySlice(1000);
    MessagePages& p = w.pages();
    p.setCurrentIndex(MessagePages::Type19);
    std::array<SatellitePage, 4> subs;
    for (int s = 0; s < 4; ++s) subs[std::size_t(s)] = p.subPage(MessagePages::Type19, MessagePages::SubPage(s));
    w.Timer1Timer();
    EXPECT_EQ(rig.shownTexts(), QStringList({" End of data"}));

    WindowRig ref;
    TForm1& bytewise = ref.open();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    for (const char c : f.readAll()) {
        ref.decoder.rtcm_decode_byte(std::uint8_t(c));
        bytewise.AfterByte();
    }
    EXPECT_EQ(rig.decoder.frames_completed, 1727u);
    EXPECT_EQ(rig.decoder.frames_completed, ref.decoder.frames_completed);
    EXPECT_EQ(rig.decoder.unused_chars, ref.decoder.unused_chars);
    std::array<SatellitePage, 4> refSubs;
    for (int s = 0; s < 4; ++s)
        refSubs[std::size_t(s)] = bytewise.pages().subPage(MessagePages::Type19, MessagePages::SubPage(s));
    EXPECT_EQ(shown(subs), shown(refSubs));
    EXPECT_NE(subs[0].header->text(), "");
}

// A refresh while a frame is half decoded would show its time beside the
// satellites of the frame before: it waits for the frame's end instead.
TEST(Replay, ARefreshInsideAFrameWaitsForItsEnd) {
    const auto blocks = [](std::int16_t range) {
        return correction_words({{.id = 1, .range = range}, {.id = 2, .range = range}, {.id = 3, .range = range}});
    };
    StreamEncoder s;
    s.frame({.type = 1, .zcount = 1000, .sequence = 0, .data = blocks(100)});
    const std::size_t second = s.bytes().size();
    s.frame({.type = 1, .zcount = 1010, .sequence = 1, .data = blocks(200)});
    WindowRig rig;
    TForm1& w = rig.open();
    w.pages().setCurrentIndex(MessagePages::Type1);
    const SatellitePage sp = w.pages().page(MessagePages::Type1);
    const auto feed = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            rig.decoder.rtcm_decode_byte(s.bytes()[i]);
            w.AfterByte();
        }
    };
    const auto page = [&] {
        return sp.header->text().left(7) + "|" + sp.table->cell(3, 0).trimmed() + "|" + sp.table->cell(3, 2).trimmed();
    };
    feed(0, second);
    w.refreshDisplay();
    EXPECT_EQ(page(), "36600.0|2.00|2.00");
    feed(second, second + 25);  // the header and three data words: satellite 1 of the new frame is in
    w.refreshDisplay();
    EXPECT_EQ(page(), "36600.0|2.00|2.00");
    feed(second + 25, s.bytes().size());
    EXPECT_EQ(page(), "36606.0|4.00|4.00");
}

}  // namespace

// Satellite rows follow the store lists: every satellite of a list on a row
// of its own however many there are, nothing else on the page; a satellite
// that the store ages out leaves its row, and a new source leaves nothing
// of the old one.

#include <map>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

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

// AIS sentences among a file source's bytes: their message 17 shows as a
// frame like any other, their bytes are no unused characters, and sentences
// cut by the replay's slices are put together.
#include "ais_sentences.h"
#include "rtcm_encoder.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

TEST(AisSource, MessageSeventeenShowsAsAFrame) {
    QTemporaryDir dir;
    StreamEncoder s, bare;
    for (StreamEncoder* e : {&s, &bare}) e->frame({.type = 1, .zcount = 1000, .sequence = 0, .data = {1, 2}});
    const std::vector<std::uint32_t> text{header_word_1(16, 9), header_word_2(1001, 1, 1, 0), 0x414243};
    for (const auto& line : ais_sentences(message_17(1, 0, 0, text), 10, 0, 'A')) s.raw({line.begin(), line.end()});
    for (StreamEncoder* e : {&s, &bare}) e->frame({.type = 1, .zcount = 1002, .sequence = 2, .data = {1, 2}});
    RtcmDecoder alone;
    for (std::uint8_t b : bare.bytes()) alone.rtcm_decode_byte(b);
    WindowRig rig;
    TForm1& w = rig.openFile(write_file(dir, "ais", s.bytes()));
    w.setReplaySlice(7);
    w.Timer1Timer();
    EXPECT_EQ(rig.decoder.frames_completed, 3u);
    EXPECT_EQ(w.strip().sequence->text(), "+0-1+2");
    EXPECT_EQ(w.strip().special->text(), "ABC");
    EXPECT_EQ(w.strip().charsUnused->text(), QString::number(alone.unused_chars));
}

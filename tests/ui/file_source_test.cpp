// The file source: the whole file read in slices with the window live
// between them, the byte 26, the end-of-data box, and a source changed,
// halted or failing while the replay runs.
#include <sys/stat.h>
#include <QDialog>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "ui_test_util.h"
#include "ais_sentences.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

std::vector<std::uint8_t> letters(char c, int n) { return std::vector<std::uint8_t>(std::size_t(n), std::uint8_t(c)); }

std::string last_line(const TForm1& w) { return w.rawLines().lines().back(); }

// A byte 26 inside the file is data like any other: frames after it decode.
// An empty file shows nothing.
TEST(FileSource, OpensAndReadsTheWholeFile) {
    QTemporaryDir dir;
    StreamEncoder s;
    for (std::uint8_t seq = 0; seq < 4; ++seq) {
        s.frame({.type = 1, .zcount = 1000, .sequence = seq, .data = {1, 2}});
        if (seq == 1) s.raw({26, 26});
    }
    const QString path = write_file(dir, "four.rtcm", s.bytes());
    WindowRig rig;
    TForm1& w = rig.openFile(path);
    EXPECT_EQ(w.panelText(0) + "|" + w.panelText(1), "file " + path + " is open|Source: File");
    EXPECT_TRUE(w.menu().transmit->menuAction()->isEnabled() && w.menu().halt->isVisible() && w.menu().halt->isEnabled());
    replay(w);
    EXPECT_EQ(rig.shown(), std::vector<Box>({{kMessage, " End of data"}}));
    EXPECT_EQ(rig.decoder.frames_completed, 4u);
    EXPECT_EQ(w.strip().sequence->text(), "+0-1+2-3");
    EXPECT_EQ(w.strip().charsUnused->text(), QString::number(rig.decoder.unused_chars));
    // Later ticks find the file at its end.
    w.Timer1Timer();
    w.Timer1Timer();
    EXPECT_EQ(rig.shown().size(), 1u);
    WindowRig empty;
    replay(empty.openFile(write_file(dir, "empty", {})));
    EXPECT_TRUE(empty.shown().empty());
    // Raw lines: a line completes at 80 characters; the page shows at most 15.
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 20 * 80 + 7; ++i) bytes.push_back(std::uint8_t('A' + i / 80));
    WindowRig raw;
    TForm1& w2 = raw.openFile(write_file(dir, "raw", bytes));
    replay(w2);
    const auto& lines = w2.rawLines().lines();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines.front() + lines[13] + "|" + lines.back(), std::string(80, 'A' + 6) + std::string(80, 'A' + 19) + "|" + std::string(7, 'A' + 20));
    // The page is refreshed when a line completes, not after every byte.
    const QStringList shown = w2.pages().rawPageText().split('\n');
    EXPECT_EQ(shown.size(), 15);
    EXPECT_EQ(shown[13] + "|" + shown.back(), QString(80, QChar('A' + 19)) + "|");
}

// The operator picks another file while the replay runs (events are handled
// between slices): the old file is not read again, the new one from its start.
TEST(FileSource, SourceChangedInsideTheLoop) {
    QTemporaryDir dir;
    const QString a = write_file(dir, "a", letters('a', 30));
    const QString b = write_file(dir, "b", letters('b', 20));
    WindowRig rig;
    bool chooseB = false;  // the start-up shows the dialog too
    TForm1& w = rig.openFile(a, {.settingsDialog = [&] {
                                     if (chooseB) {
                                         rig.settings.fileName = b;
                                         rig.settings.reopenRequested = true;
                                     }
                                     return false;
                                 }});
    chooseB = true;
    w.setReplaySlice(8);
    QTimer::singleShot(0, &w, [&] { w.DatasourceClick(); });
    replay(w);
    EXPECT_EQ(w.panelText(0), "file " + b + " is open");
    const std::string text = last_line(w);
    EXPECT_EQ(text.find_first_not_of('a'), text.find('b'));
    EXPECT_LT(std::count(text.begin(), text.end(), 'a'), 30);
    EXPECT_EQ(std::count(text.begin(), text.end(), 'b'), 20);
    EXPECT_EQ(rig.shownTexts(), QStringList({" End of data"}));
    // Switching to another kind of source stops the replay as well.
    WindowRig other;
    TForm1& w2 = other.openFile(a);
    w2.setReplaySlice(8);
    QTimer::singleShot(0, &w2, [&] {
        other.settings.source = 9;  // opens nothing
        other.settings.reopenRequested = true;
        w2.DatasourceClick();
    });
    replay(w2);
    EXPECT_LT(last_line(w2).size(), 30u);
    EXPECT_TRUE(other.shown().empty());
}

// Halt pauses the replay, and so does an open dialog (a box, the source
// settings): the file waits for the operator.
TEST(FileSource, HaltAndDialogsPauseTheReplay) {
    QTemporaryDir dir;
    WindowRig rig;
    TForm1& w = rig.openFile(write_file(dir, "a", letters('h', 50)));
    w.setReplaySlice(8);
    QTimer::singleShot(0, &w, [&] { w.menu().halt->trigger(); });
    replay(w);
    EXPECT_EQ(w.menu().halt->text(), "Start");
    const std::size_t paused_at = last_line(w).size();
    w.Timer1Timer();
    EXPECT_EQ(last_line(w).size(), paused_at);
    EXPECT_LT(paused_at, 50u);
    w.menu().halt->trigger();
    EXPECT_EQ(w.menu().halt->text(), "Halt");
    {
        QDialog asking;
        asking.setModal(true);
        asking.show();
        replay(w);
        EXPECT_EQ(last_line(w).size(), paused_at);
    }
    replay(w);
    EXPECT_EQ(last_line(w), std::string(50, 'h'));
    EXPECT_EQ(rig.shownTexts(), QStringList({" End of data"}));
}

// A failure inside a slice (here the storing step, as a failing write of the
// storing file would) is reported; reading goes on at the next tick.
TEST(FileSource, ReadingResumesAfterAFailure) {
    FailAtTenthByte hook;
    QTemporaryDir dir;
    WindowRig rig;
    rig.decoder.set_storing_hook(&hook);
    TForm1& w = rig.openFile(write_file(dir, "a", letters('f', 25)));
    w.Timer1Timer();
    EXPECT_EQ(rig.shown(), std::vector<Box>({{kFailure, "disk full"}}));
    EXPECT_TRUE(!w.sourceState().fileBusy && w.timer1()->isActive());
    w.Timer1Timer();
    EXPECT_EQ(last_line(w), std::string(25, 'f'));
    EXPECT_EQ(hook.bytes, 25);
    EXPECT_EQ(rig.shownTexts(), QStringList({"disk full", " End of data"}));
}

// Storing that fails at the tenth byte and goes on without it, as the
// storing dialog's failure does: its box is posted.
struct PostAtTenthByte : StoringHook {
    explicit PostAtTenthByte(QObject* w) : window(w) {}
    QObject* window;
    int bytes = 0;
    void reset_stream_state() override {}
    void after_byte(RtcmDecoder&) override {
        if (++bytes == 10) post_failure(window, QStringLiteral("disk full"));
    }
};

// A box asked for during a replay shows from the event loop once the slice
// has returned, never inside it: its own event loop would run menus, source
// changes and Halt under the slice. The replay goes on to the end.
TEST(FileSource, ABoxOfAReplayShowsBetweenSlices) {
    QTemporaryDir dir;
    WindowRig rig;
    TForm1& w = rig.openFile(write_file(dir, "a", letters('p', 50)));
    w.setReplaySlice(8);
    PostAtTenthByte hook(&w);
    rig.decoder.set_storing_hook(&hook);
    QStringList shown;
    ScopedErrorReporter watch([&](const QString&, const QString& text) {
        shown << text + (w.sourceState().fileBusy ? " inside a slice" : "");
    });
    replay(w);
    EXPECT_EQ(shown, QStringList({"disk full", " End of data"}));
    EXPECT_EQ(last_line(w), std::string(50, 'p'));
}

// A new source starts the strip empty, like the pages: the station, its
// coordinates, message and latency of the previous one are gone, and the
// unused characters count the new source's only.
TEST(FileSource, NewSourceStartsTheStripEmpty) {
    QTemporaryDir dir;
    StreamEncoder a;
    a.raw({0x01, 0x02, 0x03});
    a.frame({.type = 3, .station = 268, .zcount = 1000, .data = station_words(380000000, 80000000, 500000000)});
    a.frame({.type = 16, .station = 268, .zcount = 1001, .data = text_words("SAPOS_EPS")});
    StreamEncoder b;
    b.raw({0x04, 0x05});
    b.frame({.type = 1, .station = 652, .zcount = 1002, .sequence = 2, .data = {1, 2}});
    WindowRig rig;
    TForm1& w = rig.openFile(write_file(dir, "a", a.bytes()));
    w.Timer1Timer();
    const auto strip = [&] {
        const auto& s = w.strip();
        return QStringList{s.station->text(), s.health->text(), s.latency->text(), s.refX->text(), s.refY->text(),
                           s.refZ->text(), s.sequence->text(), s.frames->text(), s.special->text(), s.charsUnused->text()};
    };
    // What a decoder of its own leaves unused in each stream.
    const auto unused = [](const StreamEncoder& e) {
        RtcmDecoder alone;
        alone.rtcm_decode(e.bytes());
        return QString::number(alone.unused_chars);
    };
    ASSERT_EQ(strip().mid(0, 2) + strip().mid(8), QStringList({"268", "0", "SAPOS_EPS", unused(a)}));
    rig.settings.fileName = write_file(dir, "b", b.bytes());
    rig.settings.reopenRequested = true;
    w.OpenSource();
    EXPECT_EQ(strip(), QStringList({"---", "---", "---", "X", "Y", "Z", "", "", "", "0"}));
    w.Timer1Timer();
    EXPECT_EQ(strip(), QStringList({"652", "0", "137.050", "X", "Y", "Z", "+2", "+1", "", unused(b)}));
}

}  // namespace

// A named pipe would block open() until a writer comes, a device might never
// end: both are refused at once with the reason.
TEST(FileSource, PipesAndDevicesAreRefusedWithoutBlocking) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString absent = dir.filePath("absent.rtcm");  // reported the same way, and not polled
    const std::tuple<QString, QString, QString> cases[] = {
        {fifo, "is a named pipe", " Cannot read " + fifo + ": it is a named pipe, not a file. A file source reads regular files only."},
        {"/dev/zero", "is a device", " Cannot read /dev/zero: it is a device, not a file. A file source reads regular files only."},
        {absent, "not found", " Error while openning file: " + absent}};
    for (const auto& [path, state, box] : cases) {
        WindowRig rig;
        TForm1& w = rig.openFile(path);
        EXPECT_EQ(w.panelText(0), "file " + path + " " + state);
        EXPECT_EQ(rig.shown(), std::vector<Box>({{kMessage, box}}));
        EXPECT_FALSE(w.timer1()->isActive() || w.menu().halt->isVisible());
    }
}

// AIS sentences among a file source's bytes: their message 17 shows as a
// frame like any other, their bytes are no unused characters, and sentences
// cut by the replay's slices are put together.
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
    replay(w);
    EXPECT_EQ(rig.decoder.frames_completed, 3u);
    EXPECT_EQ(w.strip().sequence->text(), "+0-1+2");
    EXPECT_EQ(w.strip().special->text(), "ABC");
    EXPECT_EQ(w.strip().charsUnused->text(), QString::number(alone.unused_chars));
}

// The window's replay: a recording read in slices loses and repeats no
// byte, and the display refresh shows whole frames only.
namespace {

// Type 19's four sub-pages as their widgets show them now.
QStringList shown(MessagePages& p) {
    QStringList out;
    for (int s = 0; s < 4; ++s) {
        const SatellitePage& sp = p.subPage(MessagePages::Type19, MessagePages::SubPage(s));
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
    w.pages().setCurrentIndex(MessagePages::Type19);
    replay(w);
    EXPECT_EQ(rig.shownTexts(), QStringList({" End of data"}));
    WindowRig ref;
    TForm1& bytewise = ref.open();
    for (const char c : read_file(path)) {
        ref.decoder.rtcm_decode_byte(std::uint8_t(c));
        bytewise.AfterByte();
    }
    EXPECT_EQ(std::tuple(rig.decoder.frames_completed, rig.decoder.unused_chars),
              std::tuple(1727u, ref.decoder.unused_chars));
    EXPECT_EQ(ref.decoder.frames_completed, 1727u);
    EXPECT_EQ(shown(w.pages()), shown(bytewise.pages()));
    EXPECT_NE(shown(w.pages())[0], "");
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

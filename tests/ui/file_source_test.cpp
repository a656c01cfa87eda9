// The file source: the whole file read in one tick with the window live
// between slices, the byte 26, the end-of-data box, and a source changed,
// halted or failing while the file loop runs.

#include <sys/stat.h>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

std::vector<std::uint8_t> letters(char c, int n) { return std::vector<std::uint8_t>(std::size_t(n), std::uint8_t(c)); }

std::string last_line(const TForm1& w) { return w.rawLines().lines().back(); }

// A byte 26 inside the file is data like any other: frames after it decode.
// An empty file shows nothing.
TEST(FileSource, OpensAndReadsWholeFileInOneTick) {
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

    w.Timer1Timer();
    EXPECT_EQ(rig.shown(), std::vector<Box>({{kMessage, " End of data"}}));
    EXPECT_EQ(rig.decoder.frames_completed, 4u);
    EXPECT_EQ(w.strip().sequence->text(), "+0-1+2-3");
    EXPECT_EQ(w.strip().charsUnused->text(), QString::number(rig.decoder.unused_chars));
    // Later ticks find the file at its end.
    w.Timer1Timer();
    w.Timer1Timer();
    EXPECT_EQ(rig.shown().size(), 1u);
    WindowRig empty;
    empty.openFile(write_file(dir, "empty", {})).Timer1Timer();
    EXPECT_TRUE(empty.shown().empty());

    // Raw lines: a line completes at 80 characters; the page shows at most 15.
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 20 * 80 + 7; ++i) bytes.push_back(std::uint8_t('A' + i / 80));
    WindowRig raw;
    TForm1& w2 = raw.openFile(write_file(dir, "raw", bytes));
    w2.Timer1Timer();
    const auto& lines = w2.rawLines().lines();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines.front() + lines[13] + "|" + lines.back(), std::string(80, 'A' + 6) + std::string(80, 'A' + 19) + "|" + std::string(7, 'A' + 20));
    // The page is refreshed when a line completes, not after every byte.
    const QStringList shown = w2.pages().rawPageText().split('\n');
    EXPECT_EQ(shown.size(), 15);
    EXPECT_EQ(shown[13] + "|" + shown.back(), QString(80, QChar('A' + 19)) + "|");
}

// The operator picks another file while the loop runs (events are handled
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
    w.Timer1Timer();
    EXPECT_EQ(w.panelText(0), "file " + b + " is open");
    w.Timer1Timer();
    const std::string text = last_line(w);
    EXPECT_EQ(text.find_first_not_of('a'), text.find('b'));
    EXPECT_LT(std::count(text.begin(), text.end(), 'a'), 30);
    EXPECT_EQ(std::count(text.begin(), text.end(), 'b'), 20);
    EXPECT_EQ(rig.shownTexts(), QStringList({" End of data"}));

    // Switching to another kind of source stops the file loop as well.
    WindowRig other;
    TForm1& w2 = other.openFile(a);
    w2.setReplaySlice(8);
    QTimer::singleShot(0, &w2, [&] {
        other.settings.source = 9;  // opens nothing
        other.settings.reopenRequested = true;
        w2.DatasourceClick();
    });
    w2.Timer1Timer();
    EXPECT_LT(last_line(w2).size(), 30u);
    EXPECT_TRUE(other.shown().empty());
}

TEST(FileSource, HaltPausesAndResumes) {
    QTemporaryDir dir;
    WindowRig rig;
    TForm1& w = rig.openFile(write_file(dir, "a", letters('h', 50)));
    w.setReplaySlice(8);
    QTimer::singleShot(0, &w, [&] { w.menu().halt->trigger(); });
    w.Timer1Timer();
    EXPECT_EQ(w.menu().halt->text(), "Start");
    const std::size_t paused_at = last_line(w).size();
    w.Timer1Timer();
    EXPECT_EQ(last_line(w).size(), paused_at);
    EXPECT_LT(paused_at, 50u);
    w.menu().halt->trigger();
    EXPECT_EQ(w.menu().halt->text(), "Halt");
    w.Timer1Timer();
    EXPECT_EQ(last_line(w), std::string(50, 'h'));
    EXPECT_EQ(rig.shownTexts(), QStringList({" End of data"}));
}

// A failure inside the loop (here the storing step, as a failing write of the
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

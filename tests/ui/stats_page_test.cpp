// The statistics page on the demonstration stream, its exports and reset;
// texts that do not fit the window at 1024x768, whole in their tooltips.

#include <QBarCategoryAxis>
#include <QChart>
#include <QImage>
#include <QLineSeries>
#include <QValueAxis>

#include "elided_text.h"
#include "save_dialog.h"
#include "stats_page.h"
#include "stats_report.h"
#include "rtcm_encoder.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

TForm1& replay_demo(WindowRig& rig) {
    TForm1& w = rig.openFile(QStringLiteral(TESSALY_DEMO));
    EXPECT_TRUE(spin_until([&] { return rig.shownTexts().contains(" End of data"); }, 60000));
    return w;
}

}  // namespace

// Counts as tessaly-decode --format summary gives them for the same file; a
// minute on the clock later the rates follow.
TEST(StatsPage, DemoStreamFiguresExportsAndReset) {
    WindowRig rig;
    TForm1& w = replay_demo(rig);
    StatsPage& p = w.statsPage();
    rig.clock.set({2026, 12, 6, 10, 13, 0, 250});
    p.tick();
    p.refresh();
    using F = StatsPage;
    const std::pair<F::Figure, QString> figures[] = {
        {F::Span, "60.0"}, {F::Bytes, "47515"}, {F::DataRate, "791.9"}, {F::Frames, "582"}, {F::FrameRate, "582.0"},
        {F::ParityFailures, "1"}, {F::SyncLosses, "1"}, {F::UnusedChars, "133"}, {F::MissedFrames, "0"},
        {F::LeapSeconds, "18"}, {F::Stations, "42 (582)"}};
    for (const auto& [row, text] : figures) {
        EXPECT_EQ(p.figure(row, 0), text) << row;
        EXPECT_EQ(p.figure(row, 1), text) << row;  // the first minute closed
    }
    QStringList per_type;
    for (int r = 0; r < p.typeTable()->rowCount(); ++r)
        per_type << p.typeTable()->item(r, 0)->text() + ":" + p.typeTable()->item(r, 1)->text();
    EXPECT_EQ(per_type.join(' '), "1:24 2:4 3:12 6:6 9:4 16:1 18:240 19:240 20:24 21:24 22:3");
    auto* types = qobject_cast<QBarCategoryAxis*>(p.typeChart()->axes(Qt::Horizontal).value(0));
    ASSERT_TRUE(types);
    EXPECT_EQ(types->categories().join(' '), "1 2 3 6 9 16 18 19 20 21 22");
    auto* rate = qobject_cast<QLineSeries*>(p.rateChart()->series().value(0));
    ASSERT_TRUE(rate && rate->count() == 1);
    EXPECT_NEAR(rate->at(0).y(), 47515 / 60.0, 0.01);

    QTemporaryDir dir;
    QStringList asked;
    set_save_file_asker([&](QWidget*, const QString&, const QString& suggested, const QString&) {
        asked << suggested;
        return dir.filePath(suggested);
    });
    ASSERT_TRUE(p.exportCsv() && p.exportJson() && p.exportPng());
    EXPECT_EQ(read_file(dir.filePath("tessaly-stats.csv")), QByteArray::fromStdString(stats::to_csv(p.stats().total())));
    EXPECT_EQ(read_file(dir.filePath("tessaly-stats.json")),
              QByteArray::fromStdString(stats::to_json(p.stats().total(), true) + "\n"));
    EXPECT_TRUE(read_file(dir.filePath("tessaly-stats.csv")).contains("\n18,240,240.000,"));
    EXPECT_EQ(QImage(dir.filePath("tessaly-plots.png")).size(), QSize(900, 960));
    // A file that cannot be written is said, not reported as done.
    set_save_file_asker([&](QWidget*, const QString&, const QString&, const QString&) { return dir.filePath("no/such.csv"); });
    EXPECT_FALSE(p.exportCsv());
    EXPECT_EQ(rig.shown().back().caption, kError);
    set_save_file_asker({});

    // Reset: the decoder's parity failure and sync loss stay behind it.
    p.resetButton()->click();
    p.tick();
    for (auto row : {F::Bytes, F::Frames, F::ParityFailures, F::SyncLosses, F::UnusedChars})
        EXPECT_EQ(p.figure(row, 0), "0") << row;
    EXPECT_EQ(p.typeTable()->rowCount(), 0);
}

// A recording replayed as it was recorded has negative latencies: the
// latency plot's axis reaches them.
TEST(StatsPage, LatencyAxisHoldsNegativeLatencies) {
    StreamEncoder s;
    // 10:15:00 and 10:14:00 against the clock's 10:12:00.250 (plus 18 s).
    for (std::uint16_t z : {1500, 1400}) s.frame({.type = 1, .zcount = z, .data = {1, 2}});
    QTemporaryDir dir;
    WindowRig rig;
    TForm1& w = rig.openFile(write_file(dir, "ahead.rtcm", s.bytes()));
    replay(w);
    StatsPage& p = w.statsPage();
    rig.clock.set({2026, 12, 6, 10, 12, 6, 0});
    p.tick();
    p.refresh();
    auto* worst = qobject_cast<QLineSeries*>(p.latencyChart()->series().value(1));
    auto* mean = qobject_cast<QLineSeries*>(p.latencyChart()->series().value(0));
    auto* axis = qobject_cast<QValueAxis*>(p.latencyChart()->axes(Qt::Vertical).value(0));
    ASSERT_TRUE(worst && mean && axis && worst->count() == 1 && mean->count() == 1);
    EXPECT_EQ(std::tuple(mean->at(0).y(), worst->at(0).y()), std::tuple(-131.75, -101.75));
    EXPECT_LE(axis->min(), -131.75);
    EXPECT_LT(axis->max(), 10.0);
}

// At 1024x768 the window fits and a long file name in the status bar or
// a long special message loses its middle on screen, not its text.
TEST(StatsPage, LongTextsElidedWithWholeTooltipAt1024x768) {
    WindowRig rig;
    const QString name = "/tmp/" + QString(120, 'n') + "/recording-of-the-station.rtcm";
    TForm1& w = rig.openFile(name);
    w.resize(1024, 768);
    w.show();
    EXPECT_LE(w.minimumSizeHint().width(), 1024);
    EXPECT_LE(w.minimumSizeHint().height(), 768);
    w.strip().special->setText("SPECIAL MESSAGE " + QString(90, 'x') + " END");
    w.grab();
    int panels = 0;
    for (auto* panel : w.findChildren<ElidedLabel*>()) {
        if (panel->text() != "file " + name + " not found") continue;
        ++panels;
        EXPECT_TRUE(panel->shownText().contains(QChar(0x2026)));
        EXPECT_EQ(panel->toolTip(), panel->text());
    }
    EXPECT_EQ(panels, 1);
    auto* special = static_cast<ElidedField*>(w.strip().special);
    EXPECT_TRUE(special->shownText().endsWith(" END"));
    EXPECT_EQ(special->toolTip(), special->text());
}

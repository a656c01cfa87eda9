// The statistics page on the demonstration stream, its exports and reset;
// texts that do not fit the window at 1024x768, whole in their tooltips.
#include <QBarCategoryAxis>
#include <QChart>
#include <QImage>
#include <QLineSeries>
#include <QValueAxis>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>

#include "elided_text.h"
#include "save_dialog.h"
#include "stats_page.h"
#include "stats_report.h"
#include "rtcm_encoder.h"
#include "ui_test_util.h"
#include "alarms_page.h"
#include "io_test_util.h"
#include "window_alarms.h"

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

// The Alarms page on a real recording: the standing alarms newest first,
// the history, Acknowledge and the status bar's count; each new alarm on
// the desktop through a notification service of the test's own on a
// private D-Bus; one log line where no service answers; the strip of a
// live source that went quiet shown stale.
namespace {

// A bus of the test's own: a session bus that only this test knows.
struct PrivateBus {
    QProcess daemon;
    QString address;
    bool start() {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (exe.isEmpty()) return false;
        daemon.start(exe, {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForReadyRead(5000)) return false;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        return !address.isEmpty();
    }
    ~PrivateBus() {
        // Closed before the bus goes: libdbus aborts on a private connection dropped open.
        for (const QString& name : names) QDBusConnection::disconnectFromBus(name);
        daemon.kill();
        daemon.waitForFinished(3000);
    }
    QDBusConnection connect(const QString& name) {
        names << name;
        return QDBusConnection::connectToBus(address, name);
    }
    QStringList names;
};

// org.freedesktop.Notifications, keeping what it was asked to show.
struct FakeNotifications : QDBusVirtualObject {
    QStringList shown;  // "summary|body|urgency"
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        if (m.member() != QLatin1String("Notify") || m.arguments().size() != 8) return false;
        const auto a = m.arguments();
        const QVariantMap hints = qdbus_cast<QVariantMap>(a[6]);
        shown << a[3].toString() + "|" + a[4].toString() + "|" + QString::number(hints.value("urgency").toInt());
        bus.send(m.createReply(QVariant::fromValue(uint(shown.size()))));
        return true;
    }
};

}  // namespace

TEST(AlarmsPage, RecordingStandingAlarmsAcknowledgeCountAndNotifications) {
    const QString file = QStringLiteral(TESSALY_SHARED_DATA "/gpsd-naujoks.rtcm2");
    if (!QFile::exists(file)) GTEST_SKIP() << "recordings absent: " << TESSALY_SHARED_DATA;
    PrivateBus bus;
    if (!bus.start()) GTEST_SKIP() << "no dbus-daemon (Debian package dbus): notifications not tried";
    FakeNotifications service;
    QDBusConnection serviceSide = bus.connect(QStringLiteral("service"));
    ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(serviceSide.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service));
    WindowRig rig({2011, 3, 3, 13, 16, 10, 0});
    TForm1& w = rig.openFile(file);
    // Before the replay's first slice, which waits for the event loop.
    w.alarms().notifier().setBus(bus.connect(QStringLiteral("window")));
    ASSERT_TRUE(spin_until([&] { return rig.boxes.texts().contains(" End of data"); }, 60000));
    ASSERT_TRUE(spin_until([&] { return service.shown.size() == 3; }));
    AlarmsPage& p = w.alarmsPage();
    p.refresh();
    QStringList standing;
    for (int r = 0; r < p.activeTable()->rowCount(); ++r)
        standing << p.activeTable()->item(r, 0)->text() + " " + p.activeTable()->item(r, 1)->text() + " " +
                        p.activeTable()->item(r, 4)->text();
    // Newest first, each with its latest figure.
    EXPECT_EQ(standing, QStringList({"2011-03-03 13:27:22 station station id changed from 688 to 652",
                                     "2011-03-03 13:27:07 prc PRC of R14 is 141.44 m (limit 100 m)",
                                     "2011-03-03 13:27:03 health station health 6: reference station not monitored"}));
    EXPECT_EQ(p.historyTable()->rowCount(), 3);
    EXPECT_EQ(p.historyTable()->item(0, 2)->text() + " " + p.historyTable()->item(0, 1)->text(), "station begin");
    QString style;
    for (ElidedLabel* l : w.findChildren<ElidedLabel*>())
        if (l->text() == w.panelText(3)) style = l->styleSheet();
    EXPECT_EQ(w.panelText(3) + "|" + style, "3 alarms|color: red");
    p.acknowledge();
    EXPECT_EQ(w.panelText(3), "3 alarms (acknowledged)");
    EXPECT_EQ(p.activeTable()->item(0, 1)->foreground().color(), QColor(Qt::gray));
    EXPECT_EQ(service.shown, QStringList({"Tessaly: health notice|station health 6: reference station not monitored\n" +
                                              file + ", station 688|1",
                                          "Tessaly: prc alarm|PRC of R14 is 141.64 m (limit 100 m)\n" + file +
                                              ", station 688|2",
                                          "Tessaly: station alarm|station id changed from 688 to 652\n" + file +
                                              ", station 652|2"}));
    // The statistics and their exports count them per rule.
    EXPECT_EQ(w.statsPage().stats().total().alarms,
              (std::map<std::string, std::uint64_t>{{"health", 1}, {"prc", 1}, {"station", 1}}));
}

struct NoService {
    const char* name;
    bool bus;  // a bus without the service, or none at all
    QString line;
};

class Notifications : public ::testing::TestWithParam<NoService> {};

TEST_P(Notifications, WithoutAServiceAreOneLogLine) {
    PrivateBus bus;
    if (GetParam().bus && !bus.start()) GTEST_SKIP() << "no dbus-daemon (Debian package dbus)";
    DesktopNotifier n;
    n.setBus(GetParam().bus ? bus.connect(QStringLiteral("lonely")) : QDBusConnection(QStringLiteral("none")));
    QStringList lines;
    n.onLog = [&](const QString& l) { lines << l; };
    alarms::Event e{"age", true, 0, "here", 1, "newest corrections 31.0 s old (limit 30 s)", alarms::Severity::alarm};
    for (int i = 0; i < 3; ++i) n.notify(e);
    spin_until([&] { return !lines.isEmpty(); }, 3000);
    QTest::qWait(100);
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith(GetParam().line)) << lines[0].toStdString();
    EXPECT_EQ(n.delivered(), 0);
}

INSTANTIATE_TEST_SUITE_P(Buses, Notifications, ::testing::Values(
    NoService{"NoSessionBus", false, "no desktop notifications: no D-Bus session bus"},
    NoService{"NoNotificationService", true, "no desktop notifications: The name org.freedesktop.Notifications"}),
    [](const auto& info) { return std::string(info.param.name); });

// A TCP source that falls silent: the strip's figures are greyed and the
// latency field tells their age; the next data make them current again.
TEST(AlarmsStrip, SilentSourceShownStale) {
    TestServer server;
    WindowRig rig;
    configure_internet(rig.settings, server.port());
    rig.settings.silenceLimit = 1;
    TForm1& w = rig.open();
    ASSERT_TRUE(server.accept());
    const auto frame = [](std::uint16_t z) {
        StreamEncoder enc;
        enc.frame({.type = 6, .station = 9, .zcount = z});
        return bytes_of(enc.bytes());
    };
    server.send(frame(200));
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 1u; }));
    ASSERT_TRUE(spin_until([&] { return w.supervisor().state() == SourceSupervisor::State::Silent; }, 5000));
    rig.clock.set({2026, 12, 6, 10, 12, 7, 250});
    w.alarms().tick();
    const TForm1::Strip& s = w.strip();
    EXPECT_EQ(s.latency->text() + " " + QString::number(s.station->isEnabled()), "7 s old 0");
    EXPECT_EQ(s.station->toolTip(), "not current: the last frame came 7 s ago");
    server.send(frame(212));
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 2u; }));
    w.alarms().tick();
    EXPECT_TRUE(s.station->isEnabled());
    EXPECT_NE(w.strip().latency->text(), "7 s old");
}

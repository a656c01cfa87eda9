// The Alarms page on a real recording: the standing alarms newest first,
// the history, Acknowledge and the status bar's count; each new alarm on
// the desktop through a notification service of the test's own on a
// private D-Bus; one log line where no service answers; the strip of a
// live source that went quiet shown stale.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>

#include "alarms_page.h"
#include "elided_text.h"
#include "loopback_server.h"
#include "rtcm_encoder.h"
#include "stats_page.h"
#include "ui_test_util.h"
#include "window_alarms.h"

using namespace tessaly;
using namespace tessaly::testing;

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
    rig.settings.source = kSourceInternet;
    rig.settings.address = "127.0.0.1";
    rig.settings.port = server.port();
    rig.settings.silenceLimit = 1;
    TForm1& w = rig.open();
    QTcpSocket* c = server.accept();
    ASSERT_TRUE(c);
    const auto frame = [](std::uint16_t z) {
        StreamEncoder enc;
        enc.frame({.type = 6, .station = 9, .zcount = z});
        return QByteArray(reinterpret_cast<const char*>(enc.bytes().data()), qsizetype(enc.bytes().size()));
    };
    c->write(frame(200));
    c->flush();
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 1u; }));
    ASSERT_TRUE(spin_until([&] { return w.supervisor().state() == SourceSupervisor::State::Silent; }, 5000));
    rig.clock.set({2026, 12, 6, 10, 12, 7, 250});
    w.alarms().tick();
    const TForm1::Strip& s = w.strip();
    EXPECT_EQ(s.latency->text() + " " + QString::number(s.station->isEnabled()), "7 s old 0");
    EXPECT_EQ(s.station->toolTip(), "not current: the last frame came 7 s ago");
    c->write(frame(212));
    c->flush();
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 2u; }));
    w.alarms().tick();
    EXPECT_TRUE(s.station->isEnabled());
    EXPECT_NE(w.strip().latency->text(), "7 s old");
}

// The station-list dialog against a main server on 127.0.0.1 played by the
// test: the login, the station lines in arbitrary pieces, the filters, the
// log, closing and a second download.

#include "RTCM_U5.h"
#include "settings_record.h"
#include "loopback_server.h"
#include "ui_test_util.h"

using namespace tessaly;
using tessaly::testing::TestServer;
using tessaly::testing::spin_until;

namespace {

QStringList itemsOf(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

QString asLogged(QByteArray piece) {
    piece.replace("\r\n", "\n").replace('\r', '\n');
    if (piece.endsWith('\n')) piece.chop(1);
    return QString::fromLatin1(piece);
}

struct StationDialog : ::testing::Test {
    TestServer server;
    SettingsRecord settings;
    TForm4 form{settings};
    tessaly::testing::BoxRecorder boxes;

    void open() {
        settings.mainServerHost = "127.0.0.1";
        settings.mainServerPort = server.port();
        form.startOnShow = true;
        form.show();
        ASSERT_TRUE(server.waitForClient());
        ASSERT_TRUE(QTest::qWaitFor([this] { return form.connected(); }, 5000));
    }
    QString log() const { return form.Log->toPlainText(); }
    QStringList logLines() const { return log().split('\n'); }
    // One arrival: sent, then read by the dialog (its text ends the log).
    void arrive(const QByteArray& piece) {
        server.send(piece);
        ASSERT_TRUE(QTest::qWaitFor([&] { return log().endsWith(asLogged(piece)); }, 5000))
            << log().toStdString();
    }
    void setCountry(const QString& country) {
        form.Countries->setCurrentIndex(
            form.Countries->findText(country, Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
};

TEST_F(StationDialog, LoginStepsLogAndMaskedPassword) {
    open();
    arrive("220 main server ready\r\n");
    ASSERT_TRUE(server.waitForReceived("user tessaly\r\n"));
    arrive("331 password please\r\n");
    ASSERT_TRUE(server.waitForReceived("pass tessaly21\r\n"));
    arrive("230 logged in\r\n");
    EXPECT_EQ(form.loginState(), 4);
    EXPECT_EQ(server.allReceived(), "user tessaly\r\npass tessaly21\r\n");
    // After the socket layer's seven lines, each event stamped.
    EXPECT_TRUE(log().startsWith("WinSocket Version: "));
    QString events = logLines().mid(7).join('\n');
    events.replace(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d: ", QRegularExpression::MultilineOption), "hh:mm:ss: ");
    EXPECT_EQ(events, "hh:mm:ss: Trying to connect to server!\nhh:mm:ss: IP port successfully opened!\n"
                      "hh:mm:ss: connection to main server completed!\nsending:user tessaly\n220 main server ready\n"
                      "sending:pass *******************\n331 password please\n230 logged in");
}

TEST_F(StationDialog, GreetingAndUserReplyInOnePieceSendThePasswordAtTheNextArrival) {
    open();
    arrive("220 main server ready\r\n331 password please\r\n");
    ASSERT_TRUE(server.waitForReceived("user tessaly\r\n"));
    EXPECT_EQ(server.allReceived(), "user tessaly\r\n");
    arrive("hello\r\n");  // the pending text still holds "331"
    ASSERT_TRUE(server.waitForReceived("pass tessaly21\r\n"));
    EXPECT_EQ(form.loginState(), 3);
}

TEST_F(StationDialog, StationLinesInPiecesFiltersAndItems) {
    open();
    EXPECT_TRUE(form.Stations->isHidden() && form.SelectBtn->isHidden());
    // The second line ends in the middle of field 3 in the first piece.
    arrive("230 ok\r\n$DGPS;10.0.0.5;2101;StA;D;ver;m13;x;y;z;1;\r\n$DGPS;h2;2102;St");
    EXPECT_EQ(form.rawLines().count, 1);
    EXPECT_FALSE(form.Stations->isHidden() || form.SelectBtn->isHidden());
    EXPECT_EQ(form.Stations->currentText(), "+ StA ver m13 x y z 1 ");
    const TServer& a = form.station(1);
    EXPECT_EQ(a.address + "|" + a.port + "|" + a.station + "|" + a.country, "10.0.0.5|2101|StA|D");

    arrive("B;A;i1;i2;i3;i4;i5;x;\r\n");  // running character 'x' runs
    EXPECT_EQ(form.rawLines().count, 2);
    EXPECT_EQ(form.rawLines().lines[1], "$DGPS;h2;2102;StB;A;i1;i2;i3;i4;i5;x;\r");

    arrive("$DGPS;h3;2103;StC;a;c1;c2;c3;c4;c5;0;\r\n$DGPS;h;1;S;D;a;b;c;d;e;1\r\n"
           "$DGPS;h4;2104;StD;D;d1;d2;d3;d4;d5;1;\r\n");
    EXPECT_EQ(form.rawLines().count, 5);
    EXPECT_EQ(form.stationCount(), 4);  // ten semicolons are one too few
    EXPECT_EQ(itemsOf(form.Countries), (QStringList{"ALL", "D", "A", "a"}));
    EXPECT_EQ(itemsOf(form.Stations),
              (QStringList{"+ StA ver m13 x y z 1 ", "+ StB i1 i2 i3 i4 i5 1 ",
                           "+ StD d1 d2 d3 d4 d5 1 "}));

    form.RunningOnly->click();
    EXPECT_EQ(itemsOf(form.Stations),
              (QStringList{"+ StA ver m13 x y z 1 ", "+ StB i1 i2 i3 i4 i5 1 ", "- StC c1 c2 c3 c4 c5 0 ",
                           "+ StD d1 d2 d3 d4 d5 1 "}));
    setCountry("D");
    EXPECT_EQ(itemsOf(form.Stations), (QStringList{"+ StA ver m13 x y z 1 ", "+ StD d1 d2 d3 d4 d5 1 "}));
    EXPECT_EQ(form.station(form.itemMapAt(2)).address, "h4");
    setCountry("a");  // exact case: not StB of "A"
    EXPECT_EQ(itemsOf(form.Stations), (QStringList{"- StC c1 c2 c3 c4 c5 0 "}));
    EXPECT_EQ(form.station(form.itemMapAt(1)).address, "h3");
    form.RunningOnly->click();
    EXPECT_TRUE(itemsOf(form.Stations).isEmpty());
}

TEST_F(StationDialog, JunkAndAnEndlessLineStayBoundedAndAreLoggedOnce) {
    open();
    const QByteArray junk(64 * 1024, 'j');  // no "$DGPS", no line end
    server.send(junk);
    // Without a pause between polls: a piece of at most 1 KiB per event.
    ASSERT_TRUE(spin_until([&] { return log().count('j') >= junk.size(); }));
    EXPECT_EQ(log().count('j'), junk.size());
    EXPECT_LE(form.received().pending().size(), max_station_line);

    server.send("$DGPS;" + QByteArray(2 * 1024 * 1024, 'x') + "\r\n$DGPS;h;1;S1;CH;a;b;c;d;e;1;\r\n");
    ASSERT_TRUE(spin_until([&] { return form.stationCount() == 1; }, 20000));
    EXPECT_EQ(form.rawLines().count, 1);
    EXPECT_LT(log().count('x'), 2 * int(max_station_line));
    EXPECT_EQ(log().count("a line longer than 1024 bytes dropped!"), 1);
    form.CancelBtn->click();
    EXPECT_LT(form.received().pending().capacity(), 64u);
}

TEST_F(StationDialog, NoStationLineWithinTheTimeLimitEndsTheDownload) {
    form.listTimeoutMs = 300;
    open();
    arrive("220 main server ready\r\n");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !boxes.boxes.empty(); }, 5000));
    EXPECT_EQ(boxes.texts(), QStringList{"No station list from the main server within 0.3 s."});
    EXPECT_TRUE(logLines().last().endsWith(": No station list from the main server within 0.3 s. Download ended!"));
    EXPECT_FALSE(form.connected());
    EXPECT_TRUE(QTest::qWaitFor([this] { return server.disconnects == 1; }, 5000));
}

TEST_F(StationDialog, ClosingDropsTheChannelWithoutQuitAndASecondDownloadKeepsTheCountriesAndAHundredStations) {
    open();
    arrive("$DGPS;h;1;S1;CH;a;b;c;d;e;1;\r\n");
    form.SelectBtn->click();
    EXPECT_TRUE(form.listChosen && !form.isVisible() && !form.connected());
    ASSERT_TRUE(QTest::qWaitFor([this] { return server.disconnects == 1; }, 5000));
    EXPECT_FALSE(server.allReceived().contains("quit"));

    server.forgetClient();
    form.listChosen = false;
    open();  // a new channel, a new list
    EXPECT_TRUE(form.Stations->isHidden() && form.Stations->count() == 0 && form.stationCount() == 0);
    arrive("$DGPS;h;1;S2;AT;a;b;c;d;e;1;\r\n");
    EXPECT_EQ(itemsOf(form.Countries), (QStringList{"ALL", "CH", "AT"}));
    // At most a hundred stations; the lines beyond are read and dropped.
    QByteArray lines;
    for (int i = 0; i < 105; ++i) lines += "$DGPS;h;1;S" + QByteArray::number(i) + ";D;a;b;c;d;e;1;\r\n";
    server.send(lines + "done\r\n");  // read in several pieces of at most 1024 bytes
    ASSERT_TRUE(QTest::qWaitFor([&] { return log().endsWith("\ndone"); }, 5000));
    EXPECT_EQ(std::tuple(form.rawLines().count, form.stationCount(), form.Stations->count()), std::tuple(100, 100, 100));
    EXPECT_EQ(form.Stations->itemText(99), "+ S98 a b c d e 1 ");
    form.CancelBtn->click();
    EXPECT_FALSE(form.listChosen);
    ASSERT_TRUE(QTest::qWaitFor([this] { return server.disconnects == 2; }, 5000));
}

}  // namespace

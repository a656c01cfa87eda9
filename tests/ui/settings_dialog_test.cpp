// The settings dialog driven through its controls: first and later run,
// OK with each source, the own-server fields against a downloaded station,
// the file pick that takes effect even when the operator leaves with Esc.
#include <QTcpServer>
#include <QTcpSocket>

#include "RTCM_U5.h"
#include "Rtcm_u2.h"
#include "ntrip_picker.h"
#include "settings_record.h"
#include "settings_store.h"
#include "loopback_server.h"
#include "ui_test_util.h"

using namespace tessaly;
using tessaly::testing::TestServer;
using tessaly::testing::spin_until;

namespace {

QStringList listTexts(const TSettings& d) {
    return {d.PortList->currentText(), d.BaudList->currentText(), d.DataBitsList->currentText(),
            d.ParityList->currentText(), d.StopBitsList->currentText()};
}

QVariant stored(const char* name) { return open_user_settings()->value(kStoreGroup + "/" + name); }

struct SettingsDialog : ::testing::Test {
    tessaly::testing::BoxRecorder boxes;
    SettingsStore store;
    SettingsRecord settings;
    QStringList fileDialogFilters;  // one entry per file-open dialog shown
    QString fileDialogAnswer;
    void SetUp() override { QFile::remove(SettingsStore::file_path()); }
    std::unique_ptr<TSettings> create() {
        auto d = std::make_unique<TSettings>(settings, store);
        d->openFileDialog = [this](QWidget*, const QString& filter) {
            fileDialogFilters << filter;
            return fileDialogAnswer;
        };
        return d;
    }
    // A later run: a fresh record loading what the earlier runs stored.
    std::unique_ptr<TSettings> nextRun() {
        settings = SettingsRecord();
        return create();
    }
};

TEST_F(SettingsDialog, FirstRunThenALaterRunAfterOk) {
    auto d = create();
    EXPECT_TRUE(d->InternetBtn->isChecked());
    EXPECT_EQ(d->OwnAddress->text() + ":" + d->OwnPort->text() + "|" + d->SelectedStation->text(), "127.0.0.1:2101|");
    EXPECT_EQ(d->SetServerBtn->text(), "Set server address");
    EXPECT_FALSE(d->StationList->isVisibleTo(d.get()));
    // The address and port fields show with their captions.
    for (QWidget* w : std::initializer_list<QWidget*>{d->AddressCaption, d->OwnAddress, d->PortCaption, d->OwnPort})
        EXPECT_TRUE(w->isVisibleTo(d.get()));
    EXPECT_EQ(d->AddressCaption->text() + " " + d->PortCaption->text(), "Address Port");
    EXPECT_EQ(listTexts(*d), (QStringList{"COM1", "4800 baud", "8 Data Bits", "no parity", "1 Stop Bit"}));
    EXPECT_EQ(stored("source").toInt(), 1);  // the first run stores the serial source
    d->show();
    const std::pair<QComboBox*, const char*> choices[] = {{d->PortList, "COM3"}, {d->BaudList, "9600 baud"},
        {d->DataBitsList, "7 Data Bits"}, {d->ParityList, "odd parity"}, {d->StopBitsList, "2 Stop Bits"}};
    for (auto [list, text] : choices) list->setCurrentText(text);
    d->ParityOffBtn->click();
    settings.reopenRequested = false;
    d->OKBtn->click();
    EXPECT_TRUE(!d->isVisible() && settings.reopenRequested && !settings.paritycheck);
    EXPECT_EQ(std::tuple(settings.source, settings.comNumber, settings.baudrate, settings.server),
              std::tuple(kSourceInternet, 3, 9600, "own server 127.0.0.1 2101"));
    auto later = nextRun();
    EXPECT_TRUE(later->InternetBtn->isChecked() && later->AddressCaption->isVisibleTo(later.get()));
    EXPECT_EQ(later->SelectedStation->text() + "|" + later->SetServerBtn->text(), "own server 127.0.0.1 2101|set IP address/port");
    EXPECT_EQ(listTexts(*later),
              (QStringList{"COM3", "9600 baud", "7 Data Bits", "odd parity", "2 Stop Bits"}));
    EXPECT_TRUE(later->ParityOnBtn->isChecked());  // the choice lasted for its run only
    later->DirectBtn->click();  // the direct server, taken at once
    EXPECT_EQ(std::tuple(settings.source, settings.address, settings.port, settings.server, later->SelectedStation->text()),
              std::tuple(kSourceInternet, kDirectServerAddress, "2101", "RTCM Halverton (50.45,7.27) D 2.1 - 1,3,9,16,18,19",
                         settings.server));
}

// The serial source stores forwarding off and a typed rate text changes
// nothing; a typed device path is kept across runs, a COM name afterwards
// replaces it.
TEST_F(SettingsDialog, DevicePathTypedInLastsAndComNamesStillWork) {
    const QString path = "/dev/serial/by-id/usb-FTDI_A1-if00-port0";
    auto d = create();
    settings.transmit = true;
    d->SerialBtn->click();
    EXPECT_FALSE(d->StationGroup->isVisibleTo(d.get()));
    d->BaudList->setCurrentText("14400 baud");  // typed: no such item
    d->PortList->setCurrentText(path);
    d->OKBtn->click();
    EXPECT_EQ(std::tuple(settings.source, settings.transmit, stored("transmit").toInt(), settings.baudrate),
              std::tuple(kSourceSerial, false, 0, 4800));  // the loaded rate code
    auto later = nextRun();
    EXPECT_TRUE(later->SerialBtn->isChecked());
    EXPECT_EQ(later->PortList->currentText() + " " + settings.comport, path + " " + path);
    later->PortList->setCurrentText("COM2");
    later->OKBtn->click();
    EXPECT_EQ(settings.comport + " " + stored("comport").toString(), "COM2 COM2");
}

// The file pick takes effect even when the operator leaves with Esc; OK
// without a name asks for one.
TEST_F(SettingsDialog, FilePickAndEsc) {
    auto d = create();
    d->show();
    d->FileBtn->click();
    EXPECT_TRUE(d->FileMenuBtn->isVisible());
    d->OKBtn->click();  // no name yet: asked for one, without a filter, and cancelled
    EXPECT_EQ(fileDialogFilters, QStringList{""});
    EXPECT_EQ(std::tuple(settings.fileName, settings.source), std::tuple("", kSourceFile));
    d->show();
    fileDialogAnswer = "/data/stream.rtcm";
    settings.reopenRequested = false;
    d->FileMenuBtn->click();
    EXPECT_EQ(fileDialogFilters, (QStringList{"", "RTCM raw code (*.*)"}));
    EXPECT_EQ(d->FileNameField->text(), "/data/stream.rtcm");
    d->PortList->setCurrentText("COM5");
    QTest::keyClick(d.get(), Qt::Key_Escape);
    EXPECT_TRUE(!d->isVisible() && settings.reopenRequested);
    EXPECT_EQ(settings.fileName, "/data/stream.rtcm");
    EXPECT_EQ(stored("comport").toString(), "COM1");  // nothing saved
}

// Runs the station-list dialog as the settings dialog shows it (modally):
// the server sends `lines`, the operator picks item `pick` and selects, or
// ignores the list when `pick` is -1.
void download(TSettings& d, TestServer& server, const QByteArray& lines, int items, int pick) {
    QTimer driver;
    QElapsedTimer elapsed;
    elapsed.start();
    bool sent = false;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        TForm4* f = d.stationDialog();
        if (!f->isVisible()) return;
        if (elapsed.elapsed() > 5000) {
            f->CancelBtn->click();
        } else if (!sent && server.hasClient() && f->connected()) {
            server.send(lines);
            sent = true;
        } else if (sent && f->Stations->count() == items && pick < 0) {
            f->IgnoreBtn->click();
        } else if (sent && f->Stations->count() == items) {
            f->Stations->setCurrentIndex(pick);
            f->SelectBtn->click();
        }
    });
    driver.start(5);
    d.DownloadBtn->click();  // returns when the station dialog has closed
}

TEST_F(SettingsDialog, DownloadedStationAgainstOwnServerFields) {
    TestServer server;
    settings.mainServerPort = server.port();
    auto d = create();
    settings.mainServerPort = server.port();  // Load set the default again
    d->show();
    download(*d, server,
             "$DGPS;10.0.0.5;2101;StA;D;ver;m13;x;y;z;1;\r\n"
             "$DGPS;10.0.0.6;2102;StB;CH;info;b;c;d;e;1;\r\n",
             2, 1);
    ASSERT_TRUE(d->StationList->isVisible());
    const auto chosen = [&] { return settings.address + ":" + settings.port + " " + settings.server + "|" + d->SelectedStation->text(); };
    EXPECT_EQ(d->StationList->currentText(), "+ StB info b c d e 1 ");
    EXPECT_EQ(chosen(), "10.0.0.6:2102 StB CH info|StB CH info");
    // The operator picks the other entry: taken over at once.
    d->StationList->setFocus();
    QTest::keyClick(d->StationList, Qt::Key_Up);
    EXPECT_TRUE(chosen().startsWith("10.0.0.5:2101 StA D ver|"));
    // OK opens the station picked last, though the own-server fields are
    // filled, and the station field names it.
    d->OKBtn->click();
    EXPECT_EQ(chosen(), "10.0.0.5:2101 StA D ver|StA D ver");
    // Typing an own server makes it the choice.
    d->show();
    d->OwnPort->clear();
    QTest::keyClicks(d->OwnPort, "2110");
    d->OKBtn->click();
    EXPECT_EQ(chosen(), "127.0.0.1:2110 own server 127.0.0.1 2110|own server 127.0.0.1 2110");
}

TEST_F(SettingsDialog, AnIgnoredSecondDownloadDoesNotChangeWhatTheListedEntriesMean) {
    TestServer server;
    auto d = create();
    settings.mainServerPort = server.port();
    download(*d, server,
             "$DGPS;10.0.0.5;2101;StA;D;a;b;c;d;e;1;\r\n"
             "$DGPS;10.0.0.6;2102;StB;D;a;b;c;d;e;1;\r\n",
             2, 0);
    ASSERT_EQ(d->StationList->count(), 2);
    // A second download brings other stations, and the operator ignores it.
    server.forgetClient();
    download(*d, server,
             "$DGPS;10.9.9.9;9999;StZ;D;a;b;c;d;e;1;\r\n"
             "$DGPS;10.9.9.8;9998;StY;D;a;b;c;d;e;1;\r\n",
             2, -1);
    EXPECT_EQ(d->stationDialog()->station(2).address, "10.9.9.8");
    EXPECT_EQ(d->StationList->itemText(1), "+ StB a b c d e 1 ");
    d->StationList->setFocus();
    QTest::keyClick(d->StationList, Qt::Key_Down);
    EXPECT_EQ(settings.address + " " + settings.server, "10.0.0.6 StB D a");
}

// The NTRIP source: the caster's mountpoints fetched and picked (RTCM 2
// first, others marked), the fields stored with the password readable by
// the owner only.
TEST_F(SettingsDialog, NtripSourcetablePickAndStore) {
    QTcpServer caster;
    ASSERT_TRUE(caster.listen(QHostAddress::LocalHost, 0));
    QByteArray request;
    QObject::connect(&caster, &QTcpServer::newConnection, [&] {
        QTcpSocket* c = caster.nextPendingConnection();
        QObject::connect(c, &QTcpSocket::readyRead, [&, c] {
            request += c->readAll();
            if (!request.contains("\r\n\r\n")) return;
            c->write("SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\n\r\n"
                     "STR;EUR3;E;RTCM 3.2;1004(1);2;GPS;N;DEU;50.10;8.70;0;0;g;none;B;N;9600;\r\n"
                     "STR;HALV;Halverton;RTCM 2.3;1(1),3(10);2;GPS;N;DEU;50.45;7.27;1;0;g;none;B;N;4800;\r\n"
                     "ENDSOURCETABLE\r\n");
            c->disconnectFromHost();
        });
    });
    auto d = create();
    d->NtripBtn->setChecked(true);
    EXPECT_TRUE(d->NtripGroup->isVisibleTo(d.get()) && d->ReconnectBox->isChecked());
    d->NtripHost->setText("127.0.0.1");
    d->NtripPort->setText(QString::number(caster.serverPort()));
    QStringList rows;
    d->pickMount = [&](const ntrip::Sourcetable& table) {
        NtripPicker picker(table);
        for (int r = 0; r < picker.Table->rowCount(); ++r)
            rows << picker.Table->item(r, 0)->text() + " " + picker.Table->item(r, 1)->text() + " " +
                        picker.Table->item(r, 5)->text();
        picker.show();
        QTest::keyClick(picker.Table, Qt::Key_Return);  // the first row is chosen: Enter takes it
        return picker.result() == QDialog::Accepted ? picker.chosenMount() : QString();
    };
    d->SourcetableBtn->click();
    EXPECT_TRUE(request.startsWith("GET / HTTP/1.1\r\n")) << request.toStdString();
    EXPECT_EQ(rows, QStringList({"HALV RTCM 2.3 GGA needed", "EUR3 RTCM 3.2 (not decoded here) no"}));
    EXPECT_EQ(d->NtripMount->text(), "HALV");
    EXPECT_TRUE(boxes.boxes.empty());
    d->NtripUser->setText("op");
    d->NtripPassword->setText("s3cret");
    d->OKBtn->click();
    EXPECT_EQ(settings.source, kSourceNtrip);
    EXPECT_EQ(QFile::permissions(SettingsStore::file_path()),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    auto again = nextRun();
    EXPECT_TRUE(again->NtripBtn->isChecked());
    EXPECT_EQ(settings.ntripMount + " " + settings.ntripUser + ":" + settings.ntripPassword, "HALV op:s3cret");
}

// The picker has the keys: the arrow keys choose a row, Enter takes it,
// Esc takes none.
TEST(NtripPickerKeys, ArrowsEnterAndEsc) {
    std::string error;
    ntrip::Sourcetable table =
        ntrip::parse_sourcetable("STR;EUR3;E;RTCM 3.2;;2;GPS;N;DEU;50.10;8.70;0;0;g;none;B;N;9600;\r\n"
                                 "STR;HALV;H;RTCM 2.3;;2;GPS;N;DEU;50.45;7.27;0;0;g;none;B;N;4800;\r\n"
                                 "STR;ODIN;O;RTCM 2.1;;2;GPS;N;DEU;50.45;7.27;0;0;g;none;B;N;4800;\r\n");
    const std::pair<std::vector<Qt::Key>, QString> cases[] = {
        {{Qt::Key_Return}, "HALV"}, {{Qt::Key_Down, Qt::Key_Return}, "ODIN"}, {{Qt::Key_Escape}, ""}};
    for (const auto& [keys, mount] : cases) {
        NtripPicker picker(table);
        picker.show();
        for (Qt::Key k : keys) QTest::keyClick(picker.focusWidget() ? picker.focusWidget() : &picker, k);
        EXPECT_EQ(picker.result() == QDialog::Accepted ? picker.chosenMount() : QString(), mount);
    }
}

// A download that gets no answer is ended by the button (now "Cancel
// download") or by leaving the dialog, without a box then or later.
TEST_F(SettingsDialog, SourcetableDownloadCanBeCancelled) {
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Esc" : "Cancel download");
        TestServer silent;
        settings.silenceLimit = 1;
        auto d = create();
        d->show();
        d->NtripBtn->setChecked(true);
        d->NtripHost->setText("127.0.0.1");
        d->NtripPort->setText(silent.port());
        QString during;
        QTimer::singleShot(200, d.get(), [&] {
            during = d->SourcetableBtn->text();
            if (escape) QTest::keyClick(d.get(), Qt::Key_Escape);
            else d->SourcetableBtn->click();
        });
        d->SourcetableBtn->click();
        EXPECT_EQ(during + "|" + d->SourcetableBtn->text(), "Cancel download|Get sourcetable");
        EXPECT_EQ(silent.clients.size(), 1u);
        EXPECT_TRUE(QTest::qWaitFor([&] { return silent.disconnects == 1; }, 1000));
        QTest::qWait(1200);  // past the silence limit: nothing more comes
        EXPECT_TRUE(boxes.boxes.empty()) << boxes.texts().join('|').toStdString();
    }
}

// The station-list dialog against a main server on 127.0.0.1 played by the
// test: the login, the station lines in arbitrary pieces, the filters, the
// log, closing and a second download.

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

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

}  // namespace

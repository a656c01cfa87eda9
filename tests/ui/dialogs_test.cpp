// The dialogs plugged into the main window: the settings dialog at start-up
// and by "&Data Source", the storing dialog on the first Timer1 tick and by
// "&Save Menu", the leap-second dialog by "Leap Second".

#include "RTCM_U4.h"
#include "Rtcm_u2.h"
#include "Rtcm_u3.h"
#include "dialogs.h"
#include "recorder.h"
#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "settings_store.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// Answers the next modal dialog of type D once it is up.
template <class D, class F>
void whenModal(F answer) {
    auto* poll = new QTimer;
    auto deadline = std::make_shared<QElapsedTimer>();
    deadline->start();
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, answer] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!d && deadline->elapsed() < 5000) return;
        poll->stop();
        poll->deleteLater();
        if (d) answer(d);
    });
    poll->start(5);
}

// The serial source on COM12 (see DialogRig) taken with OK.
void chooseCom12(TSettings* d) {
    d->SerialBtn->click();
    d->PortList->setCurrentText("COM12");
    d->OKBtn->click();
}

struct DialogRig : WindowRig {
    SettingsStore store;
    RecordingControl recording;
    StoringFile storingFile;
    Dialogs dialogs{settings, store, decoder, recording, storingFile};
    QTemporaryDir dir;
    QString stream;

    DialogRig() {
        QFile::remove(SettingsStore::file_path());
        // COM12 leads nowhere, whatever serial devices this machine has.
        open_user_settings()->setValue(kPortsGroup + "/COM12", dir.filePath("no-such-tty"));
        StreamEncoder s;
        for (std::uint8_t seq = 0; seq < 3; ++seq) s.frame({.type = 1, .sequence = seq, .data = {1, 2}});
        stream = write_file(dir, "three.rtcm", s.bytes());
    }
    TForm1& start() {
        TForm1& w = open(dialogs.hooks());
        dialogs.attach(w);
        return w;
    }
};

// The file picked at start-up opens the file source though the operator
// left with Quit; "store data" ticked opens the storing dialog modally on
// the first Timer1 tick.
TEST(Dialogs, FilePickedAtStartUpOpensTheFileSourceAndTheStoringDialog) {
    DialogRig rig;
    whenModal<TSettings>([&](TSettings* d) {
        EXPECT_TRUE(d->InternetBtn->isChecked());  // the first run's settings, loaded
        d->openFileDialog = [&](QWidget*, const QString&) { return rig.stream; };
        d->FileBtn->click();
        d->FileMenuBtn->click();
        d->StoreData->setChecked(true);  // the hidden box, as an older settings file could leave it
        d->QuitBtn->click();
    });
    bool shownModally = false;
    whenModal<TForm2>([&](TForm2* d) {
        shownModally = true;
        QTest::keyClick(d->focusWidget(), Qt::Key_Escape);
    });
    TForm1& w = rig.start();
    EXPECT_EQ(w.panelText(0), "file " + rig.stream + " is open");
    EXPECT_TRUE(w.sourceState().openStoreAtStart);
    ASSERT_TRUE(spin_until([&] { return shownModally; }));
    EXPECT_FALSE(w.sourceState().openStoreAtStart);
    ASSERT_TRUE(spin_until([&] { return !rig.shown().empty(); }));
    EXPECT_EQ(rig.shownTexts(), QStringList{" End of data"});
    EXPECT_EQ(rig.decoder.frames_completed, 3u);

    // "&Data Source": the same dialog again; OK with the serial source
    // reopens the source on the chosen port.
    whenModal<TSettings>([](TSettings* d) {
        EXPECT_TRUE(d->FileBtn->isChecked());  // as the operator left it
        chooseCom12(d);
    });
    w.menu().datasource->trigger();
    EXPECT_EQ(std::tuple(rig.settings.source, rig.settings.comport), std::tuple(kSourceSerial, "COM12"));
    ASSERT_EQ(rig.shownTexts().size(), 2);
    EXPECT_TRUE(rig.shownTexts()[1].startsWith("Unable to open com port")) << rig.shownTexts()[1].toStdString();
}

// The file source chosen with OK is opened again at the next start, also
// when the operator leaves the settings dialog with Quit.
TEST(Dialogs, FileSourceOpensAgainAtTheNextStart) {
    QTemporaryDir dir;
    const QString stream = dir.filePath("kept.rtcm");
    {
        DialogRig rig;
        ASSERT_TRUE(QFile::copy(rig.stream, stream));
        whenModal<TSettings>([&](TSettings* d) {
            d->openFileDialog = [&](QWidget*, const QString&) { return stream; };
            d->FileBtn->click();
            d->FileMenuBtn->click();
            d->OKBtn->click();
        });
        rig.start();
        ASSERT_EQ(rig.settings.source, kSourceFile);
    }
    WindowRig next;  // a new run: a fresh record, the settings as stored
    SettingsStore store;
    RecordingControl recording;
    StoringFile storingFile;
    Dialogs dialogs{next.settings, store, next.decoder, recording, storingFile};
    whenModal<TSettings>([](TSettings* d) {
        EXPECT_TRUE(d->FileBtn->isChecked());
        d->QuitBtn->click();
    });
    TForm1& w = next.open(dialogs.hooks());
    EXPECT_EQ(w.panelText(0), "file " + stream + " is open");
    replay(w);
    EXPECT_EQ(next.shownTexts(), QStringList{" End of data"});
    EXPECT_EQ(next.decoder.frames_completed, 3u);
}

TEST(Dialogs, AFailingStoringFileStopsStoringWithOneBox) {
    DialogRig rig;
    whenModal<TSettings>(chooseCom12);  // boxes of that start forgotten
    TForm1& w = rig.start();
    rig.shown();
    rig.boxes.boxes.clear();
    // "Leap Second" and "&Save Menu" show their dialogs without blocking.
    w.menu().leapSecond->trigger();
    TForm3* leap = rig.dialogs.leapSecondDialog();
    ASSERT_TRUE(leap->isVisible() && !leap->isModal());
    QTest::keyClicks(leap->Edit1, "19");
    QTest::keyClick(leap->Edit1, Qt::Key_Return);
    EXPECT_EQ(std::tuple(rig.decoder.leapSeconds, rig.settings.leapSeconds, leap->isVisible()), std::tuple(19, 19, false));
    w.menu().save->trigger();
    TForm2* storing = rig.dialogs.storingDialog();
    ASSERT_TRUE(storing->isVisible() && !storing->isModal());
    QTest::keyClick(storing->focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(storing->isVisible());

    Recorder recorder(rig.recording, rig.storingFile,
                      [&](const std::string& f) { rig.dialogs.storingFailed(QString::fromStdString(f)); });
    rig.decoder.set_storing_hook(&recorder);

    w.menu().save->trigger();
    storing->Edit1->setText("/dev/full");
    storing->RadioButton[1]->setChecked(true);  // text: a block per frame
    QTest::mouseClick(storing->Button1, Qt::LeftButton);
    ASSERT_TRUE(rig.recording.storing_active);

    StreamEncoder s;
    for (std::uint16_t z = 0; z < 5; ++z) s.frame({.type = 3, .zcount = z, .data = station_words(1, 2, 3)});
    for (auto b : s.bytes()) rig.decoder.rtcm_decode_byte(b);
    rig.decoder.set_storing_hook(nullptr);

    ASSERT_EQ(rig.shown().size(), 1u) << rig.shownTexts().join(" / ").toStdString();
    EXPECT_EQ(rig.shown()[0].caption, kFailure);
    EXPECT_TRUE(rig.shown()[0].text.contains("No space left on device")) << rig.shown()[0].text.toStdString();
    EXPECT_FALSE(rig.recording.storing_active);
    EXPECT_EQ(storing->Button1->text(), "Start storing");
}

}  // namespace

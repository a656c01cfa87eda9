// The dialogs plugged into the main window: the settings dialog at start-up
// and by "&Data Source", the storing dialog on the first Timer1 tick and by
// "&Save Menu", the leap-second dialog by "Leap Second".
#include <QTextLayout>

#include "RTCM_U4.h"
#include "Rtcm_u2.h"
#include "Rtcm_u3.h"
#include "dialogs.h"
#include "recorder.h"
#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "settings_store.h"
#include "ui_test_util.h"
#include "settings_record.h"

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

// The leap-second dialog driven as an operator does: type, press OK or Quit.

struct LeapCase {
    const char* name;
    const char* typed;
    std::int32_t expected;  // the value after OK
    bool closes;
};

class LeapSecondText : public ::testing::TestWithParam<LeapCase> {};

TEST_P(LeapSecondText, OkTakesTheValueOrResetsTheField) {
    const LeapCase& c = GetParam();
    SettingsRecord settings;
    RtcmDecoder decoder;
    decoder.leapSeconds = settings.leapSeconds;  // as the window starts
    TForm3 dialog(settings, decoder);
    dialog.show();
    ASSERT_EQ(dialog.Edit1->text(), "18");
    dialog.Edit1->clear();
    QTest::keyClicks(dialog.Edit1, c.typed);
    QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
    // The decoder's value is what the frame layer reads; a refused text
    // leaves the dialog open with the value shown again.
    EXPECT_EQ(std::tuple(settings.leapSeconds, decoder.leapSeconds, dialog.isVisible()),
              std::tuple(c.expected, c.expected, !c.closes));
    EXPECT_TRUE(c.closes || dialog.Edit1->text() == "18");
}

const LeapCase leap_cases[] = {
    {"LeadingBlank", " 18", 18, true},
    {"TrailingBlank", "18 ", 18, false},
    {"Hex", "$12", 18, true},
    {"HexMixedCaseFullPattern", "$fFfFfFfF", -1, true},
    {"HexNineDigits", "$000000012", 18, false},
    {"SignedHex", "-$12", 18, false},
    {"LoneMinus", "-", 18, false},
    {"Empty", "", 18, false},
    {"Fraction", "1.5", 18, false},
    {"TrailingLetter", "13s", 18, false},
    {"Lowest", "-2147483648", -2147483647 - 1, true},
    {"BeyondHighest", "2147483648", 18, false},
};

INSTANTIATE_TEST_SUITE_P(Dialog, LeapSecondText, ::testing::ValuesIn(leap_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// GPS time is UTC + 18 s today: the window starts with 18 unless the
// operator kept another value, which the next run loads; the dialog says
// which of the two is in force. Quit keeps the value, and every showing
// shows the current one.
TEST(LeapSecondDialog, DefaultIsEighteenAndTheOperatorsValueIsKept) {
    QFile::remove(SettingsStore::file_path());
    tessaly::testing::WindowRig rig;
    rig.open();
    EXPECT_EQ(rig.decoder.leapSeconds, 18);
    SettingsStore store;
    ASSERT_EQ(store.Load(rig.settings), SettingsStore::LoadResult::FirstRun);
    EXPECT_EQ(rig.settings.leapSeconds, 18);
    TForm3 dialog(rig.settings, rig.decoder, &store);
    dialog.show();
    EXPECT_EQ(dialog.Origin->text(), "Default: GPS time has been UTC + 18\u00a0s since 1 January 2017.");
    // As the label wraps it: "18 s" stays on one line, and the lines fit.
    QStringList lines;
    QTextLayout layout(dialog.Origin->text(), dialog.Origin->font());
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(wrap);
    layout.beginLayout();
    for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
        l.setLineWidth(dialog.Origin->contentsRect().width());
        lines << dialog.Origin->text().mid(l.textStart(), l.textLength());
    }
    layout.endLayout();
    EXPECT_EQ(lines.filter(QRegularExpression("18[ \u00a0]s")).size(), 1) << lines.join('|').toStdString();
    EXPECT_LE(layout.boundingRect().height(), dialog.Origin->contentsRect().height()) << lines.join('|').toStdString();
    QTest::keyClick(dialog.Edit1, Qt::Key_Escape);  // no way out but the buttons
    EXPECT_TRUE(dialog.isVisible());
    dialog.Edit1->setText("20");
    QTest::mouseClick(dialog.QuitBtn, Qt::LeftButton);
    EXPECT_EQ(QString::number(rig.settings.leapSeconds) + " " + dialog.Edit1->text() + " " +
                  QString::number(dialog.isVisible()), "18 18 0");
    rig.settings.leapSeconds = 4;  // changed elsewhere between showings
    dialog.show();
    EXPECT_EQ(dialog.Edit1->text(), "4");
    QTest::keyClicks(dialog.Edit1, "19");  // the shown value is selected
    QTest::keyClick(dialog.Edit1, Qt::Key_Return);  // OK is the default button
    EXPECT_EQ(std::tuple(rig.decoder.leapSeconds, dialog.isVisible()), std::tuple(19, false));
    SettingsRecord next;
    ASSERT_EQ(store.Load(next), SettingsStore::LoadResult::Loaded);
    RtcmDecoder decoder;
    TForm3 again(next, decoder, &store);
    again.show();
    EXPECT_EQ(again.Edit1->text() + " " + again.Origin->text(), "19 Your value, kept in your settings.");
    QFile::remove(SettingsStore::file_path());
}

// The storing dialog driven through its controls and keys: start and stop
// with the storing file, the key ring, the Enter rules, Up and Down.

struct StoringDialog : ::testing::Test {
    QTemporaryDir dir;
    RecordingControl control;
    StoringFile file;
    TForm2 form{control, file};
    tessaly::testing::BoxRecorder boxes;
    QString path(const char* name) const { return dir.filePath(name); }
    void press(int key) { QTest::keyClick(form.focusWidget(), Qt::Key(key)); }
    void startWithName(const QString& name) {
        form.Edit1->setText(name);
        QTest::mouseClick(form.Button1, Qt::LeftButton);
    }
};

TEST_F(StoringDialog, StartStopStartAppendsAndANewNameStartsEmpty) {
    EXPECT_EQ(form.Edit1->text(), "RTCM.DAT");
    form.show();
    tessaly::testing::write_file(dir, "a.dat", {'o', 'l', 'd'});
    startWithName(path("a.dat"));
    EXPECT_EQ(tessaly::testing::read_file(path("a.dat")), "");  // created empty
    EXPECT_TRUE(control.storing_active && form.Label3->isVisible() && !form.Edit1->isEnabled());
    EXPECT_EQ(form.Button1->text(), "Stop storing");
    file.write("first ");
    QTest::mouseClick(form.Button1, Qt::LeftButton);  // stop: made durable
    EXPECT_EQ(tessaly::testing::read_file(path("a.dat")), "first ");
    EXPECT_FALSE(control.storing_active || form.Label3->isVisible());
    EXPECT_EQ(form.Button1->text(), "Start storing");
    startWithName(path("a.dat"));  // same name: goes on at the end
    file.write("second");
    file.make_durable();
    EXPECT_EQ(tessaly::testing::read_file(path("a.dat")), "first second");
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    tessaly::testing::write_file(dir, "b.dat", {'o', 'l', 'd'});
    startWithName(path("b.dat"));
    EXPECT_EQ(tessaly::testing::read_file(path("b.dat")), "");
    EXPECT_TRUE(boxes.texts().isEmpty());
    // The decoder takes the format over at the next byte (the recorder
    // tests follow that); raw storing, done by the receive paths before any
    // byte reaches the decoder, is armed and disarmed by Start and Stop.
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    form.RadioButton[1]->click();
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_TRUE(control.apply_pending && control.format == StoreFormat::text && !control.raw_mode);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    form.RadioButton[2]->click();
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_TRUE(control.raw_mode);
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_FALSE(control.raw_mode);
}

TEST_F(StoringDialog, AFileThatCannotBeCreatedIsReportedAndTheNextStartTriesAgain) {
    form.show();
    startWithName(path("missing/x.dat"));
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_TRUE(boxes.texts()[0].contains("No such file or directory")) << boxes.texts()[0].toStdString();
    EXPECT_FALSE(control.storing_active || form.Label3->isVisible());
    EXPECT_EQ(form.Button1->text(), "Start Storing");
    EXPECT_EQ(form.opened_file_name, " ");
    ASSERT_TRUE(QDir(dir.path()).mkdir("missing"));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_TRUE(control.storing_active);
    EXPECT_EQ(tessaly::testing::read_file(path("missing/x.dat")), "");
}

TEST_F(StoringDialog, TabRingAndEnterMark) {
    form.store_file_name = path("ring.dat");
    form.show();
    // The focus after each Tab, from Button2 round the ring.
    const auto ring = [&](std::vector<QWidget*> stops) {
        for (QWidget* w : stops) {
            press(Qt::Key_Tab);
            EXPECT_EQ(form.focusWidget(), w);
        }
    };
    EXPECT_EQ(form.focusWidget(), form.Button2);
    ring({form.CheckBox[0]});
    form.Edit1->setText("typed but not taken");
    ring({form.Edit1, form.RadioButton[0], form.Button2});
    EXPECT_EQ(form.Edit1->text(), path("ring.dat"));  // reset to the stored name
    // Enter in Edit1 takes the name and moves on to Button1 with the mark:
    // Enter there starts storing without closing the dialog.
    ring({form.CheckBox[0], form.Edit1});
    form.Edit1->setText(path("typed.dat"));
    press(Qt::Key_Return);
    EXPECT_EQ(form.store_file_name, path("typed.dat"));
    EXPECT_TRUE(form.focusWidget() == form.Button1 && form.enterMark());
    press(Qt::Key_Return);
    EXPECT_TRUE(control.storing_active && form.isVisible() && !form.enterMark());
    EXPECT_EQ(tessaly::testing::read_file(path("typed.dat")), "");
    EXPECT_EQ(form.focusWidget(), form.Button2);
    // While storing, Tab from the type list goes to Button1 and sets the mark.
    ring({form.CheckBox[0], form.Button1});
    EXPECT_TRUE(form.enterMark());
    QSignalSpy closed(&form, &TForm2::closed);
    ring({form.RadioButton[0], form.Button2});
    press(Qt::Key_Enter);  // on Button2, the mark still set: it only clears it
    EXPECT_TRUE(form.isVisible() && !form.enterMark());
    press(Qt::Key_Enter);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closed.count(), 1);
    // Enter on Button1 reached otherwise (no mark) switches and closes;
    // shown again while storing, Edit1 is read-only; Esc closes.
    form.show();
    EXPECT_TRUE(form.Edit1->isReadOnly());
    form.Button1->setFocus();
    press(Qt::Key_Return);
    EXPECT_FALSE(control.storing_active || form.isVisible());
    form.show();
    press(Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closed.count(), 3);
    // The type list and the format group cycle with Up and Down.
    form.show();
    form.CheckBox[0]->setFocus();
    press(Qt::Key_Up);  // cyclic: from Type 1 to All Types
    EXPECT_EQ(form.focusWidget(), form.CheckBox10);
    press(Qt::Key_Return);  // unticking All Types unticks every type
    EXPECT_FALSE(control.all_types);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(form.focusWidget(), form.CheckBox[1]);
    press(Qt::Key_Return);
    EXPECT_EQ(control.type_checked, (std::array<bool, 9>{false, true}));
    form.RadioButton[0]->setFocus();
    press(Qt::Key_Up);  // cyclic: from the code format to raw
    EXPECT_EQ(control.format, StoreFormat::raw);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(control.format, StoreFormat::text);
}

}  // namespace

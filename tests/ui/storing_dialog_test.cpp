// The storing dialog driven through its controls and keys: start and stop
// with the storing file, the key ring, the Enter rules, Up and Down.

#include "Rtcm_u3.h"
#include "ui_test_util.h"

using namespace tessaly;

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

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
    EXPECT_EQ(contents(path("a.dat")), "");  // created empty
    EXPECT_TRUE(control.storing_active && form.Label3->isVisible() && !form.Edit1->isEnabled());
    EXPECT_EQ(form.Button1->text(), "Stop storing");

    file.write("first ");
    QTest::mouseClick(form.Button1, Qt::LeftButton);  // stop: made durable
    EXPECT_EQ(contents(path("a.dat")), "first ");
    EXPECT_FALSE(control.storing_active || form.Label3->isVisible());
    EXPECT_EQ(form.Button1->text(), "Start storing");

    startWithName(path("a.dat"));  // same name: goes on at the end
    file.write("second");
    file.make_durable();
    EXPECT_EQ(contents(path("a.dat")), "first second");

    QTest::mouseClick(form.Button1, Qt::LeftButton);
    tessaly::testing::write_file(dir, "b.dat", {'o', 'l', 'd'});
    startWithName(path("b.dat"));
    EXPECT_EQ(contents(path("b.dat")), "");
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
    EXPECT_EQ(contents(path("missing/x.dat")), "");
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
    EXPECT_EQ(contents(path("typed.dat")), "");
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

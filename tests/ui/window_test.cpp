// The main window as it opens, its status strip after headers, its menus
// and its keys.

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "settings_store.h"
#include "ui_test_util.h"

#include <QMenuBar>

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// Z-count 1000 is 600 s into the hour: 10:10:00 with the clock at 10:12:00.250,
// so the frame is 120.25 s old plus 18 leap seconds.
TEST(ShowHeader, StripAfterHeaders) {
    const ClockReading at_10_12{2026, 12, 6, 10, 12, 0, 250};
    const struct {
        const char* name;
        ClockReading clock;
        std::vector<std::tuple<std::uint8_t, std::uint8_t, std::uint16_t>> frames;  // type, sequence, zcount
        QStringList strip;  // sequence, frames, M-Z-count, latency
    } cases[] = {
        {"three frames", at_10_12, {{1, 3, 1000}, {3, 4, 1000}, {1, 5, 1000}},
         {"+3-4+5", "+1-3+1", "36600.0 = 10:10:00", "138.250"}},
        {"first header", at_10_12, {{18, 7, 1001}}, {"+7", "+18", "36600.6 = 10:10:00", "137.650"}},
        {"midnight", {2026, 12, 6, 0, 0, 1, 0}, {{9, 0, 0}}, {"+0", "+9", "0.0 = 00:00:00", "19.000"}},
        // Twelve headers: the older ones roll out of the fields.
        {"long history", at_10_12,
         {{1, 0, 1000}, {1, 1, 1000}, {1, 2, 1000}, {1, 3, 1000}, {1, 4, 1000}, {1, 5, 1000},
          {1, 6, 1000}, {1, 7, 1000}, {1, 0, 1000}, {1, 1, 1000}, {1, 2, 1000}, {2, 3, 1000}},
         {"-5+6-7+0-1+2-3", "-1+1-1+1-1+1-2", "36600.0 = 10:10:00", "138.250"}},
    };
    for (const auto& c : cases) {
        StreamEncoder s;
        for (auto [type, seq, z] : c.frames) {
            // Message 3 always spans four data words.
            s.frame({.type = type, .station = 517, .zcount = z, .sequence = seq, .health = 6,
                     .data = type == 3 ? station_words(1, 2, 3) : std::vector<std::uint32_t>{0x123456}});
        }
        QTemporaryDir dir;
        WindowRig rig(c.clock);
        TForm1& w = rig.openFile(write_file(dir, "h.rtcm", s.bytes()));
        replay(w);
        const auto& st = w.strip();
        EXPECT_EQ(QStringList({st.station->text(), st.health->text(), st.sequence->text(), st.frames->text(),
                               st.mzCount->text(), st.latency->text()}),
                  QStringList({"517", "6"}) + c.strip) << c.name;
    }
}

// The page it opens on, Info's help, the decoding choice (stored) and the
// clock; the items that open dialogs are driven by the dialog tests.
TEST(MainWindow, OpensWithItsCaptions) {
    WindowRig rig({2026, 3, 5, 7, 8, 9, 999});
    std::vector<bool> saved;
    TForm1& w = rig.open({.saveDecoding = [&](bool on) { saved.push_back(on); }});
    EXPECT_EQ(w.pages().tabText(w.pages().currentIndex()), "Type 1");
    EXPECT_FALSE(w.menu().transmit->menuAction()->isEnabled() || w.menu().halt->isVisible());
    w.menu().info->trigger();
    ASSERT_EQ(rig.shown().size(), 1u);
    const QStringList info = rig.shown()[0].text.split('\n');
    EXPECT_EQ(info.mid(0, 2), QStringList({"Tessaly Version 2.1", "Monitor for RTCM SC-104 version 2 differential-GNSS streams."}));
    EXPECT_TRUE(info.filter(QRegularExpression("^Keys: D Data Source, S Save Menu, T Transmit, C Decoding, "
                                               "H Halt .*, L Leap Second, I Info; Alt or F10")).size() == 1);
    EXPECT_TRUE(info.contains("Settings: " + SettingsStore::file_path()));
    EXPECT_TRUE(info.contains("Documentation: " TESSALY_README " and the man pages tessaly(1), tessaly-decode(1), tessaly-serve(1)."));
    // The decoding items mark the choice in force, which is stored.
    EXPECT_EQ(w.menu().on->text(), "Display decoded RTCM messages");
    w.menu().off->trigger();
    emit w.menu().decoding->aboutToShow();
    EXPECT_EQ(w.menu().on->text() + "|" + w.menu().off->text(),
              "display decoded RTCM messages|don't display decoded RTCM messages *");
    EXPECT_FALSE(rig.settings.decoding);
    w.menu().on->trigger();
    emit w.menu().decoding->aboutToShow();
    EXPECT_EQ(w.menu().on->text(), "display decoded RTCM messages *");
    EXPECT_EQ(saved, std::vector<bool>({false, true}));
    // The clock label, every second.
    ASSERT_TRUE(spin_until([&] { return w.strip().labelTime->text() != "Date + Time"; }, 3000));
    EXPECT_EQ(w.strip().labelTime->text(), "05.03.2026   07:08:09");
}

// The strip and page fields are displays: a typed letter changes none of
// them, none can take the focus, and the letter reaches its menu.
TEST(MainWindow, FieldsTakeNoTypedText) {
    WindowRig rig;
    int dialogs = 0;
    TForm1& w = rig.open({.settingsDialog = [&] { return ++dialogs, false; }});
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    for (QLineEdit* e : w.findChildren<QLineEdit*>()) {
        const QString before = e->text();
        QTest::keyClick(e, Qt::Key_D);
        EXPECT_EQ(e->text(), before) << e->objectName().toStdString();
        EXPECT_EQ(e->focusPolicy(), Qt::NoFocus) << before.toStdString();
    }
    dialogs = 0;
    QTest::keyClick(&w, Qt::Key_D);
    EXPECT_EQ(dialogs, 1);
}

// The window opens on Type 1; the first frame of a source shows its page,
// unless the operator chose a page (which then stays).
TEST(MainWindow, FirstFrameChoosesThePage) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> first, second;  // the types of each source's frames
        int chosen;                               // by the operator at the start, or -1
        QStringList shown;                        // the page after each source
    } cases[] = {
        {"station first", {3, 1}, {19, 3}, -1, {"Type 3+22", "Type 19"}},
        {"other type first", {6, 1}, {1}, -1, {"other Type", "Type 1"}},
        {"operator's page", {3, 1}, {19}, MessagePages::Type9, {"Type 9", "Type 9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const auto file = [&](const char* name, const std::vector<std::uint8_t>& types) {
            StreamEncoder s;
            for (std::uint8_t t : types)
                s.frame({.type = t, .data = t == 3 ? station_words(1, 2, 3) : std::vector<std::uint32_t>{0x123456}});
            return write_file(dir, name, s.bytes());
        };
        WindowRig rig;
        TForm1& w = rig.openFile(file("a", c.first));
        if (c.chosen >= 0) w.pages().setCurrentIndex(c.chosen);
        replay(w);
        QStringList shown{w.pages().tabText(w.pages().currentIndex())};
        rig.settings.fileName = file("b", c.second);
        rig.settings.reopenRequested = true;
        w.OpenSource();
        replay(w);
        shown << w.pages().tabText(w.pages().currentIndex());
        EXPECT_EQ(shown, c.shown);
    }
}

// Every menu entry is reached from the keyboard: by its plain letter, and
// through the menu bar after Alt or F10 (the arrow keys, then Enter).
TEST(MainWindow, EveryMenuByKeyboard) {
    const struct {
        const char* name;
        std::vector<Qt::Key> keys;
        const char* reached;
    } cases[] = {
        {"L", {Qt::Key_L}, "leap second"},
        {"I", {Qt::Key_I}, "info"},
        {"C", {Qt::Key_C}, "decoding"},
        {"Alt", {Qt::Key_Alt, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Return}, "info"},
        {"F10", {Qt::Key_F10, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Return}, "leap second"},
        {"F10 to Decoding", {Qt::Key_F10, Qt::Key_Right, Qt::Key_Right, Qt::Key_Return}, "decoding"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        QString reached;
        TForm1& w = rig.open({.leapSecondDialog = [&] { reached = "leap second"; }});
        QObject::connect(w.menu().decoding, &QMenu::aboutToShow, [&] { reached = "decoding"; });
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QMenuBar* bar = w.menuBar();
        const QImage before = bar->grab().toImage();
        for (Qt::Key k : c.keys) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, k);
            // The entry the keyboard is on stands out from the bar.
            if (QAction* on = bar->activeAction(); on && !on->menu()) {
                const QPoint at = bar->actionGeometry(on).topLeft() + QPoint(2, 2);
                const QColor was = before.pixelColor(at), is = bar->grab().toImage().pixelColor(at);
                EXPECT_GT(std::abs(was.lightness() - is.lightness()), 60) << on->text().toStdString();
            }
        }
        if (rig.shownTexts().size() == 1 && rig.shownTexts()[0].startsWith("Tessaly Version 2.1")) reached = "info";
        EXPECT_EQ(reached, c.reached);
        w.menu().decoding->close();
    }
}

// While storing runs, the status bar's last panel says what is stored where,
// and how large the file is; nothing when storing stops.
TEST(MainWindow, StoringStateInTheStatusBar) {
    QTemporaryDir dir;
    WindowRig rig;
    TForm1& w = rig.open();
    RecordingControl control;
    StoringFile file;
    w.setStoring(&control, &file);
    const QString path = dir.filePath("RTCM.DAT");
    file.create(path.toStdString());
    const std::tuple<StoreFormat, bool, const char*> cases[] = {
        {StoreFormat::code, false, "RTCM code"}, {StoreFormat::text, false, "decoded text"}, {StoreFormat::raw, true, "raw data"}};
    int size = 0;
    for (const auto& [format, raw, name] : cases) {
        control.storing_active = true;
        control.format = format;
        control.raw_mode = raw;
        file.write("12345");
        file.make_durable();
        size += 5;
        w.Timer2Timer();
        EXPECT_EQ(w.panelText(3), "storing " + QString(name) + " into " + path + ": " + QString::number(size) + " bytes");
    }
    control.storing_active = false;
    w.Timer2Timer();
    EXPECT_EQ(w.panelText(3), "");
}

// Up and Down walk the four sub-pages of the page showing; elsewhere nothing.
TEST(MainWindow, ArrowKeysSwitchSubPages) {
    WindowRig rig;
    TForm1& w = rig.open();
    MessagePages& p = w.pages();
    QTabWidget* sub = p.subTabs(MessagePages::Type20);
    QTest::keyClick(&w, Qt::Key_Up);  // on "Type 1"
    EXPECT_EQ(sub->currentIndex(), 0);
    p.setCurrentIndex(MessagePages::Type20);
    sub->setCurrentIndex(MessagePages::Special);
    QList<int> seen;  // the sub-page after each key
    for (auto key : {Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down})
        QTest::keyClick(&w, key), seen << sub->currentIndex();
    EXPECT_EQ(seen, QList<int>({MessagePages::L1, MessagePages::L2, MessagePages::L1, MessagePages::Special,
                                MessagePages::Iono}));
    EXPECT_EQ(p.subTabs(MessagePages::Type21)->currentIndex(), 0);
}

}  // namespace

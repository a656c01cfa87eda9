// The leap-second dialog driven as an operator does: type, press OK or Quit.

#include "RTCM_U4.h"
#include "settings_record.h"
#include "settings_store.h"
#include "ui_test_util.h"

#include <QTextLayout>

using namespace tessaly;

namespace {

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

}  // namespace

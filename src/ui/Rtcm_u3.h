#pragma once
// The storing dialog: the storing file's name, start and stop, the format
// and the message types. It writes the RecordingControl that the decoder's
// storing step and the raw receive paths read, and creates the storing file.
// Shown without blocking from the main window (modally when the file source
// asks for it at start-up).

#include <QDialog>
#include <QPalette>
#include <QString>

#include <array>

#include "recorder.h"
#include "storing_file.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tessaly {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    TForm2(RecordingControl& control, StoringFile& file, QWidget* parent = nullptr);

    // ---- Components, by their names in the form.
    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    // CheckBox1 .. CheckBox9 (types 1, 2, 3, 9, 16, 18, 19, 20, 21), then
    // CheckBox10 "All Types": the type list, in its Up/Down order.
    std::array<QCheckBox*, 10> CheckBox{};
    QCheckBox* CheckBox10 = nullptr;
    QFrame* Bevel2 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Button1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    std::array<QRadioButton*, 3> RadioButton{};  // code, text, raw
    QPushButton* Button2 = nullptr;

    QString store_file_name = QStringLiteral("RTCM.DAT");
    QString opened_file_name = QStringLiteral(" ");

    void Button1Click();
    void Button2Click();
    void Clickall();

    // The storing file failed: storing stops as by Stop, without another
    // durability step on the failing file, so that one failure shows one
    // box instead of one per byte or chunk. The next Start tries again.
    void stopAfterFailure();

    // Set by Enter in Edit1 and by Tab from the type list while storing: the
    // next Enter on Button1 switches storing without closing the dialog.
    bool enterMark() const { return enterMark_; }

signals:
    // The dialog was closed (FormClose).
    void closed();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Oncreate();
    void showStopped();
    bool keydown(int key);
    void tabRing();
    void enterKey();
    void upDown(int step);
    int typeListIndex(const QWidget* w) const;
    int formatIndex(const QWidget* w) const;
    void setTextColour(QWidget* w, QPalette::ColorRole role, const QColor& c);
    void reportError(const QString& text);

    RecordingControl& control_;
    StoringFile& file_;
    bool enterMark_ = false;
};

}  // namespace tessaly

#include "Rtcm_u3.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "dialog_layout.h"
#include "ui_boxes.h"

namespace tessaly {

namespace {

const QColor aqua(0, 255, 255);

}  // namespace

TForm2::TForm2(RecordingControl& control, StoringFile& file, QWidget* parent)
    : QDialog(parent), control_(control), file_(file) {
    setWindowTitle("Store Data Menu");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(427, 383);
    move(200, 99);

    Bevel1 = placed<QFrame>(this, {24, 16, 169, 353});
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Label1 = placed<QLabel>(this, {56, 24, 96, 16}, "Message Type");
    const char* const type_captions[] = {"Type 1",  "Type 2",  "Type 3",  "Type 9", "Type 16",
                                         "Type 18", "Type 19", "Type 20", "Type 21"};
    for (int i = 0; i < 9; ++i) {
        CheckBox[i] = placed<QCheckBox>(this, {56, 56 + 32 * i, 97, 17}, type_captions[i]);
        connect(CheckBox[i], &QCheckBox::toggled, this,
                [this, i](bool on) { control_.type_checked[std::size_t(i)] = on; });
    }
    CheckBox10 = CheckBox[9] = new QCheckBox("All Types", this);
    CheckBox10->setGeometry(56, 344, 97, 17);
    connect(CheckBox10, &QCheckBox::toggled, this, [this](bool on) { control_.all_types = on; });
    connect(CheckBox10, &QCheckBox::clicked, this, &TForm2::Clickall);

    Bevel2 = placed<QFrame>(this, {208, 16, 209, 153});
    Bevel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Label2 = placed<QLabel>(this, {272, 24, 60, 16}, "Filename");
    Edit1 = placed<QLineEdit>(this, {216, 48, 185, 24});
    Label3 = placed<QLabel>(this, {216, 88, 177, 16});
    Button1 = placed<QPushButton>(this, {216, 120, 185, 33}, "Start Storing");

    GroupBox1 = placed<QGroupBox>(this, {208, 192, 209, 113}, "Storing Format");
    const char* const format_captions[] = {"RTCM Code (valid only)", "Text Format (decoded)",
                                           "raw RTCM data"};
    const int format_widths[] = {169, 161, 113};
    const StoreFormat formats[] = {StoreFormat::code, StoreFormat::text, StoreFormat::raw};
    for (int i = 0; i < 3; ++i) {
        RadioButton[i] =
            placed<QRadioButton>(GroupBox1, {24, 24 + 32 * i, format_widths[i], 17}, format_captions[i]);
        const StoreFormat f = formats[i];
        connect(RadioButton[i], &QRadioButton::toggled, this, [this, f](bool on) {
            if (on) control_.format = f;
        });
    }

    Button2 = placed<QPushButton>(this, {208, 328, 209, 41}, "Close Menu (ESC)");

    for (QPushButton* b : {Button1, Button2}) b->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);

    QWidget* previous = CheckBox[0];
    for (QWidget* w : {static_cast<QWidget*>(CheckBox[1]), static_cast<QWidget*>(CheckBox[2]),
                       static_cast<QWidget*>(CheckBox[3]), static_cast<QWidget*>(CheckBox[4]),
                       static_cast<QWidget*>(CheckBox[5]), static_cast<QWidget*>(CheckBox[6]),
                       static_cast<QWidget*>(CheckBox[7]), static_cast<QWidget*>(CheckBox[8]),
                       static_cast<QWidget*>(CheckBox10), static_cast<QWidget*>(Button1),
                       static_cast<QWidget*>(Edit1), static_cast<QWidget*>(RadioButton[0]),
                       static_cast<QWidget*>(RadioButton[1]), static_cast<QWidget*>(RadioButton[2]),
                       static_cast<QWidget*>(Button2)}) {
        setTabOrder(previous, w);
        previous = w;
    }

    // The dialog sees every key before its controls do.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

    Oncreate();
}

void TForm2::Oncreate() {
    store_file_name = QStringLiteral("RTCM.DAT");
    Edit1->setText(store_file_name);
    control_.storing_active = false;
    control_.apply_pending = false;
    control_.raw_mode = false;
    opened_file_name = QStringLiteral(" ");
    RadioButton[0]->setChecked(true);
    CheckBox10->setChecked(true);
    control_.all_types = true;
    for (int i = 0; i < 9; ++i) control_.type_checked[std::size_t(i)] = CheckBox[i]->isChecked();
    Label3->setText("Storing mode is activated!!!");
    Label3->setAutoFillBackground(true);
    QPalette p = Label3->palette();
    p.setColor(QPalette::Window, aqua);
    p.setColor(QPalette::WindowText, Qt::red);
    Label3->setPalette(p);
    Label3->hide();
}

void TForm2::setTextColour(QWidget* w, QPalette::ColorRole role, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

void TForm2::showEvent(QShowEvent* e) {
    Edit1->setText(store_file_name);
    enterMark_ = false;
    setTextColour(Edit1, QPalette::Text, Qt::blue);
    Edit1->setReadOnly(control_.storing_active);
    Label3->setVisible(control_.storing_active);
    QDialog::showEvent(e);
    Button2->setFocus();
}

void TForm2::closeEvent(QCloseEvent* e) {
    QDialog::closeEvent(e);
    if (e->isAccepted()) emit closed();
}

void TForm2::reportError(const QString& text) { show_error(text); }

void TForm2::Button1Click() {
    if (control_.storing_active) {
        showStopped();
        try {
            file_.make_durable();
        } catch (const StoringError& e) {
            reportError(QString::fromLocal8Bit(e.what()));
        }
        opened_file_name = store_file_name;
    } else {
        store_file_name = Edit1->text();
        // A file is created only for a new name; the same name goes on at
        // the end of the open file. Nothing is open before the first start,
        // whatever name the operator typed.
        if (store_file_name != opened_file_name || !file_.is_open()) {
            try {
                file_.create(store_file_name.toStdString());
            } catch (const StoringError& e) {
                // Storing does not start; the next Start tries again.
                reportError(QString::fromLocal8Bit(e.what()));
                return;
            }
            opened_file_name = store_file_name;
        }
        setTextColour(Button1, QPalette::ButtonText, Qt::red);
        Button1->setText("Stop storing");
        Edit1->setReadOnly(true);
        Edit1->setEnabled(false);
        control_.storing_active = true;
        // Raw chunks are stored by the receive paths before any of their
        // bytes reaches the decoder, and not at all while decoding is off:
        // they learn of a start or stop here, not at the next decoded byte.
        control_.raw_mode = RadioButton[2]->isChecked();
        Label3->show();
    }
    Button2->setFocus();
    control_.apply_pending = true;
}

void TForm2::showStopped() {
    setTextColour(Button1, QPalette::ButtonText, Qt::blue);
    Button1->setText("Start storing");
    control_.storing_active = false;
    control_.raw_mode = false;
    Edit1->setReadOnly(false);
    Edit1->setEnabled(true);
    Label3->hide();
}

void TForm2::stopAfterFailure() {
    if (!control_.storing_active) return;
    showStopped();
    opened_file_name = store_file_name;
    control_.apply_pending = true;
}

void TForm2::Button2Click() { close(); }

void TForm2::Clickall() {
    const bool all = CheckBox10->isChecked();
    for (int i = 0; i < 9; ++i) CheckBox[i]->setChecked(all);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
        if (keydown(key->key())) return true;
    }
    return QDialog::eventFilter(watched, event);
}

int TForm2::typeListIndex(const QWidget* w) const {
    for (int i = 0; i < 10; ++i)
        if (CheckBox[i] == w) return i;
    return -1;
}

int TForm2::formatIndex(const QWidget* w) const {
    for (int i = 0; i < 3; ++i)
        if (RadioButton[i] == w) return i;
    return -1;
}

bool TForm2::keydown(int key) {
    switch (key) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_Tab:
        tabRing();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        enterKey();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const QWidget* f = focusWidget();
        if (typeListIndex(f) < 0 && formatIndex(f) < 0) return false;
        upDown(key == Qt::Key_Down ? 1 : -1);
        return true;
    }
    default:
        return false;
    }
}

// A fixed ring: Button2 -> type list -> Edit1 (Button1 while storing) ->
// format group -> Button2.
void TForm2::tabRing() {
    QWidget* f = focusWidget();
    if (f == Button2) {
        CheckBox[0]->setFocus(Qt::TabFocusReason);
    } else if (typeListIndex(f) >= 0) {
        if (control_.storing_active) {
            Button1->setFocus(Qt::TabFocusReason);
            enterMark_ = true;
        } else {
            Edit1->setText(store_file_name);
            setTextColour(Edit1, QPalette::Text, Qt::blue);
            Edit1->setFocus(Qt::TabFocusReason);
        }
    } else if (f == Edit1 || f == Button1) {
        RadioButton[0]->setFocus(Qt::TabFocusReason);
    } else {
        Button2->setFocus(Qt::TabFocusReason);
    }
}

void TForm2::enterKey() {
    if (focusWidget() == Button1) Button1Click();
    if (focusWidget() == Button2 && !enterMark_) {
        close();
        return;
    }
    if (focusWidget() == Edit1) {
        store_file_name = Edit1->text();
        setTextColour(Edit1, QPalette::Base, Qt::white);
        setTextColour(Edit1, QPalette::Text, Qt::blue);
        Button1->setFocus();
        enterMark_ = true;
    } else {
        enterMark_ = false;
    }
    const int i = typeListIndex(focusWidget());
    if (i >= 0) CheckBox[i]->click();
}

void TForm2::upDown(int step) {
    QWidget* f = focusWidget();
    if (const int i = typeListIndex(f); i >= 0) {
        CheckBox[(i + step + 10) % 10]->setFocus();
    } else if (const int k = formatIndex(f); k >= 0) {
        QRadioButton* next = RadioButton[(k + step + 3) % 3];
        next->setChecked(true);
        next->setFocus();
    }
}

}  // namespace tessaly

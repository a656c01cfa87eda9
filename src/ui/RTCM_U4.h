#pragma once
// The leap-second dialog: GPS time minus UTC, set by the operator because the
// stream does not carry it. Shown without blocking the main window; left only
// through its two buttons.

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string_view>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaly {

struct SettingsRecord;
class RtcmDecoder;
class SettingsStore;

// The integer text rules of the dialog's field: leading blanks, then either
// an optional sign and decimal digits within the 32-bit signed range, or "$"
// and one to eight hexadecimal digits taken as a 32-bit two's-complement
// pattern. Nothing may follow the digits.
std::optional<std::int32_t> leap_text_value(std::string_view text);

class TForm3 : public QDialog {
    Q_OBJECT
public:
    // OK sets leapSeconds in the record and in the decoder, whose frame
    // layer reads its own copy for the latency of the next frames, and keeps
    // it in `store` (when given) for the next runs.
    TForm3(SettingsRecord& settings, RtcmDecoder& decoder, SettingsStore* store = nullptr,
           QWidget* parent = nullptr);

    QLineEdit* Edit1 = nullptr;
    QLabel* Origin = nullptr;  // where the value in force came from
    QPushButton* OKBtn = nullptr;
    QPushButton* QuitBtn = nullptr;

    void OKBtnClick();
    void QuitBtnClick();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void showValue();

    SettingsRecord& settings_;
    RtcmDecoder& decoder_;
    SettingsStore* store_;
    bool unsaved_ = false;  // set this run, but the store refused it
};

}  // namespace tessaly

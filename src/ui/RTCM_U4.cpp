#include "RTCM_U4.h"

#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialog_layout.h"
#include "rtcmdecw.h"
#include "settings_record.h"
#include "settings_store.h"

namespace tessaly {

std::optional<std::int32_t> leap_text_value(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i < text.size() && text[i] == '$') {
        ++i;
        const std::size_t first = i;
        std::uint32_t pattern = 0;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            int digit;
            if (c >= '0' && c <= '9') digit = c - '0';
            else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            else return std::nullopt;
            if (i - first == 8) return std::nullopt;  // a ninth digit no longer fits
            pattern = (pattern << 4) | std::uint32_t(digit);
        }
        if (i == first) return std::nullopt;
        return std::int32_t(pattern);
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const std::size_t first = i;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) return std::nullopt;
    }
    if (i == first) return std::nullopt;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL) return std::nullopt;
    return std::int32_t(value);
}

TForm3::TForm3(SettingsRecord& settings, RtcmDecoder& decoder, SettingsStore* store, QWidget* parent)
    : QDialog(parent), settings_(settings), decoder_(decoder), store_(store) {
    setWindowTitle("Set Leap Seconds");
    // A fixed dialog border without title-bar buttons: the two buttons are
    // the only ways out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(260, 184);

    auto* heading = placed<QLabel>(this, {16, 8, 228, 28}, "Leap Seconds ");
    QFont big = heading->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.5);
    heading->setFont(big);
    placed<QLabel>(this, {16, 40, 228, 20}, "GPS-Time = UTC + Leap Seconds");

    Edit1 = placed<QLineEdit>(this, {16, 68, 120, 24});
    Origin = placed<QLabel>(this, {16, 96, 228, 36});
    Origin->setWordWrap(true);
    OKBtn = placed<QPushButton>(this, {16, 142, 100, 28}, "OK");
    QuitBtn = placed<QPushButton>(this, {144, 142, 100, 28}, "Quit");
    // Enter means OK wherever the focus is, also after "Quit" had it.
    QuitBtn->setAutoDefault(false);
    OKBtn->setAutoDefault(false);
    OKBtn->setDefault(true);

    connect(OKBtn, &QPushButton::clicked, this, &TForm3::OKBtnClick);
    connect(QuitBtn, &QPushButton::clicked, this, &TForm3::QuitBtnClick);
}

void TForm3::showValue() {
    Edit1->setText(QString::number(settings_.leapSeconds));
    if (unsaved_) Origin->setText(QStringLiteral("Your value, for this run only: it could not be saved."));
    else if (settings_.leapSecondsStored) Origin->setText(QStringLiteral("Your value, kept in your settings."));
    // A no-break space keeps the value with its unit when the line wraps.
    else Origin->setText(QStringLiteral("Default: GPS time has been UTC + %1\u00a0s since 1 January 2017.").arg(kDefaultLeapSeconds));
}

void TForm3::showEvent(QShowEvent* e) {
    showValue();
    Edit1->setFocus();
    Edit1->selectAll();
    QDialog::showEvent(e);
}

void TForm3::keyPressEvent(QKeyEvent* e) {
    // Esc would reject the dialog; only "OK" and "Quit" leave it.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TForm3::OKBtnClick() {
    const auto value = leap_text_value(Edit1->text().toStdString());
    if (!value) {
        showValue();
        return;
    }
    settings_.leapSeconds = *value;
    decoder_.leapSeconds = *value;
    if (store_) unsaved_ = !store_->SaveLeapSeconds(settings_, *value);
    showValue();
    hide();
}

void TForm3::QuitBtnClick() {
    showValue();
    hide();
}

}  // namespace tessaly

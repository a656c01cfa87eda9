#include "dialogs.h"

#include <QCheckBox>

#include "Rtcm_u3.h"
#include "RTCM_U4.h"
#include "Rtcm_u2.h"
#include "error_seam.h"
#include "settings_store.h"
#include "ui_boxes.h"

namespace tessaly {

Dialogs::Dialogs(SettingsRecord& settings, SettingsStore& store, RtcmDecoder& decoder,
                 RecordingControl& recording, StoringFile& storingFile)
    : settings_(settings), store_(store), decoder_(decoder), recording_(recording), storingFile_(storingFile) {}

Dialogs::~Dialogs() = default;

TForm1::Hooks Dialogs::hooks() {
    TForm1::Hooks h;
    h.settingsDialog = [this] {
        if (!settings_dialog_) settings_dialog_ = std::make_unique<TSettings>(settings_, store_);
        settings_dialog_->exec();
        return settings_dialog_->StoreData->isChecked();
    };
    h.storingDialog = [this](bool modal) {
        if (!storing_) return;
        if (modal) {
            storing_->exec();
        } else {
            storing_->show();
            storing_->raise();
            storing_->activateWindow();
        }
    };
    h.leapSecondDialog = [this] {
        if (!leap_) return;
        leap_->show();
        leap_->raise();
        leap_->activateWindow();
    };
    h.saveDecoding = [this](bool on) { store_.SaveDecoding(settings_, on); };
    h.storingFailed = [this](const QString& text) { storingFailed(text); };
    return h;
}

// Storing stops at once; the box follows from the event loop, since the
// failure comes from inside a receive path.
void Dialogs::storingFailed(const QString& text) {
    if (!storing_) return report_failure(text);
    storing_->stopAfterFailure();
    post_failure(storing_.get(), text);
}

void Dialogs::attach(TForm1& form) {
    storing_ = std::make_unique<TForm2>(recording_, storingFile_);
    QObject::connect(storing_.get(), &TForm2::closed, &form,
                     [&form] { form.sourceState().openStoreAtStart = false; });
    leap_ = std::make_unique<TForm3>(settings_, decoder_, &store_);
}

}  // namespace tessaly

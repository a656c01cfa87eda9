#pragma once
// The four dialogs as the main window reaches them: the settings dialog,
// created when the main window's start-up first asks for it (its creation
// loads the settings store and creates the station-list dialog), and the
// storing and leap-second dialogs, created hidden after the main window.

#include <memory>

#include "RTCM_U1.h"

namespace tessaly {

struct RecordingControl;
class SettingsStore;
class StoringFile;
class TForm2;
class TForm3;
class TSettings;

class Dialogs {
public:
    Dialogs(SettingsRecord& settings, SettingsStore& store, RtcmDecoder& decoder,
            RecordingControl& recording, StoringFile& storingFile);
    ~Dialogs();
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;

    // What the main window's start-up and menus call.
    TForm1::Hooks hooks();
    // Creates the storing and leap-second dialogs (hidden) for the main
    // window; closing the storing dialog clears its openStoreAtStart.
    void attach(TForm1& form);

    // The storing file failed (raw storing or the decoder's storing step):
    // storing stops and the failure is shown once.
    void storingFailed(const QString& text);

    TSettings* settingsDialog() const { return settings_dialog_.get(); }
    TForm2* storingDialog() const { return storing_.get(); }
    TForm3* leapSecondDialog() const { return leap_.get(); }

private:
    SettingsRecord& settings_;
    SettingsStore& store_;
    RtcmDecoder& decoder_;
    RecordingControl& recording_;
    StoringFile& storingFile_;
    std::unique_ptr<TSettings> settings_dialog_;
    std::unique_ptr<TForm2> storing_;
    std::unique_ptr<TForm3> leap_;
};

}  // namespace tessaly

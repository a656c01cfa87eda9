// tessaly: the monitor. Sets up the recorder on the process-wide decoder,
// creates the main window (whose creation runs the start-up sequence and
// opens the configured source) and runs until the main window closes.
#include <QApplication>

#include "RTCM_U1.h"
#include "recorder.h"
#include "rtcmdecw.h"
#include "settings_record.h"
#include "settings_store.h"
#include "storing_file.h"
#include "ui_boxes.h"

using namespace tessaly;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    install_message_boxes();

    SettingsRecord& settings = settings_record();
    RtcmDecoder& decoder = rtcm_decoder();
    // Storing: the control its dialog will own, the one storing file, and the
    // storing step that runs after every decoded byte.
    RecordingControl recording;
    StoringFile storingFile;
    Recorder recorder(recording, storingFile,
                      [](const std::string& failure) { report_failure(QString::fromStdString(failure)); });
    decoder.set_storing_hook(&recorder);

    SettingsStore store;
    TForm1::Hooks hooks;
    // The settings dialog loads the store when it is created; until it
    // exists the start-up loads it directly and the menu shows nothing.
    hooks.settingsDialog = [&store, &settings, loaded = false]() mutable {
        if (!loaded) {
            loaded = true;
            store.Load(settings);
        }
        return false;
    };
    hooks.saveDecoding = [&store, &settings](bool on) { store.SaveDecoding(settings, on); };

    TForm1 form(decoder, settings, hooks);
    form.setStoring(&recording, &storingFile);
    form.show();
    return QApplication::exec();
}

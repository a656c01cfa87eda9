// tessaly: the monitor. Sets up the recorder on the process-wide decoder,
// creates the main window (whose creation runs the start-up sequence with
// the settings dialog and opens the configured source), then the storing
// and leap-second dialogs, and runs until the main window closes.
#include <QApplication>

#include "RTCM_U1.h"
#include "dialogs.h"
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
    SettingsStore store;
    // The settings dialog is created, and loads the store, when the main
    // window's start-up first shows it; the storing and leap-second dialogs
    // follow the main window.
    Dialogs dialogs(settings, store, decoder, recording, storingFile);
    Recorder recorder(recording, storingFile, [&dialogs](const std::string& failure) {
        dialogs.storingFailed(QString::fromLocal8Bit(failure.c_str()));
    });
    decoder.set_storing_hook(&recorder);
    TForm1 form(decoder, settings, dialogs.hooks());
    form.setStoring(&recording, &storingFile);
    dialogs.attach(form);
    form.show();
    return QApplication::exec();
}

// tessaly: the monitor. Sets up the recorder on the process-wide decoder,
// creates the main window (whose creation runs the start-up sequence with
// the settings dialog and opens the configured source), then the storing
// and leap-second dialogs, and runs until the main window closes.
#include <QApplication>

#include "RTCM_U1.h"
#include "command_line.h"
#include "dialogs.h"
#include "recorder.h"
#include "rtcmdecw.h"
#include "settings_record.h"
#include "settings_store.h"
#include "storing_file.h"
#include "ui_boxes.h"

using namespace tessaly;

namespace {

// Qt's own options, which QApplication takes out of the command line
// itself; the parser only has to let them pass.
const char* const qt_value_options[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                        "qwindowgeometry", "geometry", "qwindowtitle", "title",
                                        "qwindowicon", "icon", "style", "stylesheet", "session",
                                        "display", "name", "qmljsdebugger"};
const char* const qt_flag_options[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

}  // namespace

int main(int argc, char** argv) {
    // Parsed before the QApplication, which needs a display: --help and
    // --version answer without one and open no window.
    CommandLine cl(QStringLiteral("tessaly"), QStringLiteral("[options]"),
                   "The monitor for RTCM SC-104 version 2 differential-GNSS streams: it\n"
                   "opens the settings dialog, then reads the chosen source (TCP, serial\n"
                   "port or file) and shows the latest content of every message type.",
                   "Qt's own options (-platform, -style, -geometry, -display, ...) are\n"
                   "passed on to Qt. The settings live in ~/.config/Tessaly/tessaly.ini.\n");
    cl.parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name : qt_value_options) {
        QCommandLineOption o(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        cl.parser.addOption(o);
    }
    for (const char* name : qt_flag_options) {
        QCommandLineOption o(QString::fromLatin1(name), QString());
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        cl.parser.addOption(o);
    }
    if (const auto done = cl.parse(arguments_of(argc, argv))) return *done;
    if (!cl.parser.positionalArguments().isEmpty())
        return cl.fail("unexpected argument '" + cl.parser.positionalArguments().first() + "'");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    // Lets desktops match the window with its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tessaly.Tessaly"));
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

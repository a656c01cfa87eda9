// tessaly: the monitor. Creates the main window (whose creation runs the
// start-up sequence and opens the configured source), then the storing and
// leap-second dialogs, and runs until the main window closes.
#include <QApplication>

#include "RTCM_U1.h"
#include "rtcmdecw.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    tessaly::TForm1 form(tessaly::rtcm_decoder(), tessaly::settings());
    form.show();
    return QApplication::exec();
}

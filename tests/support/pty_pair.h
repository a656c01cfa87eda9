#pragma once
// Two connected pseudo-terminals made by socat: `near` (the side under test,
// reached by its path) and `far` (the receiver or sender at the other end,
// opened here unless the test opens it itself). kill() takes both away as an
// unplugged device would; start() brings them back under the same names.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace tessaly::testing {

class PtyPair {
public:
    static bool available() { return !QStandardPaths::findExecutable("socat").isEmpty(); }
    bool start(bool open_far = true) {
        if (!available()) return false;
        socat.setReadChannel(QProcess::StandardError);
        socat.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + near, "pty,raw,echo=0,link=" + farPath});
        QByteArray said;
        for (int i = 0; i < 50 && !said.contains("starting data transfer loop"); ++i)
            if (socat.waitForReadyRead(100)) said += socat.readAll();
        far.setPortName(farPath);
        return said.contains("starting data transfer loop") && (!open_far || far.open(QIODevice::ReadWrite));
    }
    void kill() {
        far.close();
        socat.kill();
        socat.waitForFinished(5000);
    }
    ~PtyPair() { kill(); }
    // Reads at the far end until `n` bytes came (or five seconds passed),
    // the event loop running meanwhile.
    QByteArray read(qsizetype n) {
        QByteArray got;
        for (const QDeadlineTimer limit(5000); got.size() < n && !limit.hasExpired(); got += far.readAll())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return got;
    }
    QTemporaryDir dir;
    QString near = dir.filePath("near");
    QString farPath = dir.filePath("far");
    QProcess socat;
    QSerialPort far;
};

}  // namespace tessaly::testing

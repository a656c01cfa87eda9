// tessaly-serve FILE [--port 2101] [--bind 127.0.0.1] [--rate BYTES_PER_S] [--loop]
//
// Serves a recorded raw RTCM file to every TCP client that connects, paced
// at the given rate (0: unpaced), so that the monitor can be tried without a
// receiver. Without --loop a client's connection is closed after the last
// byte; with it the file starts again.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "stream_server.h"

namespace {

int usage(const char* why) {
    std::fprintf(stderr,
                 "tessaly-serve: %s\n"
                 "usage: tessaly-serve FILE [--port 2101] [--bind 127.0.0.1] [--rate BYTES_PER_S] [--loop]\n",
                 why);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString file;
    quint16 port = 2101;
    QHostAddress bind(QHostAddress::LocalHost);
    int rate = 400;  // about the pace of the demonstration stream
    bool loop = false;

    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto value = [&]() -> QString { return i + 1 < args.size() ? args[++i] : QString(); };
        bool ok = true;
        if (a == "--port") {
            const uint p = value().toUInt(&ok);
            if (!ok || p > 65535) return usage("--port takes a number 0..65535");
            port = quint16(p);
        } else if (a == "--bind") {
            if (!bind.setAddress(value())) return usage("--bind takes an IP address");
        } else if (a == "--rate") {
            rate = value().toInt(&ok);
            if (!ok || rate < 0) return usage("--rate takes a number of bytes per second (0: unpaced)");
        } else if (a == "--loop") {
            loop = true;
        } else if (a.startsWith("--") || !file.isEmpty()) {
            return usage(qPrintable("unexpected argument " + a));
        } else {
            file = a;
        }
    }
    if (file.isEmpty()) return usage("no FILE given");

    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tessaly-serve: cannot read %s: %s\n", qPrintable(file), qPrintable(f.errorString()));
        return 1;
    }
    tessaly::StreamServer server(f.readAll(), rate, loop);
    if (!server.listen(bind, port)) {
        std::fprintf(stderr, "tessaly-serve: cannot listen on %s:%u: %s\n", qPrintable(bind.toString()),
                     unsigned(port), qPrintable(server.errorString()));
        return 1;
    }
    std::fprintf(stderr, "tessaly-serve: serving %s (%lld bytes) on %s:%u at %s%s\n", qPrintable(file),
                 (long long)f.size(), qPrintable(bind.toString()), unsigned(server.port()),
                 rate > 0 ? qPrintable(QString::number(rate) + " bytes/s") : "full speed",
                 loop ? ", looping" : "");
    return QCoreApplication::exec();
}

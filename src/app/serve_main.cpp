// tessaly-serve FILE [--port 2101] [--bind 127.0.0.1] [--rate BYTES_PER_S] [--loop]
//               [--ntrip MOUNT [--user USER --password PASSWORD]]
//
// Serves a recorded raw RTCM file to every TCP client that connects, paced
// at the given rate (0: unpaced), so that the monitor can be tried without a
// receiver. Without --loop a client's connection is closed after the last
// byte; with it the file starts again. With --ntrip it is a small NTRIP
// caster (1.0 and 2.0) with that one mountpoint.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "command_line.h"
#include "port_number.h"
#include "stream_server.h"

int main(int argc, char** argv) {
    tessaly::CommandLine cl(QStringLiteral("tessaly-serve"), QStringLiteral("[options] FILE"),
                            "Serves a recorded raw RTCM file to every TCP client that connects, each\n"
                            "from the first byte, paced at the given rate.",
                            "Exit status: 0 done, 1 the file could not be read or the port not\n"
                            "taken, 2 usage error.\n");
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("TCP port to listen on (default 2101)."),
                                        QStringLiteral("PORT"));
    const QCommandLineOption bindOption(QStringLiteral("bind"),
                                        QStringLiteral("IP address to listen on (default 127.0.0.1)."),
                                        QStringLiteral("ADDRESS"));
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        "Bytes per second (default 400, about the pace\n"
                                        "of the demonstration stream; 0: as fast as the\n"
                                        "client takes it).",
                                        QStringLiteral("BYTES_PER_S"));
    const QCommandLineOption loopOption(QStringLiteral("loop"),
                                        "Start the file again after its last byte\n"
                                        "(without it the connection is closed there).");
    const QCommandLineOption ntripOption(QStringLiteral("ntrip"),
                                         "Serve as an NTRIP caster (1.0 and 2.0) with this\n"
                                         "one mountpoint and a sourcetable.",
                                         QStringLiteral("MOUNT"));
    const QCommandLineOption userOption(QStringLiteral("user"),
                                        QStringLiteral("NTRIP: the user name clients must give (Basic)."),
                                        QStringLiteral("USER"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
                                            QStringLiteral("NTRIP: the password that goes with --user."),
                                            QStringLiteral("PASSWORD"));
    const QCommandLineOption liveOption(QStringLiteral("live"),
                                        "Re-time every frame as it is sent: its Z-count\n"
                                        "becomes the present GPS time (parity encoded\n"
                                        "again), so that a monitor shows the latency of\n"
                                        "the link instead of the age of the recording.");
    cl.parser.addOptions({portOption, bindOption, rateOption, loopOption, ntripOption, userOption, passwordOption, liveOption});
    cl.parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The recorded raw byte stream to serve."));
    if (const auto done = cl.parse(tessaly::arguments_of(argc, argv))) return *done;
    const QCommandLineParser& p = cl.parser;

    quint16 port = 2101;
    QHostAddress bind(QHostAddress::LocalHost);
    int rate = 400;  // about the pace of the demonstration stream
    const bool loop = p.isSet(loopOption);
    bool ok = true;
    if (p.isSet(portOption)) {
        // 0 lets the system pick a free port (shown at start), as tests do.
        const std::string text = p.value(portOption).toStdString();
        const auto n = text == "0" ? std::optional<std::uint16_t>(0) : tessaly::parse_port(text);
        if (!n) return cl.fail(QStringLiteral("--port takes a number 1..65535 (0: any free port)"));
        port = *n;
    }
    if (p.isSet(bindOption) && !bind.setAddress(p.value(bindOption)))
        return cl.fail(QStringLiteral("--bind takes an IP address"));
    if (p.isSet(rateOption)) {
        rate = p.value(rateOption).toInt(&ok);
        if (!ok || rate < 0) return cl.fail(QStringLiteral("--rate takes a number of bytes per second (0: unpaced)"));
    }
    const QString mount = p.value(ntripOption);
    if (p.isSet(ntripOption) && (mount.isEmpty() || mount.contains('/') || mount.contains(' ')))
        return cl.fail(QStringLiteral("--ntrip takes a mountpoint name without '/' or spaces"));
    if ((p.isSet(userOption) || p.isSet(passwordOption)) && !p.isSet(ntripOption))
        return cl.fail(QStringLiteral("--user and --password apply to --ntrip only"));
    if (p.isSet(passwordOption) && !p.isSet(userOption)) return cl.fail(QStringLiteral("--password needs --user"));
    const QStringList files = p.positionalArguments();
    if (files.isEmpty()) return cl.fail(QStringLiteral("no FILE given"));
    if (files.size() > 1) return cl.fail("unexpected argument " + files[1]);
    const QString file = files[0];

    QCoreApplication app(argc, argv);

    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tessaly-serve: cannot read %s: %s\n", qPrintable(file), qPrintable(f.errorString()));
        return 1;
    }
    const QByteArray data = f.readAll();
    if (data.isEmpty()) {
        std::fprintf(stderr, "tessaly-serve: %s is empty: nothing to serve\n", qPrintable(file));
        return 1;
    }
    tessaly::StreamServer server(data, rate, loop);
    // GPS time runs 18 s ahead of UTC since 2017.
    if (p.isSet(liveOption)) server.setLive(18);
    if (!mount.isEmpty()) server.setCaster(mount, p.value(userOption), p.value(passwordOption));
    if (!server.listen(bind, port)) {
        std::fprintf(stderr, "tessaly-serve: cannot listen on %s:%u: %s\n", qPrintable(bind.toString()),
                     unsigned(port), qPrintable(server.errorString()));
        return 1;
    }
    std::fprintf(stderr, "tessaly-serve: serving %s (%lld bytes) on %s:%u%s at %s%s%s\n", qPrintable(file),
                 (long long)data.size(), qPrintable(bind.toString()), unsigned(server.port()),
                 mount.isEmpty() ? "" : qPrintable(" as NTRIP mountpoint /" + mount),
                 rate > 0 ? qPrintable(QString::number(rate) + " bytes/s") : "full speed",
                 loop ? ", looping" : "", p.isSet(liveOption) ? ", re-timed to the present" : "");
    return QCoreApplication::exec();
}

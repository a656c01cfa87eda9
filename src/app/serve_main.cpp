// tessaly-serve FILE [--port 2101] [--bind 127.0.0.1] [--rate BYTES_PER_S] [--loop]
//               [--ntrip MOUNT[=FILE] ... [--user USER --password PASSWORD] [--credentials FILE]]
//
// Serves a recorded raw RTCM file to every TCP client that connects, paced
// at the given rate (0: unpaced), so that the monitor can be tried without a
// receiver. Without --loop a client's connection is closed after the last
// byte; with it the file starts again. With --ntrip it is a small NTRIP
// caster (1.0 and 2.0), one mountpoint per --ntrip, each with its file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command_line.h"
#include "credentials.h"
#include "port_number.h"
#include "stream_server.h"

namespace {

// The whole recording. A named pipe is opened without waiting for a writer
// (which would hang the start without a word): one that has no writer, or
// whose writer sent nothing, is empty. Devices are refused: a serial port
// would block for ever, /dev/zero never ends.
QByteArray read_recording(const QString& path, QString& error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = "cannot read " + path + ": " + QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return {};
    }
    if (!S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) {
        ::close(fd);
        error = path + " is not a recorded file (a device or a socket): nothing to serve";
        return {};
    }
    // A writer that is there is waited for; only the open must not wait.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QByteArray data;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) data.append(buf, n);
        else if (n == 0) break;
        else if (errno != EINTR) {
            error = "cannot read " + path + ": " + QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return {};
        }
    }
    ::close(fd);
    if (data.isEmpty())
        error = S_ISFIFO(st.st_mode) ? path + " is a named pipe without a writer (or its writer sent nothing): nothing to serve"
                                     : path + " is empty: nothing to serve";
    return data;
}

bool has_control_or_space(const QString& s) {
    return std::any_of(s.begin(), s.end(), [](QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7f; });
}

}  // namespace

int main(int argc, char** argv) {
    tessaly::CommandLine cl(QStringLiteral("tessaly-serve"), QStringLiteral("[options] FILE"),
                            "Serves a recorded raw RTCM file to every TCP client that connects, each\n"
                            "from the first byte, paced at the given rate; or, with --ntrip, serves\n"
                            "recordings as the mountpoints of an NTRIP caster.",
                            "Passwords (a password on the command line is seen by every user in ps):\n"
                            "  --credentials FILE      One USER:PASSWORD per line ('#' starts a\n"
                            "                          comment), readable by its owner only (mode\n"
                            "                          0600); every user in it may read every\n"
                            "                          mountpoint.\n"
                            "  TESSALY_NTRIP_PASSWORD  In the environment: the password of --user\n"
                            "                          when --password is not given.\n"
                            "\n"
                            "Exit status: 0 done, 1 a file could not be read or the port not\n"
                            "taken, 2 usage error or a credentials file that is refused.\n");
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
                                         "Serve as an NTRIP caster (1.0 and 2.0) with a\n"
                                         "sourcetable. MOUNT serves FILE; MOUNT=FILE2\n"
                                         "serves FILE2 instead. Repeat it for more\n"
                                         "mountpoints, each paced on its own.",
                                         QStringLiteral("MOUNT[=FILE]"));
    const QCommandLineOption userOption(QStringLiteral("user"),
                                        QStringLiteral("NTRIP: the user name clients must give (Basic)."),
                                        QStringLiteral("USER"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
                                            "NTRIP: the password that goes with --user (seen\n"
                                            "by every user in the process list: prefer\n"
                                            "--credentials or TESSALY_NTRIP_PASSWORD).",
                                            QStringLiteral("PASSWORD"));
    const QCommandLineOption credentialsOption(QStringLiteral("credentials"),
                                               "NTRIP: the users clients may log in as, from\n"
                                               "FILE (see Passwords below).",
                                               QStringLiteral("FILE"));
    const QCommandLineOption liveOption(QStringLiteral("live"),
                                        "Re-time every frame as it is sent: its Z-count\n"
                                        "becomes the present GPS time (parity encoded\n"
                                        "again), so that a monitor shows the latency of\n"
                                        "the link instead of the age of the recording.");
    cl.parser.addOptions({portOption, bindOption, rateOption, loopOption, ntripOption, userOption, passwordOption,
                          credentialsOption, liveOption});
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
    // Each mountpoint with its file; an empty file name stands for FILE.
    QList<QPair<QString, QString>> mounts;
    for (const QString& v : p.values(ntripOption)) {
        const QString name = v.section('=', 0, 0);
        const QString file = v.contains('=') ? v.section('=', 1) : QString();
        if (name.isEmpty() || name.contains('/') || has_control_or_space(name))
            return cl.fail("--ntrip takes a mountpoint name without '/' or spaces, not '" + name + "'");
        if (v.contains('=') && file.isEmpty()) return cl.fail("--ntrip " + v + ": no file after '='");
        for (const auto& m : mounts)
            if (m.first == name) return cl.fail("mountpoint " + name + " given twice");
        mounts.append({name, file});
    }
    const bool caster = !mounts.isEmpty();
    if ((p.isSet(userOption) || p.isSet(passwordOption) || p.isSet(credentialsOption)) && !caster)
        return cl.fail(QStringLiteral("--user, --password and --credentials apply to --ntrip only"));
    if (p.isSet(passwordOption) && !p.isSet(userOption)) return cl.fail(QStringLiteral("--password needs --user"));
    const bool file_needed = !caster || std::any_of(mounts.begin(), mounts.end(), [](const auto& m) { return m.second.isEmpty(); });
    const QStringList files = p.positionalArguments();
    if (file_needed && files.isEmpty()) return cl.fail(QStringLiteral("no FILE given"));
    if (files.size() > (file_needed ? 1 : 0))
        return cl.fail("unexpected argument " + files.last() + (file_needed ? "" : " (every --ntrip names its file)"));
    const QString file = files.value(0);

    std::vector<tessaly::StreamServer::User> users;
    if (p.isSet(userOption)) {
        // A password in the environment stays out of the process list.
        QString password = p.value(passwordOption);
        if (const auto env = tessaly::credentials::password_from_environment(); env && !p.isSet(passwordOption))
            password = QString::fromStdString(*env);
        users.push_back({p.value(userOption), password});
    }
    if (p.isSet(credentialsOption)) {
        std::string error;
        const auto logins = tessaly::credentials::read_file(QFile::encodeName(p.value(credentialsOption)).toStdString(), error);
        if (!logins) {
            std::fprintf(stderr, "tessaly-serve: %s\n", error.c_str());
            return 2;
        }
        for (const auto& l : *logins) users.push_back({QString::fromStdString(l.user), QString::fromStdString(l.password)});
    }

    QCoreApplication app(argc, argv);

    // Each file is read once, however many mountpoints serve it.
    QHash<QString, QByteArray> recordings;
    const auto load = [&](const QString& path) {
        if (recordings.contains(path)) return true;
        QString error;
        const QByteArray data = read_recording(path, error);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "tessaly-serve: %s\n", qPrintable(error));
            return false;
        }
        recordings.insert(path, data);
        return true;
    };
    if (file_needed && !load(file)) return 1;
    std::vector<tessaly::StreamServer::Mount> served;
    for (const auto& [name, path] : mounts) {
        if (!load(path.isEmpty() ? file : path)) return 1;
        served.push_back({name, recordings.value(path.isEmpty() ? file : path)});
    }
    tessaly::StreamServer server(recordings.value(file), rate, loop);
    // GPS time runs 18 s ahead of UTC since 2017.
    if (p.isSet(liveOption)) {
        server.setLive(18);
        for (auto it = recordings.cbegin(); it != recordings.cend(); ++it) {
            const auto [retimed, found] = tessaly::retimed_frames(it.value());
            if (retimed < found)
                std::fprintf(stderr,
                             "tessaly-serve: %s: --live re-times only frames whose words start on a character: "
                             "%zu of %zu frames go out with their recorded times\n",
                             qPrintable(it.key()), found - retimed, found);
        }
    }
    if (caster) server.setCaster(served, users);
    // Said once: the clients that could not be taken are served as soon
    // as descriptors are free again.
    bool said = false;
    QObject::connect(&server, &tessaly::StreamServer::acceptFailed, [&](const QString& why) {
        if (said) return;
        said = true;
        std::fprintf(stderr, "tessaly-serve: cannot take more clients for now (%s, %d connected): new ones wait\n",
                     qPrintable(why), server.clientCount());
    });
    if (!server.listen(bind, port)) {
        std::fprintf(stderr, "tessaly-serve: cannot listen on %s:%u: %s\n", qPrintable(bind.toString()),
                     unsigned(port), qPrintable(server.errorString()));
        return 1;
    }
    const QString where = bind.toString() + ":" + QString::number(server.port());
    QString what;
    if (served.size() == 1) {
        const QString path = mounts[0].second.isEmpty() ? file : mounts[0].second;
        what = QString("%1 (%2 bytes) on %3 as NTRIP mountpoint /%4").arg(path).arg(served[0].data.size()).arg(where, served[0].name);
    } else if (caster) {
        QStringList each;
        for (std::size_t i = 0; i < served.size(); ++i)
            each << QString("/%1: %2, %3 bytes").arg(served[i].name, mounts[int(i)].second.isEmpty() ? file : mounts[int(i)].second).arg(served[i].data.size());
        what = QString("%1 NTRIP mountpoints on %2 (%3)").arg(served.size()).arg(where, each.join("; "));
    } else {
        what = QString("%1 (%2 bytes) on %3").arg(file).arg(recordings.value(file).size()).arg(where);
    }
    std::fprintf(stderr, "tessaly-serve: serving %s at %s%s%s\n", qPrintable(what),
                 rate > 0 ? qPrintable(QString::number(rate) + " bytes/s") : "full speed", loop ? ", looping" : "",
                 p.isSet(liveOption) ? ", re-timed to the present" : "");
    return QCoreApplication::exec();
}

// The TCP channel against servers on 127.0.0.1 started by the tests.
#include <QEventLoop>
#include <QHostAddress>
#include <sys/socket.h>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>

#include "error_log.h"
#include "event_loop.h"
#include "loopback_server.h"
#include "tcp_client.h"
#include "com_port.h"
#include "serial_devices.h"
#include "pty_pair.h"
#include "settings_store.h"

namespace tessaly::test {
namespace {

using State = TTCPClient::State;
using testing::TestServer;

// Every event of a channel, in order; each OnData reads once.
struct Recorder {
    QStringList log;
    QByteArray data;
    explicit Recorder(TTCPClient& c) {
        c.OnConnect = [this](TTCPClient&, int) { log << "connect"; };
        c.OnData = [this](TTCPClient& s, int) { data += s.Read(), log << "data"; };
        c.OnClose = [this](TTCPClient&, int) { log << "close"; };
        c.OnError = [this](TTCPClient&, int code, const QString& msg) { log << QStringLiteral("error %1 %2").arg(code).arg(msg); };
    }
};

void open_to(TTCPClient& c, const QString& host, const QString& port) {
    c.Host = host;
    c.Port = port;
    c.Open();
}

TEST(TcpClient, ConnectsWritesReadsAndCloses) {
    TestServer server;
    TTCPClient client;
    Recorder events(client);
    open_to(client, "127.0.0.1", server.port());
    EXPECT_EQ(client.state(), State::Connecting);
    ASSERT_TRUE(spin_until([&] { return client.state() == State::Connected; }));
    const auto peer = server.accept();
    ASSERT_TRUE(peer);
    EXPECT_EQ(client.LocalPort(), QString::number(peer->peerPort()));
    // A cut link must end the connection: keepalive probes are on.
    int keepalive = 0;
    socklen_t size = sizeof keepalive;
    EXPECT_TRUE(getsockopt(client.socket(), SOL_SOCKET, SO_KEEPALIVE, &keepalive, &size) == 0 && keepalive == 1);
    const int socket = client.socket();
    client.Open();  // no second attempt while connected
    EXPECT_EQ(client.socket(), socket);
    client.Write(QByteArray());
    const QByteArray sent("ab\0\xff\r\n", 6);
    client.Write(sent);
    ASSERT_TRUE(spin_until([&] { return peer->bytesAvailable() >= sent.size(); }));
    EXPECT_EQ(peer->readAll(), sent);
    peer->write("xyz");
    ASSERT_TRUE(peer->flush() && spin_until([&] { return events.data.size() == 3; }));
    EXPECT_EQ(events.data, "xyz");
    client.Close();
    EXPECT_TRUE(client.state() == State::Closed && client.LocalPort().isEmpty());
    EXPECT_TRUE(spin_until([&] { return peer->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(events.log, (QStringList{"connect", "data"}));
}

TEST(TcpClient, PortTextsAndHostNames) {
    TestServer server;
    const struct {
        const char* host;
        const char* port;    // %1 stands for the listening server's port
        const char* thrown;  // the conversion error, or empty
        const char* events;  // what the handlers saw
    } cases[] = {
        {"127.0.0.1", "  +%1", "", "connect"},
        {"127.0.0.1", "21x", "'21x' ist kein gültiger Integerwert", ""},
        {"127.0.0.1", "%1 ", "'%1 ' ist kein gültiger Integerwert", ""},
        {"127.0.0.1", "", "'' ist kein gültiger Integerwert", ""},
        {"127.0.0.1", "99999999999", "'99999999999' ist kein gültiger Integerwert", ""},
        {"127.0.0.1", "70000", "", "error 10022 Invalid argument"},
        {"127.0.0.1", "0", "", "error 10022 Invalid argument"},
        {"no-such-host.invalid", "%1", "", "error 11001 Host not found"},
        {"localhost", "%1", "", "connect"},
        {"127.0.0.1", "tcpmux", "", "error 10061 Connection refused"},  // a service name: port 1
    };
    for (const auto& c : cases) {
        const auto with_port = [&](const char* text) { return QString::fromUtf8(text).replace("%1", server.port()); };
        SCOPED_TRACE(std::string(c.host) + " " + with_port(c.port).toStdString());
        testing::BoxRecorder errors;
        TTCPClient client;
        Recorder events(client);
        QString thrown;
        try {
            open_to(client, c.host, with_port(c.port));
        } catch (const Failure& f) {
            thrown = f.text();
        }
        EXPECT_EQ(thrown, with_port(c.thrown));
        spin_until([&] { return events.log.join('|') == c.events; }, 2000);
        EXPECT_EQ(events.log.join('|'), QString::fromUtf8(c.events));
        EXPECT_EQ(client.state(), QString(c.events) == "connect" ? State::Connected : State::Closed);
        EXPECT_TRUE(client.state() != State::Connected || server.accept());
        EXPECT_TRUE(errors.texts().isEmpty());
    }
}

TEST(TcpClient, HandlersMayFailOrDestroyTheChannel) {
    TestServer server;
    testing::BoxRecorder errors;
    auto* client = new TTCPClient;
    QByteArray received;
    bool closed = false;
    client->OnData = [&](TTCPClient& c, int) {
        const QByteArray piece = c.Read();
        received += piece;
        if (piece.startsWith("bad")) throw Failure("bad piece");
    };
    client->OnClose = [&](TTCPClient& c, int) {
        closed = true;
        delete &c;  // what a dialog that owns its channel may do
    };
    open_to(*client, "127.0.0.1", server.port());
    const auto peer = server.accept();
    ASSERT_TRUE(peer);
    peer->write("bad");
    ASSERT_TRUE(peer->flush() && spin_until([&] { return received == "bad"; }));
    peer->write("good");
    peer->close();
    ASSERT_TRUE(spin_until([&] { return closed; }));
    EXPECT_EQ(received, "badgood");
    EXPECT_EQ(errors.texts(), QStringList{"bad piece"});
}

// The peer's end, orderly or by a reset, and an OnClose handler that runs
// an event loop (a modal box) in which the channel connects again: the new
// connection is not ended by the close that is still on the stack.
TEST(TcpClient, ReconnectInsideTheCloseHandler) {
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "orderly close");
        TestServer server;
        TTCPClient client;
        QList<int> codes;
        client.OnClose = [&](TTCPClient& c, int) {
            codes << c.closeCode();
            c.Close();
            QEventLoop box;
            QTimer::singleShot(10, &box, [&] { c.Open(); });
            QTimer::singleShot(300, &box, &QEventLoop::quit);
            box.exec();
        };
        open_to(client, "127.0.0.1", server.port());
        QTcpSocket* first = server.accept();
        ASSERT_TRUE(first);
        if (reset) {
            const linger hard{1, 0};  // closing sends a reset
            ASSERT_EQ(setsockopt(int(first->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
        }
        first->close();
        ASSERT_TRUE(spin_until([&] { return codes.size() == 1 && server.clients.size() == 2; }));
        EXPECT_EQ(codes, QList<int>{reset ? 10054 : 0});  // "Connection reset by peer"
        EXPECT_FALSE(spin_until([&] { return server.disconnects > 1; }, 300));
        EXPECT_EQ(client.state(), State::Connected);
    }
}

// The serial channel on socat pseudo-terminal pairs (reading and writing
// whole streams is in the window's COM source and forwarding tests).

void map_port(const QString& com, const QString& device) {
    const auto s = open_user_settings();
    s->setValue(kPortsGroup + "/" + com, device);
    s->sync();
    ASSERT_EQ(s->status(), QSettings::NoError);
}

// The text of the ComPortError that `operation` throws.
QString failure_of(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const ComPortError& e) {
        return e.text();
    }
    return {};
}

// Two connected pseudo-terminals: one end by its device path, as typed in
// the settings dialog, the other as COM4.
TEST(ComPort, ClearBufferDiscardsWaitingInputAndOneAndAHalfStopBitsAreRefused) {
    tessaly::testing::PtyPair pty;
    if (!pty.available()) GTEST_SKIP() << "socat is not installed";
    ASSERT_TRUE(pty.start(false));
    map_port("COM4", pty.farPath);
    TComPort near, far;
    near.setPort(pty.near);
    far.setPort("COM4");
    near.Open();
    far.Open();
    far.WriteStr("stale");
    ASSERT_TRUE(spin_until([&] { return near.InputCount() == 5; }));
    near.ClearBuffer(true, false);
    EXPECT_EQ(near.InputCount(), 0);
    far.WriteStr("fresh");
    ASSERT_TRUE(spin_until([&] { return near.InputCount() == 5; }));
    EXPECT_EQ(near.ReadStr(100), "fresh");
    near.Close();
    near.setStopBits(TComPort::kStopOneAndHalf);
    EXPECT_EQ(failure_of([&] { near.Open(); }), "SetCommState function failed (win error code: 22)");
    EXPECT_FALSE(near.Connected());
}

TEST(ComPort, FailuresCarryTheOperationAndTheErrorNumber) {
    const QString absent = QDir::temp().filePath("no-such-dir/no-such-tty");
    map_port("COM5", absent);
    TComPort port;
    ComAsync async;
    const QString open_failed = "Unable to open com port COM5 = " + absent + " (win error code: 2)";
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { port.setPort("COM5"); port.Open(); }, open_failed},
        {[&] { port.ReadStr(10); }, "ReadFile function failed (win error code: 9)"},
        {[&] { port.InputCount(); }, "ClearCommError function failed (win error code: 9)"},
        {[&] { port.ClearBuffer(true, false); }, "PurgeComm function failed (win error code: 9)"},
        {[&] { port.WriteStrAsync("x", &async); }, "WriteFile function failed (win error code: 9)"},
        {[&] { port.WriteStrAsync("x", nullptr); }, "Invalid Async parameter (win error code: 22)"},
        {[&] { port.WaitForAsync(nullptr); }, "Invalid Async parameter (win error code: 22)"},
        // Root opens any device, so the refusal itself cannot be staged here.
        {[&] { throw ComPortError(kComOpenFailed, EACCES, "/dev/ttyUSB0"); },
         "Unable to open com port (win error code: 13)\nNo permission to open /dev/ttyUSB0: the user must be in "
         "the group 'dialout' (sudo adduser $USER dialout, then log in again)."},
    };
    for (const auto& [operation, text] : cases) {
        EXPECT_EQ(failure_of(operation), text);
        EXPECT_FALSE(port.Connected());
    }
}

TEST(SerialDevices, PresentPortsWithDescriptionsThenTheirStableNames) {
    QTemporaryDir by_id;
    ASSERT_TRUE(QFile::link("/dev/ttyUSB0", by_id.filePath("usb-FTDI_FT232R_A1-if00-port0")));
    ASSERT_TRUE(QFile::link("/dev/ttyACM7", by_id.filePath("usb-gone-if00")));  // not present
    const auto entries = serial_device_entries({{"/dev/ttyS0", ""}, {"/dev/ttyUSB0", "FT232R USB UART"}}, by_id.path());
    QStringList got;
    for (const auto& e : entries) got << e.path + " | " + e.label;
    const QString link = by_id.filePath("usb-FTDI_FT232R_A1-if00-port0");
    EXPECT_EQ(got, (QStringList{"/dev/ttyS0 | /dev/ttyS0", "/dev/ttyUSB0 | /dev/ttyUSB0 (FT232R USB UART)",
                                link + " | " + link + " (ttyUSB0)"}));
}

}  // namespace
}  // namespace tessaly::test

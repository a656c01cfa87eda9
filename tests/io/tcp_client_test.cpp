// The TCP channel against servers on 127.0.0.1 started by the tests.

#include <QEventLoop>
#include <QHostAddress>

#include <sys/socket.h>

#include "error_log.h"
#include "event_loop.h"
#include "loopback_server.h"
#include "tcp_client.h"

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

}  // namespace
}  // namespace tessaly::test

// Live sources that fail and come back: the window reconnects by itself
// when told to, says what is going on, and counts the outages in its
// statistics.
#include <sys/socket.h>

#include "io_test_util.h"
#include "stats_page.h"
#include "stream_server.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

using State = SourceSupervisor::State;

// A server that closes, comes back and then goes silent: one box for the
// run, retries in the status, one outage per gap, the data of every
// connection decoded.
TEST(Supervision, TcpServerClosesThenFallsSilent) {
    TestServer server;
    WindowRig rig;
    configure_internet(rig.settings, server.port());
    rig.settings.reconnectInternet = true;
    rig.settings.silenceLimit = 2;
    TForm1& w = rig.open();
    QTcpSocket* first = server.accept();
    ASSERT_TRUE(first);
    server.send(frames(2));
    ASSERT_TRUE(spin_until([&] { return w.panelText(0).endsWith("connected, receiving"); }));
    first->disconnectFromHost();
    ASSERT_TRUE(spin_until([&] { return w.supervisor().state() == State::Waiting; }));
    EXPECT_EQ(w.panelText(0), "reconnecting in 1 s (attempt 1)");
    EXPECT_EQ(rig.shown(),
              std::vector<Box>({{kError, "127.0.0.1:" + server.port() + ": connection closed by the server"}}));
    ASSERT_TRUE(server.accept());  // the retry
    server.send(frames(3), 1);
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 5u; }));
    EXPECT_EQ(w.statsPage().stats().total().outages.size(), 1u);
    // Nothing more from this connection: silent, then dropped and retried.
    ASSERT_TRUE(spin_until([&] { return w.panelText(0).contains(" silent for "); }, 4000));
    ASSERT_TRUE(server.accept()) << w.panelText(0).toStdString();
    EXPECT_EQ(w.supervisor().attempt(), 2);
    EXPECT_EQ(rig.shown().size(), 1u);
    EXPECT_TRUE(w.connectionLog().filter("no data for 2 s").size() == 1) << w.connectionLog().join('\n').toStdString();
}

// A reset is named as such (the path of keepalive probes that went
// unanswered on a cut link), not as an orderly close.
TEST(Supervision, TcpEndByAnErrorIsNamed) {
    TestServer server;
    WindowRig rig;
    configure_internet(rig.settings, server.port());
    rig.settings.reconnectInternet = true;
    TForm1& w = rig.open();
    QTcpSocket* c = server.accept();
    ASSERT_TRUE(c);
    const linger hard{1, 0};
    ASSERT_EQ(setsockopt(int(c->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
    c->close();
    ASSERT_TRUE(spin_until([&] { return !rig.shown().empty(); }));
    EXPECT_EQ(rig.shownTexts(), QStringList{"127.0.0.1:" + server.port() + ": Connection reset by peer"});
    EXPECT_EQ(w.supervisor().state(), State::Waiting);
}

// A connection cut inside a frame: the next connection's words start a new
// frame, not the end of the cut one; the counters go on.
TEST(Supervision, NewConnectionStartsTheWordSyncAfresh) {
    TestServer server;
    WindowRig rig;
    configure_internet(rig.settings, server.port());
    rig.settings.reconnectInternet = true;
    TForm1& w = rig.open();
    ASSERT_TRUE(server.accept());
    server.send(frames(3).left(1 + 2 * 20 + 15));  // the lead byte, two frames of four words, three of the third
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 2u && rig.decoder.state.word_index == 3; }));
    server.clients[0]->disconnectFromHost();
    ASSERT_TRUE(server.accept());
    server.send(frames(3), 1);
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed >= 5u; }));
    EXPECT_EQ(std::tuple(rig.decoder.frames_completed, rig.decoder.parity_failures, rig.decoder.sync_losses),
              std::tuple(5u, 0u, 0u));
    EXPECT_EQ(w.supervisor().state(), State::Receiving);
}

// A serial device whose other end goes away: closed and said so; with
// reconnecting on, opened again once the device is back.
TEST(VanishingPty, LossIsSaidAndWithReconnectTheDeviceIsOpenedAgain) {
    if (!PtyPair::available()) GTEST_SKIP() << "socat is not installed";
    for (const bool reconnect : {false, true}) {
        SCOPED_TRACE(reconnect ? "reconnect" : "no reconnect");
        PtyPair pty;
        ASSERT_TRUE(pty.start());
        WindowRig rig;
        configure_com(rig.settings, pty.near, 3);
        rig.settings.source = kSourceSerial;
        rig.settings.reconnectSerial = reconnect;
        TForm1& w = rig.open();
        pty.far.write(frames(1));
        ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 1u; }));
        pty.kill();
        const std::vector<Box> said{{kError, pty.near + ": the device was closed by its other end"}};
        if (!reconnect) {
            ASSERT_TRUE(spin_until([&] { return !w.comPort().Connected(); }, 3000));
            EXPECT_EQ(w.panelText(0), "com3 closed: the device was closed by its other end");
            EXPECT_EQ(rig.shown(), said);
            continue;
        }
        ASSERT_TRUE(spin_until([&] { return w.supervisor().state() == State::Waiting; }, 3000));
        ASSERT_TRUE(pty.start());
        ASSERT_TRUE(spin_until([&] { return w.supervisor().state() == State::Receiving; }, 8000));
        pty.far.write(frames(2));
        ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 3u; }));
        EXPECT_EQ(w.panelText(0), pty.near + " connected, receiving");
        EXPECT_EQ(rig.shown(), said);
    }
}

// The NTRIP source against a caster of the test's own that answers 1.0 and
// ends the stream: reconnected by default, every stream byte decoded and
// no answer header taken for stream data.
TEST(Supervision, NtripSourceReconnectsByDefault) {
    TestServer caster;
    WindowRig rig;
    rig.settings.source = kSourceNtrip;
    rig.settings.ntripHost = "127.0.0.1";
    rig.settings.ntripPort = caster.port();
    rig.settings.ntripMount = "HALV";
    TForm1& w = rig.open();
    for (int run = 0; run < 2; ++run) {
        QTcpSocket* c = caster.accept();
        ASSERT_TRUE(c);
        ASSERT_TRUE(spin_until([&] { return c->bytesAvailable() > 0 || c->waitForReadyRead(50); }));
        QByteArray request = c->readAll();
        if (request.startsWith("GET / ")) {
            // The alarms ask once for the sourcetable (the types it promises): none here.
            c->disconnectFromHost();
            c = caster.accept();
            ASSERT_TRUE(c);
            ASSERT_TRUE(spin_until([&] { return c->bytesAvailable() > 0 || c->waitForReadyRead(50); }));
            request = c->readAll();
        }
        EXPECT_TRUE(request.startsWith("GET /HALV HTTP/1.1\r\n"));
        c->write("ICY 200 OK\r\n\r\n" + frames(2));
        c->flush();
        ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 2u * (run + 1); }));
        EXPECT_EQ(w.panelText(0), "127.0.0.1:" + caster.port() + "/HALV connected, receiving");
        c->disconnectFromHost();
    }
    std::string raw;
    for (const auto& line : w.rawLines().lines()) raw += line;
    EXPECT_EQ(raw.find("ICY"), std::string::npos);
    EXPECT_EQ(rig.shown().size(), 1u);
}

// The first failure box of a live source, left open by an operator while the
// retries run behind it: when the box closes, nothing of the connection it
// reported is used again, and the connection a retry made goes on.

using State = SourceSupervisor::State;

// Records every box; the first stays open, running an event loop of its
// own as a modal box does, until `back()` holds: an operator who comes back
// later.
class OperatorAway {
public:
    explicit OperatorAway(std::function<bool()> back)
        : back_(std::move(back)), scope_([this](const QString& caption, const QString& text) {
              boxes.push_back({caption, text});
              if (boxes.size() == 1) away = run_box();
              closed = true;
          }) {}
    std::vector<Box> boxes;
    bool away = false;    // the box stayed open until back() held
    bool closed = false;  // the first box was closed

private:
    bool run_box() {
        QEventLoop box;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &box, [&] {
            if (back_()) box.quit();
        });
        look.start(10);
        QTimer::singleShot(8000, &box, [&] { box.exit(1); });
        return box.exec() == 0;
    }
    std::function<bool()> back_;
    ScopedErrorReporter scope_;
};

void configure_ntrip(SettingsRecord& s, quint16 port, const QString& password) {
    s.source = kSourceNtrip;
    s.ntripHost = "127.0.0.1";
    s.ntripPort = QString::number(port);
    s.ntripMount = "DEMO";
    s.ntripUser = "alice";
    s.ntripPassword = password;
}

// A wrong password: the caster answers 401 and the retries behind the box
// get 401 too.
TEST(FailureBox, NtripRefusedWhileTheRetriesRun) {
    StreamServer caster(frames(4), 0, true);
    caster.setCaster({{"DEMO", frames(4)}}, {{"alice", "s3cret"}});
    ASSERT_TRUE(caster.listen(QHostAddress::LocalHost, 0));
    WindowRig rig;
    configure_ntrip(rig.settings, caster.port(), "wrong");
    TForm1* w = nullptr;
    OperatorAway op([&] { return w && w->connectionLog().filter("(401 Unauthorized)").size() >= 2; });
    w = &rig.open();
    ASSERT_TRUE(spin_until([&] { return op.closed; }, 10000));
    EXPECT_TRUE(op.away);
    const QString refused =
        "NTRIP caster 127.0.0.1:" + QString::number(caster.port()) + "/DEMO refused the user name or password (401 Unauthorized)";
    EXPECT_EQ(op.boxes, std::vector<Box>({{kError, refused}}));
    // The retries go on after the box.
    EXPECT_EQ(w->supervisor().state(), State::Waiting);
    EXPECT_EQ(w->supervisor().attempt(), 2);
}

// The server goes away and comes back while the box is open: the new
// connection delivers before and after the box is closed.
TEST(FailureBox, TcpSourceBackBeforeTheBoxCloses) {
    TestServer server;
    WindowRig rig;
    configure_internet(rig.settings, server.port());
    rig.settings.reconnectInternet = true;
    bool sent = false;
    OperatorAway op([&] {
        if (server.clients.size() < 2) return false;
        if (!sent) server.send(frames(1), 1);
        sent = true;
        return rig.decoder.frames_completed == 3u;
    });
    TForm1& w = rig.open();
    ASSERT_TRUE(server.accept());
    server.send(frames(2));
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 2u; }));
    server.clients[0]->disconnectFromHost();
    ASSERT_TRUE(spin_until([&] { return op.closed; }, 10000));
    ASSERT_TRUE(op.away);
    EXPECT_EQ(op.boxes, std::vector<Box>({{kError, "127.0.0.1:" + server.port() + ": connection closed by the server"}}));
    server.send(frames(2), 1);
    EXPECT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 5u; }));
    EXPECT_EQ(server.disconnects, 1);
    EXPECT_EQ(w.supervisor().state(), State::Receiving);
    EXPECT_EQ(w.panelText(0), "127.0.0.1:" + server.port() + " connected, receiving");
}

}  // namespace

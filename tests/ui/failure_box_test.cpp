// The first failure box of a live source, left open by an operator while the
// retries run behind it: when the box closes, nothing of the connection it
// reported is used again, and the connection a retry made goes on.

#include "io_test_util.h"
#include "stream_server.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

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

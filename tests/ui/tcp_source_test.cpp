// The Internet source against a real server on 127.0.0.1: connection texts,
// chunks into raw lines and the decoder, the data rate, the decoding switch,
// re-opening, the server's close, errors, and raw storing.

#include "io_test_util.h"
#include "storing_file.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

class TcpSource : public ::testing::Test {
protected:
    TForm1& connect() {
        configure_internet(rig.settings, server.port());
        TForm1& w = rig.open();
        w.timer2()->stop();  // rate ticks come from the tests
        EXPECT_EQ(w.panelText(0), "IP: 127.0.0.1 Port: " + server.port());
        EXPECT_EQ(w.panelText(1), "Source: Internet");
        peer = server.accept();
        EXPECT_TRUE(peer);
        EXPECT_TRUE(spin_until([&] { return w.panelText(0).contains("connected"); }));
        return w;
    }
    // Waits until the window has taken `n` more TCP bytes.
    bool received(TForm1& w, int n) {
        return spin_until([&] { return w.sourceState().byteCount >= n; });
    }
    TestServer server;
    QTcpSocket* peer = nullptr;
    WindowRig rig;
};

// The socket layer's lines open the raw data page. 200 bytes complete two
// raw lines and leave 40 characters on a new one; 1000 bytes in a second
// read as 10000 bit/s.
TEST_F(TcpSource, ConnectsThenRawLinesAndRate) {
    TForm1& w = connect();
    EXPECT_TRUE(w.menu().transmit->menuAction()->isEnabled());
    EXPECT_EQ(w.panelText(0),
              "127.0.0.1,port " + server.port() + " connected " + QString::number(peer->peerPort()));
    const auto& lines = w.rawLines().lines();
    ASSERT_EQ(lines.size(), 8u);
    const char* const starts[] = {"", "WinSocket Version: ", "Description: ", "SystemStatus: ", "",
                                  "Local Host Name: ", "Local Host Address: ", ""};
    for (std::size_t i = 1; i < 8; ++i) EXPECT_EQ(lines[i].rfind(starts[i], 0), 0u) << i;
    EXPECT_EQ(lines[4] + lines[7], "");
    const QByteArray data = pattern(200);
    server.send(data);
    ASSERT_TRUE(received(w, 200));
    EXPECT_EQ(std::vector(lines.end() - 3, lines.end()),
              (std::vector<std::string>{data.left(80).toStdString(), data.mid(80, 80).toStdString(), data.mid(160).toStdString()}));
    server.send(pattern(800));
    ASSERT_TRUE(received(w, 1000));
    w.Timer2Timer();
    EXPECT_EQ(w.panelText(1), "source: internet - 10000 bps");
    EXPECT_EQ(w.statusHint(), "last ip-client data rate: 10000 bps");
    // A second without data is a rate of 0, not the last one.
    w.Timer2Timer();
    EXPECT_EQ(w.panelText(1), "source: internet - 0 bps");
    // The raw lines never pass 14 on this path.
    server.send(pattern(80 * 20));
    ASSERT_TRUE(received(w, 1600));
    EXPECT_EQ(w.rawLines().lines().size(), 14u);
}

// With decoding off the bytes stay off the decoder; raw storing takes every
// chunk unchanged, and a failing storing file is reported and the next chunk
// read all the same.
TEST_F(TcpSource, DecodingOffAndRawStoring) {
    QTemporaryDir dir;
    RecordingControl control;
    control.raw_mode = true;
    StoringFile file;
    file.create(dir.filePath("RTCM.DAT").toStdString());
    rig.settings.decoding = false;
    TForm1& w = connect();
    w.setStoring(&control, &file);
    const QByteArray stream = frames(3) + QByteArray("\x00\x1a\xff", 3);
    server.send(stream);
    ASSERT_TRUE(received(w, int(stream.size())));
    EXPECT_EQ(rig.decoder.frames_completed + rig.decoder.unused_chars, 0u);
    EXPECT_EQ(raw_text(w, 7), stream.toStdString());
    EXPECT_EQ(read_file(dir.filePath("RTCM.DAT")), stream);
    StoringFile full;
    full.create("/dev/full");
    w.setStoring(&control, &full);
    server.send("XYZ");
    ASSERT_TRUE(spin_until([&] { return !rig.shown().empty(); }));
    EXPECT_EQ(rig.shown().front().caption, kFailure);
    EXPECT_FALSE(w.sourceState().clientBusy);
    w.setStoring(&control, &file);
    w.menu().on->trigger();
    server.send(frames(3));
    ASSERT_TRUE(spin_until([&] { return rig.decoder.frames_completed == 3u; }));
    EXPECT_EQ(w.strip().frames->text() + " " + w.strip().station->text(), "+1-1+1 9");
    // An RTCM 3 stream is named in the status bar (CRC-24Q of the frame
    // computed with a bitwise Python loop).
    const QByteArray frame = QByteArray("\xd3\x00\x13\x3e\xd0", 5) + QByteArray(17, '\0') + "\xf2\x4b\xf4";
    server.send(frame + frame + frame);
    EXPECT_TRUE(spin_until([&] { return w.panelText(0) == "RTCM 3 stream: this monitor decodes RTCM 2"; }));
}

// Re-opening the same endpoint keeps the connection; everything sent before
// the server's close is taken, then the status says so.
TEST_F(TcpSource, ReopeningKeepsTheConnectionUntilTheServerCloses) {
    TForm1& w = connect();
    rig.settings.reopenRequested = true;
    w.OpenSource();
    EXPECT_EQ(w.panelText(0), "Trying to connect to 127.0.0.1 at port " + server.port());
    EXPECT_EQ(w.client()->state(), TTCPClient::State::Connected);
    EXPECT_FALSE(spin_until([&] { return server.clients.size() > 1; }, 300));
    server.send(frames(2));
    peer->disconnectFromHost();
    ASSERT_TRUE(spin_until([&] { return w.panelText(0) == "Connection closed by server!"; }));
    EXPECT_EQ(rig.decoder.frames_completed, 2u);
    EXPECT_TRUE(w.client()->state() == TTCPClient::State::Closed && rig.shown().empty());
}

// A refused connect and a host name that does not resolve are said once;
// a port that is no number is a failure.
TEST_F(TcpSource, RefusedUnknownHostAndBadPort) {
    {
        WindowRig unknown;
        configure_internet(unknown.settings, "2101");
        unknown.settings.address = "no-such-host.invalid";
        EXPECT_EQ(unknown.open().client()->state(), TTCPClient::State::Closed);
        EXPECT_EQ(unknown.shown(), std::vector<Box>({{kError, "no-such-host.invalid:2101: Host not found"}}));
    }
    configure_internet(rig.settings, closed_port());
    TForm1& w = rig.open();
    ASSERT_TRUE(spin_until([&] { return !rig.shown().empty(); }));
    EXPECT_EQ(rig.shown(), std::vector<Box>({{kError, "127.0.0.1:" + rig.settings.port + ": Connection refused"}}));
    rig.settings.port = "abc";
    rig.settings.reopenRequested = true;
    w.DatasourceClick();
    EXPECT_EQ(rig.shown().back(), (Box{kFailure, "'abc' ist kein gültiger Integerwert"}));
    EXPECT_EQ(w.panelText(0), "Trying to connect to 127.0.0.1 at port abc");
    EXPECT_TRUE(rig.settings.reopenRequested);
}

}  // namespace

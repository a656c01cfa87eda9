// The COM source and forwarding, on socat pseudo-terminal pairs: bytes from
// the port are decoded; the raw stream of a TCP or file source leaves the
// port complete and in order; what a receiver sends back is dropped.
#include <gtest/gtest.h>
#include <stdexcept>

#include "io_test_util.h"
#include "send_ring.h"

using namespace tessaly;
using namespace tessaly::testing;
using tessaly::Tsend_buffer;

namespace {

class Pty : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pty.start()) GTEST_SKIP() << "no socat pseudo-terminal pair";
        configure_com(rig.settings, pty.near, 3);
    }
    PtyPair pty;
    WindowRig rig;
};

// Chunks are appended whole: lines run past 80 characters and end where a
// chunk ended; together they are the stream.
TEST_F(Pty, ComSourceDecodesEveryByte) {
    rig.settings.source = kSourceSerial;
    rig.settings.decoding = false;  // does not apply to the COM path
    TForm1& w = rig.open();
    EXPECT_EQ(w.panelText(0) + "|" + w.panelText(1), "com3 is open|Source: COM3");
    EXPECT_FALSE(w.menu().transmit->menuAction()->isEnabled());
    const QByteArray stream = frames(5, 77) + pattern(150);
    pty.far.write(stream);
    ASSERT_TRUE(spin_until([&] { return raw_text(w).size() >= std::size_t(stream.size()); }));
    EXPECT_EQ(rig.decoder.frames_completed, 5u);
    EXPECT_EQ(raw_text(w), stream.toStdString());
}

// TCP chunks queue in the ring and leave the port in order, none lost, also
// when many arrive between two drains; the receiver's replies are dropped.
TEST_F(Pty, ForwardingFromTcp) {
    TestServer server;
    configure_internet(rig.settings, server.port());
    rig.settings.transmit = true;
    TForm1& w = rig.open();
    EXPECT_EQ(w.panelText(2), "Sending Data on COM3");
    EXPECT_EQ(w.menu().start->text(), "stop transmission through COM port");
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(spin_until([&] { return w.panelText(0).contains("connected"); }));
    QByteArray sent;
    for (int i = 0; i < 300; ++i) {
        const QByteArray chunk = pattern(37 + i % 50).right(30 + i % 40) + QByteArray::number(i);
        sent += chunk;
        server.send(chunk);
    }
    pty.far.write(frames(3, 5));  // a receiver talking back
    EXPECT_EQ(pty.read(sent.size()), sent);
    EXPECT_EQ(rig.decoder.frames_completed, 0u);
    // Chosen again, the item stops forwarding and frees the port.
    w.menu().start->trigger();
    EXPECT_EQ(w.menu().start->text() + "|" + w.panelText(2), "Start transmit through COM port|");
    EXPECT_FALSE(rig.settings.transmit || w.comPort().Connected());
}

// The file path writes every byte as it is read, also the byte on which a
// step failed; closing the window ends forwarding and frees the port.
TEST_F(Pty, ForwardingFromFile) {
    FailAtTenthByte hook;
    rig.decoder.set_storing_hook(&hook);
    QTemporaryDir dir;
    const QByteArray data = frames(4, 12) + QByteArray("\x1a\x00\xff", 3) + pattern(500);
    rig.settings.transmit = true;
    TForm1& w = rig.openFile(write_file(dir, "fwd.rtcm", std::vector<std::uint8_t>(data.begin(), data.end())));
    replay(w);
    replay(w);
    EXPECT_EQ(pty.read(data.size()), data);
    EXPECT_EQ(rig.decoder.frames_completed, 4u);
    w.close();
    EXPECT_FALSE(rig.settings.transmit || w.comPort().Connected());
}

// A forwarding port that cannot be opened is reported once; the source goes
// on without forwarding.
TEST_F(Pty, ForwardingPortThatCannotOpen) {
    QTemporaryDir dir;
    configure_com(rig.settings, dir.filePath("absent"), 5);
    rig.settings.transmit = true;
    TForm1& w = rig.openFile(write_file(dir, "a", std::vector<std::uint8_t>(20, 'a')));
    ASSERT_EQ(rig.shown().size(), 1u);
    EXPECT_EQ(rig.shown()[0].caption, kFailure);
    EXPECT_TRUE(rig.shown()[0].text.startsWith("Unable to open com port " + dir.filePath("absent") + " (win error code: "));
    EXPECT_TRUE(!rig.settings.transmit && w.panelText(2).isEmpty());
    replay(w);
    EXPECT_EQ(w.rawLines().lines().back(), std::string(20, 'a'));
}

// The forwarding ring: no chunk lost when the writer laps the drain, no
// drain inside a drain, and a failed write leaves the rest waiting.

std::vector<std::string> drain(Tsend_buffer& r) {
    std::vector<std::string> out;
    r.drain([&](const std::string& c) { out.push_back(c); });
    return out;
}

// 250 chunks between two drains: the ring holds 100, the rest wait behind
// them; every chunk is written once, in order, also across stores made
// while the drain runs; a drain started inside it does nothing.
TEST(SendRing, LappingTheDrainLosesNothing) {
    Tsend_buffer r;
    std::vector<std::string> expected;
    for (int i = 0; i < 250; ++i) {
        expected.push_back(std::to_string(i));
        r.store(expected.back());
    }
    EXPECT_EQ(r.waiting(), 250u);
    std::vector<std::string> written;
    r.drain([&](const std::string& c) {
        written.push_back(c);
        if (written.size() == 120) {
            r.store("late");
            expected.push_back("late");
            EXPECT_TRUE(drain(r).empty());
        }
    });
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(r.empty());
    EXPECT_FALSE(r.busy);
}

TEST(SendRing, FailedWriteKeepsTheRestWaiting) {
    Tsend_buffer r;
    for (const char* c : {"1", "2", "3"}) r.store(c);
    EXPECT_THROW(r.drain([](const std::string& c) {
        if (c == "2") throw std::runtime_error("port gone");
    }),
                 std::runtime_error);
    EXPECT_FALSE(r.busy);
    EXPECT_EQ(drain(r), std::vector<std::string>({"3"}));
}

}  // namespace

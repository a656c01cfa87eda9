// tessaly-serve's server: every client gets the recording from its first
// byte, paced or not; without looping the connection closes after the last
// byte, with it the recording starts again.
#include <gtest/gtest.h>

#include "io_test_util.h"
#include "stream_server.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// Reads until the peer closes or `enough` bytes arrived.
QByteArray read_all(QTcpSocket& s, qint64 enough = -1) {
    QByteArray got;
    wait_for([&] {
        got += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState || (enough > 0 && got.size() >= enough);
    });
    return got + s.readAll();
}

TEST(StreamServer, ServesWholeFileToEveryClientThenCloses) {
    for (auto [size, rate] : {std::pair{70000, 0}, std::pair{300, 3000}}) {
        const QByteArray data = pattern(size, 7);
        StreamServer server(data, rate, false);
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QTcpSocket a, b;
        a.connectToHost(QHostAddress::LocalHost, server.port());
        b.connectToHost(QHostAddress::LocalHost, server.port());
        EXPECT_EQ(read_all(a), data) << rate;
        EXPECT_EQ(read_all(b), data) << rate;
    }
}

TEST(StreamServer, LoopStartsAgain) {
    const QByteArray data = pattern(1000, 7);
    StreamServer server(data, 0, true);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, server.port());
    const QByteArray got = read_all(a, 3500);
    ASSERT_GE(got.size(), 3500);
    EXPECT_EQ(a.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(got.left(3000), data + data + data);
}

}  // namespace

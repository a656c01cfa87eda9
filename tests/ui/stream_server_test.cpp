// tessaly-serve's server: every client gets the recording from its first
// byte; without looping the connection closes after the last byte.
#include <gtest/gtest.h>

#include <QTcpSocket>

#include "stream_server.h"
#include "ui_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

QByteArray pattern(int n) {
    QByteArray b;
    for (int i = 0; i < n; ++i) b.append(char(i * 7 % 251));
    return b;
}

// Reads until the peer closes or `enough` bytes arrived.
QByteArray read_all(QTcpSocket& s, qint64 enough = -1) {
    QByteArray got;
    wait_for([&] {
        got += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState || (enough > 0 && got.size() >= enough);
    });
    return got + s.readAll();
}

TEST(StreamServer, ServesWholeFileThenCloses) {
    const QByteArray data = pattern(70000);
    StreamServer server(data, 0, false);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket a, b;
    a.connectToHost(QHostAddress::LocalHost, server.port());
    b.connectToHost(QHostAddress::LocalHost, server.port());
    EXPECT_EQ(read_all(a), data);
    EXPECT_EQ(read_all(b), data);
}

TEST(StreamServer, LoopStartsAgain) {
    const QByteArray data = pattern(1000);
    StreamServer server(data, 0, true);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, server.port());
    const QByteArray got = read_all(a, 3500);
    ASSERT_GE(got.size(), 3500);
    EXPECT_EQ(a.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(got.left(3000), data + data + data);
}

TEST(StreamServer, PacedStreamArrivesWhole) {
    const QByteArray data = pattern(300);
    StreamServer server(data, 3000, false);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, server.port());
    EXPECT_EQ(read_all(a), data);
}

}  // namespace

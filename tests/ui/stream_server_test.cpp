// tessaly-serve's server: looping, a burst of clients, an empty recording,
// unpaced at the speed of the network (paced serving of whole files is in
// the live-source tests through tessaly-decode).

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

TEST(StreamServer, EmptyRecordingClosesEveryClientAtOnce) {
    for (bool loop : {false, true}) {
        StreamServer server(QByteArray(), 400, loop);
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QTcpSocket a, b;
        a.connectToHost(QHostAddress::LocalHost, server.port());
        b.connectToHost(QHostAddress::LocalHost, server.port());
        EXPECT_EQ(read_all(a), QByteArray()) << loop;
        EXPECT_EQ(read_all(b), QByteArray()) << loop;
        EXPECT_TRUE(wait_for([&] { return server.clientCount() == 0; }));
    }
}

TEST(StreamServer, BurstOfClientsAllServed) {
    const QByteArray data = pattern(3000, 7);
    StreamServer server(data, 0, false);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<QByteArray> got(200);
    for (int i = 0; i < 200; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        QObject::connect(clients.back().get(), &QTcpSocket::readyRead, [&, i] { got[i] += clients[i]->readAll(); });
        clients.back()->connectToHost(QHostAddress::LocalHost, server.port());
    }
    wait_for([&] { return std::all_of(got.begin(), got.end(), [&](const QByteArray& g) { return g.size() == data.size(); }); });
    EXPECT_EQ(std::count(got.begin(), got.end(), data), 200);
}

// Unpaced means as fast as the client reads: 64 MiB through loopback take
// well under the 20 s that a cap of 64 KiB per 20 ms tick (3.3 MB/s) needs.
TEST(StreamServer, UnpacedIsNotCappedByTheTick) {
    const QByteArray data = pattern(64 << 20, 7);
    StreamServer server(data, 0, false);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket a;
    qint64 got = 0;
    QObject::connect(&a, &QTcpSocket::readyRead, [&] { got += a.readAll().size(); });
    a.connectToHost(QHostAddress::LocalHost, server.port());
    QElapsedTimer took;
    took.start();
    wait_for([&] { return got == data.size(); }, 12000);
    EXPECT_EQ(got, data.size()) << "after " << took.elapsed() << " ms";
    RecordProperty("ms", int(took.elapsed()));
}

}  // namespace

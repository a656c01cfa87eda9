// tessaly-serve's server: a burst of clients, an empty recording,
// unpaced at the speed of the network, the caster's answers to each kind of
// request, idle clients (paced serving of whole files is in the live-source
// tests through tessaly-decode).

#include "io_test_util.h"
#include "stream_server.h"

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// Reads until the peer closes or `enough` bytes arrived.
QByteArray read_all(QTcpSocket& s, qint64 enough = -1) {
    QByteArray got;
    spin_until([&] {
        got += s.readAll();
        return s.state() == QAbstractSocket::UnconnectedState || (enough > 0 && got.size() >= enough);
    });
    return got + s.readAll();
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
        EXPECT_TRUE(spin_until([&] { return server.clientCount() == 0; }));
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
    spin_until([&] { return std::all_of(got.begin(), got.end(), [&](const QByteArray& g) { return g.size() == data.size(); }); });
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
    spin_until([&] { return got == data.size(); }, 12000);
    EXPECT_EQ(got, data.size()) << "after " << took.elapsed() << " ms";
    RecordProperty("ms", int(took.elapsed()));
}

// Each mountpoint serves its own recording and loops over it (a plain
// server's loop is the same path), to users from the list; requests from
// hand-made clients end their lines in LF.
TEST(StreamServer, CasterAnswersEachRequest) {
    const QByteArray a = pattern(1000, 7), b = pattern(300, 11);
    StreamServer server(QByteArray(), 0, true);
    server.setCaster({{"A", a}, {"B", b}}, {{"alice", "s3cret"}, {"bob", "pa:ss"}});
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const QByteArray bob = "Authorization: Basic " + QByteArray("bob:pa:ss").toBase64() + "\r\n";
    const QByteArray alice_lf = "Authorization: Basic " + QByteArray("alice:s3cret").toBase64() + "\n";
    const QByteArray wrong_lf = "Authorization: Basic " + QByteArray("alice:secret").toBase64() + "\n";
    // Patterns, not RTCM 2: no message type to advertise.
    const QByteArray table_line = ";Tessaly;RTCM 2.3;;1;GPS;Tessaly;;0.00;0.00;0;0;tessaly-serve;none;B;N;0;\r\n";
    const std::tuple<const char*, QByteArray, QByteArray> cases[] = {  // name, request, answer
        {"LfOnly", "GET /A HTTP/1.0\nUser-Agent: NTRIP t\n" + alice_lf + "\n", "ICY 200 OK\r\n" + a + a + a},
        {"OtherMount", "GET /B HTTP/1.0\r\n" + bob + "\r\n", "ICY 200 OK\r\n" + b + b + b + b + b + b},
        {"Version2", "GET /B HTTP/1.1\r\nNtrip-Version: Ntrip/2.0\r\n" + bob + "\r\n",
         "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/data\r\nTransfer-Encoding: chunked\r\n"
         "Connection: close\r\n\r\n12c\r\n" + b + "\r\n"},
        {"WrongPassword", "GET /A HTTP/1.0\n" + wrong_lf + "\n",
         "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"/A\"\r\n\r\n"},
        {"Sourcetable", "GET / HTTP/1.0\n\n",
         "SOURCETABLE 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 176\r\n\r\nSTR;A" + table_line + "STR;B" +
             table_line + "ENDSOURCETABLE\r\n"}};
    for (const auto& [name, request, answer] : cases) {
        QTcpSocket c;
        c.connectToHost(QHostAddress::LocalHost, server.port());
        c.write(request);
        EXPECT_EQ(read_all(c, answer.size()).left(answer.size()), answer) << name;
    }
}

// A request that never comes, and a reader that takes nothing: dropped
// after the idle limit. A client that reads is kept however long it runs.
TEST(StreamServer, DropsClientsThatNeitherSendNorRead) {
    for (const bool caster : {true, false}) {
        StreamServer server(pattern(1 << 20, 7), 0, true);
        if (caster) server.setCaster({{"M", pattern(1 << 20, 7)}}, {});
        server.setIdleLimit(300);
        int finished = 0;
        QObject::connect(&server, &StreamServer::clientFinished, [&] { ++finished; });
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QTcpSocket idle, reader;
        idle.setReadBufferSize(4096);  // once full, Qt reads no more from the system
        qint64 got = 0;
        QObject::connect(&reader, &QTcpSocket::readyRead, [&] { got += reader.readAll().size(); });
        reader.connectToHost(QHostAddress::LocalHost, server.port());
        if (caster) reader.write("GET /M HTTP/1.0\r\n\r\n");
        idle.connectToHost(QHostAddress::LocalHost, server.port());
        EXPECT_TRUE(spin_until([&] { return finished == 1; })) << caster;
        const qint64 before = got;
        EXPECT_TRUE(spin_until([&] { return got > before + (1 << 20); })) << caster;
        EXPECT_EQ(std::tuple(finished, server.clientCount(), reader.state()),
                  std::tuple(1, 1, QAbstractSocket::ConnectedState)) << caster;
    }
}

}  // namespace

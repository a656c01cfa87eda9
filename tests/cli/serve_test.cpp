// tessaly-serve run as operators run it: out of file descriptors, several
// mountpoints with users from a credentials file, files it cannot serve.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "tool_test_util.h"

using namespace tessaly::testing;

// The sanitizer build (clang says so through __has_feature, g++ through a macro).
#if defined(__SANITIZE_ADDRESS__)
#define SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SANITIZED 1
#endif
#endif
#ifndef SANITIZED
#define SANITIZED 0
#endif

namespace {

const std::string tool = TESSALY_DECODE;
const std::string serve = TESSALY_SERVE;
const std::string demo = TESSALY_DEMO;

int connect_to(const std::string& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(std::uint16_t(std::stoi(port)));
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

// The first bytes a client gets within five seconds.
std::string first_bytes(int fd) {
    pollfd p{fd, POLLIN, 0};
    char buf[256];
    const ssize_t n = ::poll(&p, 1, 5000) == 1 ? ::read(fd, buf, sizeof buf) : 0;
    return std::string(buf, std::size_t(std::max<ssize_t>(n, 0)));
}

// 60 clients against a limit of 32 descriptors: accept() fails with EMFILE.
// Once they are gone the next client is served, and the limit was named once.
TEST(Serve, KeepsAcceptingAfterRunningOutOfDescriptors) {
#if SANITIZED
    // UBSan reads an object's type through a pipe it opens for each check:
    // without a free descriptor every virtual call is reported as one on a
    // bad object. The normal build runs this test.
    GTEST_SKIP() << "the sanitizers' own checks need the file descriptors this test takes away";
#endif
    Child server("/bin/sh", {"-c", "ulimit -n 32 && exec \"$0\" \"$@\"", serve, demo, "--port", "0", "--loop"});
    const std::string port = server.await_err(R"(on 127\.0\.0\.1:(\d+))");
    ASSERT_FALSE(port.empty()) << server.err();
    std::vector<int> crowd;
    for (int i = 0; i < 60; ++i) crowd.push_back(connect_to(port));
    EXPECT_NE(server.await_err("cannot take more clients for now \\(.*\\): new ones wait\n", 5000), "") << server.err();
    for (int fd : crowd) ::close(fd);
    const int late = connect_to(port);
    const std::string got = first_bytes(late);
    EXPECT_TRUE(!got.empty() && read_file(demo).starts_with(got)) << got;
    ::close(late);
    const std::string err = server.err();
    EXPECT_EQ(err.find("cannot take more"), err.rfind("cannot take more")) << err;
}

std::string summary_of(const std::string& file) { return run_tool(tool, {"--format", "summary", file}).out; }

// Words that do not start on a character (here shifted by three bits) are
// served as recorded under --live, and the server says how many.
TEST(Serve, LiveNamesTheFramesItCannotRetime) {
    StreamEncoder enc;
    for (int i = 0; i < 8; ++i)
        enc.frame({.type = 1, .station = 7, .zcount = std::uint16_t(10 * i), .data = correction_words({{.id = 3}})});
    std::string file;
    std::uint8_t before = 0;
    for (const std::uint8_t c : enc.bytes()) {
        file += char(0x40 | (before & 63) >> 3 | (c & 7) << 3);
        before = c;
    }
    const TempPath path("shifted.rtcm2");
    write_file(path.str(), file);
    // The decoder spends the first frame finding the offset.
    ASSERT_NE(summary_of(path.str()).find("\nframes: 7\n"), std::string::npos) << summary_of(path.str());
    Child server(serve, {path.str(), "--port", "0", "--live"});
    EXPECT_NE(server.await_err(R"(on 127\.0\.0\.1:(\d+))"), "");
    EXPECT_EQ(server.err().substr(0, server.err().find('\n') + 1),
              "tessaly-serve: " + path.str() +
                  ": --live re-times only frames whose words start on a character: 7 of 7 frames go out with their "
                  "recorded times\n");
}

// Each mountpoint serves its file (re-timed, at full speed) to each user of
// the credentials file; the sourcetable has a line for each. The decoder
// takes its password from a file or the environment as well as the URL.
TEST(Serve, SeveralMountpointsEachServeTheirFile) {
    TempPath half("half"), users("users"), alice("alice");
    write_file(half.str(), read_file(demo).substr(0, 20000));
    write_file(users.str(), "# who may read\nalice:s3cret\r\n\nbob:pa:ss\n");
    write_file(alice.str(), "alice:s3cret\n");
    ::chmod(users.str().c_str(), 0600);
    ::chmod(alice.str().c_str(), 0400);
    Child caster(serve, {"--ntrip", "A", "--ntrip", "B=" + half.str(), "--credentials", users.str(), "--rate", "0",
                         "--live", "--port", "0", demo});
    const std::string port = caster.await_err(R"(on 127\.0\.0\.1:(\d+))");
    ASSERT_FALSE(port.empty()) << caster.err();
    const std::string at = "127.0.0.1:" + port + "/";
    const std::string env = "TESSALY_NTRIP_PASSWORD=";
    const std::tuple<std::vector<std::string>, std::string> reads[] = {  // env and arguments, what arrives
        {{env + "x", "--credentials", alice.str(), "ntrip://" + at + "A"}, summary_of(demo)},
        {{env + "x", "--credentials", users.str(), "ntrip://bob@" + at + "B?v=1"}, summary_of(half.str())},
        {{env + "pa:ss", "ntrip://bob@" + at + "B"}, summary_of(half.str())},
        {{env + "x", "ntrip://bob:pa%3Ass@" + at + "B"}, summary_of(half.str())},
        {{env + "s3cret", "ntrip://bob@" + at + "A"}, summary_of("/dev/null")}};
    for (const auto& [args, expected] : reads) {
        std::vector<std::string> command{args[0], tool, "--format", "summary"};
        command.insert(command.end(), args.begin() + 1, args.end());
        const ToolResult r = run_tool("/usr/bin/env", command);
        EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(expected.starts_with("bytes: 0\n") ? 1 : 0, expected)) << args.back() << r.err;
    }
    // Each mountpoint advertises the types its recording carries, at their
    // pace (the half recording sends its one type 16 once in 50 s).
    const std::string types = "1(5),2(30),3(10),6(20),9(30),16(%),18(1),19(1),20(5),21(5),22(40)";
    const auto line = [&](const char* mount, const char* text_pace) {
        std::string t = types;
        t.replace(t.find('%'), 1, text_pace);
        return mount + ("\tRTCM 2.3\t" + t + "\t\t0\t0\t-\tTessaly\n");
    };
    EXPECT_EQ(run_tool(tool, {"--sourcetable", "ntrip://" + at}).out, line("A", "119") + line("B", "50"));
}

// Refused at the start with the reason, never waiting: a named pipe that
// nobody writes to, a credentials file others may read or that does not
// say whose password to use.
TEST(Serve, RefusesWhatItCannotUse) {
    TempPath fifo("fifo"), open_file("users"), two("two");
    ASSERT_EQ(::mkfifo(fifo.str().c_str(), 0600), 0);
    write_file(open_file.str(), "alice:s3cret\n");
    write_file(two.str(), "alice:s3cret\nbob:pa:ss\n");
    ::chmod(open_file.str().c_str(), 0640);
    ::chmod(two.str().c_str(), 0600);
    const std::string refused = "credentials file " + open_file.str() +
                                " is readable by group (mode 0640): it must be 0600 (chmod 600 " + open_file.str() + ")\n";
    const std::string url = "ntrip://127.0.0.1:" + std::to_string(closed_port()) + "/M";
    const std::tuple<std::string, std::vector<std::string>, int, std::string> cases[] = {
        {serve, {fifo.str()}, 1, fifo.str() + " is a named pipe without a writer (or its writer sent nothing): nothing to serve\n"},
        {serve, {"--ntrip", "M", "--credentials", open_file.str(), demo}, 2, refused},
        {tool, {"--credentials", open_file.str(), url}, 2, refused},
        {tool, {"--credentials", two.str(), url}, 2,
         "credentials file " + two.str() + " holds 2 users: name the one to use in the URL (ntrip://USER@HOST/MOUNT)\n"},
        {tool, {"--credentials", two.str(), "ntrip://alice:x@127.0.0.1/M"}, 2,
         "the password is given twice: in the URL and by --credentials\n"},
        {tool, {"--credentials", two.str(), "tcp://127.0.0.1:2101"}, 2,
         "--credentials applies to ntrip:// and ntrips:// sources only\nTry 'tessaly-decode --help'.\n"}};
    for (const auto& [program, args, status, why] : cases) {
        const ToolResult r = run_tool(program, args);
        const std::string name = program == serve ? "tessaly-serve: " : "tessaly-decode: ";
        EXPECT_EQ(std::tuple(r.status, r.err), std::tuple(status, name + why));
    }
}

}  // namespace

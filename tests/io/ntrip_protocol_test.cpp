// The NTRIP protocol core: URLs, requests, answers split at every byte,
// sourcetables. Expected values are written out by hand (GGA checksum and
// Basic credentials computed with Python's functools.reduce and base64).
#include <gtest/gtest.h>

#include <regex>

#include "golden.h"
#include "ntrip_protocol.h"
#include "ntrip_sourcetable.h"

namespace tessaly::ntrip {
namespace {

using tessaly::testing::golden_check;

// The endpoint and display text of each URL in turn, or "refused":
// golden/ntrip_urls.txt.
TEST(NtripUrl, ParsesOrRefusesWithoutShowingThePassword) {
    const char* const urls[] = {"ntrip://caster.example/MOUNT", "ntrips://me:secret@h:443/M?v=2", "ntrip://me:a%40b@h/M?v=1",
                                "ntrip://[::1]:2102/M", "ntrip://h:2101", "ntrip://h:0/M", "ntrip://me:secret@h:99999/M",
                                "ntrip://h:abc/M", "ntrip://h:/M", "ntrip://me:secret@:2101/M", "ntrip://h/M?v=3",
                                "ntrip://h/M%0D%0A X\r\nEvil: 1", "ntrip://me:secret%4@h/M", "http://h/M"};
    std::string text;
    for (const char* u : urls) {
        std::string error;
        const auto url = parse_url(u, error);
        EXPECT_EQ(url.has_value(), error.empty()) << u;
        EXPECT_EQ((url ? url->display() : error).find("secret"), std::string::npos) << u;
        text += url ? url->endpoint() + " " + url->display() + "\n" : "refused\n";
    }
    EXPECT_EQ(text, golden_check(text, TESSALY_GOLDEN_DIR "/ntrip_urls.txt"));
    for (const auto& [u, why] : {std::pair{"ntrip://127.0.0.1:/M", "bad NTRIP port '': expected a number 1..65535"},
                                 std::pair{"ntrip://[::1]:/M", "bad NTRIP port '': expected a number 1..65535"},
                                 std::pair{"ntrip://h:99999/M", "bad NTRIP port '99999': expected a number 1..65535"}}) {
        std::string error;
        EXPECT_FALSE(parse_url(u, error));
        EXPECT_EQ(error, why);
    }
}

TEST(NtripRequest, BothVersionsWithCredentialsAndGga) {
    std::string error;
    const auto url = parse_url("ntrip://user:p@ss:w@caster:2102/RTCM2", error);
    ASSERT_TRUE(url) << error;
    const std::string gga = gga_sentence(50.12, -8.61, 112.5, 12, 34, 56.7);
    EXPECT_EQ(gga, "$GPGGA,123456.70,5007.20000,N,00836.60000,W,1,12,1.0,112.500,M,0.000,M,,*40\r\n");
    const std::string ua = "User-Agent: " + user_agent() + "\r\n";
    EXPECT_TRUE(user_agent().starts_with("NTRIP Tessaly/"));
    const std::string auth = "Authorization: Basic dXNlcjpwQHNzOnc=\r\n";
    EXPECT_EQ(build_request(*url, Version::v1, gga),
              "GET /RTCM2 HTTP/1.0\r\nHost: caster:2102\r\n" + ua + auth + "Connection: close\r\n\r\n" + gga);
    EXPECT_EQ(build_request(*url, Version::v2, gga),
              "GET /RTCM2 HTTP/1.1\r\nHost: caster:2102\r\nNtrip-Version: Ntrip/2.0\r\n" + ua + auth + "Ntrip-GGA: " +
                  gga.substr(0, gga.size() - 2) + "\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(build_sourcetable_request(*url, Version::v2).starts_with("GET / HTTP/1.1\r\n"));
}

const std::string rtcm = "fY@@ZbWx";  // RTCM 2 bytes are 0x40..0x7F
using R = AnswerParser::Result;

// Every answer gives the same outcome whole, byte by byte and cut in two at
// every position: chunk sizes, CR LF pairs and header lines split anywhere.
// The outcomes (result as its number in AnswerParser::Result, version, the
// bytes the decoder must get) are in golden/ntrip_answers.txt;
// TESSALY_UPDATE_GOLDEN=1 rewrites it (check the difference by hand).
TEST(NtripAnswer, SameOutcomeHoweverSplit) {
    const std::pair<const char*, std::string> cases[] = {
        {"Icy", "ICY 200 OK\r\n" + rtcm},
        {"IcyWithHeaders", "ICY 200 OK\r\nServer: X/1.0\r\nContent-Type: gnss/data\r\n\r\n" + rtcm},
        {"IcyHeaderThenStream", "ICY 200 OK\r\nServer: X\r\n" + rtcm},
        {"IcyStreamOfLettersOnly", "ICY 200 OK\r\nfYZb"},
        {"Http11Chunked", "HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "3;ext=1\r\nfY@\r\nA\r\n@ZbWx\r\n\n\r\r\r\n1\r\n!\r\n0\r\nTrailer: x\r\n\r\nLEFT"},
        {"Http10Plain", "HTTP/1.0 200 OK\r\nContent-Type: gnss/data\r\n\r\n" + rtcm},
        {"BrokenChunkSize", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nfY\r\nzz\r\n@@"},
        {"SourcetableForMount", "SOURCETABLE 200 OK\r\n\r\nSTR;A;;RTCM 2.3\r\nENDSOURCETABLE\r\n"},
        {"Unauthorized", "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\nno"},
        {"NotFound", "HTTP/1.1 404 Not Found\r\n\r\n"},
        {"OtherStatus", "HTTP/1.1 503 Service Unavailable\r\n\r\n"},
        {"HtmlPage", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>"},
        {"Ssh", "SSH-2.0-OpenSSH_9.2\r\n"},
        {"RawRtcm", rtcm + rtcm},
        {"NoStatusCode", "HTTP/1.1 OK\r\n\r\n"}};
    std::string text;
    for (const auto& [name, given] : cases) {
        const std::string& answer = given;  // clang cannot capture a structured binding yet
        const auto run = [&](std::size_t first, std::size_t step) {
            AnswerParser p;
            std::string stream;
            p.feed(std::string_view(answer).substr(0, first), stream);
            for (std::size_t at = first; at < answer.size(); at += step) p.feed(std::string_view(answer).substr(at, step), stream);
            p.end_of_input(stream);
            return std::to_string(int(p.result())) + " v" + std::to_string(p.version()) + " [" +
                   std::regex_replace(std::regex_replace(stream, std::regex("\r"), "\\r"), std::regex("\n"), "\\n") + "]";
        };
        const std::string whole = run(answer.size(), 1);
        for (std::size_t cut = 0; cut < answer.size(); ++cut) EXPECT_EQ(run(cut, answer.size() + 1), whole) << name << " cut at " << cut;
        EXPECT_EQ(run(0, 1), whole) << name << " byte by byte";
        text += std::string(name) + ": " + whole + "\n";
    }
    EXPECT_EQ(text, golden_check(text, TESSALY_GOLDEN_DIR "/ntrip_answers.txt"));
}

TEST(NtripAnswer, ChunkedSourcetableEndsWithTheBody) {
    AnswerParser p;
    std::string stream;
    p.feed("HTTP/1.1 200 OK\r\nContent-Type: gnss/sourcetable\r\nTransfer-Encoding: chunked\r\n\r\n"
           "11\r\nSTR;A;;RTCM 2.3\r\n\r\n0\r\n\r\n",
           stream);
    EXPECT_EQ(p.result(), R::sourcetable);
    EXPECT_TRUE(p.sourcetable_complete());
    EXPECT_EQ(p.sourcetable(), "STR;A;;RTCM 2.3\r\n");
    EXPECT_TRUE(stream.empty());
}

TEST(NtripSourcetable, RecordsOfEveryKindShortAndLong) {
    const Sourcetable t = parse_sourcetable(
        "STR;R3;Frankfurt;RTCM 3.2;1004(1),1006(10);2;GPS+GLO;EUREF;DEU;50.09;8.66;1;0;Trimble;none;B;N;5000;x;y\r\n"
        "CAS;caster.example;2101;Caster;Operator;0;DEU;50.1;8.7;fallback;2102\r\n"
        "STR;R2;;RTCM 2.3;1(1),3(10)\r\n"
        "NET;EUREF;BKG;B;N;http://www.euref-ip.net\r\n"
        "STR;;no mountpoint\r\n"
        "ENDSOURCETABLE\r\n"
        "STR;after;the;end\r\n");
    EXPECT_TRUE(t.complete);
    ASSERT_EQ(t.streams.size(), 2u);
    const StreamRecord& r3 = t.streams[0];
    EXPECT_EQ(std::tuple(r3.mountpoint, r3.format_details, r3.country, r3.latitude, r3.longitude, r3.nmea, r3.authentication,
                         r3.bitrate, r3.misc),
              std::tuple("R3", "1004(1),1006(10)", "DEU", 50.09, 8.66, true, "B", 5000, "x;y"));
    EXPECT_EQ(std::tuple(t.streams[1].format, t.streams[1].nmea), std::tuple("RTCM 2.3", false));
    ASSERT_EQ(t.casters.size() + t.networks.size(), 2u);
    EXPECT_EQ(std::tuple(t.casters[0].port, t.casters[0].misc, t.networks[0].web),
              std::tuple(2101, "fallback;2102", "http://www.euref-ip.net"));
    const auto order = rtcm2_first(t.streams);
    EXPECT_EQ(order[0].mountpoint + order[1].mountpoint, "R2R3");
}

}  // namespace
}  // namespace tessaly::ntrip

// RTCM 2 in AIS message 17: gpsd's two samples (and gpsdecode on the frame
// we encode again from the first), the demonstration stream's frames carried
// in AIS sentences against the same frames as an RTCM 2 stream, the stream
// around an AIS sentence left undisturbed, and the sentence layer's limits.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "ais_input.h"
#include "ais_sentences.h"
#include "json_output.h"
#include "rtcm_encoder.h"
#include "rtcm_messages.h"
#include "tool_test_util.h"

using namespace tessaly;
using namespace tessaly::testing;
using nlohmann::json;

namespace {

const std::string ais_samples = std::string(TESSALY_SHARED_DATA) + "/../ais/gpsd-type17.aivdm";

// A frame's words as the decoder read them (24 bits, d1 at bit 23), header
// word 1 with its preamble.
using Words = std::vector<std::uint32_t>;

// ---- Decoding -------------------------------------------------------------------------

struct Outcome {
    std::vector<std::string> frames;  // JSON objects
    std::vector<std::string> problems;
    AisCounts counts;
    std::uint64_t unused = 0, parity = 0, losses = 0;
};

Outcome decode(const std::string& bytes, std::size_t chunk = 4096) {
    FixedClock clock({2026, 12, 6, 10, 20, 0, 0});
    RtcmDecoder d(clock);
    AisInput ais;
    Outcome r;
    ais.on_problem = [&](const std::string& line) { r.problems.push_back(line); };
    const auto take = [&] {
        if (d.frame_completed) r.frames.push_back(cli::frame_json(d));
    };
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const auto piece = std::span(p + at, std::min(chunk, bytes.size() - at));
        std::size_t last = 0;
        ais.decode(d, piece, [&](std::size_t i) {
            EXPECT_TRUE(i >= last && i < piece.size()) << i;
            last = i;
            take();
        });
    }
    ais.finish(d, take);
    r.counts = ais.counts();
    r.unused = d.unused_chars, r.parity = d.parity_failures, r.losses = d.sync_losses;
    return r;
}

// A frame's object without the members an AIS message 17 adds, and those.
std::pair<std::string, std::string> split_carrier(const std::string& j) {
    const std::size_t at = j.find(",\"source\":");
    if (at == std::string::npos) return {j, ""};
    std::size_t end = at;
    for (const std::string key : {",\"source\":", ",\"mmsi\":", ",\"lon\":", ",\"lat\":"})
        if (j.compare(end, key.size(), key) == 0) end = j.find_first_of(",}", end + key.size());
    return {j.substr(0, at) + j.substr(end), j.substr(at, end - at)};
}

// Completed frames whose every word passed parity, as the decoder read them.
struct FrameTap final : StoringHook {
    std::vector<Words> frames;
    Words cur;
    bool ok = false, collecting = false;
    void reset_stream_state() override {}
    void after_byte(RtcmDecoder& d) override {
        if (!d.word_done) return;
        if (!d.state.in_sync) {
            collecting = false;
        } else if (d.state.word_index == 1) {  // header word 1
            cur = {d.state.word >> 8};
            ok = d.state.parity_ok;
            collecting = true;
        } else if (collecting) {
            cur.push_back(d.state.word >> 8);
            ok = ok && d.state.parity_ok;
        }
        if (d.frame_completed && collecting && ok) frames.push_back(cur);
        if (d.frame_completed) collecting = false;
    }
};

const std::vector<Words>& demo_frames() {
    static const std::vector<Words> frames = [] {
        RtcmDecoder d;
        FrameTap tap;
        d.set_storing_hook(&tap);
        for (char c : read_file(TESSALY_DEMO)) d.rtcm_decode_byte(std::uint8_t(c));
        return tap.frames;
    }();
    return frames;
}

std::string rtcm2_stream(const std::vector<Words>& frames) {
    StreamEncoder enc;
    for (const auto& f : frames)
        for (std::uint32_t w : f) enc.word(w);
    return {enc.bytes().begin(), enc.bytes().end()};
}

const std::string gga = with_checksum("$GPGGA,101200.00,5230.1234,N,01323.4567,E,1,08,1.0,34.5,M,45.6,M,,");
// A position report (message 1): counted, not decoded.
const std::string position_report = ais_sentences(AisBits{}.put(1, 6).put(0, 32).put(0, 130), 200, 0, 'B')[0];

}  // namespace

// gpsd's samples: the reader's MMSI, position and data bits against
// gpsdecode's, the frame of the first as gpsdecode decodes the same words
// encoded again, the second named and not decoded.
TEST(Ais, GpsdSamples) {
    const std::string text = read_file(ais_samples);
    if (text.empty()) GTEST_SKIP() << "AIS samples " << ais_samples << " not found";
    const auto theirs = run_tool("gpsdecode", {"-u", "-j"}, text);
    if (theirs.status == 127) GTEST_SKIP() << "gpsdecode (Debian package gpsd-clients) not installed";
    std::istringstream lines(text), objects(theirs.out);
    ais::Assembler assembler;
    ais::Message m;
    ais::Message17 m17;
    for (std::string line; std::getline(lines, line);) {
        line.resize(line.find('*') + 3);  // without the receiver's fields
        ais::Sentence sentence;
        ASSERT_EQ(ais::parse_sentence(line, sentence), ais::SentenceStatus::ok);
        if (!assembler.take(sentence, m)) continue;
        ais::read_message_17(m, m17);
        std::string hex = std::to_string(m17.data_bits) + ":";
        for (std::size_t b = 80; b < m.bits(); b += 4) hex += "0123456789abcdef"[m.u(b, 4)];
        std::string object;
        std::getline(objects, object);
        const json g = json::parse(object);
        EXPECT_EQ(std::tie(g["mmsi"], g["lon"], g["lat"], g["data"]), std::tie(m17.mmsi, m17.lon, m17.lat, hex));
    }
    const auto summary = run_tool(TESSALY_DECODE, {"--format", "summary"}, text);
    EXPECT_EQ(summary.err, "tessaly-decode: AIS message 17 from MMSI 804870766: 272 bits, not a whole number of words\n");
    EXPECT_NE(summary.out.find("unused_chars: 0\nframes: 1\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("ais_sentences: 3\nais_checksum_failures: 0\nais_malformed: 0\nais_dropped: 0\n"
                               "ais_undecoded: 1\nais type 17: 2\n"),
              std::string::npos)
        << summary.out;
    // The first message twice: gpsdecode takes the frame after its first.
    const std::string first = text.substr(0, text.find("!AIVDM,1"));
    const Outcome r = decode(first + first);
    ASSERT_EQ(r.frames.size(), 2u);
    EXPECT_EQ(r.frames[1], r.frames[0]);
    const json f = json::parse(r.frames[0]);
    EXPECT_EQ(split_carrier(r.frames[0]).second, R"(,"source":"ais","mmsi":2734450,"lon":29.13,"lat":59.9867)");
    // 7c0556c070: type 31, station 5, Z-count 2776, sequence 0, 14 words, health 0.
    EXPECT_EQ(json({f["type"], f["station_id"], f["zcount"], f["length"]}), json({31, 5, 1665.6, 14}));
    const auto code = run_tool(TESSALY_DECODE, {"--format", "code"}, first + first);
    std::string chars = "@";
    std::istringstream recorded(code.out);
    for (std::string line; std::getline(recorded, line);)
        if (line.rfind("(31) ", 0) == 0) chars += line.substr(5, line.find('\r') - 5);
    const auto again = run_tool("gpsdecode", {"-j"}, chars);
    const json g = json::parse(again.out.substr(0, again.out.find('\n')));
    ASSERT_EQ(g["satellites"].size(), f["satellites"].size());
    for (std::size_t i = 0; i < g["satellites"].size(); ++i)
        for (const char* k : {"ident", "udre", "change", "tod", "prc", "rrc"})
            EXPECT_EQ(g["satellites"][i][k], f["satellites"][i][k]) << i << k;
}

// The demonstration stream's frames in AIS sentences give the JSON that the
// same frames give as an RTCM 2 stream, frame for frame.
struct Carriage {
    const char* name;
    std::size_t per_line;  // payload characters per sentence
    std::size_t chunk;     // bytes per read
    bool interleave;       // the pieces of two messages alternate
    bool noise;            // NMEA sentences, a position report and spoilt copies between
};

void PrintTo(const Carriage& c, std::ostream* os) { *os << c.name; }

class AisDemo : public ::testing::TestWithParam<Carriage> {};

TEST_P(AisDemo, SameJsonAsTheRtcm2Stream) {
    const Carriage& c = GetParam();
    const std::vector<Words>& frames = demo_frames();
    ASSERT_GT(frames.size(), 500u);
    static const Outcome ref = decode(rtcm2_stream(frames));
    ASSERT_EQ(ref.frames.size(), frames.size());
    std::string ais, others;  // the whole input, and its bytes that are not AIS
    std::size_t spoilt = 0;
    for (std::size_t k = 0; k < frames.size(); k += c.interleave ? 2 : 1) {
        std::vector<std::vector<std::string>> msgs;
        for (std::size_t j = k; j < std::min(frames.size(), k + (c.interleave ? 2 : 1)); ++j)
            msgs.push_back(ais_sentences(message_17(990000000 + std::uint32_t(j % 7), -10800 + int(j), 54000 - int(j), frames[j]),
                                     c.per_line, int(j % 10), j % 2 ? 'B' : 'A'));
        const auto put = [&](const std::string& piece) {
            if (c.noise && k % 10 == 0) {
                std::string bad = piece;
                char& digit = bad[bad.size() - 3];  // the checksum's last
                digit = digit == '0' ? '1' : '0';
                ais += bad + gga + position_report;
                others += gga;
                ++spoilt;
            }
            ais += piece;
        };
        // With two messages, the second's pieces go between the first's
        // and its last comes after the first's last, to keep their order.
        const auto& a = msgs[0];
        std::size_t bi = 0;
        for (std::size_t p = 0; p + 1 < a.size(); ++p) {
            put(a[p]);
            if (msgs.size() > 1 && bi + 1 < msgs[1].size()) put(msgs[1][bi++]);
        }
        put(a.back());
        for (; msgs.size() > 1 && bi < msgs[1].size(); ++bi) put(msgs[1][bi]);
    }
    const Outcome r = decode(ais, c.chunk);
    ASSERT_EQ(r.frames.size(), ref.frames.size());
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
        const auto [own, carrier] = split_carrier(r.frames[i]);
        ASSERT_EQ(own, ref.frames[i]) << i;
        EXPECT_EQ(carrier, ",\"source\":\"ais\",\"mmsi\":" + std::to_string(990000000 + i % 7) +
                               ",\"lon\":" + cli::json_number((-10800 + int(i)) / 600.0, 4) +
                               ",\"lat\":" + cli::json_number((54000 - int(i)) / 600.0, 4));
    }
    EXPECT_EQ(r.counts.checksum_failures, spoilt);
    EXPECT_EQ(r.counts.types[1], spoilt);
    EXPECT_EQ(r.counts.dropped + r.counts.malformed, 0u);
    // The decoder saw exactly the other bytes: no AIS byte counted unused,
    // no sync lost or found because of a frame read in between.
    const Outcome rest = decode(others);
    EXPECT_EQ(std::tie(r.unused, r.losses, r.parity), std::tie(rest.unused, rest.losses, rest.parity));
}

INSTANTIATE_TEST_SUITE_P(Carriages, AisDemo,
                         ::testing::Values(Carriage{"one_sentence_each", 200, 4096, false, false},
                                           Carriage{"pieces_byte_by_byte", 25, 1, false, false},
                                           Carriage{"interleaved_among_nmea", 40, 7, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A message 17 read in the middle of a stream: the stream's frames come out
// as without it, whatever the decoder was doing.
TEST(Ais, StreamAroundTheSentenceUndisturbed) {
    StreamEncoder enc;
    enc.raw({'$', 'G', 'Y', 'f', '\r', '\n', '@'});  // the last sets D29*, D30* of the first word
    const std::size_t start = 8;
    enc.frame({.type = 3, .station = 7, .zcount = 100, .data = station_words(-258937712, 467613298, 449877210)});
    enc.frame({.type = 1, .station = 7, .zcount = 101, .data = correction_words({{false, 1, 5, 100, -1, 33}})});
    const std::string stream(enc.bytes().begin(), enc.bytes().end());
    const Outcome ref = decode(stream);
    ASSERT_EQ(ref.frames.size(), 2u);
    const Words carried{header_word_1(16, 9), header_word_2(50, 1, 1, 0), 0x414243};
    const std::string line = ais_sentences(message_17(1, 0, 0, carried), 200, 0, 'A')[0];
    const struct {
        const char* where;
        std::size_t at;
    } cases[] = {{"at the start", 0}, {"while searching", 3}, {"between words", start + 10},
                 {"inside a word", start + 12}, {"between frames", start + 30}};
    for (const auto& c : cases) {
        const Outcome r = decode(stream.substr(0, c.at) + line + stream.substr(c.at));
        ASSERT_EQ(r.frames.size(), 3u) << c.where;
        std::vector<std::string> own;
        for (const std::string& f : r.frames)
            if (split_carrier(f).second.empty()) own.push_back(f);
            else EXPECT_EQ(json::parse(f)["message"], "ABC") << c.where;
        EXPECT_EQ(own, ref.frames) << c.where;
        EXPECT_EQ(std::tie(r.unused, r.losses, r.parity), std::tie(ref.unused, ref.losses, ref.parity)) << c.where;
    }
}

// Messages 17 whose data is no frame are named, never decoded; pieces
// that do not make a message are dropped and counted.
TEST(Ais, WhatIsNotDecoded) {
    const Words frame{header_word_1(1, 3), header_word_2(10, 0, 2, 0), 0x123456, 0x654321};
    const auto of = [&](Words w, int extra_bits = 0) {
        AisBits b = message_17(123456789, 108600, 54600, w);
        b.put(0, extra_bits);
        return b;
    };
    const auto lines = [](const std::vector<std::string>& v) {
        std::string s;
        for (const auto& l : v) s += l;
        return s;
    };
    const auto two = ais_sentences(of(frame), 10, 3, 'A');
    const struct {
        const char* what;
        std::string input;
        std::size_t frames;
        std::vector<std::string> problems;
        std::uint64_t dropped, malformed;
    } cases[] = {
        {"whole", lines(two), 1, {}, 0, 0},
        {"a word too many", lines(ais_sentences(of({frame[0], frame[1], 1, 2, 3}), 200, 0, 'A')), 0,
         {"AIS message 17 from MMSI 123456789: 3 words where its header declares 2"}, 0, 0},
        {"bits beyond the words", lines(ais_sentences(of(frame, 8), 200, 0, 'A')), 0,
         {"AIS message 17 from MMSI 123456789: 96 bits, not a whole number of words"}, 0, 0},
        {"header cut", lines(ais_sentences(of({frame[0]}, 8), 200, 0, 'A')), 0,
         {"AIS message 17 from MMSI 123456789: 24 bits, shorter than the 40-bit RTCM 2 header"}, 0, 0},
        {"no data", lines(ais_sentences(AisBits{}.put(17, 6).put(0, 74), 200, 0, 'A')), 0, {}, 0, 0},
        {"last piece missing", two[0] + two[1], 0, {}, 2, 0},
        {"piece out of order", two[1] + two[0] + two[2], 0, {}, 3, 0},
        {"line cut short", two[0] + two[1] + two[2].substr(0, 12), 0, {}, 2, 1},
        {"pieces on the other channel", two[0] + ais_sentences(of(frame), 10, 3, 'B')[1] + two[1] + two[2], 1, {}, 1, 0},
    };
    for (const auto& c : cases) {
        const Outcome r = decode(c.input);
        EXPECT_EQ(r.frames.size(), c.frames) << c.what;
        EXPECT_EQ(r.problems, c.problems) << c.what;
        EXPECT_EQ(r.counts.dropped, c.dropped) << c.what;
        EXPECT_EQ(r.counts.malformed, c.malformed) << c.what;
        EXPECT_EQ(r.unused, 0u) << c.what;
        for (const std::string& f : r.frames) EXPECT_EQ(f.find("\"lon\""), std::string::npos) << "position not available";
    }
}

#pragma once
// AIS sentences in a received byte stream, and the RTCM 2 frames that their
// message 17 carries.
//
// An AIS receiver's feed holds `!AIVDM` lines, often among other NMEA
// sentences, and a stream may mix them with RTCM 2 itself. The lines must
// not reach the RTCM 2 word decoder: most of their bytes pass for 6-of-8
// characters, and would count as unused or, worse, fake a frame start.
// AisInput splits them off and hands every other byte to the decoder as it
// came, in order. Each message 17 is encoded again as an RTCM 2 frame
// (preamble, parity, 6-of-8 characters) and decoded as an interlude between
// the bytes around its last sentence, so that the stores, the outputs and
// the counts see an ordinary frame, and the decoder's `carrier` names the
// sender while the frame is read.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "ais_sentence.h"
#include "rtcmdecw.h"
#include "word_encoding.h"

namespace tessaly {

struct AisCounts {
    std::uint64_t sentences = 0;          // whole sentences whose checksum checks
    std::uint64_t checksum_failures = 0;  // sentences dropped for their checksum
    std::uint64_t malformed = 0;          // lines begun as a sentence that are none, or cut short
    std::uint64_t dropped = 0;            // sentences of messages never completed
    std::array<std::uint64_t, 64> types{};  // whole messages, by type
    std::uint64_t frames = 0;             // messages 17 decoded as RTCM 2 frames
    std::uint64_t undecoded = 0;          // messages 17 whose data is no whole frame

    bool any() const { return sentences || checksum_failures || malformed; }
};

class AisInput {
public:
    // The longest line kept, from '!' to the checksum (a message 17 of the
    // greatest length in one sentence is about 160).
    static constexpr std::size_t max_line = 256;
    // The longest tail after the checksum (receiver metadata) passed over.
    static constexpr std::size_t max_tail = 256;

    // Receives, without a line end, the line that names each message 17
    // that is not decoded ("AIS message 17 from MMSI …: 272 bits, not a
    // whole number of words").
    std::function<void(const std::string&)> on_problem;

    // Decodes `bytes` through `d`: the other bytes as rtcm_decode(span)
    // would, and each message 17 as an interlude. `after(i)` as for
    // rtcm_decode, `i` the index in `bytes` of the byte that ended the
    // frame or completed the message; never smaller than the one before.
    template <class After>
    void decode(RtcmDecoder& d, std::span<const std::uint8_t> bytes, After&& after);
    // The end of the input: a sentence cut short is dropped, and bytes held
    // back while it was not clear whether they start one go to `d`.
    // `after()` without an index.
    template <class After>
    void finish(RtcmDecoder& d, After&& after);

    // True when `b` would go straight to the decoder, with nothing held
    // back: a caller that feeds one byte at a time may then hand it to
    // rtcm_decode_byte itself.
    bool passes(std::uint8_t b) const { return state_ == State::text && b != '!'; }

    // A new stream: nothing held, no message waiting, counts kept.
    void reset();
    const AisCounts& counts() const { return counts_; }

private:
    enum class State { text, prefix, line, checksum, tail, tail_cr, metadata };
    struct Piece {
        enum Kind { none, rest, held, frame } kind = none;
        std::size_t begin = 0, end = 0;  // rest: the bytes in the chunk
        std::size_t at = 0;              // held, frame: the byte it belongs to
    };
    // Runs the splitter from bytes[i] until it has something for the
    // decoder or the bytes end; `i` moves past what it took.
    Piece next_piece(std::span<const std::uint8_t> bytes, std::size_t& i);
    void drop_line();
    // The input ended: bytes held back go to held_, a line and messages
    // cut short are counted.
    void end_input();
    // A whole line: true when it completed a message 17 now in `frame_`.
    bool take_sentence();
    void encode_frame(const ais::Message17& m);

    State state_ = State::text;
    std::string line_;   // the line from '!' on
    std::string held_;   // released bytes, handed over as a `held` piece
    std::size_t tail_ = 0;
    ais::Assembler assembler_;
    ais::Message message_;
    ais::Message17 m17_;
    WordChain chain_;  // the re-encoded frames form one stream
    std::string frame_;
    unsigned frame_stars_ = 0;
    frame_carrier_type carrier_;
    AisCounts counts_;
};

template <class After>
void AisInput::decode(RtcmDecoder& d, std::span<const std::uint8_t> bytes, After&& after) {
    const RtcmDecoder::ChunkReading reading(d);
    std::size_t i = 0;
    while (i < bytes.size()) {
        const Piece p = next_piece(bytes, i);
        switch (p.kind) {
            case Piece::rest:
                d.rtcm_decode(bytes.subspan(p.begin, p.end - p.begin), [&](std::size_t k) { after(p.begin + k); });
                break;
            case Piece::held:
                d.rtcm_decode(std::span(reinterpret_cast<const std::uint8_t*>(held_.data()), held_.size()),
                              [&](std::size_t) { after(p.at); });
                break;
            case Piece::frame:
                d.decode_interlude(std::span(reinterpret_cast<const std::uint8_t*>(frame_.data()), frame_.size()),
                                   frame_stars_, carrier_, [&](std::size_t) { after(p.at); });
                break;
            case Piece::none: break;
        }
    }
}

template <class After>
void AisInput::finish(RtcmDecoder& d, After&& after) {
    end_input();
    if (!held_.empty())
        d.rtcm_decode(std::span(reinterpret_cast<const std::uint8_t*>(held_.data()), held_.size()),
                      [&](std::size_t) { after(); });
    held_.clear();
}

}  // namespace tessaly

#pragma once
// The RTCM SC-104 version 2 stream decoder: word assembly with GPS parity,
// frame header and dispatch to the per-type message decoders.
//
// One byte goes in per call, in arrival order; every result lands in the
// public state below and in the stores. The decoder does no I/O, reads no
// settings and asks the Clock it was given for the time. The process keeps
// one instance (rtcm_decoder()); tests make their own.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "char_realigner.h"
#include "clock.h"
#include "rtcmtype.h"

namespace tessaly {

// ---- Field extractors ------------------------------------------------------
// A normalised word holds data bit D1 at bit 31 and D24 at bit 8.

constexpr std::uint8_t get_u8(std::uint32_t word, int shift) {
    return std::uint8_t((word >> shift) & 0xFFu);
}
constexpr std::int8_t get_s8(std::uint32_t word, int shift) {
    return std::int8_t(int(get_u8(word, shift)) - ((word >> shift) & 0x80u ? 256 : 0));
}
constexpr std::uint16_t get_u16(std::uint32_t word, int shift) {
    return std::uint16_t((word >> shift) & 0xFFFFu);
}
constexpr std::int16_t get_s16(std::uint32_t word, int shift) {
    return std::int16_t(long(get_u16(word, shift)) - ((word >> shift) & 0x8000u ? 65536L : 0L));
}

// GPS parity (ICD-GPS-200) of a raw word: bit k-1 holds D(k), the data bits
// already complemented back to the source bits d1..d24. True when the six
// parity bits in bits 24..29 match those computed from the data and D29*, D30*.
bool parity_check(std::uint32_t raw, bool d29_star, bool d30_star);

// A byte in the 6-of-8 format has the top bits 01.
constexpr bool is_valid_char(std::uint8_t b) { return b >= 64 && b <= 127; }

// ---- Shared records ---------------------------------------------------------

struct rtcm_decoder_state {
    std::array<std::uint8_t, 5> window{' ', ' ', ' ', ' ', ' '};  // oldest first
    std::uint8_t byte_count = 0;
    // D29 and D30 of the previous word (or of the character before the
    // first): D29* in bit 1, D30* in bit 0, as the normalised word holds
    // them in bits 3 and 2.
    std::uint8_t stars = 3;
    std::uint32_t word = 0;  // normalised
    bool parity_ok = false;
    bool word_ready = false;
    bool in_sync = false;
    std::uint8_t word_index = 0;  // 0, 1 header words; 2.. data words

    bool d29_star() const { return (stars >> 1) & 1u; }
    bool d30_star() const { return stars & 1u; }
};

struct rtcm_header_type {
    std::uint8_t msg_type = 0;
    std::uint32_t station_id = 0;
    double frame_time = 0;  // s of the day
    std::uint8_t sequence = 0;
    std::uint8_t frame_length = 0;  // N + 2
    std::uint8_t health = 0;
};

struct header_info_type {
    bool new_header = false;
    std::uint32_t msg_type = 0;
    std::uint32_t station_id = 0;
    std::uint8_t sequence = 0;
    std::uint8_t health = 0;
    double frame_time = 0;
};

// What the frame in progress has delivered so far, for reports that follow
// the stream frame by frame. Cleared at every header word 1; complete when
// `frame_completed` is set.
struct frame_delivery_type {
    std::uint16_t zcount = 0;        // modified Z-count of header word 2, units of 0.6 s
    bool measurement_head = false;   // 18 to 21: the first data word was taken
    std::uint32_t tom_us = 0;        // 18 to 21: its time of measurement
    bool station_stored = false;     // 3: the coordinates were accepted
    std::uint8_t sv_count = 0;       // satellites whose records entered a list,
    std::array<std::uint8_t, 32> svs{};  // each once by sat_key, in the order they came
    bool whole_frame = false;        // a whole-frame type's record was decoded from this frame
    std::array<std::uint64_t, 4> in_svs{};  // bit `key` set for each key in svs

    bool delivered(std::uint8_t key) const { return (in_svs[key >> 6] >> (key & 63u)) & 1u; }
};

// A frame that came in another carrier than the byte stream: an AIS
// message 17 and what it says of its sender.
struct frame_carrier_type {
    bool ais = false;
    std::uint32_t mmsi = 0;
    bool has_position = false;
    std::int32_t lon = 0;  // 1/10 minute of arc
    std::int32_t lat = 0;
};

class RtcmDecoder;

// The recorder's per-byte storing step plugs in here; the decoder calls it
// at the end of a byte, after the byte was decoded: of every byte, unless the
// hook says that bytes which only add a character to the word being
// assembled (four of every five in sync) leave it nothing to do.
class StoringHook {
public:
    virtual ~StoringHook() = default;
    // The decoder was reset: forget per-stream state.
    virtual void reset_stream_state() = 0;
    // Take over a pending format change, then run the storing step.
    virtual void after_byte(RtcmDecoder& decoder) = 0;

    // Read by the decoder at every byte or word, hence no virtual call.
    bool wants_inner_bytes() const { return !inner_wanted_ || *inner_wanted_; }
    bool wants_every_word() const { return !words_wanted_ || *words_wanted_; }

protected:
    // The hook needs the bytes inside a word only while `*flag` is set.
    void inner_bytes_only_while(const bool* flag) { inner_wanted_ = flag; }
    // The hook needs the data words of a frame but its last only while
    // `*flag` is set; it always sees both header words and every frame end.
    void data_words_only_while(const bool* flag) { words_wanted_ = flag; }

private:
    const bool* inner_wanted_ = nullptr;  // none: every byte
    const bool* words_wanted_ = nullptr;  // none: every word
};

class RtcmDecoder {
public:
    // The common form of the per-type data-word decoders.
    using message_handler = void (RtcmDecoder::*)();

    explicit RtcmDecoder(const Clock& clock = system_clock());
    RtcmDecoder(const RtcmDecoder&) = delete;
    RtcmDecoder& operator=(const RtcmDecoder&) = delete;

    // One received byte per call.
    void rtcm_decode_byte(std::uint8_t b) {
        if (!take_inner_bytes(&b, 1)) decode_byte(b);
    }

    // The bytes in order, exactly as one rtcm_decode_byte call each.
    // `after(i)` runs after every byte bytes[i] with which a frame ended
    // (completed, or cut short by a loss of sync) and after every byte with
    // which the storing hook ran; all else that callers read (headers,
    // counters, stores, flags) is still there at the next of those bytes,
    // or was the storing hook's to see.
    template <class After>
    void rtcm_decode(std::span<const std::uint8_t> bytes, After&& after) {
        const ChunkReading reading(*this);
        const std::uint8_t* p = bytes.data();
        const std::size_t size = bytes.size();
        for (std::size_t i = 0; i < size;) {
            // In sync, most of a stream comes as whole words of five valid
            // characters: taken as a run, each in one step.
            if (const std::size_t taken = take_words(p + i, size - i)) {
                i += taken;
                after(i - 1);
                continue;
            }
            if (const std::size_t taken = take_inner_bytes(p + i, size - i)) {
                i += taken;
                continue;
            }
            decode_byte(p[i]);
            after(i);
            ++i;
        }
    }
    void rtcm_decode(std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t b : bytes) rtcm_decode_byte(b);
    }

    // Back to searching with the start values of the word layer; the stores,
    // the counters and the header copy are kept.
    void rtcm_decoder_reset();

    // The bytes of one chunk, which arrived together, read the clock once
    // (see now_utc) while one of these lives; rtcm_decode(span) makes one,
    // and a caller that splits a chunk into several calls may hold one
    // around them all. Inner ones change nothing.
    struct ChunkReading {
        explicit ChunkReading(const RtcmDecoder& d) : d_(d), outer_(!d.in_chunk_) {
            if (!outer_) return;
            d_.in_chunk_ = true;
            d_.chunk_read_ = false;
        }
        ~ChunkReading() {
            if (outer_) d_.in_chunk_ = false;
        }
        ChunkReading(const ChunkReading&) = delete;
        ChunkReading& operator=(const ChunkReading&) = delete;
        const RtcmDecoder& d_;
        const bool outer_;
    };

    // Frames that reached us in another carrier (an AIS message 17),
    // encoded again as 6-of-8 characters from a word boundary after a word
    // that ended in D29*, D30* (`stars`: D29* in bit 1, D30* in bit 0), and
    // decoded as a pause in the stream: the word layer (sync, the word and
    // the frame in progress, the bit offset) is afterwards as it was before,
    // so that the stream goes on undisturbed and an idle decoder stays idle,
    // while the stores, the counters and the latest header move on as with
    // any frame. `carrier` is set while they are read. `after` as for
    // rtcm_decode.
    template <class After>
    void decode_interlude(std::span<const std::uint8_t> chars, unsigned stars, const frame_carrier_type& from,
                          After&& after) {
        const Interlude pause(*this, stars, from);
        rtcm_decode(chars, after);
    }

    void set_clock(const Clock& clock) { clock_ = &clock; }
    const Clock& clock() const { return *clock_; }
    // The clock's reading, for the hour and age of a frame and the stamps
    // of its recording: taken once per rtcm_decode(span) call, as the bytes
    // of one chunk arrived together, and at every call otherwise.
    ClockReading now_utc() const {
        if (!in_chunk_) return clock_->now_utc();
        if (!chunk_read_) {
            chunk_reading_ = clock_->now_utc();
            chunk_read_ = true;
        }
        return chunk_reading_;
    }
    void set_storing_hook(StoringHook* hook) { storing_ = hook; }

    // The five received characters of the word in `window`.
    std::string_view raw_word() const {
        return {reinterpret_cast<const char*>(state.window.data()), state.window.size()};
    }

    // ---- Public state: read between calls by the window and the recorder.
    rtcm_decoder_state state;
    rtcm_header_type header;
    header_info_type header_info;
    double latency = 0;  // s, age of the latest frame
    std::int32_t leapSeconds = 18;  // GPS time minus UTC (18 since 2017-01-01)

    std::uint32_t unused_chars = 0;
    bool new_byte = false;
    bool word_done = false;
    bool frame_done = false;      // cleared by the display step
    bool frame_done_rec = false;  // cleared by the recorder

    rtcm_stores stores;
    frame_delivery_type delivery;
    // Where the frame being read came from: the byte stream unless set.
    frame_carrier_type carrier;

    // ---- Counters for reports; never reset by rtcm_decoder_reset.
    std::uint64_t parity_failures = 0;  // processed words with bad parity
    std::uint64_t sync_losses = 0;      // clearings of in_sync
    std::uint64_t frames_completed = 0; // frames that ended normally
    // Set in the call whose word ended a frame normally (not by a loss of
    // sync); `header` then still describes that frame.
    bool frame_completed = false;

    // ---- Message decoders, one per data word of a frame of their type.
    void decode_type_1();
    void decode_type_2();
    void decode_type_3();
    void decode_type_9();
    void decode_type_16();
    void decode_type_18();
    void decode_type_19();
    void decode_type_20();
    void decode_type_21();
    void decode_type_31();
    void decode_type_34();
    void decode_type_other();
    void keep_raw_characters();

    // The bit offset the words are read at: 0 when they start on character
    // boundaries, 1..5 for a stream packed without regard to the characters.
    int bit_offset() const { return realigner_.offset(); }

    static message_handler handler_for(std::uint8_t msg_type);

private:
    // Valid characters without a frame at the current bit offset before the
    // other offsets are searched: one frame of the longest kind, so that a
    // character-aligned stream is not searched between its frames.
    static constexpr std::uint16_t realign_pause = 170;

    void decode_char(std::uint8_t b);
    // The common case, kept inline: in sync at bit offset 0, valid
    // characters that do not complete a word. Takes as many of the `count`
    // bytes at `b` as are such characters (at most four, the rest of the
    // word but its last) and returns how many; 0, having done nothing, when
    // the first is not one.
    std::size_t take_inner_bytes(const std::uint8_t* b, std::size_t count) {
        std::uint8_t n = state.byte_count;
        if (!state.in_sync || state.word_ready || !is_valid_char(b[0]) || n == 4) return 0;
        if (realigner_.offset() != 0) return 0;
        if (storing_ && storing_->wants_inner_bytes()) return 0;
        if (n == 5) {  // the first character after a finished word
            state.window = {' ', ' ', ' ', ' ', ' '};
            n = 0;
        }
        const std::size_t limit = std::min<std::size_t>(4u - n, count);
        std::size_t k = 0;
        do {  // not std::copy: a library call costs more than these few bytes
            state.window[n + k] = b[k];
            ++k;
        } while (k < limit && is_valid_char(b[k]));
        realigner_.push(b, k);
        state.byte_count = std::uint8_t(n + k);
        chars_since_frame_ = std::uint16_t(std::min<std::size_t>(realign_pause, chars_since_frame_ + k));
        frame_completed = false;
        new_byte = !storing_;  // a storing step would have taken it at once
        return k;
    }
    // In sync at bit offset 0 between two words, with no storing step
    // that watches the bytes inside a word.
    bool at_word_start() const {
        return state.in_sync && !state.word_ready && (state.byte_count == 5 || state.byte_count == 0) &&
               realigner_.offset() == 0 && !(storing_ && storing_->wants_inner_bytes());
    }
    static bool whole_word(const std::uint8_t* b) {
        std::uint32_t first4;
        std::memcpy(&first4, b, 4);
        return (first4 & 0xC0C0C0C0u) == 0x40404040u && is_valid_char(b[4]);
    }
    // Whole words of five valid characters from `b` on, while at a word
    // start, each with every effect that five decode_byte calls would have
    // had. Stops after a word that ended a frame, or one the storing hook
    // wants to see, so that the caller's `after` sees it too. Returns the
    // bytes taken.
    std::size_t take_words(const std::uint8_t* b, std::size_t count);
    void decode_byte(std::uint8_t b);
    // The end of the step of `chars` valid characters: the characters since
    // the last frame, and the search at the other bit offsets when they are
    // many.
    void after_valid_chars(std::size_t chars);
    void realign_if_lost();
    // The word in `state.window` is complete: handle it and its frame.
    // `chars` are the word's five characters: the window's, or the same
    // bytes where they were received.
    [[gnu::always_inline]] inline void finish_word(const std::uint8_t* chars);
    // The word just handled ended the frame, completed or (sync lost) not.
    void frame_ended(bool was_in_sync);
    void sync_search(std::uint8_t b);
    void assemble_byte(std::uint8_t b);
    // Inline: they run once per word, from this file only.
    [[gnu::always_inline]] inline void word_handler(const std::uint8_t* chars);
    [[gnu::always_inline]] inline void build_word(const std::uint8_t* chars);
    void header_word_1();
    void header_word_2();
    void publish_header();
    void clear_header() { header = rtcm_header_type{}; }

    // Frame bookkeeping shared by the message decoders after a data word.
    void end_data_word() {
        state.word_ready = false;
        ++state.word_index;
        if (state.word_index >= header.frame_length) state.word_index = 0;
    }
    // True when the word just handled is the frame's last data word.
    bool last_data_word() const { return state.word_index + 1 >= header.frame_length; }
    // A record of satellite key `key` (sat_key) entered a list in this frame.
    // A satellite sent twice in one frame is reported once, with the values
    // that its list holds now.
    void deliver(std::uint8_t key) {
        if (delivery.delivered(key) || delivery.sv_count == delivery.svs.size()) return;
        delivery.in_svs[key >> 6] |= std::uint64_t(1) << (key & 63u);
        delivery.svs[delivery.sv_count++] = key;
    }

    // Messages 1, 2 and 9 share one word layout; 9 has no problem marks.
    // GLONASS 31 and 34 use it too, with a change flag and a time of day in
    // place of the IOD.
    void decode_corrections(rtcm_corrections_store& store, bool problem_marks, bool glonass = false);
    // Messages 18 to 21 share the first data word and the word A / word B pairs.
    template <class Store>
    void decode_measurement(Store& store);

    // The word layer and the frame in progress, put aside for an interlude
    // and back when it ends (or throws).
    struct Interlude {
        Interlude(RtcmDecoder& d, unsigned stars, const frame_carrier_type& from);
        ~Interlude();
        Interlude(const Interlude&) = delete;
        Interlude& operator=(const Interlude&) = delete;
        RtcmDecoder& d;
        rtcm_decoder_state state;
        rtcm_header_type header;
        frame_delivery_type delivery;
        rtcm_frame_words frame_words;
        message_handler handler;
        CharRealigner realigner;
        std::uint16_t chars_since_frame;
        double latency;  // of the frame in progress, if one is
    };

    const Clock* clock_;
    mutable bool in_chunk_ = false;
    mutable bool chunk_read_ = false;
    mutable ClockReading chunk_reading_;
    StoringHook* storing_ = nullptr;
    CharRealigner realigner_;
    std::uint16_t chars_since_frame_ = realign_pause;
    rtcm_frame_words frame_words_;
    // The data-word decoder of the frame in progress, chosen at its header.
    message_handler handler_ = &RtcmDecoder::decode_type_other;
};

// The process-wide decoder and the free entry points over it.
RtcmDecoder& rtcm_decoder();
inline void rtcm_decode_byte(std::uint8_t b) { rtcm_decoder().rtcm_decode_byte(b); }
inline void rtcm_decoder_reset() { rtcm_decoder().rtcm_decoder_reset(); }

}  // namespace tessaly

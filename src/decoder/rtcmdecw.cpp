#include "rtcmdecw.h"

#include <cstring>
#include <initializer_list>

namespace tessaly {

namespace {

constexpr std::uint32_t bits_of(std::initializer_list<int> data_bits) {
    std::uint32_t m = 0;
    for (int k : data_bits) m |= 1u << (k - 1);
    return m;
}

// ICD-GPS-200 parity equations: which source data bits d1..d24 enter each of
// D25..D30, and whether D29* or D30* joins them.
struct parity_equation {
    std::uint32_t mask;
    bool uses_d29;
};
constexpr std::array<parity_equation, 6> parity_equations{{
    {bits_of({1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23}), true},       // D25
    {bits_of({2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24}), false},      // D26
    {bits_of({1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22}), true},        // D27
    {bits_of({2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23}), false},       // D28
    {bits_of({1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24}), false},   // D29
    {bits_of({3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24}), true},           // D30
}};

constexpr std::uint8_t preamble = 0x66;
constexpr std::uint8_t preamble_complemented = 0x59;

// The word layer runs once per received word, which makes it the hottest
// code of the decoder. Both of its steps, putting the bits in order and the
// parity check, are linear in the bits of the five characters, so a table
// per character position gives each character's share of both, and the word
// is the exclusive or of five lookups.
//
// A character's bit j is the word's bit 31 - 6k - j when it is the k-th of
// the word. A table entry holds, in its low 32 bits, those bits where the
// normalised word holds them (D1 at bit 31, D30 at bit 2); in bits 32..37,
// the parity bits D25..D30 that the character's data bits make (characters
// 0 to 3), or the received D25..D30 themselves (character 4). The sum of
// the five is the word as received and its syndrome: what the data bits,
// as received, make of the parity bits, against what came.
constexpr unsigned parity_of_data(std::uint32_t normalised) {
    unsigned p = 0;
    for (unsigned i = 0; i < parity_equations.size(); ++i) {
        unsigned bit = 0;
        for (unsigned k = 1; k <= 24; ++k)
            if ((parity_equations[i].mask >> (k - 1)) & 1u) bit ^= (normalised >> (32 - k)) & 1u;
        p |= bit << (5 - i);  // D25 at bit 5
    }
    return p;
}
constexpr std::array<std::array<std::uint64_t, 64>, 5> word_tables = [] {
    std::array<std::array<std::uint64_t, 64>, 5> t{};
    for (unsigned k = 0; k < 5; ++k)
        for (unsigned c = 0; c < 64; ++c) {
            std::uint32_t w = 0;
            for (unsigned j = 0; j < 6; ++j) w |= ((c >> j) & 1u) << (31 - 6 * k - j);
            const std::uint64_t share = k < 4 ? parity_of_data(w) : (w >> 2) & 63u;
            t[k][c] = w | share << 32;
        }
    return t;
}();

// The syndrome a right word leaves, by D29* and D30* of the previous word.
// D29* and D30* join some of the parity equations; D30* also means that the
// data bits came complemented, which flips the parity bits of all data ones.
constexpr std::array<std::uint8_t, 4> right_syndrome = [] {
    std::array<std::uint8_t, 4> t{};
    const unsigned all_ones = parity_of_data(0xFFFFFF00u);
    for (unsigned d29 = 0; d29 < 2; ++d29)
        for (unsigned d30 = 0; d30 < 2; ++d30) {
            unsigned s = d30 ? all_ones : 0;
            for (unsigned i = 0; i < parity_equations.size(); ++i)
                if (parity_equations[i].uses_d29 ? d29 : d30) s ^= 1u << (5 - i);
            t[d29 * 2 + d30] = std::uint8_t(s);
        }
    return t;
}();

// The sum of the five characters' table entries: the word as received and
// its syndrome. (Kept apart from the two below rather than returned with
// them in a struct, which the compiler packed into one register and out.)
[[gnu::always_inline]] inline std::uint64_t table_sum(const std::uint8_t* c) {
    return word_tables[0][c[0] & 63u] ^ word_tables[1][c[1] & 63u] ^ word_tables[2][c[2] & 63u] ^
           word_tables[3][c[3] & 63u] ^ word_tables[4][c[4] & 63u];
}
// `stars`: D29* in bit 1, D30* in bit 0.
[[gnu::always_inline]] inline bool parity_right(std::uint64_t sum, unsigned stars) {
    return (sum >> 32) == right_syndrome[stars & 3u];
}
// The normalised word with D1..D24 back to the source bits.
[[gnu::always_inline]] inline std::uint32_t source_word(std::uint64_t sum, unsigned stars) {
    return std::uint32_t(sum) ^ (stars & 1u ? 0xFFFFFF00u : 0u);
}

}  // namespace

// Through the decoder's own tables, so that the word tests check those.
bool parity_check(std::uint32_t raw, bool d29_star, bool d30_star) {
    if (d30_star) raw ^= 0xFFFFFFu;  // the data bits as they came
    std::array<std::uint8_t, 5> c{};
    for (unsigned k = 0; k < 5; ++k) c[k] = std::uint8_t(0x40u | ((raw >> (6 * k)) & 63u));
    return parity_right(table_sum(c.data()), unsigned(d29_star) << 1 | unsigned(d30_star));
}

RtcmDecoder::RtcmDecoder(const Clock& clock) : clock_(&clock) {}

void RtcmDecoder::rtcm_decoder_reset() {
    state = rtcm_decoder_state{};
    realigner_.reset();
    chars_since_frame_ = realign_pause;
    if (storing_) storing_->reset_stream_state();
}

RtcmDecoder::Interlude::Interlude(RtcmDecoder& dec, unsigned stars, const frame_carrier_type& from)
    : d(dec),
      state(dec.state),
      header(dec.header),
      delivery(dec.delivery),
      frame_words(dec.frame_words_),
      handler(dec.handler_),
      realigner(dec.realigner_),
      chars_since_frame(dec.chars_since_frame_),
      latency(dec.latency) {
    // In sync at a word start: the first character begins header word 1.
    d.state = rtcm_decoder_state{};
    d.state.in_sync = true;
    d.state.stars = std::uint8_t(stars & 3u);
    d.realigner_.reset();
    d.carrier = from;
}

RtcmDecoder::Interlude::~Interlude() {
    d.state = state;
    d.header = header;
    d.delivery = delivery;
    d.frame_words_ = frame_words;
    d.handler_ = handler;
    d.realigner_ = realigner;
    d.chars_since_frame_ = chars_since_frame;
    // A frame in progress goes on with its own age; otherwise the frame
    // just read is the latest.
    if (state.in_sync && state.word_index >= 2) d.latency = latency;
    d.carrier = frame_carrier_type{};
}

void RtcmDecoder::decode_byte(std::uint8_t b) {
    frame_completed = false;
    if (!is_valid_char(b)) {
        decode_char(b);
        return;
    }
    realigner_.push(b);
    decode_char(realigner_.current());
    after_valid_chars(1);
}

inline void RtcmDecoder::build_word(const std::uint8_t* c) {
    const unsigned stars = state.stars;
    const std::uint64_t sum = table_sum(c);
    const std::uint32_t w = source_word(sum, stars);
    const bool ok = parity_right(sum, stars);
    state.parity_ok = ok;
    if (!ok) ++parity_failures;
    state.word = w;
    state.stars = std::uint8_t((w >> 2) & 3u);
}

inline void RtcmDecoder::word_handler(const std::uint8_t* chars) {
    build_word(chars);
    switch (state.word_index) {
        case 0: header_word_1(); break;
        case 1: header_word_2(); break;
        default: (this->*handler_)(); break;
    }
}

inline void RtcmDecoder::finish_word(const std::uint8_t* chars) {
    word_done = true;
    const bool was_in_sync = state.in_sync;
    word_handler(chars);
    if (state.word_index == 0) frame_ended(was_in_sync);
    if (state.word_index == 2) publish_header();
}

void RtcmDecoder::frame_ended(bool was_in_sync) {
    if (was_in_sync && !state.in_sync) ++sync_losses;
    frame_done = true;
    frame_done_rec = true;
    if (state.in_sync) {
        frame_completed = true;
        ++frames_completed;
        // A frame without data words ends at header word 2: its header is
        // published here, as it is at the first data word of the others.
        if (header.frame_length == 2) publish_header();
    }
}

std::size_t RtcmDecoder::take_words(const std::uint8_t* b, std::size_t count) {
    if (count < 5 || !at_word_start() || !whole_word(b)) return 0;
    // Within a run nothing changes what at_word_start() found but the word
    // state that the words themselves set.
    state.byte_count = 5;
    new_byte = true;
    frame_completed = false;
    std::size_t i = 0;
    for (;;) {
        const std::uint8_t* c = b + i;
        i += 5;
        std::memcpy(state.window.data(), c, 5);
        state.word_ready = true;
        // From the received bytes, not the window just written: a read of
        // what was just stored waits for the store.
        if (state.word_index >= 2) {
            // A data word, in sync: only the frame's end is left to look at.
            word_done = true;
            build_word(c);
            (this->*handler_)();
            if (state.word_index == 0) frame_ended(true);
        } else {
            finish_word(c);
        }
        // A frame ended (completed, or cut short by a loss of sync, which
        // always ends it), or the storing step wants this word: both
        // header words, and the data words while it asks for them.
        if (state.word_index == 0 || (storing_ && (state.word_index <= 2 || storing_->wants_every_word()))) break;
        if (count - i < 5 || state.word_ready || !whole_word(b + i)) break;
    }
    if (storing_) storing_->after_byte(*this);
    word_done = false;
    // The bit-offset history needs only the characters it keeps, and is
    // read only once sync is lost, which ends the run.
    const std::size_t kept = std::min(i, CharRealigner::max_replay + 1);
    realigner_.push(b + i - kept, kept);
    after_valid_chars(i);
    return i;
}

void RtcmDecoder::after_valid_chars(std::size_t chars) {
    chars_since_frame_ =
        frame_completed ? 0 : std::uint16_t(std::min<std::size_t>(realign_pause, chars_since_frame_ + chars));
    realign_if_lost();
}

void RtcmDecoder::realign_if_lost() {
    // No frame at this alignment for a while: look at the other bit offsets.
    // A frame start found there is decoded from its first character on.
    CharRealigner::Found found;
    if (!state.in_sync && chars_since_frame_ >= realign_pause && realigner_.search(found)) {
        realigner_.set_offset(found.offset);
        state = rtcm_decoder_state{};
        for (std::size_t i = 0; i < found.count; ++i) decode_char(found.chars[i]);
    }
}

void RtcmDecoder::decode_char(std::uint8_t b) {
    if (!state.in_sync) sync_search(b);
    if (state.in_sync) {
        if (!state.word_ready) assemble_byte(b);
        if (state.word_ready) finish_word(state.window.data());
    }
    if (storing_) storing_->after_byte(*this);
    word_done = false;
}


void RtcmDecoder::sync_search(std::uint8_t b) {
    if (!is_valid_char(b)) {
        ++unused_chars;
        return;
    }
    // The byte leaving the window is, when the stream is byte-aligned, the
    // last byte of the previous word: it carries D29 and D30.
    const std::uint8_t leaving = state.window[0];
    state.stars = std::uint8_t(((leaving >> 4) & 1u) << 1 | ((leaving >> 5) & 1u));
    for (std::size_t i = 0; i + 1 < state.window.size(); ++i) state.window[i] = state.window[i + 1];
    state.window[4] = b;
    if (state.window[0] == preamble || state.window[0] == preamble_complemented) {
        state.word_ready = true;
        state.in_sync = true;
    } else {
        ++unused_chars;
    }
    new_byte = true;
}

void RtcmDecoder::assemble_byte(std::uint8_t b) {
    if (state.byte_count == 5) {
        state.byte_count = 0;
        state.window.fill(' ');
        state.word_ready = false;
    }
    if (!is_valid_char(b)) {
        // Skipped: the word continues with the next valid byte.
        ++unused_chars;
        return;
    }
    state.window[state.byte_count] = b;
    ++state.byte_count;
    new_byte = true;
    if (state.byte_count == 5) state.word_ready = true;
}

void RtcmDecoder::header_word_1() {
    state.word_ready = false;
    delivery = frame_delivery_type{};
    if (state.parity_ok && get_u8(state.word, 24) == preamble) {
        header.msg_type = get_u8(state.word, 18) & 63u;
        header.station_id = get_u16(state.word, 8) & 1023u;
        handler_ = handler_for(header.msg_type);
        state.word_index = 1;
        return;
    }
    state.in_sync = false;
    state.word_index = 0;
    clear_header();
}

void RtcmDecoder::header_word_2() {
    state.word_ready = false;
    if (!state.parity_ok) {
        state.in_sync = false;
        state.word_index = 0;
        clear_header();
        return;
    }
    const unsigned z = get_u16(state.word, 19) & 8191u;
    delivery.zcount = std::uint16_t(z);
    const double zcount_seconds = z * 0.6;
    header.sequence = get_u8(state.word, 16) & 7u;
    header.frame_length = std::uint8_t((get_u8(state.word, 11) & 31u) + 2u);
    header.health = get_u8(state.word, 8) & 7u;

    // The modified Z-count counts only within the hour; the hour comes from
    // the clock, which therefore has to be right to within a quarter hour.
    const ClockReading now = now_utc();
    int h = now.hour;
    if (zcount_seconds > 2400.0 && now.minute < 15) {
        h = h == 0 ? 23 : h - 1;  // the frame is from the end of the previous hour
    } else if (zcount_seconds < 1200.0 && now.minute > 45) {
        h = h == 23 ? 0 : h + 1;  // the frame is from the start of the next hour
    }
    header.frame_time = zcount_seconds + h * 3600.0;

    // The age is taken on the clock's own hour, so that it stays the frame's
    // true age across an hour boundary, then folded into half a day either
    // way so that a frame from before midnight read after it is minutes old.
    double age = now.time_of_day() + leapSeconds - header.frame_time;
    if (header.msg_type >= 31 && header.msg_type <= 36) age -= leapSeconds;  // GLONASS time is UTC based
    if (age > 43200.0) age -= 86400.0;
    else if (age < -43200.0) age += 86400.0;
    latency = age;

    state.word_index = header.frame_length == 2 ? 0 : 2;
}

void RtcmDecoder::publish_header() {
    header_info.msg_type = header.msg_type;
    header_info.station_id = header.station_id;
    header_info.sequence = header.sequence;
    header_info.health = header.health;
    header_info.frame_time = header.frame_time;
    header_info.new_header = true;
}

RtcmDecoder::message_handler RtcmDecoder::handler_for(std::uint8_t msg_type) {
    switch (msg_type) {
        case 1: return &RtcmDecoder::decode_type_1;
        case 2: return &RtcmDecoder::decode_type_2;
        case 3: return &RtcmDecoder::decode_type_3;
        case 9: return &RtcmDecoder::decode_type_9;
        case 16: return &RtcmDecoder::decode_type_16;
        case 18: return &RtcmDecoder::decode_type_18;
        case 19: return &RtcmDecoder::decode_type_19;
        case 20: return &RtcmDecoder::decode_type_20;
        case 21: return &RtcmDecoder::decode_type_21;
        case 31: return &RtcmDecoder::decode_type_31;
        case 34: return &RtcmDecoder::decode_type_34;
        default: return &RtcmDecoder::decode_type_other;
    }
}

// The raw characters of a frame, for the other-type page; kept for the
// GLONASS corrections too, which that page shows until they get one of
// their own (otherwise it would go on showing an older frame as current).
void RtcmDecoder::keep_raw_characters() {
    auto& store = stores.data_other;
    if (state.word_index == 2) {
        store.msg_type = header.msg_type;
        store.frame_length = header.frame_length;
        store.time = header.frame_time;
        store.raw.assign(raw_word());
    } else {
        store.raw.append(raw_word());
    }
}

void RtcmDecoder::decode_type_other() {
    keep_raw_characters();
    if (state.word_index == 2) frame_words_ = rtcm_frame_words{};
    if (frame_words_.count < frame_words_.word.size()) frame_words_.word[frame_words_.count++] = state.word;
    if (!state.parity_ok) frame_words_.all_ok = false;
    if (last_data_word())
        delivery.whole_frame = decode_whole_frame(stores.more, header.msg_type, frame_words_, header.frame_time,
                                                  header.frame_length);
    end_data_word();
}

RtcmDecoder& rtcm_decoder() {
    static RtcmDecoder instance;
    return instance;
}

}  // namespace tessaly

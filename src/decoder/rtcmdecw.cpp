#include "rtcmdecw.h"

#include <bit>
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

}  // namespace

std::uint32_t parity_bits(std::uint32_t data, bool d29_star, bool d30_star) {
    std::uint32_t p = 0;
    for (std::size_t i = 0; i < parity_equations.size(); ++i) {
        const auto& eq = parity_equations[i];
        unsigned bit = unsigned(std::popcount(data & eq.mask)) & 1u;
        bit ^= unsigned(eq.uses_d29 ? d29_star : d30_star);
        p |= bit << i;
    }
    return p;
}

bool parity_check(std::uint32_t raw, bool d29_star, bool d30_star) {
    return parity_bits(raw & 0xFFFFFFu, d29_star, d30_star) == ((raw >> 24) & 0x3Fu);
}

RtcmDecoder::RtcmDecoder(const Clock& clock) : clock_(&clock) {}

void RtcmDecoder::rtcm_decoder_reset() {
    state = rtcm_decoder_state{};
    realigner_.reset();
    chars_since_frame_ = realign_pause;
    if (storing_) storing_->reset_stream_state();
}

void RtcmDecoder::rtcm_decode_byte(std::uint8_t b) {
    frame_completed = false;
    if (!is_valid_char(b)) {
        decode_char(b);
        return;
    }
    realigner_.push(b);
    decode_char(realigner_.current());
    if (frame_completed) {
        chars_since_frame_ = 0;
    } else if (chars_since_frame_ < realign_pause) {
        ++chars_since_frame_;
    }
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
        if (state.word_ready) {
            word_done = true;
            const bool was_in_sync = state.in_sync;
            word_handler();
            if (was_in_sync && !state.in_sync) ++sync_losses;
            if (state.word_index == 0) {
                frame_done = true;
                frame_done_rec = true;
                if (state.in_sync) {
                    frame_completed = true;
                    ++frames_completed;
                }
            }
            if (state.word_index == 2) publish_header();
        }
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
    state.d29_star = (leaving >> 4) & 1u;
    state.d30_star = (leaving >> 5) & 1u;
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

void RtcmDecoder::build_word() {
    std::uint32_t r = 0;
    for (std::size_t k = 0; k < 5; ++k) r |= std::uint32_t(state.window[k] & 63u) << (6 * k);
    if (state.d30_star) r ^= 0xFFFFFFu;
    state.parity_ok = parity_check(r, state.d29_star, state.d30_star);
    if (!state.parity_ok) ++parity_failures;
    // Normalise: D1 to bit 31, D30 to bit 2.
    std::uint32_t w = 0;
    for (int i = 0; i < 32; ++i) w |= ((r >> i) & 1u) << (31 - i);
    state.word = w;
    state.d29_star = (w >> 3) & 1u;
    state.d30_star = (w >> 2) & 1u;
}

void RtcmDecoder::word_handler() {
    build_word();
    switch (state.word_index) {
        case 0: header_word_1(); break;
        case 1: header_word_2(); break;
        default: (this->*handler_for(header.msg_type))(); break;
    }
}

void RtcmDecoder::header_word_1() {
    state.word_ready = false;
    delivery = frame_delivery_type{};
    if (state.parity_ok && get_u8(state.word, 24) == preamble) {
        header.msg_type = get_u8(state.word, 18) & 63u;
        header.station_id = get_u16(state.word, 8) & 1023u;
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
    const ClockReading now = clock_->now_utc();
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

void RtcmDecoder::end_data_word() {
    state.word_ready = false;
    ++state.word_index;
    if (state.word_index >= header.frame_length) state.word_index = 0;
}

bool frame_delivery_type::delivered(std::uint8_t key) const {
    for (std::size_t i = 0; i < sv_count; ++i)
        if (svs[i] == key) return true;
    return false;
}

void RtcmDecoder::deliver(std::uint8_t key) {
    // A satellite sent twice in one frame is reported once, with the values
    // that its list holds now.
    if (!delivery.delivered(key) && delivery.sv_count < delivery.svs.size()) delivery.svs[delivery.sv_count++] = key;
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

void RtcmDecoder::decode_type_other() {
    auto& store = stores.data_other;
    if (state.word_index == 2) {
        store.msg_type = header.msg_type;
        store.frame_length = header.frame_length;
        store.time = header.frame_time;
        store.raw.assign(raw_word());
        frame_words_ = rtcm_frame_words{};
    } else {
        store.raw.append(raw_word());
    }
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

// Messages 18 to 21: uncorrected measurements and RTK corrections.
//
// One frequency per frame: the first data word names it and the time of
// measurement, then every satellite takes a pair of words (A, B). An entry
// enters the list of the frame's frequency only when both words passed
// parity. The first data word is the frame's anchor: when it fails, nothing
// after it can be placed, so the frame is abandoned and the search resumes.
#include <array>
#include <cmath>

#include "rtcmdecw.h"

namespace tessaly {

namespace {

constexpr double microsecond = 0.000001;
constexpr double cycle_256 = 1.0 / 256;  // 0.00390625 cycle

bool data_bit(std::uint32_t w, int k) { return (w >> (32 - k)) & 1u; }

// The satellite's key (sat_key) from data bits 3..8 of word A: the system
// in bit 3 (RTCM 2.3: clear for GPS, set for GLONASS) and the number, 0
// standing for 32.
constexpr std::array<std::uint8_t, 64> keys = [] {
    std::array<std::uint8_t, 64> t{};
    for (unsigned v = 0; v < 64; ++v) t[v] = sat_key((v & 31u) == 0 ? 32 : std::uint8_t(v & 31u), v & 32u);
    return t;
}();
std::uint8_t key_of(std::uint32_t a) { return keys[(a >> 24) & 63u]; }
void set_satellite(auto& e, std::uint8_t key) {
    e.sv = std::uint8_t(key & ~glonass_key_bit);
    e.glonass = (key & glonass_key_bit) != 0;
}

// Upper bounds of the errors from their codes, computed once: the codes
// have at most 16 values and every satellite of every frame needs them.
template <std::size_t N, class F>
std::array<double, N> by_code(F f) {
    std::array<double, N> t{};
    for (unsigned c = 0; c < N; ++c) t[c] = f(c);
    return t;
}
const auto phase_errors = by_code<8>([](unsigned q) { return std::exp(q / std::sqrt(3.0)) / 256; });
const auto growth = by_code<16>([](unsigned q) { return std::exp(0.4 * q); });
const auto range_errors_002 = by_code<16>([](unsigned q) { return growth[q] * 0.02; });
const auto multipath_errors = by_code<16>([](unsigned m) { return 0.1 * growth[m]; });

double phase_error(unsigned q) { return phase_errors[q & 7u]; }
double range_error(unsigned q, double unit) { return growth[q & 15u] * unit; }
double multipath_error(unsigned m) { return multipath_errors[m & 15u]; }

// A signed 24-bit number in data bits 1..24.
std::int32_t signed_24(std::uint32_t w) {
    const std::int32_t v = std::int32_t((w >> 8) & 0xFFFFFFu);
    return v & 0x800000 ? v - 0x1000000 : v;
}

// ---- A record from its word A and word B ---------------------------------

void fill(rtcm_sat_18_type& e, std::uint8_t key, std::uint32_t a, std::uint32_t b) {
    set_satellite(e, key);
    e.more = data_bit(a, 1);
    e.p_code = data_bit(a, 2);
    e.phase_err = phase_error((a >> 21) & 7u);
    e.loss = (a >> 16) & 31u;
    const std::uint32_t phase = std::uint32_t(get_u8(a, 8)) << 24 | ((b >> 8) & 0xFFFFFFu);
    e.phase = std::int32_t(phase) * cycle_256;
}

void fill(rtcm_sat_19_type& e, std::uint8_t key, std::uint32_t a, std::uint32_t b) {
    set_satellite(e, key);
    e.p_code = data_bit(a, 2);
    e.pr_err = range_errors_002[(a >> 20) & 15u];
    e.mp_err = multipath_error((a >> 16) & 15u);
    // The 32-bit value is scaled once, after its halves are added.
    const double upper = std::int32_t(std::uint32_t(get_u8(a, 8)) << 24);
    e.pseudorange = (upper + double((b >> 8) & 0xFFFFFFu)) * 0.02;
}

void fill(rtcm_sat_20_type& e, std::uint8_t key, std::uint32_t a, std::uint32_t b) {
    set_satellite(e, key);
    e.more = data_bit(a, 1);
    e.phase_err = phase_error((a >> 21) & 7u);
    e.loss = (a >> 16) & 31u;
    e.iod = get_u8(a, 8);
    e.phase_corr = signed_24(b) * cycle_256;
}

void fill(rtcm_sat_21_type& e, std::uint8_t key, std::uint32_t a, std::uint32_t b) {
    set_satellite(e, key);
    e.rr_scale = data_bit(a, 1);
    e.p_code = data_bit(a, 2);
    e.pr_scale = data_bit(a, 9);
    e.pr_err = range_error((a >> 20) & 7u, e.pr_scale ? 0.4907 : 0.02);
    e.mp_err = multipath_error((a >> 16) & 15u);
    e.iod = get_u8(a, 8);
    e.prc = get_s16(b, 16) * (e.pr_scale ? 0.32 : 0.02);
    e.rrc = get_s8(b, 8) * (e.rr_scale ? 0.032 : 0.002);
}

// The first data word: the frequency and the time of measurement. Once a
// frame, so kept out of the per-satellite path.
template <class Store>
[[gnu::noinline]] void take_head(RtcmDecoder& d, Store& store) {
    const std::uint32_t w = d.state.word;
    store.freq = std::uint8_t(w >> 30);
    if constexpr (requires { store.smooth; }) store.smooth = (w >> 28) & 3u;
    const std::uint32_t tom = (w >> 8) & 0xFFFFFu;
    store.meas_time = d.header.frame_time + tom * microsecond;
    // Staleness is judged from the frame time, not the measurement time.
    store.sat_list[store.freq].start_frame(d.header.frame_time, store.meas_time);
    d.delivery.measurement_head = true;
    d.delivery.tom_us = tom;
}

}  // namespace

template <class Store>
[[gnu::always_inline]] inline void RtcmDecoder::decode_measurement(Store& store) {
    const std::uint32_t w = state.word;
    if (state.word_index == 2) {
        if (!state.parity_ok) {
            state.word_index = 0;
            state.in_sync = false;
            state.word_ready = false;
            return;
        }
        take_head(*this, store);
    } else if (state.word_index % 2 == 1) {  // word A
        store.word_a = w;
        store.word_a_ok = state.parity_ok;
    } else if (state.parity_ok && store.word_a_ok) {  // word B, after its word A of this frame
        const std::uint32_t a = store.word_a;
        const std::uint8_t key = key_of(a);
        if (auto* rec = store.sat_list[store.freq].place(key)) {
            rec->meas_time = store.meas_time;
            fill(*rec, key, a, w);
            deliver(key);
        }
    }
    end_data_word();
}

void RtcmDecoder::decode_type_18() { decode_measurement(stores.data_18); }
void RtcmDecoder::decode_type_19() { decode_measurement(stores.data_19); }
void RtcmDecoder::decode_type_20() { decode_measurement(stores.data_20); }
void RtcmDecoder::decode_type_21() { decode_measurement(stores.data_21); }

}  // namespace tessaly

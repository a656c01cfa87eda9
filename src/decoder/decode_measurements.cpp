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
constexpr double cycle_128 = 1.0 / 128;  // 0.0078125 cycle

std::uint8_t sv_of(std::uint32_t w) {
    const std::uint8_t id = get_u8(w, 24) & 31u;
    return id == 0 ? 32 : id;
}
bool data_bit(std::uint32_t w, int k) { return (w >> (32 - k)) & 1u; }
// Data bit 3 of word A names the system in all four messages (RTCM 2.3):
// clear for GPS, set for GLONASS.
bool glonass_of(std::uint32_t w) { return data_bit(w, 3); }

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

double phase_error(unsigned q) { return phase_errors[q & 7u]; }
double range_error(unsigned q, double unit) { return growth[q & 15u] * unit; }
double multipath_error(unsigned m) { return 0.1 * growth[m & 15u]; }

// A signed 24-bit number in data bits 1..24.
std::int32_t signed_24(std::uint32_t w) {
    const std::int32_t v = std::int32_t((w >> 8) & 0xFFFFFFu);
    return v & 0x800000 ? v - 0x1000000 : v;
}

// ---- Word A and word B of each message ------------------------------------

void word_a(rtcm_data_18_type& store, rtcm_sat_18_type& e, std::uint32_t w) {
    e.glonass = glonass_of(w);
    e.half_wave = data_bit(w, 1);
    e.p_code = data_bit(w, 2);
    e.sv = sv_of(w);
    e.phase_err = phase_error((w >> 21) & 7u);
    e.loss = (w >> 16) & 31u;
    store.phase_acc = std::uint32_t(get_u8(w, 8)) << 24;
}
void word_b(rtcm_data_18_type& store, rtcm_sat_18_type& e, std::uint32_t w) {
    store.phase_acc |= (w >> 8) & 0xFFFFFFu;
    e.phase = std::int32_t(store.phase_acc) * (e.half_wave ? cycle_128 : cycle_256);
}

void word_a(rtcm_data_19_type&, rtcm_sat_19_type& e, std::uint32_t w) {
    e.glonass = glonass_of(w);
    e.p_code = data_bit(w, 2);
    e.sv = sv_of(w);
    e.pr_err = range_error((w >> 20) & 15u, 0.02);
    e.mp_err = multipath_error((w >> 16) & 15u);
    // Held unscaled until word B completes it, so that the 32-bit value is
    // scaled once.
    e.pseudorange = std::int32_t(std::uint32_t(get_u8(w, 8)) << 24);
}
void word_b(rtcm_data_19_type&, rtcm_sat_19_type& e, std::uint32_t w) {
    e.pseudorange = (e.pseudorange + double((w >> 8) & 0xFFFFFFu)) * 0.02;
}

void word_a(rtcm_data_20_type&, rtcm_sat_20_type& e, std::uint32_t w) {
    e.glonass = glonass_of(w);
    e.half_wave = data_bit(w, 1);
    e.sv = sv_of(w);
    e.phase_err = phase_error((w >> 21) & 7u);
    e.loss = (w >> 16) & 31u;
    e.iod = get_u8(w, 8);
}
void word_b(rtcm_data_20_type&, rtcm_sat_20_type& e, std::uint32_t w) {
    // The opposite pairing from message 18's carrier phase.
    e.phase_corr = signed_24(w) * (e.half_wave ? cycle_256 : cycle_128);
}

void word_a(rtcm_data_21_type&, rtcm_sat_21_type& e, std::uint32_t w) {
    e.glonass = glonass_of(w);
    e.rr_scale = data_bit(w, 1);
    e.p_code = data_bit(w, 2);
    e.sv = sv_of(w);
    e.pr_scale = data_bit(w, 9);
    e.pr_err = range_error((w >> 20) & 7u, e.pr_scale ? 0.4907 : 0.02);
    e.mp_err = multipath_error((w >> 16) & 15u);
    e.iod = get_u8(w, 8);
}
void word_b(rtcm_data_21_type&, rtcm_sat_21_type& e, std::uint32_t w) {
    e.prc = get_s16(w, 16) * (e.pr_scale ? 0.32 : 0.02);
    e.rrc = get_s8(w, 8) * (e.rr_scale ? 0.032 : 0.002);
}

}  // namespace

template <class Store>
void RtcmDecoder::decode_measurement(Store& store) {
    const std::uint32_t w = state.word;

    if (state.word_index == 2) {
        if (!state.parity_ok) {
            state.word_index = 0;
            state.in_sync = false;
            state.word_ready = false;
            return;
        }
        store.freq = std::uint8_t(w >> 30);
        if constexpr (requires { store.smooth; }) store.smooth = (w >> 28) & 3u;
        const std::uint32_t tom = (w >> 8) & 0xFFFFFu;
        store.meas_time = header.frame_time + tom * microsecond;
        // Staleness is judged from the frame time, not the measurement time.
        purge_list(store.sat_list[store.freq], header.frame_time, store.spare);
        delivery.measurement_head = true;
        delivery.tom_us = tom;
    } else if ((state.word_index - 2) % 2 == 1) {  // word A
        release_record(store.spare, std::move(store.current));
        store.current = new_record(store.spare);
        store.current->meas_time = store.meas_time;
        store.record_bad = !state.parity_ok;
        if (state.parity_ok) word_a(store, *store.current, w);
    } else if (store.current && store.freq < store.sat_list.size()) {  // word B
        if (state.parity_ok) word_b(store, *store.current, w);
        else store.record_bad = true;
        if (store.record_bad) {
            release_record(store.spare, std::move(store.current));
        } else {
            const std::uint8_t key = store.current->key();
            insert_record(store.sat_list[store.freq], std::move(store.current), store.spare);
            deliver(key);
        }
    }
    // A frame ending after a word A stores nothing for it.
    if (last_data_word()) release_record(store.spare, std::move(store.current));
    end_data_word();
}

void RtcmDecoder::decode_type_18() { decode_measurement(stores.data_18); }
void RtcmDecoder::decode_type_19() { decode_measurement(stores.data_19); }
void RtcmDecoder::decode_type_20() { decode_measurement(stores.data_20); }
void RtcmDecoder::decode_type_21() { decode_measurement(stores.data_21); }

}  // namespace tessaly

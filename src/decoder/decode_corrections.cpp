// Messages 1, 2 and 9: pseudorange corrections.
//
// Three 40-bit satellite blocks fill five data words (A to E); a block's
// fields may straddle two words. A record is started when the first field of
// its block arrives and enters the list only when every word that carried one
// of its fields passed parity, so a failed word costs exactly the satellites
// it carried and the rest of the frame goes on.
#include "rtcmdecw.h"

namespace tessaly {

namespace {

constexpr std::int16_t range_problem_raw = -32768;  // 8000 hexadecimal
constexpr std::int8_t rate_problem_raw = -128;      // 80 hexadecimal

void fill_header(rtcm_sat_1_type& rec, bool scale, std::uint8_t udre, std::uint8_t id) {
    rec.scale = scale;
    rec.udre = udre & 3u;
    rec.sv = (id & 31u) == 0 ? 32 : std::uint8_t(id & 31u);
}

void set_range(rtcm_sat_1_type& rec, std::int32_t raw, bool problem_marks) {
    rec.range_corr = raw * (rec.scale ? 0.32 : 0.02);
    rec.range_problem = problem_marks && raw == range_problem_raw;
}

void set_rate(rtcm_sat_1_type& rec, std::int8_t raw, bool problem_marks) {
    rec.rate_corr = float(raw * (rec.scale ? 0.032 : 0.002));
    rec.rate_problem = problem_marks && raw == rate_problem_raw;
}

}  // namespace

void RtcmDecoder::decode_corrections(rtcm_corrections_store& store, bool problem_marks, bool glonass) {
    const std::uint32_t w = state.word;
    const bool ok = state.parity_ok;
    const bool last = last_data_word();

    rtcm_sat_1_type& rec = store.current;
    auto start_record = [&] {
        rec = rtcm_sat_1_type{};
        rec.time = header.frame_time;
        store.assembling = true;
    };
    auto complete_record = [&] {
        if (!store.assembling) return;
        store.assembling = false;
        if (store.record_bad) return;
        if (glonass) {
            rec.change = (rec.iod >> 7) & 1u;
            rec.tod = rec.iod & 127u;
        }
        if (rtcm_sat_1_type* listed = store.list.place(rec.key())) {
            *listed = rec;
            deliver(rec.sv);
        }
    };

    switch ((state.word_index - 1u) % 5u) {  // the data words are 2 and up
        case 1:  // A: block 1 header and range
            if (state.word_index == 2) {
                store.list.start_frame(header.frame_time, header.frame_time);
                store.frame_length = header.frame_length;
                store.time = header.frame_time;
            }
            start_record();
            if (ok) {
                fill_header(rec, (w >> 31) & 1u, get_u8(w, 29), get_u8(w, 24));
                set_range(rec, get_s16(w, 8), problem_marks);
                store.record_bad = false;
            } else {
                store.record_bad = true;
            }
            break;
        case 2:  // B: block 1 rate and IOD, block 2 header
            if (ok) {
                if (store.assembling) {
                    set_rate(rec, get_s8(w, 24), problem_marks);
                    rec.iod = get_u8(w, 16);
                }
                complete_record();
                if (!last) {
                    start_record();
                    store.record_bad = false;
                    fill_header(rec, (w >> 15) & 1u, get_u8(w, 13), get_u8(w, 8));
                }
            } else {
                store.record_bad = true;
            }
            break;
        case 3:  // C: block 2 range and rate
            if (ok && store.assembling) {
                set_range(rec, get_s16(w, 16), problem_marks);
                set_rate(rec, get_s8(w, 8), problem_marks);
            } else if (!ok) {
                store.record_bad = true;
            }
            break;
        case 4:  // D: block 2 IOD, block 3 header and upper range
            if (ok) {
                if (store.assembling) rec.iod = get_u8(w, 24);
                complete_record();
                if (!last) {
                    start_record();
                    store.record_bad = false;
                    fill_header(rec, (w >> 23) & 1u, get_u8(w, 21), get_u8(w, 16));
                    store.range_acc = get_s8(w, 8) * 256;
                }
            } else {
                store.record_bad = true;
            }
            break;
        default:  // E: block 3 lower range, rate and IOD
            if (ok && store.assembling) {
                store.range_acc += get_u8(w, 24);
                set_range(rec, store.range_acc, problem_marks);
                set_rate(rec, get_s8(w, 16), problem_marks);
                rec.iod = get_u8(w, 8);
                complete_record();
            } else {
                store.assembling = false;
            }
            break;
    }
    // A block that the frame leaves unfinished (a word failed on the last
    // word, or a malformed length) never enters the list.
    if (last) store.assembling = false;
    end_data_word();
}

void RtcmDecoder::decode_type_1() { decode_corrections(stores.data_1, true); }
void RtcmDecoder::decode_type_2() { decode_corrections(stores.data_2, true); }
void RtcmDecoder::decode_type_9() { decode_corrections(stores.data_9, false); }
// RTCM 2.3 gives 31 and 34 no problem marks: their values are taken as sent.
void RtcmDecoder::decode_type_31() {
    keep_raw_characters();
    decode_corrections(stores.data_31, false, true);
}
void RtcmDecoder::decode_type_34() {
    keep_raw_characters();
    decode_corrections(stores.data_34, false, true);
}

}  // namespace tessaly

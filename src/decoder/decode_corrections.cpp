// Messages 1, 2 and 9: pseudorange corrections.
//
// Three 40-bit satellite blocks fill five data words (A to E); a block's
// fields may straddle two words. The words of a group are kept as they come,
// and a block is decoded at its last word, into the list, only when every
// word that carried one of its fields passed parity: a failed word costs
// exactly the satellites it carried and the rest of the frame goes on.
#include "rtcmdecw.h"

namespace tessaly {

namespace {

constexpr std::int16_t range_problem_raw = -32768;  // 8000 hexadecimal
constexpr std::int8_t rate_problem_raw = -128;      // 80 hexadecimal

// The fields of one block, gathered from its words.
struct block_fields {
    bool scale;
    std::uint8_t udre;
    std::uint8_t id;
    std::int32_t range;
    std::int8_t rate;
    std::uint8_t iod;
};

// The block's record in `list`, written in place; its key, or 0 when the
// list has no room.
[[gnu::always_inline]] inline std::uint8_t store_block(rtcm_corrections_store::list_type& list, const block_fields& f,
                                                        double time, bool problem_marks, bool glonass) {
    const std::uint8_t sv = (f.id & 31u) == 0 ? 32 : std::uint8_t(f.id & 31u);
    rtcm_sat_1_type* r = list.place(sv);
    if (!r) return 0;
    r->time = time;
    r->scale = f.scale;
    r->udre = f.udre & 3u;
    r->sv = sv;
    r->range_corr = f.range * (f.scale ? 0.32 : 0.02);
    r->range_problem = problem_marks && f.range == range_problem_raw;
    r->rate_corr = float(f.rate * (f.scale ? 0.032 : 0.002));
    r->rate_problem = problem_marks && f.rate == rate_problem_raw;
    r->iod = f.iod;
    // GLONASS 31 and 34 send a change flag and a time of day tag there.
    r->change = glonass && ((f.iod >> 7) & 1u);
    r->tod = glonass ? f.iod & 127u : 0;
    return sv;
}

}  // namespace

void RtcmDecoder::decode_corrections(rtcm_corrections_store& store, bool problem_marks, bool glonass) {
    const std::uint32_t w = state.word;
    unsigned pos = store.group_pos + 1u;  // 0 A .. 4 E
    if (state.word_index == 2) {
        pos = 0;
        store.list.start_frame(header.frame_time, header.frame_time);
        store.frame_length = header.frame_length;
        store.time = header.frame_time;
    } else if (pos == 5) {
        pos = 0;
    }
    store.group_pos = std::uint8_t(pos);
    auto& g = store.group;
    g[pos] = w;
    if (state.parity_ok) store.group_ok |= std::uint8_t(1u << pos);
    else store.group_ok &= std::uint8_t(~(1u << pos));
    // A block ends with B (header and range in A), D (header in B, range
    // and rate in C) and E (header and upper range in D).
    block_fields f{};
    unsigned carriers = 0;  // the words of the block that ends here
    switch (pos) {
        case 1:
            f = {bool((g[0] >> 31) & 1u), get_u8(g[0], 29), get_u8(g[0], 24), get_s16(g[0], 8), get_s8(w, 24),
                 get_u8(w, 16)};
            carriers = 0b00011;
            break;
        case 3:
            f = {bool((g[1] >> 15) & 1u), get_u8(g[1], 13), get_u8(g[1], 8), get_s16(g[2], 16), get_s8(g[2], 8),
                 get_u8(w, 24)};
            carriers = 0b01110;
            break;
        case 4:
            f = {bool((g[3] >> 23) & 1u), get_u8(g[3], 21), get_u8(g[3], 16), get_s8(g[3], 8) * 256 + get_u8(w, 24),
                 get_s8(w, 16), get_u8(w, 8)};
            carriers = 0b11000;
            break;
        default: break;
    }
    if (carriers && (store.group_ok & carriers) == carriers)
        if (const std::uint8_t sv = store_block(store.list, f, header.frame_time, problem_marks, glonass)) deliver(sv);
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

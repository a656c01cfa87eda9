// Message 3 (reference station position) and message 16 (text).
#include "rtcmdecw.h"

namespace tessaly {

// X, Y and Z are 32-bit numbers packed across four data words; a frame is
// only taken when all four passed parity. The coordinates rarely change, so
// the store keeps the previous set and when the change was seen.
void RtcmDecoder::decode_type_3() {
    auto& store = stores.data_3;
    // A frame abandoned half-way (a reset of the decoder) must not spoil the
    // next one: the error mark belongs to the frame that starts here.
    if (state.word_index == 2) stores.frame_error_3 = false;

    if (state.parity_ok && !stores.frame_error_3) {
        const std::uint32_t w = state.word;
        auto as_u = [](std::int32_t v) { return std::uint32_t(v); };
        auto as_s = [](std::uint32_t v) { return std::int32_t(v); };
        switch (state.word_index) {
            case 2: store.asm_x = as_s(w & 0xFFFFFF00u); break;
            case 3:
                store.asm_x = as_s((as_u(store.asm_x) & 0xFFFFFF00u) | (w >> 24));
                store.asm_y = as_s((w << 8) & 0xFFFF0000u);
                break;
            case 4:
                store.asm_y = as_s((as_u(store.asm_y) & 0xFFFF0000u) | (w >> 16));
                store.asm_z = as_s((w << 16) & 0xFF000000u);
                break;
            default: store.asm_z = as_s((as_u(store.asm_z) & 0xFF000000u) | (w >> 8)); break;
        }
    } else {
        stores.frame_error_3 = true;
    }

    state.word_ready = false;
    ++state.word_index;
    // The message always spans four data words, whatever its length field
    // says: a shorter one takes the following words as its own, a longer
    // one ends here and its next word is read as a header.
    if (state.word_index < 6) return;
    state.word_index = 0;
    if (!stores.frame_error_3) {
        store.frame_length = header.frame_length;
        store.time_received = header.frame_time;
        if (store.asm_x != store.x || store.asm_y != store.y || store.asm_z != store.z) {
            store.prev_x = store.x;
            store.prev_y = store.y;
            store.prev_z = store.z;
            store.x = store.asm_x;
            store.y = store.asm_y;
            store.z = store.asm_z;
            const ClockReading now = now_utc();
            store.time_changed = day_number(now);
            store.date_changed = date_text(now);
        }
        delivery.station_stored = true;
    }
    stores.frame_error_3 = false;
}

// Three 8-bit characters per data word, nulls included: the text is shown
// and stored as the station sent it.
void RtcmDecoder::decode_type_16() {
    auto& store = stores.data_16;
    if (state.word_index == 2) {
        store.text.clear();
        store.time = header.frame_time;
        store.frame_length = header.frame_length;
    }
    if (state.parity_ok) {
        store.text.push_back(char(get_u8(state.word, 24)));
        store.text.push_back(char(get_u8(state.word, 16)));
        store.text.push_back(char(get_u8(state.word, 8)));
    }
    end_data_word();
}

}  // namespace tessaly

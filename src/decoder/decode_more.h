#pragma once
// The whole-frame decoders, one per type; each returns false when the
// frame is too short for its layout (the record is then not valid).
#include "frame_bits.h"

namespace tessaly {

bool decode_type_4(rtcm_data_4_type& d, const FrameBits& b);
bool decode_type_5(rtcm_data_5_type& d, const FrameBits& b);
bool decode_type_7(rtcm_data_7_type& d, const FrameBits& b);
bool decode_type_13(rtcm_data_13_type& d, const FrameBits& b);
bool decode_type_14(rtcm_data_14_type& d, const FrameBits& b);
bool decode_type_15(rtcm_data_15_type& d, const FrameBits& b);
bool decode_type_17(rtcm_data_17_type& d, const FrameBits& b);
bool decode_type_22(rtcm_data_22_type& d, const FrameBits& b);
bool decode_type_23(rtcm_data_23_type& d, const FrameBits& b);
bool decode_type_24(rtcm_data_24_type& d, const FrameBits& b);
bool decode_type_27(rtcm_data_27_type& d, const FrameBits& b);
bool decode_type_32(rtcm_data_32_type& d, const FrameBits& b);
bool decode_type_36(rtcm_data_36_type& d, const FrameBits& b);

}  // namespace tessaly

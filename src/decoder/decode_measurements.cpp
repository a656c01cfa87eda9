// Messages 18 to 21: uncorrected measurements and RTK corrections.
#include "rtcmdecw.h"

namespace tessaly {

// Frame bookkeeping only until the satellite pairs are decoded.
void RtcmDecoder::decode_type_18() { end_data_word(); }
void RtcmDecoder::decode_type_19() { end_data_word(); }
void RtcmDecoder::decode_type_20() { end_data_word(); }
void RtcmDecoder::decode_type_21() { end_data_word(); }

}  // namespace tessaly

// Messages 1, 2 and 9: pseudorange corrections.
#include "rtcmdecw.h"

namespace tessaly {

// Frame bookkeeping only until the satellite blocks are decoded.
void RtcmDecoder::decode_type_1() { end_data_word(); }
void RtcmDecoder::decode_type_2() { end_data_word(); }
void RtcmDecoder::decode_type_9() { end_data_word(); }

}  // namespace tessaly

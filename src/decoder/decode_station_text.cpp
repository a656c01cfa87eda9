// Message 3 (reference station position) and message 16 (text).
#include "rtcmdecw.h"

namespace tessaly {

// Frame bookkeeping only until the contents are decoded.
void RtcmDecoder::decode_type_3() { end_data_word(); }
void RtcmDecoder::decode_type_16() { end_data_word(); }

}  // namespace tessaly

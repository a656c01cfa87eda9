#pragma once
// One readable line for a frame of the types decoded beyond the fixed
// layouts (the other-type page shows it beside the received characters).
#include <string>

#include "rtcmdecw.h"

namespace tessaly {

// The line for the frame that just ended, or empty when its type has no
// decoded content or the frame could not be decoded. For 14 the line says
// when its hour of the week disagrees with the hour the frame time (and so
// the latency) was taken from: the computer's clock is then wrong.
std::string more_type_line(const RtcmDecoder& d);

}  // namespace tessaly

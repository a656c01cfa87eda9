#pragma once
// `--format json`: one JSON object per completed frame, with the header and
// what that frame delivered. Names shared with gpsd's RTCM 2 JSON keep
// gpsd's meaning, so that its consumers can read ours.

#include <string>
#include <string_view>

#include "rtcmdecw.h"

namespace tessaly::cli {

// The object of the frame that `decoder` has just completed (call it when
// `frame_completed` is set), without a line end.
std::string frame_json(const RtcmDecoder& decoder);
// The same appended to `out`.
void append_frame_json(std::string& out, const RtcmDecoder& decoder);

// `v` rounded to `decimals` decimals, written in the shortest form: trailing
// zeros and a bare point dropped, never "-0". The decimals are those that the
// field's scale carries, so 100 x 0.02 m is "2" and 35 x 0.02 m is "0.7".
std::string json_number(double v, int decimals);

// A JSON string of raw bytes: quote and backslash escaped, control
// characters and bytes from 127 up (taken as Latin-1) as \u00XX.
std::string json_string(std::string_view bytes);
void append_json_string(std::string& out, std::string_view bytes);

}  // namespace tessaly::cli

#pragma once
// The decoded-frame text of the storing file: one block per frame, a frame
// line with type and latency, then a fixed layout chosen by the type that
// shows the content of that type's store. The layout is a file format:
// every literal, width and decimal below is part of it. Lines end with
// CR LF.

#include <string>

#include "rtcmdecw.h"
#include "storing_file.h"

namespace tessaly {

// Appends the block of the decoder's current frame (the header as it
// stands, the stores as they stand) to `out`.
void append_frame_text(std::string& out, const RtcmDecoder& decoder);

// Writes the block into the storing file, makes the file durable and
// clears `frame_done_rec`. Throws StoringError when writing fails; the
// flag is then left for the caller.
void write_frame_text(StoringFile& file, RtcmDecoder& decoder);

}  // namespace tessaly

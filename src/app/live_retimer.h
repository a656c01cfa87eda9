#pragma once
// Re-times a recorded RTCM 2 stream as it is served: the modified Z-count
// of every frame becomes the present time, so that a monitor shows the
// latency of the link (about zero) instead of the distance to the minute
// the recording was made. Each re-timed word gets its parity again, and so
// does every word after it, since a word's parity and the complementing of
// the next word's data depend on the last two parity bits before it.
// Parity errors of the recording are kept: a word that failed before fails
// after. Bytes outside frames, and bytes that are
// no 6-of-8 characters, pass unchanged.
//
// No Qt and no clock: the caller hands in the time for each piece.

#include <cstdint>
#include <string>

#include "word_encoding.h"

namespace tessaly {

class LiveRetimer {
public:
    // `zcount`: the present time as a modified Z-count (GPS seconds into
    // the hour / 0.6, 0..5999). Appends to `out` the bytes that are ready;
    // up to five bytes are held back until their word is complete.
    void process(const char* data, std::size_t size, int zcount, std::string& out);
    // Hands out the held-back bytes (end of the recording).
    void flush(std::string& out);

    // The present time as a modified Z-count: seconds since 1970 UTC plus
    // the GPS-UTC leap seconds, into the hour.
    static int zcount_of(double unix_seconds, int leap_seconds);

private:
    void step(char c, int zcount, std::string& out);
    bool header_at_window() const;
    void emit_word(int zcount, std::string& out);

    // Bytes held back: the word being read (up to five 6-of-8 characters)
    // and any other bytes among them (line ends and the like, which
    // decoders skip without losing the word).
    std::string pending_;
    std::string window_;           // the word's characters
    std::size_t chars_at_[5] = {};  // where they stand in pending_
    char last_in_ = 0;             // the recording's character before the window
    char last_out_ = 0;            // the character sent before the window
    int word_ = -1;          // index in the frame (0: header word 1); -1: searching
    int words_in_frame_ = 0;
};

}  // namespace tessaly

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
    // The present time in the forms a frame carries it.
    struct Time {
        int zcount = 0;      // GPS seconds into the hour / 0.6 (0..5999)
        int utc_zcount = 0;  // the same in UTC: GLONASS frames (31 to 36) count so
        int week = 0;        // GPS week, modulo 1024 as type 14 sends it
        int hour = 0;        // GPS hour of the week
        int leap_seconds = 0;
    };
    static Time time_of(double unix_seconds, int leap_seconds);

    // Appends to `out` the bytes that are ready; up to five bytes are held
    // back until their word is complete. Type 14's week, hour and leap
    // seconds become `now`'s too, so that its time agrees with the Z-count.
    void process(const char* data, std::size_t size, const Time& now, std::string& out);
    // Hands out the held-back bytes (end of the recording).
    void flush(std::string& out);
    // Frames re-timed so far. Words that do not start on a character
    // are not found and pass with their recorded times.
    std::size_t frames() const { return frames_; }

private:
    void step(char c, const Time& now, std::string& out);
    bool header_at_window() const;
    void emit_word(const Time& now, std::string& out);

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
    int type_ = 0;  // the frame's message type, from its first word
    std::size_t frames_ = 0;
};

}  // namespace tessaly

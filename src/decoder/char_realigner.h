#pragma once
// Streams whose 30-bit words do not start on a character boundary.
//
// The 6-of-8 format carries six data bits per character, and a sender is
// expected to start every word on a character. Some receivers pack the words
// back to back without regard to the characters, so a word may start at any
// of the six bits. The realigner keeps the last characters received and
// rebuilds the character stream as it would read had the words started on
// character boundaries at a chosen bit offset: character m at offset k holds
// the six bits from bit k of received character m onwards. At offset 0 the
// characters are the received ones.
//
// The decoder reads the realigned characters in place of the received ones
// and asks the realigner to search the other offsets only while it finds no
// frame at its own.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tessaly {

class CharRealigner {
public:
    // Realigned characters a confirmed frame start spans at most: the
    // character before the first word (it carries the polarity of the first
    // word) and three words.
    static constexpr std::size_t max_replay = 16;

    struct Found {
        int offset = 0;
        std::size_t count = 0;  // characters to replay, oldest first
        std::array<std::uint8_t, max_replay> chars{};
    };

    // Takes one valid character (top bits 01), in arrival order. Inline:
    // the decoder's fast path takes every character through here.
    void push(std::uint8_t c) {
        make_room(1);
        buf_[end_++] = c;
        filled_ = std::min(history, filled_ + 1);
    }
    // The same for `n` characters in a row.
    void push(const std::uint8_t* c, std::size_t n) {
        if (n > history) {  // only the last ones are kept
            c += n - history;
            n = history;
        }
        make_room(n);
        std::memcpy(buf_.data() + end_, c, n);
        end_ += n;
        filled_ = std::min(history, filled_ + n);
    }
    // The realigned character that the last received one completes at the
    // current offset. At offset 0 the received character itself.
    std::uint8_t current() const { return offset_ == 0 ? buf_[end_ - 1] : realigned(offset_, history - 2); }

    int offset() const { return offset_; }
    void set_offset(int k) { offset_ = k; }
    void reset() { *this = CharRealigner{}; }

    // Looks at every other offset for a frame start ending with the last
    // received character: a header word 1 with preamble and a header word 2
    // that pass parity, followed, when the frame declares data words, by a
    // first data word that passes too; the Z-count must lie within the hour.
    // Three checked words make a false start on noise most unlikely (about
    // one in 2^26 positions), which keeps a character-aligned stream's
    // decode untouched. Returns true and the characters to replay when found.
    bool search(Found& out) const;

private:
    static constexpr std::size_t history = max_replay + 1;

    // Realigned character m (0 oldest) at offset k, from received
    // characters m and m + 1 of the history; with offset 0 character m + 1.
    // Inline: the search reads it at every character while out of sync.
    std::uint8_t realigned(int k, std::size_t m) const {
        const std::uint8_t* raw = history_start();
        if (k == 0) return raw[m + 1];
        const unsigned bits = (unsigned(raw[m] & 63u) >> k) | (unsigned(raw[m + 1] & 63u) << (6 - k));
        return std::uint8_t(0x40u | (bits & 63u));
    }

    // The history is the last `history` characters before end_, oldest
    // first. Characters are appended, and the history is moved back to the
    // start only when the buffer is full, so that a push copies no more
    // than the characters it takes.
    static constexpr std::size_t capacity = 256;
    void make_room(std::size_t n) {
        if (end_ + n <= capacity) return;
        std::memmove(buf_.data(), buf_.data() + end_ - history, history);
        end_ = history;
    }
    const std::uint8_t* history_start() const { return buf_.data() + end_ - history; }

    std::array<std::uint8_t, capacity> buf_{};
    std::size_t end_ = history;  // the zeros before it stand for no character yet
    std::size_t filled_ = 0;
    int offset_ = 0;
};

}  // namespace tessaly

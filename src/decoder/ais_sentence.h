#pragma once
// AIS sentences (`!AIVDM`, `!AIVDO` and the other talkers' `!xxVDM`,
// `!xxVDO`): the checksum, the six-bit armouring of the payload, the
// reassembly of messages sent in several sentences, and message 17 (DGNSS
// broadcast binary message, ITU-R M.1371), whose data is an RTCM 2 message
// without preamble and parity.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::ais {

// "!xxVDM," or "!xxVDO,": the start of every line this reader takes.
constexpr std::size_t prefix_length = 7;
// Whether `head` (up to prefix_length bytes) can start such a line.
bool could_start_sentence(std::string_view head);

struct Sentence {
    int count = 0;      // sentences of the message, 1..9
    int number = 0;     // this one's place, 1..count
    int sequence = -1;  // the sequential message id, 0..9; -1 when empty
    char channel = 0;   // 'A', 'B', '1', '2', or 0 when empty
    std::string_view payload;  // armoured characters
    int fill = 0;              // bits left over in the last character, 0..5
};

enum class SentenceStatus { ok, checksum, malformed };

// `line`: from '!' to the two checksum digits, nothing after them.
// `out.payload` points into `line`.
SentenceStatus parse_sentence(std::string_view line, Sentence& out);

// The bits of a whole message, first sent bit first.
class Message {
public:
    // Appends armoured characters; false (nothing kept) when one is not
    // an armouring character.
    bool append(std::string_view armoured);
    // Drops `fill` bits at the end (the last character's unused bits).
    void set_fill(int fill);
    void clear();

    std::size_t bits() const { return bits_; }
    unsigned type() const { return bits_ >= 6 ? unsigned(u(0, 6)) : 64u; }
    // `n` bits (at most 32) from bit `at`, unsigned and two's complement.
    std::uint32_t u(std::size_t at, int n) const;
    std::int32_t s(std::size_t at, int n) const;

private:
    std::vector<std::uint8_t> six_;  // six bits per armoured character
    std::size_t bits_ = 0;
};

// Messages of several sentences come in pieces that share a sequential id
// and a channel; pieces of other messages may come between them. At most
// `max_pending` messages wait at once, and one not completed within
// `max_age` sentences is dropped, so that lost pieces cost no memory.
class Assembler {
public:
    static constexpr std::size_t max_pending = 8;
    static constexpr unsigned max_age = 32;

    // Takes one sentence; true with the whole message in `out` when it
    // completed one. A piece that does not continue its message drops that
    // message (and the piece, unless it starts a new one).
    bool take(const Sentence& s, Message& out);
    // Drops the messages waiting (counted as dropped).
    void reset();

    // Messages begun but dropped unfinished, and pieces that fit no message.
    std::uint64_t dropped() const { return dropped_; }

private:
    struct Pending {
        bool used = false;
        int sequence = -1;
        char channel = 0;
        int count = 0;
        int next = 0;          // the number the next piece must have
        unsigned born = 0;     // sentence counter at its first piece
        std::string payload;
    };
    Pending* find(int sequence, char channel);
    Pending& free_slot();
    void expire();

    std::array<Pending, max_pending> pending_{};
    unsigned clock_ = 0;  // sentences taken
    std::uint64_t dropped_ = 0;
};

// Message 17 and the RTCM 2 message it carries.
struct Message17 {
    std::uint32_t mmsi = 0;
    std::int32_t lon = 0;  // 1/10 minute; 181 degrees (108600): not available
    std::int32_t lat = 0;  // 1/10 minute; 91 degrees (54600): not available
    std::size_t data_bits = 0;  // the DGNSS data after the position
    // The two header words without preamble (word 1 holds 0x66 << 16 all
    // the same) and the data words, 24 bits each (d1 at bit 23).
    std::uint32_t header1 = 0;
    std::uint32_t header2 = 0;
    std::vector<std::uint32_t> words;

    unsigned declared_words() const { return (header2 >> 3) & 31u; }
    bool has_position() const { return lon != 108600 && lat != 54600; }
};

enum class Dgnss {
    truncated,      // shorter than its position: no DGNSS data field at all
    frame,          // a whole RTCM 2 frame, its length as its header declares
    no_data,        // no DGNSS data at all
    short_header,   // fewer than the 40 bits of the header
    partial_word,   // the bits after the header are not whole words
    wrong_length,   // whole words, but not as many as the header declares
};

// Reads a message 17 (`m.type() == 17`).
Dgnss read_message_17(const Message& m, Message17& out);
// The line that names a message 17 that is not decoded: "AIS message 17
// from MMSI 804870766: 272 bits, not a whole number of words" and the like.
std::string problem_text(const Message17& m, Dgnss why);

}  // namespace tessaly::ais

#pragma once
// Records and stores of the decoded messages, and the satellite lists.
//
// Every message type has one store holding the content of its latest frames.
// Types that carry a set of satellites keep their records in lists of fixed
// capacity inside the store (sat_records): a satellite's new record is written
// over its old one where it stands, a satellite not yet listed is appended, and
// a purge closes the gaps it leaves, so the order of first appearance is kept
// and a running stream allocates nothing. A list holds each key once; its
// capacity is the number of keys its type can carry (32 GPS numbers, and as
// many GLONASS ones for 18 to 21).

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "rtcm_more_types.h"

namespace tessaly {

// Age of a record at frame time `now`, both in seconds of the day. A record
// that looks more than half a day in the future is from before midnight.
// Equal times, and records a little newer than the frame (the measurement
// time of types 18 to 21 lies after the frame time), have an age of 0 or less
// and are kept: the second frame of a multiple-message set, which repeats the
// Z-count, must not wipe the satellites of the first.
constexpr double record_age(double now, double then) {
    double d = now - then;
    if (d < -43200.0) d += 86400.0;  // the record is from before midnight
    return d;
}

// True when the record is more than 60 s older than the frame.
constexpr bool is_stale(double now, double then) { return record_age(now, then) > 60.0; }

// The satellites of one list in the order of their first appearance, at most
// N different keys (Sat::key(), below 256).
template <class Sat, std::size_t N>
class sat_records {
public:
    using value_type = Sat;

    const Sat* begin() const { return rec_.data(); }
    const Sat* end() const { return rec_.data() + size_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // The record of satellite key `key` (see sat_key), or none.
    const Sat* find(std::uint8_t key) const { return slot_[key] ? &rec_[slot_[key] - 1u] : nullptr; }

    // A frame's first step: drops every record more than 60 s older than
    // `now`, keeping the order of the others, and takes note that the
    // records the frame writes (place) carry the record time `time`.
    void start_frame(double now, double time) {
        purge(now);
        widen(time);
    }

    // The record to write for satellite key `key`: its present one, or a new
    // one at the end; none when N other keys are listed. The caller writes
    // every field, the key's among them, and the time given to start_frame.
    Sat* place(std::uint8_t key) {
        std::uint8_t& slot = slot_[key];
        if (slot) return &rec_[slot - 1u];
        if (size_ == N) return nullptr;
        slot = std::uint8_t(size_ + 1u);
        return &rec_[size_++];
    }
    // `rec` in place of the record of the same satellite, or appended.
    void put(const Sat& rec) {
        widen(rec.record_time());
        if (Sat* p = place(rec.key())) *p = rec;
    }

    void clear() {
        for (std::size_t i = 0; i < size_; ++i) slot_[rec_[i].key()] = 0;
        size_ = 0;
        oldest_ = std::numeric_limits<double>::infinity();
        newest_ = -oldest_;
    }

private:
    static_assert(N < 256);

    void widen(double time) {
        oldest_ = std::min(oldest_, time);
        newest_ = std::max(newest_, time);
    }
    void purge(double now) {
        // Most frames find nothing to drop: no time between the bounds can
        // be stale (nor lie across midnight) when neither bound is.
        if (now - oldest_ <= 60.0 && now - newest_ >= -43200.0) return;
        std::size_t kept = 0;
        oldest_ = std::numeric_limits<double>::infinity();
        newest_ = -oldest_;
        for (std::size_t i = 0; i < size_; ++i) {
            const double time = rec_[i].record_time();
            if (is_stale(now, time)) {
                slot_[rec_[i].key()] = 0;
                continue;
            }
            widen(time);
            if (kept != i) {
                rec_[kept] = rec_[i];
                slot_[rec_[kept].key()] = std::uint8_t(kept + 1u);
            }
            ++kept;
        }
        size_ = std::uint8_t(kept);
    }

    std::array<Sat, N> rec_{};
    std::array<std::uint8_t, 256> slot_{};  // key -> index + 1; 0: not listed
    std::uint8_t size_ = 0;
    // Bounds of the listed records' times: the times of the frames since
    // the last full purge, and what that purge kept; replaced times stay in
    // them, which only makes the next full purge come sooner.
    double oldest_ = std::numeric_limits<double>::infinity();
    double newest_ = -std::numeric_limits<double>::infinity();
};

// ---- Messages 1, 2 and 9 -------------------------------------------------

struct rtcm_sat_1_type {
    double time = 0;          // frame_time of the frame that brought it
    bool scale = false;       // false fine, true coarse
    std::uint8_t udre = 0;    // 0..3
    std::uint8_t sv = 0;      // 1..32
    double range_corr = 0;    // m
    bool range_problem = false;
    float rate_corr = 0;      // m/s
    bool rate_problem = false;
    std::uint8_t iod = 0;
    // GLONASS 31 and 34: the IOD's place holds the change flag and the
    // time of day tag (7 bits, as sent).
    bool change = false;
    std::uint8_t tod = 0;

    double record_time() const { return time; }
    std::uint8_t key() const { return sv; }
};

// Message 2 carries the same fields (its corrections are delta corrections);
// message 9 has no problem marks, so its flags stay false.
using rtcm_sat_2_type = rtcm_sat_1_type;
using rtcm_sat_9_type = rtcm_sat_1_type;

struct rtcm_corrections_store {
    using list_type = sat_records<rtcm_sat_1_type, 32>;
    std::uint8_t frame_length = 0;
    double time = -1;  // -1: no frame of this type yet
    list_type list;
    // The words A to E of the group in progress, and which passed parity
    // (bit 0: A): a block is decoded from them at its last word.
    std::array<std::uint32_t, 5> group{};
    std::uint8_t group_ok = 0;
    std::uint8_t group_pos = 0;  // of the last word taken, 0 A .. 4 E
};

using rtcm_data_1_type = rtcm_corrections_store;
using rtcm_data_2_type = rtcm_corrections_store;
using rtcm_data_9_type = rtcm_corrections_store;

// ---- Message 3 -------------------------------------------------------------

struct rtcm_data_3_type {
    std::uint8_t frame_length = 0;
    std::int32_t x = 0, y = 0, z = 0;                     // 0.01 m
    std::int32_t prev_x = 0, prev_y = 0, prev_z = 0;      // before the last change
    std::int32_t asm_x = 0, asm_y = 0, asm_z = 0;         // being assembled
    double time_received = 0;                             // frame_time, s
    double time_changed = 0;  // days since 1899-12-30, time of day as fraction (UTC)
    std::string date_changed;  // "DD.MM.YYYY", empty until the first change
};

// ---- Message 16 and other types -------------------------------------------

struct rtcm_data_16_type {
    std::uint8_t frame_length = 0;
    double time = 0;
    std::string text = std::string(168, ' ');
};

struct rtcm_data_other_type {
    std::int32_t msg_type = 0;
    std::uint8_t frame_length = 0;
    double time = 0;
    std::string raw;  // five received characters per data word
};

// ---- Messages 18 to 21 -----------------------------------------------------

inline constexpr std::uint8_t freq_none = 255;

// A satellite's key in the lists and the delivery: GLONASS satellites carry
// the same numbers as GPS satellites, so the system takes the bit above the
// largest number (32) and R14 never replaces or merges with G14.
inline constexpr std::uint8_t glonass_key_bit = 0x40;
constexpr std::uint8_t sat_key(std::uint8_t sv, bool glonass) {
    return glonass ? std::uint8_t(sv | glonass_key_bit) : sv;
}
inline constexpr std::uint8_t smooth_none = 255;

struct rtcm_sat_18_type {
    double meas_time = 0;
    bool glonass = false;  // GNSS flag of word A: false GPS, true GLONASS
    bool more = false;     // multiple-message flag: more frames of this set follow
    bool p_code = false;
    std::uint8_t sv = 0;
    double phase_err = 0;  // cycles
    std::uint8_t loss = 0;
    double phase = 0;      // cycles

    double record_time() const { return meas_time; }
    std::uint8_t key() const { return sat_key(sv, glonass); }
};

struct rtcm_sat_19_type {
    double meas_time = 0;
    bool glonass = false;  // GNSS flag of word A: false GPS, true GLONASS
    bool p_code = false;
    std::uint8_t sv = 0;
    double pr_err = 0;       // m
    double mp_err = 0;       // m
    double pseudorange = 0;  // m

    double record_time() const { return meas_time; }
    std::uint8_t key() const { return sat_key(sv, glonass); }
};

struct rtcm_sat_20_type {
    double meas_time = 0;
    bool glonass = false;  // GNSS flag of word A: false GPS, true GLONASS
    bool more = false;     // multiple-message flag: more frames of this set follow
    std::uint8_t sv = 0;
    double phase_err = 0;   // cycles
    std::uint8_t loss = 0;
    std::uint8_t iod = 0;
    double phase_corr = 0;  // cycles

    double record_time() const { return meas_time; }
    std::uint8_t key() const { return sat_key(sv, glonass); }
};

struct rtcm_sat_21_type {
    double meas_time = 0;
    bool glonass = false;  // GNSS flag of word A: false GPS, true GLONASS
    bool rr_scale = false;
    bool p_code = false;
    std::uint8_t sv = 0;
    bool pr_scale = false;
    double pr_err = 0;  // m
    double mp_err = 0;  // m
    std::uint8_t iod = 0;
    double prc = 0;     // m
    double rrc = 0;     // m/s

    double record_time() const { return meas_time; }
    std::uint8_t key() const { return sat_key(sv, glonass); }
};

// One list per frequency indicator value 0..3.
template <class Sat>
struct rtcm_measurement_store {
    using list_type = sat_records<Sat, 64>;
    std::uint8_t freq = freq_none;
    double meas_time = -1;  // -1: no frame of this type yet
    std::array<list_type, 4> sat_list;
    // Word A of the satellite in progress, kept until its word B: the record
    // is written from both at once, when both passed parity.
    std::uint32_t word_a = 0;
    bool word_a_ok = false;

    // The list of the last frame's frequency, empty while no frame came.
    const list_type& current_list() const { return freq < 4 ? sat_list[freq] : no_list; }

private:
    static inline const list_type no_list{};
};

struct rtcm_data_18_type : rtcm_measurement_store<rtcm_sat_18_type> {};
struct rtcm_data_19_type : rtcm_measurement_store<rtcm_sat_19_type> {
    std::uint8_t smooth = smooth_none;
};
struct rtcm_data_20_type : rtcm_measurement_store<rtcm_sat_20_type> {};
struct rtcm_data_21_type : rtcm_measurement_store<rtcm_sat_21_type> {
    std::uint8_t smooth = smooth_none;
};

// All decoded message stores of one decoder.
struct rtcm_stores {
    rtcm_data_1_type data_1;
    rtcm_data_2_type data_2;
    rtcm_data_3_type data_3;
    bool frame_error_3 = false;  // a word of the current message 3 frame failed parity
    rtcm_data_9_type data_9;
    rtcm_data_16_type data_16;
    rtcm_data_18_type data_18;
    rtcm_data_19_type data_19;
    rtcm_data_20_type data_20;
    rtcm_data_21_type data_21;
    rtcm_data_other_type data_other;
    rtcm_corrections_store data_31;  // GLONASS corrections
    rtcm_corrections_store data_34;  // GLONASS partial corrections
    rtcm_more_stores more;           // the whole-frame types
};

}  // namespace tessaly

#pragma once
// Records and stores of the decoded messages, and the satellite slot table.
//
// Every message type has one store holding the content of its latest frames.
// Types that carry a set of satellites keep a singly linked list of
// per-satellite records, owned through unique_ptr links: a record belongs to
// its store's `current` while it is assembled and to the list once complete,
// and it is released whenever it is replaced, found stale or discarded.
// Released records wait in the store's `spare` chain for the next ones, so a
// running stream allocates no record: a store holds at most its lists' keys
// (64 each, GPS and GLONASS) and the record being assembled, and the spare
// chain never more than were ever in use at once.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "rtcm_more_types.h"

namespace tessaly {

// Age of a record at frame time `now`, both in seconds of the day. A record
// that looks more than half a day in the future is from before midnight.
// Equal times, and records a little newer than the frame (the measurement
// time of types 18 to 21 lies after the frame time), have an age of 0 or less
// and are kept: the second frame of a multiple-message set, which repeats the
// Z-count, must not wipe the satellites of the first.
double record_age(double now, double then);

// True when the record is more than 60 s older than the frame.
bool is_stale(double now, double then);

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
    std::unique_ptr<rtcm_sat_1_type> next;

    double record_time() const { return time; }
    std::uint8_t key() const { return sv; }
};

// Message 2 carries the same fields (its corrections are delta corrections);
// message 9 has no problem marks, so its flags stay false.
using rtcm_sat_2_type = rtcm_sat_1_type;
using rtcm_sat_9_type = rtcm_sat_1_type;

struct rtcm_corrections_store {
    std::uint8_t frame_length = 0;
    double time = -1;  // -1: no frame of this type yet
    std::unique_ptr<rtcm_sat_1_type> list;
    std::unique_ptr<rtcm_sat_1_type> current;
    std::unique_ptr<rtcm_sat_1_type> spare;
    std::int32_t range_acc = 0;
    bool record_bad = false;
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
    bool half_wave = false;
    bool p_code = false;
    std::uint8_t sv = 0;
    double phase_err = 0;  // cycles
    std::uint8_t loss = 0;
    double phase = 0;      // cycles
    std::unique_ptr<rtcm_sat_18_type> next;

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
    std::unique_ptr<rtcm_sat_19_type> next;

    double record_time() const { return meas_time; }
    std::uint8_t key() const { return sat_key(sv, glonass); }
};

struct rtcm_sat_20_type {
    double meas_time = 0;
    bool glonass = false;  // GNSS flag of word A: false GPS, true GLONASS
    bool half_wave = false;
    std::uint8_t sv = 0;
    double phase_err = 0;   // cycles
    std::uint8_t loss = 0;
    std::uint8_t iod = 0;
    double phase_corr = 0;  // cycles
    std::unique_ptr<rtcm_sat_20_type> next;

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
    std::unique_ptr<rtcm_sat_21_type> next;

    double record_time() const { return meas_time; }
    std::uint8_t key() const { return sat_key(sv, glonass); }
};

// One list per frequency indicator value 0..3.
template <class Sat>
struct rtcm_measurement_store {
    std::uint8_t freq = freq_none;
    double meas_time = -1;  // -1: no frame of this type yet
    std::array<std::unique_ptr<Sat>, 4> sat_list;
    std::unique_ptr<Sat> current;
    std::unique_ptr<Sat> spare;
    bool record_bad = false;

    // The list of the last frame's frequency, or none while no frame came.
    const Sat* current_list() const { return freq < 4 ? sat_list[freq].get() : nullptr; }
};

struct rtcm_data_18_type : rtcm_measurement_store<rtcm_sat_18_type> {
    std::uint32_t phase_acc = 0;
};
struct rtcm_data_19_type : rtcm_measurement_store<rtcm_sat_19_type> {
    std::uint8_t smooth = smooth_none;
};
struct rtcm_data_20_type : rtcm_measurement_store<rtcm_sat_20_type> {};
struct rtcm_data_21_type : rtcm_measurement_store<rtcm_sat_21_type> {
    std::uint8_t smooth = smooth_none;
};

// ---- List operations ------------------------------------------------------

// A record with the start values, from the spare chain when it has one.
template <class Sat>
std::unique_ptr<Sat> new_record(std::unique_ptr<Sat>& spare) {
    if (!spare) return std::make_unique<Sat>();
    std::unique_ptr<Sat> rec = std::move(spare);
    spare = std::move(rec->next);
    *rec = Sat{};
    return rec;
}

// Puts a record that is no longer needed on the spare chain.
template <class Sat>
void release_record(std::unique_ptr<Sat>& spare, std::unique_ptr<Sat> rec) {
    if (!rec) return;
    rec->next = std::move(spare);
    spare = std::move(rec);
}

// Releases every record more than 60 s older than `now`, keeping the order
// of the others.
template <class Sat>
void purge_list(std::unique_ptr<Sat>& list, double now, std::unique_ptr<Sat>& spare) {
    std::unique_ptr<Sat>* link = &list;
    while (*link) {
        if (is_stale(now, (*link)->record_time())) {
            std::unique_ptr<Sat> gone = std::move(*link);
            *link = std::move(gone->next);
            release_record(spare, std::move(gone));
        } else {
            link = &(*link)->next;
        }
    }
}

// Puts `rec` in place of the record of the same satellite of the same
// system (releasing that one), or appends it: each satellite is in a list
// once, in the order of first appearance.
template <class Sat>
void insert_record(std::unique_ptr<Sat>& list, std::unique_ptr<Sat> rec, std::unique_ptr<Sat>& spare) {
    std::unique_ptr<Sat>* link = &list;
    while (*link) {
        if ((*link)->key() == rec->key()) {
            rec->next = std::move((*link)->next);
            std::unique_ptr<Sat> older = std::move(*link);
            *link = std::move(rec);
            release_record(spare, std::move(older));
            return;
        }
        link = &(*link)->next;
    }
    rec->next.reset();
    *link = std::move(rec);
}
template <class Sat>
void insert_record(std::unique_ptr<Sat>& list, std::unique_ptr<Sat> rec) {
    std::unique_ptr<Sat> gone;
    insert_record(list, std::move(rec), gone);
}

// The record of satellite key `key` (see sat_key), or none.
template <class Sat>
const Sat* find_record(const Sat* list, std::uint8_t key) {
    for (; list; list = list->next.get())
        if (list->key() == key) return list;
    return nullptr;
}

template <class Sat>
std::size_t list_length(const Sat* head) {
    std::size_t n = 0;
    for (; head; head = head->next.get()) ++n;
    return n;
}

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

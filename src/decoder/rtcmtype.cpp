#include "rtcmtype.h"

namespace tessaly {

namespace {
constexpr double seconds_per_day = 86400.0;
constexpr double half_day = 43200.0;
constexpr double max_age = 60.0;
}  // namespace

double record_age(double now, double then) {
    double d = now - then;
    if (d < -half_day) d += seconds_per_day;  // the record is from before midnight
    return d;
}

bool is_stale(double now, double then) { return record_age(now, then) > max_age; }

void sv_slot_table::sv_slots_clear() { slots_.fill(slot{}); }

void sv_slot_table::sv_slots_mark_all() {
    for (auto& s : slots_) s.mark = true;
}

int sv_slot_table::sv_slot_of(std::uint8_t sv) {
    int found = -1;
    for (int i = 0; i < slot_count; ++i) {
        if (slots_[std::size_t(i)].sv == sv) {
            slots_[std::size_t(i)].mark = false;
            found = i;
        }
    }
    if (found >= 0) return found;
    int chosen = slot_count - 1;  // with slots 0..10 taken, slot 11 is displaced
    for (int i = 0; i < slot_count - 1; ++i) {
        if (slots_[std::size_t(i)].sv == 0) {
            chosen = i;
            break;
        }
    }
    slots_[std::size_t(chosen)] = slot{sv, false};
    return chosen;
}

void sv_slot_table::sv_slots_free_marked() {
    for (auto& s : slots_)
        if (s.mark) s.sv = 0;
}

sv_slot_table& shared_sv_slots() {
    static sv_slot_table table;
    return table;
}

}  // namespace tessaly

// The engine: each rule's condition from the frames, the source's events
// and the ticks, through its failure and recovery delays into events. See
// alarm_engine.h.
//
// Time is stream time throughout: a frame's own time (CompletedFrame::utc);
// a tick's clock reading less the latency of the last frame, which maps the
// source's clock onto the stream. Rules on the content (corrections, types,
// station) are judged at frames only, at the frame's time, so that a file
// read in a moment raises them exactly as the live stream did; the ticks
// judge only the silence and let the delays run out. A silence belongs to
// the `outage` rule alone: afterwards the rules that count time since
// something was heard (age, missing) count from the stream's return.
#include "alarm_engine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "correction_watch.h"
#include "parity_window.h"
#include "rule_delay.h"
#include "rule_figure.h"
#include "schedule_watch.h"

namespace tessaly::alarms {

using namespace detail;

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double gps_epoch = 315964800;  // 1980-01-06 in seconds since 1970
constexpr double seconds_per_week = 604800;

// A rule the caller's Rules leave out keeps its default.
RuleConfig config_of(const Rules& rules, std::string_view name) {
    for (const auto& [n, c] : rules.rules)
        if (n == name) return c;
    return Rules::defaults()[name];
}

}  // namespace

struct alignas(64) AlarmEngine::Impl {
    struct Slot {
        RuleConfig config;
        RuleDelay delay;
        Figure held;     // the latest while the condition holds
        Figure cleared;  // when it stopped holding
        Severity severity = Severity::alarm;
        std::uint32_t station = 0;  // at the begin
    };
    struct Place {
        std::uint32_t station;
        int type;
        double x, y, z;  // the reference
        double distance;
    };

    Impl(Rules r, std::string s) : rules(std::move(r)), source(std::move(s)) {
        const auto& names = rule_names();
        for (std::size_t i = 0; i < rule_count; ++i) slots[i].config = config_of(rules, names[i]);
        slots[std::size_t(Rule::advertised)].severity = Severity::notice;
        limits = {cfg(Rule::prc).limit, cfg(Rule::rrc).limit, cfg(Rule::prc_step).limit, cfg(Rule::age).limit};
        judge_corrections = on(Rule::do_not_use) || on(Rule::prc) || on(Rule::rrc) || on(Rule::prc_step) ||
                            on(Rule::satellites);
        silence = cfg(Rule::outage).limit;
        age_limit = on(Rule::age) ? cfg(Rule::age).limit : infinity;
        health_limit = on(Rule::health) ? cfg(Rule::health).limit : infinity;
        latency_limit = cfg(Rule::latency).limit;
        schedule.set(rules.expect);
        if (!schedule.empty()) flags |= schedule_bit;
    }

    // What every frame reads, in one cache line.
    static constexpr std::uint32_t fresh_bit = 1u << 31;     // no frame yet
    static constexpr std::uint32_t live_bit = 1u << 30;      // a tick came: the clock-based rules apply
    static constexpr std::uint32_t schedule_bit = 1u << 29;  // types are expected
    static constexpr std::uint32_t events_bit = 1u << 28;    // events wait in `out`
    double last_frame = 0;       // the newest frame time
    double silence = 0;          // the outage rule's limit
    double overdue = infinity;   // the earliest time at which age or missing will hold
    double next_due = infinity;  // the earliest delay that runs out
    double next_second = -infinity;  // the parity window's next mark
    double offset = 0;           // clock minus stream time at the last frame
    std::uint64_t frame_bytes = 0;  // the frames' shares of the stream
    std::uint32_t quiet_header = ~0u;  // station id and health of the last frame that said nothing
    std::uint32_t flags = fresh_bit;   // a bit per rule whose condition holds, and the bits above

    bool started() const { return !(flags & fresh_bit); }
    bool live() const { return flags & live_bit; }

    bool supervised_outage = false;
    bool have_corrections = false;
    bool judge_corrections = true;
    std::uint32_t station = 0;
    double now = 0;  // the newest stream time of ticks and the source's events; see present()
    double origin = 0;           // the start, or the end of the last silence
    double newest_correction = 0;
    double missing_due = infinity;
    double next_rate_check = -infinity;
    double age_limit = 0, health_limit = 0, latency_limit = 0;

    Rules rules;
    std::string source;
    std::array<Slot, rule_count> slots;
    std::vector<Expected> given;  // expect(): for the rules without a list of their own
    std::vector<Event> out;
    double last_emitted = -infinity;
    std::map<std::string, std::uint64_t> counts;

    CorrectionLimits limits;
    CorrectionWatch corrections;
    ScheduleWatch schedule;
    ParityWindow parity;
    std::vector<Place> places;

    Slot& slot(Rule r) { return slots[std::size_t(r)]; }
    const RuleConfig& cfg(Rule r) const { return slots[std::size_t(r)].config; }
    bool on(Rule r) const { return cfg(r).enabled; }
    bool holds(Rule r) const { return (flags >> unsigned(r)) & 1u; }
    double present() const { return std::max(now, last_frame); }

    // ---- Delays and events

    void emit(Rule r, bool begin, double time) {
        Slot& s = slot(r);
        const std::string& name = rule_names()[std::size_t(r)];
        if (begin) {
            s.station = station;
            ++counts[name];
        }
        flags |= events_bit;
        time = std::max(time, last_emitted);  // a frame a little older than the one before
        last_emitted = time;
        out.push_back({name, begin, time, source, begin ? station : s.station,
                       describe(r, begin ? s.held : s.cleared, s.config, rules.sync_loss_limit, begin, time), s.severity});
    }
    void fire(Rule r, double t) {
        Slot& s = slot(r);
        while (const auto c = s.delay.due(t, s.config.fail, s.config.recover)) emit(r, c->begin, c->time);
    }
    [[gnu::noinline]] void fire_all(double t) {
        next_due = infinity;
        for (std::size_t i = 0; i < rule_count; ++i) {
            fire(Rule(i), t);
            next_due = std::min(next_due, slots[i].delay.next(slots[i].config.fail, slots[i].config.recover));
        }
    }
    void hold(Rule r, double t, Figure f, Severity severity = Severity::alarm) {
        Slot& s = slot(r);
        if (!s.config.enabled) return;
        fire(r, t);
        if (s.delay.raised() && s.severity != severity) {
            // Health 6 became 7: the notice ends and the alarm begins.
            s.cleared = f;
            emit(r, false, t);
            s.delay.reset();
        }
        flags |= 1u << unsigned(r);
        if (!s.delay.raised()) s.severity = severity;
        s.held = std::move(f);
        s.delay.hold(t);
        next_due = std::min(next_due, s.delay.next(s.config.fail, s.config.recover));
    }
    void release(Rule r, double t, Figure f) {
        Slot& s = slot(r);
        if (!holds(r)) return;
        fire(r, t);
        s.cleared = std::move(f);
        s.delay.release(t);
        flags &= ~(1u << unsigned(r));
        next_due = std::min(next_due, s.delay.next(s.config.fail, s.config.recover));
    }
    void set(Rule r, bool condition, double t, Figure f, Severity severity = Severity::alarm) {
        if (condition) hold(r, t, std::move(f), severity);
        else release(r, t, std::move(f));
    }

    // ---- Frames

    static constexpr std::uint32_t bit(Rule r) { return 1u << unsigned(r); }

    // Most frames change nothing: a few comparisons, the rest out of line.
    [[gnu::always_inline]] void frame(const stream::CompletedFrame& f) {
        const double t = f.utc;
        if ((flags & (fresh_bit | bit(Rule::outage))) || t - last_frame > silence) [[unlikely]]
            stream_time(f, t);
        last_frame = std::max(last_frame, t);
        offset = f.frame.latency;
        // What time alone decides comes first: a type overdue before this
        // frame was overdue even when this frame is of that type.
        if (t > overdue) [[unlikely]]
            judge_overdue(t);
        const RtcmDecoder& d = f.decoder;
        const std::uint32_t header = f.frame.station << 3 | d.header.health;
        constexpr std::uint32_t header_bits = bit(Rule::station) | bit(Rule::health) | bit(Rule::latency) | live_bit;
        if (header != quiet_header || (flags & header_bits)) [[unlikely]]
            header_rules(f, t, header);
        const int type = f.frame.type;
        switch (type) {
        case 1: case 2: case 9: case 31: case 34: corrections_frame(d, type, t); break;
        case 20: case 21:
            if (d.delivery.sv_count) corrections_arrived(t);
            break;
        case 3: case 24: case 32: position_frame(d, type, t); break;
        case 14:
            if (live() && d.delivery.whole_frame) clock_frame(f, t);
            break;
        default: break;
        }
        if (flags & schedule_bit) [[unlikely]]
            schedule_frame(type, t);
        frame_bytes += f.bytes;
        if (t >= next_second) [[unlikely]]
            judge_parity(t, d);
        if (t >= next_due) [[unlikely]]
            fire_all(t);
    }

    // The first frame, the first after a silence, or one that ends an outage.
    [[gnu::noinline]] void stream_time(const stream::CompletedFrame& f, double t) {
        if (!started()) {
            flags &= ~fresh_bit;
            station = f.frame.station;
            origin = now = last_frame = t;
            missing_due = schedule.next_overdue(origin, cfg(Rule::missing).limit);
            reschedule();
        } else if (t - last_frame > silence) {
            silence_ended(t);
        } else if (!supervised_outage) {
            release(Rule::outage, t, Figure(t - last_frame));
        }
    }

    // The earliest time at which age or missing will hold.
    void reschedule() {
        const double age_due = have_corrections ? std::max(newest_correction, origin) + age_limit : infinity;
        overdue = std::min(age_due, missing_due);
    }
    [[gnu::noinline]] void judge_overdue(double t) {
        if (have_corrections) {
            const double from = std::max(newest_correction, origin);
            if (t - from > age_limit) hold(Rule::age, from + age_limit, Figure::after(newest_correction));
        }
        if (t > missing_due) judge_missing(t);
    }

    [[gnu::noinline]] void header_rules(const stream::CompletedFrame& f, double t, std::uint32_t header) {
        station_of(f.frame.station, t);
        const int health = f.decoder.header.health;
        if (health >= health_limit)
            hold(Rule::health, t, Figure::of(health), health >= 7 ? Severity::alarm : Severity::notice);
        else if (holds(Rule::health))
            release(Rule::health, t, Figure::of(health));
        quiet_header = health < health_limit && f.frame.station == station ? header : ~0u;
        if (live()) {
            const double latency = f.frame.latency;
            if (std::fabs(latency) > latency_limit || holds(Rule::latency))
                set(Rule::latency, std::fabs(latency) > latency_limit, t, Figure(latency));
        }
    }

    [[gnu::noinline]] void schedule_frame(int type, double t) {
        if (schedule.watches(type)) {
            schedule.heard(type, t);
            missing_due = schedule.next_overdue(origin, cfg(Rule::missing).limit);
            reschedule();
            if (holds(Rule::missing)) judge_missing(t);
        }
        if (t >= next_rate_check) judge_rates(t);
    }

    void silence_ended(double t) {
        hold(Rule::outage, last_frame + silence, Figure::after(last_frame));
        if (!supervised_outage) release(Rule::outage, t, Figure(t - last_frame));
        stream_returned(t);
    }
    // The rules that count time since something was heard start again.
    void stream_returned(double t) {
        origin = std::max(origin, t);
        missing_due = schedule.next_overdue(origin, cfg(Rule::missing).limit);
        reschedule();
    }

    void station_of(std::uint32_t id, double t) {
        if (id != station) {
            hold(Rule::station, t, Figure::of(int(id), int(station)));
            corrections.forget_predictions();
            station = id;
            judge_position(t);
        } else if (holds(Rule::station)) {
            release(Rule::station, t, Figure::of(int(id)));
        }
    }

    [[gnu::noinline]] void corrections_arrived(double t) {
        have_corrections = true;
        newest_correction = std::max(newest_correction, t);
        reschedule();
        if (holds(Rule::age)) release(Rule::age, t, Figure(0));
    }

    [[gnu::noinline]] void corrections_frame(const RtcmDecoder& d, int type, double t) {
        if (judge_corrections) {
            const CorrectionSurvey s = corrections.take(d, type, t, limits);
            if (s.marked_key || holds(Rule::do_not_use))
                set(Rule::do_not_use, s.marked_key, t, Figure::of(s.marked_key, s.marks));
            if (s.prc_key || holds(Rule::prc)) set(Rule::prc, s.prc_key, t, Figure(s.prc, 0, s.prc_key));
            if (s.rrc_key || holds(Rule::rrc)) set(Rule::rrc, s.rrc_key, t, Figure(s.rrc, 0, s.rrc_key));
            if (type != 2) {
                if (s.step_key || holds(Rule::prc_step))
                    set(Rule::prc_step, s.step_key, t, Figure(s.step, 0, s.step_key));
                set(Rule::satellites, s.good < cfg(Rule::satellites).limit, t, Figure::of(s.good));
            }
        }
        if (type != 2 && d.delivery.sv_count) corrections_arrived(t);
    }

    [[gnu::noinline]] void position_frame(const RtcmDecoder& d, int type, double t) {
        if (!on(Rule::position)) return;
        double x, y, z;
        if (type == 3) {
            if (!d.delivery.station_stored) return;
            const auto& p = d.stores.data_3;
            x = p.x * 0.01, y = p.y * 0.01, z = p.z * 0.01;
        } else if (!d.delivery.whole_frame) {
            return;
        } else if (type == 24) {
            const auto& p = d.stores.more.data_24;
            x = p.x, y = p.y, z = p.z;
        } else {
            const auto& p = d.stores.more.data_32;
            x = p.x * 0.01, y = p.y * 0.01, z = p.z * 0.01;
        }
        auto it = std::find_if(places.begin(), places.end(),
                               [&](const Place& p) { return p.station == station && p.type == type; });
        if (it == places.end()) {
            // The first coordinates heard are the reference, unless the
            // rules give one (in WGS-84: not for the PZ-90 ones of 32).
            const auto& ref = rules.reference;
            if (ref && ref->size() == 3 && type != 32)
                places.push_back({station, type, (*ref)[0], (*ref)[1], (*ref)[2], 0});
            else
                places.push_back({station, type, x, y, z, 0});
            it = places.end() - 1;
        }
        const double dx = x - it->x, dy = y - it->y, dz = z - it->z;
        it->distance = std::sqrt(dx * dx + dy * dy + dz * dz);
        judge_position(t);
    }
    void judge_position(double t) {
        const Place* worst = nullptr;
        for (const Place& p : places)
            if (p.station == station && (!worst || p.distance > worst->distance)) worst = &p;
        if (!worst) return;
        const Figure f{worst->distance, 0, int(station), worst->type};
        set(Rule::position, worst->distance > cfg(Rule::position).limit, t, f);
    }

    // Type 14's week and hour with the frame's Z-count, against the clock
    // the decoder read for the frame.
    [[gnu::noinline]] void clock_frame(const stream::CompletedFrame& f, double t) {
        if (!on(Rule::clock)) return;
        const auto& m = f.decoder.stores.more.data_14;
        const double leap = m.leap_seconds ? m.leap_seconds : f.frame.leap_seconds;
        const double clock_gps = t + f.frame.latency + leap - gps_epoch;
        const double tow = m.hour * 3600.0 + f.decoder.delivery.zcount * 0.6;
        // The week counts modulo 1024: the turn nearest the clock.
        const double weeks = std::floor(clock_gps / seconds_per_week);
        const double week = m.week + 1024 * std::round((weeks - m.week) / 1024);
        const double diff = clock_gps - (week * seconds_per_week + tow);
        set(Rule::clock, std::fabs(diff) > cfg(Rule::clock).limit, t, Figure(diff));
    }

    void judge_missing(double t) {
        if (!on(Rule::missing)) {
            missing_due = infinity;
            reschedule();
            return;
        }
        if (const auto m = schedule.missing(t, origin, cfg(Rule::missing).limit))
            hold(Rule::missing, m->onset, Figure::after(m->from, m->interval, m->type));
        else
            release(Rule::missing, t, Figure());
    }

    // Once a second of stream time, after 10 minutes of it.
    void judge_rates(double t) {
        next_rate_check = t + 1;
        if (!on(Rule::advertised) || t - origin < ScheduleWatch::window) return;
        const auto off = schedule.off(t, cfg(Rule::advertised).limit);
        if (off) hold(Rule::advertised, t, Figure(off->every, off->advertised, off->type), Severity::notice);
        else release(Rule::advertised, t, Figure());
    }

    // Once a second of stream time.
    [[gnu::noinline]] void judge_parity(double t, const RtcmDecoder& d) {
        const bool full = parity.mark(t, frame_bytes, d.unused_chars, d.parity_failures, d.sync_losses);
        next_second = parity.next_second();
        if (!full || !on(Rule::parity)) return;
        const double percent = parity.percent();
        const auto losses = parity.sync_losses();
        const Figure fig(percent, 0, int(parity.words()), int(losses));
        set(Rule::parity, percent > cfg(Rule::parity).limit || double(losses) > rules.sync_loss_limit, t, fig);
    }

    // ---- The source and the clock

    void tick(double clock) {
        flags |= live_bit;
        if (!started()) return;
        now = std::max({now, last_frame, clock - offset});
        if (now - last_frame > silence) hold(Rule::outage, last_frame + silence, Figure::after(last_frame));
        if (now >= next_due) fire_all(now);
    }

    void source_event(const SourceEvent& e) {
        const double at = utc_seconds(e.time) - offset;
        if (e.kind == SourceEvent::Kind::outage_begin) {
            supervised_outage = true;
            hold(Rule::outage, at, Figure::text(e.outage.reason));
        } else if (e.kind == SourceEvent::Kind::outage_end) {
            supervised_outage = false;
            // Frames not yet back after the silence limit: their return ends it.
            if (!started() || at - last_frame <= silence) release(Rule::outage, at, Figure(e.outage.seconds()));
            if (started()) stream_returned(at);
        }
        now = std::max({now, last_frame, at});
        if (now >= next_due) fire_all(now);
    }

    void use_expected(std::vector<Expected> types) {
        given = std::move(types);
        if (!rules.expect.empty()) return;  // the rules file's list comes first
        schedule.set(given);
        flags = schedule.empty() ? flags & ~schedule_bit : flags | schedule_bit;
        missing_due = started() ? schedule.next_overdue(origin, cfg(Rule::missing).limit) : infinity;
        reschedule();
        if (holds(Rule::missing)) release(Rule::missing, present(), Figure());
    }

    void restart() {
        for (Slot& s : slots) s.delay.reset();
        last_emitted = -infinity;
        out.clear();
        supervised_outage = have_corrections = false;
        quiet_header = ~0u;
        flags = fresh_bit;
        frame_bytes = 0;
        next_second = -infinity;
        next_due = missing_due = overdue = infinity;
        next_rate_check = -infinity;
        corrections.clear();
        parity.clear();
        places.clear();
        schedule.set(rules.expect.empty() ? given : rules.expect);
        if (!schedule.empty()) flags |= schedule_bit;
    }
};

AlarmEngine::AlarmEngine(Rules rules, std::string source)
    : impl_(std::make_unique<Impl>(std::move(rules), std::move(source))) {}
AlarmEngine::~AlarmEngine() = default;
AlarmEngine::AlarmEngine(AlarmEngine&&) noexcept = default;
AlarmEngine& AlarmEngine::operator=(AlarmEngine&&) noexcept = default;

void AlarmEngine::flush() {
    impl_->flags &= ~Impl::events_bit;
    std::vector<Event> events;
    events.swap(impl_->out);
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.time < b.time; });
    if (on_event)
        for (const Event& e : events) on_event(e);
}

void AlarmEngine::frame(const stream::CompletedFrame& f) {
    impl_->frame(f);
    if (impl_->flags & Impl::events_bit) flush();
}

void AlarmEngine::source(const SourceEvent& e) {
    impl_->source_event(e);
    if (!impl_->out.empty()) flush();
}

void AlarmEngine::tick(double utc_now) {
    impl_->tick(utc_now);
    if (!impl_->out.empty()) flush();
}

void AlarmEngine::expect(std::vector<Expected> types) {
    impl_->use_expected(std::move(types));
    if (!impl_->out.empty()) flush();
}

void AlarmEngine::restart() { impl_->restart(); }

std::vector<Active> AlarmEngine::active() const {
    std::vector<Active> list;
    for (std::size_t i = 0; i < rule_count; ++i) {
        const Impl::Slot& s = impl_->slots[i];
        if (!s.delay.raised()) continue;
        list.push_back({rule_names()[i], s.delay.begun(),
                        describe(Rule(i), s.held, s.config, impl_->rules.sync_loss_limit, true, impl_->present()), s.severity,
                        s.station});
    }
    std::stable_sort(list.begin(), list.end(), [](const Active& a, const Active& b) { return a.since > b.since; });
    return list;
}

const std::map<std::string, std::uint64_t>& AlarmEngine::counts() const { return impl_->counts; }

std::optional<double> AlarmEngine::newest_correction() const {
    if (!impl_->have_corrections) return std::nullopt;
    return impl_->newest_correction;
}
const Rules& AlarmEngine::rules() const { return impl_->rules; }

}  // namespace tessaly::alarms

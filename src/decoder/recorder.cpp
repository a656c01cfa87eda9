#include "recorder.h"

#include <algorithm>
#include <cmath>

#include "format_fixed.h"
#include "frame_text.h"

namespace tessaly {

namespace {

constexpr std::string_view crlf = "\r\n";

long long hour_of(double t) { return static_cast<long long>(t / 3600.0); }

}  // namespace

bool RecordingControl::selects(std::uint8_t msg_type) const {
    const auto* it = std::find(selectable_types.begin(), selectable_types.end(), msg_type);
    return it != selectable_types.end() && type_checked[std::size_t(it - selectable_types.begin())];
}

bool RecordingControl::select(std::uint8_t msg_type, bool checked) {
    const auto* it = std::find(selectable_types.begin(), selectable_types.end(), msg_type);
    if (it == selectable_types.end()) return false;
    type_checked[std::size_t(it - selectable_types.begin())] = checked;
    return true;
}

Recorder::Recorder(RecordingControl& control, StoringFile& file, ErrorSink on_error)
    : control_(control), file_(file), on_error_(std::move(on_error)) {
    // Inside a word nothing is written and nothing changes that the step
    // reads, until the dialog leaves a format to take over.
    inner_bytes_only_while(&control_.apply_pending);
    // The text blocks and the stamps come at frame ends and second header
    // words; only the code lines take the data words one by one.
    data_words_only_while(&code_mode);
}

void Recorder::reset_stream_state() {
    code_mode = false;
    text_mode = false;
    stamp = "-1";
    stamp_key_ = 0;
    line_column = 0;
}

// The format is read when storing starts (or stops), not while it runs.
void Recorder::take_over_format() {
    if (!control_.apply_pending) return;
    const bool on = control_.storing_active;
    code_mode = on && control_.format == StoreFormat::code;
    text_mode = on && control_.format == StoreFormat::text;
    control_.raw_mode = on && control_.format == StoreFormat::raw;
    control_.apply_pending = false;
}

void Recorder::after_byte(RtcmDecoder& d) {
    take_over_format();
    // Header word 2 has just passed parity: a new frame time.
    if (d.word_done && d.state.word_index == 2) make_stamp(d);
    if (!code_mode && !text_mode) {
        sync_before = d.state.in_sync;
        d.new_byte = false;
        return;
    }
    try {
        if (code_mode) {
            if (control_.all_types) code_all_types(d);
            else code_selected_types(d);
        }
        if (text_mode && d.frame_done_rec) {
            if (control_.all_types) text_block(d, hour_ref_text_all);
            else if (control_.selects(d.header.msg_type)) text_block(d, hour_ref_text_sel);
            else d.frame_done_rec = false;  // written once, when a selected frame completes
        }
    } catch (const StoringError& e) {
        // A text block is lost, not retried at every following byte.
        if (text_mode) d.frame_done_rec = false;
        ++failures_;
        last_error_ = e.what();
        if (on_error_) on_error_(last_error_);
    }
    sync_before = d.state.in_sync;
    d.new_byte = false;
}

// The date comes from the clock and the time from the frame. Near midnight
// the two can disagree: a frame just after midnight read while the clock
// still shows the evening belongs to the next day, and a frame just before
// midnight read after it to the previous day.
void Recorder::make_stamp(const RtcmDecoder& d) {
    const double t = d.header.frame_time;
    const int hh = int(t / 3600.0);
    const int mm = int((t - 3600.0 * hh) / 60.0);
    const int ss = int(t - 3600.0 * hh - 60.0 * mm);
    ClockReading date = d.now_utc();
    if (date.hour > 12 && hh < 12) date = add_days(date, 1);
    else if (date.hour < 12 && hh > 12) date = add_days(date, -1);
    stamp_time = t;

    // Frames follow each other within the same second: most stamps come out
    // as the one before.
    const auto field = [](int v, int bits) { return std::uint64_t(std::uint32_t(v) & ((1u << bits) - 1)); };
    const std::uint64_t key = field(date.year, 20) << 40 | field(date.month, 4) << 36 | field(date.day, 5) << 31 |
                              field(hh, 12) << 19 | field(mm, 7) << 12 | field(ss, 12);
    if (key == stamp_key_) return;
    stamp_key_ = key;
    stamp.assign("(- ");
    put_int(stamp, date.day, 2);
    stamp += '.';
    put_int(stamp, date.month, 2);
    stamp += '.';
    put_int(stamp, date.year, 4);
    stamp += " - ";
    put_int(stamp, hh, 2);
    stamp += ':';
    put_int(stamp, mm, 2);
    stamp += ':';
    put_int(stamp, ss, 2);
    stamp += " -)";
}

bool Recorder::hour_changed(double ref) const { return hour_of(ref) != hour_of(stamp_time); }

// "(tt) " and the five characters of header word 1.
std::string Recorder::frame_line_start(const RtcmDecoder& d) const {
    std::string s = "(";
    put_int(s, d.header.msg_type, 2);
    s += ") ";
    s += d.raw_word();
    return s;
}

// At the second header word: the previous line ends and is made durable,
// the first frame of an hour gets a stamp line, and the line begins with
// the held-back start and this word.
void Recorder::begin_frame_line(const RtcmDecoder& d, std::string& pending, double& hour_ref) {
    file_.write(crlf);
    file_.make_durable();
    if (hour_changed(hour_ref)) {
        file_.write(stamp);
        file_.write(crlf);
    }
    file_.write(pending);
    file_.write(d.raw_word());
    hour_ref = stamp_time;
    pending.clear();
}

// One line per frame; characters received out of sync go on a line of
// their own, one by one; long lines are wrapped.
void Recorder::code_all_types(const RtcmDecoder& d) {
    if (!d.new_byte) return;
    if (d.state.in_sync) {
        if (d.word_done) {
            switch (d.state.word_index) {
                case 1: pending_all = frame_line_start(d); break;
                case 2:
                    begin_frame_line(d, pending_all, hour_ref_code_all);
                    line_column = 15;
                    break;
                default:
                    file_.write(d.raw_word());
                    line_column += 5;
                    break;
            }
        }
    } else {
        if (sync_before) {  // synchronisation was lost with this byte
            file_.write(pending_all);
            file_.write(" +\r\n(  ) ");
            line_column = 5;
        }
        // The oldest character of the window: the one received four valid
        // characters earlier.
        file_.write(char(d.state.window[0]));
        line_column += 1;
    }
    if (line_column >= 160) {
        file_.write(" -\r\n     ");
        line_column = 5;
    }
}

// Whole frames of the chosen types, one line each, however long.
void Recorder::code_selected_types(const RtcmDecoder& d) {
    if (!d.word_done || !control_.selects(d.header.msg_type)) return;
    switch (d.state.word_index) {
        case 1: pending_sel = frame_line_start(d); break;
        case 2: begin_frame_line(d, pending_sel, hour_ref_code_sel); break;
        default: file_.write(d.raw_word()); break;
    }
    if (!d.state.in_sync) file_.write(" +\r\n(  ) ");
}

void Recorder::text_block(RtcmDecoder& d, double& hour_ref) {
    if (hour_changed(hour_ref)) {
        file_.write(stamp);
        file_.write(" delay:");
        file_.write(fixed_text(d.latency, 3));
        file_.write(crlf);
    }
    write_frame_text(file_, d);
    hour_ref = stamp_time;
}

}  // namespace tessaly

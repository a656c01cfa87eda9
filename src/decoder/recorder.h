#pragma once
// Recording of the decoded stream into the storing file: the storing step
// that runs after every received byte and decides what is written, in the
// code format ("RTCM Code (valid only)": the 6-of-8 characters of the
// frames, one line per frame) or the text format ("Text Format (decoded)":
// one text block per frame), for all or for selected message types, with
// the date and time stamp lines before the first frame of every hour.
//
// The storing dialog owns a RecordingControl and writes it; the recorder
// reads it at every byte. The command-line tool fills one from its options.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "rtcmdecw.h"
#include "storing_file.h"

namespace tessaly {

// The three format buttons of the storing dialog.
enum class StoreFormat { code, text, raw };

// The types that can be chosen one by one, in the order of their check boxes.
inline constexpr std::array<std::uint8_t, 9> selectable_types{1, 2, 3, 9, 16, 18, 19, 20, 21};

// What the storing dialog owns and the storing step reads.
struct RecordingControl {
    bool storing_active = false;
    // The dialog changed: the next storing step takes over the format.
    bool apply_pending = false;
    // Raw format armed; read by the receive paths, which store whole chunks.
    bool raw_mode = false;
    StoreFormat format = StoreFormat::code;  // the format chosen at start
    bool all_types = true;                    // "All Types"
    std::array<bool, selectable_types.size()> type_checked{};  // by selectable_types

    // Whether a frame of this type is stored while "All Types" is off.
    bool selects(std::uint8_t msg_type) const;
    // Ticks or unticks the check box of a selectable type; false for others.
    bool select(std::uint8_t msg_type, bool checked = true);
};

class Recorder final : public StoringHook {
public:
    // Receives the text of every failure of the storing file. A failure
    // abandons the rest of that byte's writing; the step's bookkeeping
    // still runs, so the decoder goes on undisturbed.
    using ErrorSink = std::function<void(const std::string&)>;

    Recorder(RecordingControl& control, StoringFile& file, ErrorSink on_error);

    void reset_stream_state() override;
    void after_byte(RtcmDecoder& decoder) override;

    // Failures so far and the text of the last one.
    std::uint64_t failures() const { return failures_; }
    const std::string& last_error() const { return last_error_; }

    // ---- Storing step state, read by the tests and the window.
    bool code_mode = false;
    bool text_mode = false;
    std::string stamp = "-1";  // "(- DD.MM.YYYY - hh:mm:ss -)", 27 characters
    double stamp_time = 0;     // frame time the stamp belongs to, s
    // Per writing path, the frame time of the last frame it wrote.
    double hour_ref_code_all = 0;
    double hour_ref_code_sel = 0;
    double hour_ref_text_all = 0;
    double hour_ref_text_sel = 0;
    // Per code path, the start of the frame line held back until the
    // second header word.
    std::string pending_all;
    std::string pending_sel;
    std::int32_t line_column = 0;  // characters on the code line for all types
    bool sync_before = false;      // in sync at the end of the previous step

private:
    void take_over_format();
    void make_stamp(const RtcmDecoder& d);
    bool hour_changed(double ref) const;
    void begin_frame_line(const RtcmDecoder& d, std::string& pending, double& hour_ref);
    void code_all_types(const RtcmDecoder& d);
    void code_selected_types(const RtcmDecoder& d);
    void text_block(RtcmDecoder& d, double& hour_ref);
    std::string frame_line_start(const RtcmDecoder& d) const;

    // The day, month, year, hh, mm and ss of `stamp` in one number (a
    // comparison of six ints compiled to a library call per frame); 0, which
    // no date gives, while it is "-1".
    std::uint64_t stamp_key_ = 0;

    RecordingControl& control_;
    StoringFile& file_;
    ErrorSink on_error_;
    std::uint64_t failures_ = 0;
    std::string last_error_;
};

}  // namespace tessaly

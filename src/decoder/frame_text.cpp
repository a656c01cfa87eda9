#include "frame_text.h"

#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#include "format_fixed.h"
#include "text_buffer.h"

namespace tessaly {

namespace {

// One per thread, reused from frame to frame: the block is built here, and
// the memos carry over.
struct Scratch {
    TextBuffer buffer;
    NumberMemo latency, time_7_1, time_12_6, cycles_7_5, metres_6_3, metres_5_3, metres_4_3;
    PieceMemo<48> row_18, row_19;  // the rows up to the measurement
};

Scratch& scratch() {
    thread_local Scratch s;
    return s;
}

// Builds the lines of one block straight into the buffer; R and I are the
// number fields of the file. Every line starts with line_room characters
// of room at least, more than any line of the layouts can hold (its
// literals and up to eight fields).
class Block {
public:
    static constexpr std::size_t line_room = 4096;
    static constexpr std::size_t block_room = 16 * line_room;

    explicit Block(Scratch& scratch) : memos(scratch), buffer_(scratch.buffer) { take_room(); }
    ~Block() { buffer_.commit(p_); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    // A literal: its length is known here, so the copy has a fixed size.
    template <std::size_t N>
    Block& text(const char (&s)[N]) {
        std::memcpy(p_, s, N - 1);
        p_ += N - 1;
        return *this;
    }
    Block& text(std::string_view s) {
        std::memcpy(p_, s.data(), s.size());
        p_ += s.size();
        return *this;
    }
    Block& R(double value, int width, int decimals) {
        p_ = put_real(p_, value, width, decimals);
        return *this;
    }
    // R through the column's memo.
    Block& R(NumberMemo& memo, double value, int width, int decimals) {
        p_ = memo.put(p_, value, [=](char* p, double v) { return put_real(p, v, width, decimals); });
        return *this;
    }
    // What `write(*this)` writes from the fields in `key` alone, through the
    // memo.
    template <std::size_t Size, class Write>
    Block& cached(PieceMemo<Size>& memo, std::size_t slot, const typename PieceMemo<Size>::Key& key, Write write) {
        p_ = memo.put(p_, slot, key, [&](char* at) {
            p_ = at;
            write(*this);
            return p_;
        });
        return *this;
    }
    Block& I(std::int64_t value, int width) {
        p_ = put_int(p_, value, width);
        return *this;
    }
    Block& end_line() {
        std::memcpy(p_, "\r\n", 2);
        p_ += 2;
        if (p_ > last_line_) [[unlikely]] {
            buffer_.commit(p_);
            take_room();
        }
        return *this;
    }
    template <std::size_t N>
    Block& line(const char (&s)[N]) {
        return text(s).end_line();
    }
    Block& line(std::string_view s) { return text(s).end_line(); }

    Scratch& memos;

private:
    void take_room() {
        p_ = buffer_.room(block_room);
        last_line_ = buffer_.room_end() - line_room;
    }

    TextBuffer& buffer_;
    char* p_ = nullptr;
    const char* last_line_ = nullptr;  // a line may start up to here
};

// ---- Types 1, 2 and 9 -------------------------------------------------------

constexpr std::array<std::string_view, 4> udre_texts{" ... 1 |", " 1 - 4 |", " 4 - 8 |", " 8 ... |"};

void corrections_layout(Block& b, std::string_view title, std::string_view time_label,
                        const rtcm_corrections_store& store) {
    b.line(title);
    b.text(time_label).R(b.memos.time_7_1, store.time, 7, 1).end_line();
    b.text("SV | Factor  | UDRE m|PsRangeCo m|RaRaCo m/s| IOD |M-Z-Count\r\n"
           "===|=========|=======|===========|==========|=====|=========").end_line();
    if (store.list.empty()) return;
    for (const rtcm_sat_1_type* s = store.list.begin(); s != store.list.end(); ++s) {
        b.I(s->sv, 2).text(" |");
        b.text(s->scale ? " coarse  |" : " fine    |");
        b.text(udre_texts[s->udre & 3u]);
        b.text(" ").R(s->range_corr, 9, 2).text(" |");
        b.text("  ").R(b.memos.metres_6_3, double(s->rate_corr), 6, 3).text("  |");
        b.text(" ").I(s->iod, 4).text("|");
        b.text(" ").R(b.memos.time_7_1, s->time, 7, 1).end_line();
    }
    b.end_line();
}

// ---- Types 3 and 16 ---------------------------------------------------------

void station_layout(Block& b, const rtcm_data_3_type& store) {
    b.line("Reference station coordinates                      FRAME 03");
    b.text(" X : ").R(store.x * 0.01, 12, 2).end_line();
    b.text(" Y : ").R(store.y * 0.01, 12, 2).end_line();
    b.text(" Z : ").R(store.z * 0.01, 12, 2).end_line();
    b.text(" Last receive : ").R(store.time_received, 7, 1).text("      ").end_line();
    b.text(" Last change  : ").R(store.time_changed, 7, 1).text("      ");
    b.text(std::string_view(store.date_changed).substr(0, 12)).end_line();
    b.end_line();
}

void text_layout(Block& b, const rtcm_data_16_type& store) {
    b.line("Special Frame  INFOTEXT                            FRAME 16");
    b.line(std::string_view(store.text).substr(0, 90));
    b.end_line();
}

// ---- Types 18 to 21 ---------------------------------------------------------

// The frequency line; type 18 has one blank before the colon, the others three.
void frequency_line(Block& b, std::uint8_t freq, double meas_time, bool narrow) {
    static constexpr std::array<std::string_view, 4> names{
        "Freq.:  L1                   EXP-Time ", "Freq.:  IONOSPHERIC DIFF.    EXP-Time ",
        "Freq.:  L2                   EXP-Time ", "Freq.:  SPECIAL              EXP-Time "};
    if (freq > 3) return;
    b.text(names[freq]).text(narrow ? std::string_view(": ") : std::string_view("  : "));
    b.R(b.memos.time_12_6, meas_time, 12, 6).text(" s").end_line();
}

// A smoothing code other than 0..3 leaves the line open: the column header
// follows on the same line.
void smoothing_line(Block& b, std::uint8_t smooth) {
    static constexpr std::array<std::string_view, 4> texts{"0 to 1 Minutes  ", "1 to 5 Minutes  ",
                                                           "5 to 15 Minutes ", "indefinite      "};
    b.text("Smooth-int : ");
    if (smooth <= 3) b.text(texts[smooth]).end_line();
}

// The satellite column of 18 to 21: the number, then the system in the
// blank before the bar, so that the layout keeps its width: "14 |" for GPS
// as ever, "14R|" for GLONASS.
template <class Sat>
void sv_cell(Block& b, const Sat& s) {
    b.I(s.sv, 2).text(s.glonass ? "R|" : " |");
}

// The memo slot of a satellite's row: the lists of the frequencies take
// turns, and each keeps its own.
template <class Sat>
std::size_t slot(const Sat& s, std::uint8_t freq) {
    return std::size_t(s.key() & 63u) | std::size_t(freq & 3u) << 6;
}

// Rows of the list of the last frame's frequency, then a blank line when
// there were any.
template <class List, class Row>
void rows(Block& b, const List& list, Row row) {
    if (list.empty()) return;
    for (const auto& s : list) row(s);
    b.end_line();
}

void phase_layout(Block& b, const rtcm_data_18_type& store) {
    b.line("Uncorrected Carrier Phase Measurement              FRAME 18");
    frequency_line(b, store.freq, store.meas_time, true);
    b.text("SV |PhErr  cycle|Loss| Mult | Code| Phase cycles | EXP-Time  s\r\n"
           "===|============|====|======|=====|==============|==========").end_line();
    rows(b, store.current_list(), [&](const rtcm_sat_18_type& s) {
        const PieceMemo<48>::Key key{std::bit_cast<std::uint64_t>(s.phase_err),
                                     s.sv | std::uint64_t(s.loss) << 8 | std::uint64_t(s.glonass) << 16 |
                                         std::uint64_t(s.more) << 17 | std::uint64_t(s.p_code) << 18};
        b.cached(b.memos.row_18, slot(s, store.freq), key, [&](Block& b) {
            sv_cell(b, s);
            b.text(s.phase_err > 0.1248 ? "  > " : " <= ").R(b.memos.cycles_7_5, s.phase_err, 7, 5).text(" |");
            b.text(" ").I(s.loss, 2).text(" |");
            b.text(s.more ? " MORE |" : " LAST |");
            b.text(s.p_code ? "  P  |" : " C/A |");
            b.text(" ");
        });
        b.R(s.phase, 12, 2).text(" |");
        b.text(" ").R(b.memos.time_12_6, s.meas_time, 12, 6).end_line();
    });
}

void pseudorange_layout(Block& b, const rtcm_data_19_type& store) {
    b.line("Uncorrected Pseudorange Measurement                FRAME 19");
    frequency_line(b, store.freq, store.meas_time, false);
    smoothing_line(b, store.smooth);
    b.text("SV |PsRaErr | Multipatherr m |Code|PseudoRange m |  EXP-TIME s\r\n"
           "===|========|================|====|==============|==========").end_line();
    rows(b, store.current_list(), [&](const rtcm_sat_19_type& s) {
        const PieceMemo<48>::Key key{std::bit_cast<std::uint64_t>(s.pr_err), std::bit_cast<std::uint64_t>(s.mp_err),
                                     s.sv | std::uint64_t(s.glonass) << 8 | std::uint64_t(s.p_code) << 9};
        b.cached(b.memos.row_19, slot(s, store.freq), key, [&](Block& b) {
            sv_cell(b, s);
            b.text(s.pr_err > 6.0 ? " > " : "<= ").R(b.memos.metres_5_3, s.pr_err, 5, 3).text("|");
            if (s.mp_err < 19.0) b.text("   <=  ").R(b.memos.metres_6_3, s.mp_err, 6, 3).text("   |");
            else if (s.mp_err < 28.0) b.text("    >  ").R(b.memos.metres_6_3, s.mp_err, 6, 3).text("   |");
            else b.text(" not determined |");
            b.text(s.p_code ? "  P |" : " C/A|");
            b.text(" ");
        });
        b.R(s.pseudorange, 11, 2).text("  |");
        b.text(" ").R(b.memos.time_12_6, s.meas_time, 12, 6).end_line();
    });
}

void phase_correction_layout(Block& b, const rtcm_data_20_type& store) {
    b.line("RTK carrier phase correction                       FRAME 20");
    frequency_line(b, store.freq, store.meas_time, false);
    b.text("SV | PhErr cycle | loss | Mult | IOD | phasecorr |  EXP-Time s\r\n"
           "===|=============|======|======|=====|===========|==========").end_line();
    rows(b, store.current_list(), [&](const rtcm_sat_20_type& s) {
        sv_cell(b, s);
        b.text(s.phase_err >= 0.2 ? "  > " : " <= ").R(b.memos.cycles_7_5, s.phase_err, 7, 5).text("  |");
        b.I(s.loss, 3).text(" |");
        b.text(s.more ? " MORE |" : " LAST |");
        b.I(s.iod, 3).text("|");
        b.text(" ").R(s.phase_corr, 9, 2).text(" |");
        b.text(" ").R(b.memos.time_12_6, s.meas_time, 12, 6).end_line();
    });
}

void range_correction_layout(Block& b, const rtcm_data_21_type& store) {
    b.line("RTK pseudorange corrections                        FRAME 21");
    frequency_line(b, store.freq, store.meas_time, false);
    smoothing_line(b, store.smooth);
    b.text("SV |PsRaEr m|M-p-err m| code| IOD|PsRange m|RaRaCo| EXP-Time s\r\n"
           "===|========|=========|=====|====|=========|======|=========").end_line();
    // The code column reads the store's frequency: a C/A entry shows as Y
    // code whenever the last frame was on L2.
    const std::string_view plain_code = store.freq == 2 ? "  Y  |" : " C/A |";
    rows(b, store.current_list(), [&](const rtcm_sat_21_type& s) {
        sv_cell(b, s);
        b.text(s.pr_err >= 6.0 ? " > " : "<= ").R(b.memos.metres_4_3, s.pr_err, 4, 3).text("|");
        if (s.mp_err < 19.0) b.text("<= ").R(b.memos.metres_6_3, s.mp_err, 6, 3).text("|");
        else if (s.mp_err < 28.0) b.text(" > ").R(b.memos.metres_6_3, s.mp_err, 6, 3).text("|");
        else b.text("n. determ|");
        b.text(s.p_code ? "  P  |" : plain_code);
        b.I(s.iod, 3).text("|");
        b.R(s.prc, 9, 2).text("|");
        b.R(s.rrc, 6, 3).text("|");
        b.text(" ").R(b.memos.time_12_6, s.meas_time, 12, 6).end_line();
    });
}

void other_layout(Block& b, const rtcm_header_type& header) {
    b.text("other frame  : ").I(header.msg_type, 3);
    b.text("      Length :  ").I(header.frame_length, 0).end_line();
    b.text("m-z-count    : ").R(header.frame_time, 7, 1).end_line();
}

void frame_layout(Block& b, const RtcmDecoder& decoder) {
    const rtcm_header_type& h = decoder.header;
    const rtcm_stores& st = decoder.stores;
    b.text("frame: ").I(h.msg_type, 0).text(" latency: ").R(b.memos.latency, decoder.latency, 0, 3).end_line();
    switch (h.msg_type) {
        case 1:
            corrections_layout(b, "Differential GPS corrections                       FRAME 01",
                               "M-Z-Count  : ", st.data_1);
            break;
        case 2:
            corrections_layout(b, "Differential GPS corrections                       FRAME 02",
                               "M-Z-Count  : ", st.data_2);
            break;
        case 9:
            corrections_layout(b, "Partial Differential GPS corrections               FRAME 09",
                               "M-Z-Count (last receive) : ", st.data_9);
            break;
        case 3: station_layout(b, st.data_3); break;
        case 16: text_layout(b, st.data_16); break;
        case 18: phase_layout(b, st.data_18); break;
        case 19: pseudorange_layout(b, st.data_19); break;
        case 20: phase_correction_layout(b, st.data_20); break;
        case 21: range_correction_layout(b, st.data_21); break;
        default: other_layout(b, h); break;
    }
}

// The block, built in this thread's scratch buffer; it holds until the next.
[[gnu::flatten]] std::string_view build_frame_text(const RtcmDecoder& decoder) {
    Scratch& s = scratch();
    s.buffer.clear();
    {
        Block b(s);
        frame_layout(b, decoder);
    }
    return s.buffer.view();
}

}  // namespace

void append_frame_text(std::string& out, const RtcmDecoder& decoder) {
    out += build_frame_text(decoder);
}

void write_frame_text(StoringFile& file, RtcmDecoder& decoder) {
    file.write(build_frame_text(decoder));
    file.make_durable();
    decoder.frame_done_rec = false;
}

}  // namespace tessaly

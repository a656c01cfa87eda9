// The exact text of every cell of the message pages, painted from the
// stores (see the table of pages in RTCM_U1_pages.cpp).
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <cmath>

#include "RTCM_U1_pages.h"

namespace tessaly {

namespace {

const QString udre_text[4] = {QStringLiteral("  ... 1"), QStringLiteral("  1 - 4"),
                              QStringLiteral("  4 - 8"), QStringLiteral("  8 ...")};

QString smoothing_text(std::uint8_t code, bool padded) {
    switch (code) {
    case 0: return QStringLiteral("0 to 1 Minutes");
    case 1: return QStringLiteral("1 to 5 Minutes");
    case 2: return QStringLiteral("5 to 15 Minutes");
    case 3: return padded ? QStringLiteral("indefinite     ") : QStringLiteral("indefinite");
    default: return {};
    }
}

}  // namespace

// ---- Types 1, 2 and 9 -------------------------------------------------------------

void MessagePages::showCorrections(const PageKind& kind) {
    const rtcm_corrections_store& store = *kind.corrections(decoder_.stores, 0);
    if (store.time == -1) return;
    const SatellitePage& sp = tables_[kind.page][0];
    if (!store.list.empty()) set_text(sp.header, ff(store.time, 7, 1) + " length:" + num(store.frame_length));
    const bool t9 = kind.page == Type9;
    const QString lead = t9 ? QStringLiteral("    ") : QStringLiteral("   ");
    ColumnTable* t = sp.table;
    show_rows(t, store.list, [&](int row, const rtcm_sat_1_type& r) {
        t->setCell(0, row, (t9 ? "   " : "  ") + num(r.sv));
        t->setCell(1, row, r.scale ? " coarse" : " fine  ");
        t->setCell(2, row, udre_text[r.udre & 3]);
        t->setCell(3, row, !t9 && r.range_problem ? "   error    " : lead + ff(r.range_corr, 9, 2));
        t->setCell(4, row, !t9 && r.rate_problem ? "   error " : lead + ff(r.rate_corr, 6, 3));
        t->setCell(5, row, lead + num(r.iod));
        t->setCell(6, row, lead + ff(r.time, 7, 1));
    });
}

// GLONASS satellites are labelled R as on the pages of 18 to 21; 31 and 34
// have no problem marks.
void MessagePages::showGlonass(const PageKind& kind) {
    for (int g = Type31; g <= Type34; ++g) {
        const rtcm_corrections_store& store = *kind.corrections(decoder_.stores, g);
        if (store.time == -1) continue;
        const SatellitePage& sp = tables_[kind.page][std::size_t(g)];
        if (!store.list.empty()) set_text(sp.header, ff(store.time, 7, 1) + " length:" + num(store.frame_length));
        ColumnTable* t = sp.table;
        show_rows(t, store.list, [&](int row, const rtcm_sat_1_type& r) {
            t->setCell(0, row, " R" + num(r.sv));
            t->setCell(1, row, r.scale ? " coarse" : " fine  ");
            t->setCell(2, row, udre_text[r.udre & 3]);
            t->setCell(3, row, "   " + ff(r.range_corr, 9, 2));
            t->setCell(4, row, "   " + ff(r.rate_corr, 6, 3));
            t->setCell(5, row, r.change ? "   yes" : "   no");
            t->setCell(6, row, "   " + num(r.tod));
            t->setCell(7, row, "   " + ff(r.time, 7, 1));
        });
    }
}

// ---- Types 3 and 16 ---------------------------------------------------------------

void MessagePages::showStation(const PageKind&) {
    const rtcm_data_3_type& d = decoder_.stores.data_3;
    const auto coord = [](std::int32_t v) { return ff(v * 0.01, 15, 2); };
    QStringList lines;
    if (stationSeen_) {
        set_text(headers_[Type3], ff(d.time_received, 7, 1) + " length:" + num(d.frame_length));
        const ClockReading& now = stationReceived_;
        const double changed_fraction = d.time_changed - std::floor(d.time_changed);
        lines = QStringList{
            " new Reference Station Parameters",
            " X: " + coord(d.x),
            " Y: " + coord(d.y),
            " Z: " + coord(d.z),
            " M-Z-Count: " + ff(d.time_received, 7, 1) + "   " + time_of_day_text(d.time_received),
            " Last receive: " + clock_time_text(now) + "  " + clock_date_text(now),
            // The change moment is held to the millisecond; the time of day shows
            // whole seconds.
            " Last Change : " + time_of_day_text(std::round(changed_fraction * 86400000.0) / 1000.0) + "  " +
                QString::fromStdString(d.date_changed),
            " from:",
            " X: " + coord(d.prev_x),
            " Y: " + coord(d.prev_y),
            " Z: " + coord(d.prev_z),
        };
    }
    // Message 22 refines the coordinates of 3 (or of GLONASS's 32): its
    // lines follow those of 3. A frame with a failed word changes nothing.
    const rtcm_data_22_type& e = decoder_.stores.more.data_22;
    if (e.valid) {
        const auto cm = [](const char* name, double v) { return QString::fromLatin1(name) + ff(v, 9, 3) + " cm"; };
        if (!lines.isEmpty()) lines << QString();
        lines << " Extended Reference Station Parameters (Type 22)" +
                     QString(e.has_word4 ? e.glonass ? ", GLONASS" : ", GPS" : "") + ":"
              << cm(" L1 phase centre dX: ", e.dx) << cm(" L1 phase centre dY: ", e.dy)
              << cm(" L1 phase centre dZ: ", e.dz);
        if (e.has_height) lines << cm(" Antenna height: ", e.height);
        if (e.has_l2)
            lines << cm(" L2 phase centre dX: ", e.dx2) << cm(" L2 phase centre dY: ", e.dy2)
                  << cm(" L2 phase centre dZ: ", e.dz2);
        lines << " M-Z-Count: " + ff(e.time, 7, 1) + "   " + time_of_day_text(e.time) + "  length:" +
                     num(e.frame_length);
    }
    set_text(type3Text_, lines.join(QLatin1Char('\n')));
}

void MessagePages::showText(const PageKind&) {
    const rtcm_data_16_type& d = decoder_.stores.data_16;
    const QString text = display_text(d.text);
    set_text(type16Time_, clock_time_text(textReceived_));
    set_text(type16Message_, text);
    type16Message_->setCursorPosition(0);  // from the first character, not scrolled to the end
    set_text(headers_[Type16], ff(d.time, 7, 1) + " length:" + num(d.frame_length));
}

// ---- Types 18 to 21 ---------------------------------------------------------------

namespace {

// The satellite cell of 18 to 21: GPS numbers as ever, a GLONASS number with
// an R in the blank before it ("  14" and " R14"), so that the two systems'
// satellites of one number cannot be confused.
template <class Sat>
QString sv_label(const char* lead, const Sat& e) {
    QString text = QString::fromLatin1(lead);
    if (e.glonass) text.back() = QLatin1Char('R');
    return text + num(e.sv);
}

}  // namespace

template <class Store, class Header, class Row>
void MessagePages::showMeasurements(Page p, const Store& store, Header header, Row row) {
    for (int s = 0; s < 4; ++s) {
        const auto& list = store.sat_list[std::size_t(sub_page_list[std::size_t(s)])];
        const SatellitePage& sp = tables_[p][std::size_t(s)];
        if (!list.empty()) set_text(sp.header, header());
        ColumnTable* t = sp.table;
        show_rows(t, list, [&](int r, const auto& sat) { row(t, r, sat); });
    }
}

void MessagePages::show18(const PageKind&) {
    const rtcm_data_18_type& d = decoder_.stores.data_18;
    showMeasurements(
        Type18, d, [&] { return ff(d.meas_time, 12, 6); },
        [](ColumnTable* t, int r, const rtcm_sat_18_type& e) {
            t->setCell(0, r, sv_label("  ", e));
            t->setCell(1, r, (e.phase_err <= 0.1248 ? "<= " : " > ") + ff(e.phase_err, 7, 5));
            t->setCell(2, r, " " + num(e.loss));
            t->setCell(3, r, e.more ? " MORE" : " LAST");
            t->setCell(4, r, e.p_code ? "  P " : " C/A");
            t->setCell(5, r, " " + ff(e.phase, 12, 2));
            t->setCell(6, r, " " + ff(e.meas_time, 12, 6));
        });
}

void MessagePages::show19(const PageKind&) {
    const rtcm_data_19_type& d = decoder_.stores.data_19;
    showMeasurements(
        Type19, d,
        [&] { return "Time:" + ff(d.meas_time, 12, 6) + "  Smoothing:" + smoothing_text(d.smooth, false); },
        [](ColumnTable* t, int r, const rtcm_sat_19_type& e) {
            t->setCell(0, r, sv_label("  ", e));
            t->setCell(1, r, (e.pr_err > 6.0 ? " > " : "<= ") + ff(e.pr_err, 5, 3));
            t->setCell(2, r,
                       e.mp_err < 19.0   ? "  <=  " + ff(e.mp_err, 6, 3)
                       : e.mp_err < 28.0 ? "   >  " + ff(e.mp_err, 6, 3)
                                         : QStringLiteral(" not determ."));
            t->setCell(3, r, e.p_code ? "  P " : " C/A");
            t->setCell(4, r, " " + ff(e.pseudorange, 11, 2));
            t->setCell(5, r, " " + ff(e.meas_time, 12, 6));
        });
}

void MessagePages::show20(const PageKind&) {
    const rtcm_data_20_type& d = decoder_.stores.data_20;
    showMeasurements(
        Type20, d, [&] { return "  " + ff(d.meas_time, 12, 6); },
        [](ColumnTable* t, int r, const rtcm_sat_20_type& e) {
            t->setCell(0, r, sv_label(" ", e));
            t->setCell(1, r, (e.phase_err < 0.2 ? " <= " : " > ") + ff(e.phase_err, 7, 5));
            t->setCell(2, r, " " + num(e.loss));
            t->setCell(3, r, e.more ? " MORE" : " LAST");
            t->setCell(4, r, " " + num(e.iod));
            t->setCell(5, r, " " + ff(e.phase_corr, 9, 2));
            t->setCell(6, r, " " + ff(e.meas_time, 12, 6));
        });
}

void MessagePages::show21(const PageKind&) {
    const rtcm_data_21_type& d = decoder_.stores.data_21;
    showMeasurements(
        Type21, d,
        [&] { return "Exp.Time: " + ff(d.meas_time, 12, 6) + "  Smoothing:" + smoothing_text(d.smooth, true); },
        [&d](ColumnTable* t, int r, const rtcm_sat_21_type& e) {
            t->setCell(0, r, sv_label(" ", e));
            t->setCell(1, r, (e.pr_err < 6.0 ? "<= " : " > ") + ff(e.pr_err, 4, 3));
            t->setCell(2, r,
                       e.mp_err < 19.0   ? "<= " + ff(e.mp_err, 6, 3)
                       : e.mp_err < 28.0 ? " > " + ff(e.mp_err, 6, 3)
                                         : QStringLiteral("not determ"));
            t->setCell(3, r, e.p_code ? "  P " : d.freq == 2 ? "  Y " : " C/A");
            t->setCell(4, r, " " + num(e.iod));
            t->setCell(5, r, ff(e.prc, 9, 2));
            t->setCell(6, r, ff(e.rrc, 6, 3));
            t->setCell(7, r, ff(e.meas_time, 12, 6));
        });
}

// ---- Other types ------------------------------------------------------------------

void MessagePages::showOther(const PageKind&) {
    if (otherHeading_[0].isEmpty()) return;
    set_text(headers_[Other], otherHeading_[0]);
    set_text(otherZcount_, otherHeading_[1]);
    set_text(otherText_, otherLines_.join(QLatin1Char('\n')));
}

void MessagePages::showRaw(const PageKind&) {
    set_text(rawText_, raw_.shown_text());
    rawText_->verticalScrollBar()->setValue(rawText_->verticalScrollBar()->maximum());
}

}  // namespace tessaly

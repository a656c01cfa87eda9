// See correction_watch.h.
#include "correction_watch.h"

#include <cmath>

namespace tessaly::alarms::detail {

namespace {

// How long a satellite's correction stays in the table, as in the decoder's lists.
constexpr double table_life = 60;

const rtcm_corrections_store& store_of(const rtcm_stores& s, int type) {
    switch (type) {
    case 1: return s.data_1;
    case 2: return s.data_2;
    case 9: return s.data_9;
    case 31: return s.data_31;
    default: return s.data_34;
    }
}

}  // namespace

CorrectionSurvey CorrectionWatch::take(const RtcmDecoder& d, int type, double t, const CorrectionLimits& lim) {
    int step_key = 0;
    double largest_step = 0;
    bool suspicious = false;  // a satellite of this frame is marked or beyond a limit
    const rtcm_corrections_store& store = store_of(d.stores, type);
    const bool glonass = type == 31 || type == 34;
    const bool marks = type == 1 || type == 2;
    const bool values = type != 2;  // type 2 carries changes of corrections
    for (std::size_t i = 0; i < d.delivery.sv_count; ++i) {
        const rtcm_sat_1_type* rec = store.list.find(d.delivery.svs[i]);
        if (!rec) continue;
        const int key = glonass ? rec->sv | 0x40 : rec->sv;
        Sat& s = sats_[std::size_t(key)];
        if (!s.listed) {
            s = Sat{};
            s.listed = true;
            keys_[listed_++] = std::uint8_t(key);
        }
        if (marks) {
            s.marks = std::uint8_t((rec->range_problem ? 1 : 0) | (rec->rate_problem ? 2 : 0));
            s.marked_time = t;
            if (s.marks) {
                suspicious = true;
                continue;  // its figures are the marks, not corrections
            }
        }
        if (!values) continue;
        const double prc = rec->range_corr;
        const double rrc = rec->rate_corr;
        // A step is judged between plausible corrections of the same
        // issue of data; one beyond the PRC limit is that rule's.
        const bool plausible = std::fabs(prc) <= lim.prc;
        if (s.valued && s.predicts && plausible && s.iod == rec->iod && t - s.time <= table_life) {
            const double step = std::fabs(prc - (s.prc + s.rrc * (t - s.time)));
            if (step > lim.step && step > largest_step) {
                largest_step = step;
                step_key = key;
            }
        }
        suspicious = suspicious || !plausible || std::fabs(rrc) > lim.rrc;
        s.time = t;
        s.prc = prc;
        s.rrc = rrc;
        s.iod = rec->iod;
        s.udre = rec->udre;
        s.valued = true;
        s.predicts = plausible;
    }

    // What stood at the last survey may have cleared; a second may have
    // aged the table.
    if (suspicious || last_.marked_key || last_.prc_key || last_.rrc_key || t >= next_survey_) survey(t, lim);
    CorrectionSurvey out = last_;
    out.step_key = step_key;
    out.step = largest_step;
    return out;
}

// The table surveyed, dropping what is older than its life.
void CorrectionWatch::survey(double t, const CorrectionLimits& lim) {
    next_survey_ = t + 1;
    CorrectionSurvey out;
    std::size_t kept = 0;
    for (std::size_t j = 0; j < listed_; ++j) {
        const int key = keys_[j];
        Sat& s = sats_[std::size_t(key)];
        const bool valued = s.valued && t - s.time <= table_life;
        const bool marked = s.marks && t - s.marked_time <= table_life;
        if (!valued && !marked) {
            s.listed = false;
            continue;
        }
        keys_[kept++] = std::uint8_t(key);
        if (marked) {
            if (!out.marked_key) {
                out.marked_key = key;
                out.marks = s.marks;
            }
            continue;
        }
        if (std::fabs(s.prc) > lim.prc && std::fabs(s.prc) > std::fabs(out.prc)) {
            out.prc = s.prc;
            out.prc_key = key;
        }
        if (std::fabs(s.rrc) > lim.rrc && std::fabs(s.rrc) > std::fabs(out.rrc)) {
            out.rrc = s.rrc;
            out.rrc_key = key;
        }
        if (s.udre <= 2 && t - s.time <= lim.fresh) ++out.good;
    }
    listed_ = kept;
    last_ = out;
}

void CorrectionWatch::forget_predictions() {
    for (std::size_t j = 0; j < listed_; ++j) sats_[keys_[j]].predicts = false;
}

void CorrectionWatch::clear() {
    for (std::size_t j = 0; j < listed_; ++j) sats_[keys_[j]].listed = false;
    listed_ = 0;
    last_ = CorrectionSurvey{};
    next_survey_ = -1e300;
}

}  // namespace tessaly::alarms::detail

#pragma once
// The latest correction of every satellite, from the frames of types 1, 9,
// 31 and 34 (and the "do not use" marks of types 1 and 2), for the rules
// that judge corrections: prc, rrc, prc_step, do_not_use and satellites.
// A satellite not corrected for 60 s leaves the table, as it leaves the
// decoder's lists. Internal to the engine.

#include <array>
#include <cstdint>

#include "rtcmdecw.h"

namespace tessaly::alarms::detail {

struct CorrectionLimits {
    double prc = 100;   // m
    double rrc = 2;     // m/s
    double step = 10;   // m off the prediction
    double fresh = 30;  // s: a correction that counts for the satellites rule
};

// What the table says after a frame of a correction type. Keys are those
// of satellite_name(); 0 means none.
struct CorrectionSurvey {
    int marked_key = 0;
    int marks = 0;  // 1 PRC 8000 hex, 2 RRC 80 hex, 3 both
    int prc_key = 0;
    double prc = 0;  // the largest PRC beyond the limit
    int rrc_key = 0;
    double rrc = 0;
    int step_key = 0;
    double step = 0;  // this frame's largest step beyond the limit
    int good = 0;     // satellites corrected with UDRE 0..2 within `fresh`
};

class CorrectionWatch {
public:
    // A completed frame of type 1, 2, 9, 31 or 34 at stream time `t`: its
    // satellites enter the table, then the table is surveyed. While all is
    // well the survey is made once a second of stream time and the frames
    // between take it as it stands (with their own steps).
    CorrectionSurvey take(const RtcmDecoder& d, int type, double t, const CorrectionLimits& limits);
    // The station changed: its corrections predict nothing of the next one.
    void forget_predictions();
    void clear();

private:
    struct Sat {
        double time = 0;         // of its latest correction (not a marked one)
        double marked_time = 0;  // of its latest record of type 1 or 2
        double prc = 0;
        double rrc = 0;
        std::uint8_t iod = 0;
        std::uint8_t udre = 0;
        std::uint8_t marks = 0;   // of the latest record of type 1 or 2
        bool valued = false;      // `time` and the values are set
        bool predicts = false;    // the values may predict the next correction
        bool listed = false;
    };

    void survey(double t, const CorrectionLimits& limits);

    CorrectionSurvey last_;  // the latest survey
    double next_survey_ = -1e300;
    std::array<Sat, 128> sats_{};
    std::array<std::uint8_t, 128> keys_{};  // the listed keys
    std::size_t listed_ = 0;
};

}  // namespace tessaly::alarms::detail

#pragma once
// The decoder never reads the wall clock by itself: the hour of a frame, the
// latency and the recording stamps all come from a Clock handed in by the
// caller, so that tests and the command-line tool can fix the time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// A UTC calendar date and time of day with milliseconds.
struct ClockReading {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    // Seconds since midnight, milliseconds included.
    double time_of_day() const {
        return hour * 3600.0 + minute * 60.0 + second + millisecond * 0.001;
    }
    bool operator==(const ClockReading&) const = default;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual ClockReading now_utc() const = 0;
};

// Reads the system clock (UTC).
class SystemClock final : public Clock {
public:
    ClockReading now_utc() const override;
};

// Always answers the reading it was given; set() moves it.
class FixedClock final : public Clock {
public:
    explicit FixedClock(ClockReading r = {}) : reading_(r) {}
    ClockReading now_utc() const override { return reading_; }
    void set(ClockReading r) { reading_ = r; }

private:
    ClockReading reading_;
};

// The process-wide system clock.
const Clock& system_clock();

// Parses "YYYY-MM-DDTHH:MM:SS[.mmm]Z" (the trailing Z is optional); nothing
// when the text is not such a date and time or names an impossible date.
std::optional<ClockReading> parse_iso_utc(std::string_view text);

// Whether the calendar date exists (Gregorian calendar).
bool is_valid_date(int year, int month, int day);

// The reading as a day number: days since 30 December 1899, the time of day
// as the fraction (the date-time number of office software).
double day_number(const ClockReading& r);

// The reading's date as "DD.MM.YYYY".
std::string date_text(const ClockReading& r);

// The reading moved by whole days (Gregorian calendar); time of day kept.
ClockReading add_days(const ClockReading& r, int days);

}  // namespace tessaly

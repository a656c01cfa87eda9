#include "clock.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace tessaly {

ClockReading SystemClock::now_utc() const {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto day_point = floor<days>(now);
    const year_month_day ymd{day_point};
    const hh_mm_ss tod{floor<milliseconds>(now - day_point)};
    ClockReading r;
    r.year = int(ymd.year());
    r.month = int(unsigned(ymd.month()));
    r.day = int(unsigned(ymd.day()));
    r.hour = int(tod.hours().count());
    r.minute = int(tod.minutes().count());
    r.second = int(tod.seconds().count());
    r.millisecond = int(tod.subseconds().count());
    return r;
}

const Clock& system_clock() {
    static const SystemClock clock;
    return clock;
}

bool is_valid_date(int year, int month, int day) {
    using namespace std::chrono;
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    return year_month_day{std::chrono::year{year}, std::chrono::month{unsigned(month)},
                          std::chrono::day{unsigned(day)}}
        .ok();
}

namespace {
std::chrono::sys_days to_days(const ClockReading& r) {
    using namespace std::chrono;
    return sys_days{year_month_day{std::chrono::year{r.year}, std::chrono::month{unsigned(r.month)},
                                   std::chrono::day{unsigned(r.day)}}};
}
}  // namespace

double day_number(const ClockReading& r) {
    using namespace std::chrono;
    constexpr sys_days epoch = sys_days{std::chrono::year{1899} / December / 30};
    const auto days_since = (to_days(r) - epoch).count();
    return double(days_since) + r.time_of_day() / 86400.0;
}

std::string date_text(const ClockReading& r) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", r.day, r.month, r.year);
    return buf;
}

ClockReading add_days(const ClockReading& r, int days) {
    using namespace std::chrono;
    const year_month_day ymd{to_days(r) + std::chrono::days{days}};
    ClockReading out = r;
    out.year = int(ymd.year());
    out.month = int(unsigned(ymd.month()));
    out.day = int(unsigned(ymd.day()));
    return out;
}

std::optional<ClockReading> parse_iso_utc(std::string_view text) {
    // Exactly YYYY-MM-DDTHH:MM:SSZ or YYYY-MM-DDTHH:MM:SS.mmmZ: digits where
    // digits stand, no signs, blanks or other lengths.
    static constexpr std::string_view shape = "dddd-dd-ddTdd:dd:dd";
    if (text.size() != shape.size() + 1 && text.size() != shape.size() + 5) return std::nullopt;
    if (text.back() != 'Z') return std::nullopt;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? !digit(text[i]) : text[i] != shape[i]) return std::nullopt;
    if (text.size() == shape.size() + 5 &&
        (text[19] != '.' || !digit(text[20]) || !digit(text[21]) || !digit(text[22])))
        return std::nullopt;
    const auto number = [&](std::size_t from, std::size_t count) {
        int n = 0;
        for (std::size_t i = from; i < from + count; ++i) n = n * 10 + (text[i] - '0');
        return n;
    };
    ClockReading r;
    r.year = number(0, 4);
    r.month = number(5, 2);
    r.day = number(8, 2);
    r.hour = number(11, 2);
    r.minute = number(14, 2);
    r.second = number(17, 2);
    r.millisecond = text.size() == shape.size() + 5 ? number(20, 3) : 0;
    if (!is_valid_date(r.year, r.month, r.day) || r.hour > 23 || r.minute > 59 || r.second > 59)
        return std::nullopt;
    return r;
}

}  // namespace tessaly

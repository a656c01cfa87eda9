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
    const std::string s(text);
    ClockReading r;
    int consumed = 0;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &r.year, &r.month, &r.day, &r.hour,
                    &r.minute, &r.second, &consumed) != 6 ||
        consumed != 19)
        return std::nullopt;
    std::string_view rest = text.substr(std::size_t(consumed));
    if (!rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
        int digits = 0;
        int ms = 0;
        while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') {
            if (digits < 3) ms = ms * 10 + (rest.front() - '0');
            ++digits;
            rest.remove_prefix(1);
        }
        if (digits == 0) return std::nullopt;
        for (int d = digits; d < 3; ++d) ms *= 10;
        r.millisecond = ms;
    }
    if (rest == "Z") rest.remove_prefix(1);
    if (!rest.empty()) return std::nullopt;
    if (!is_valid_date(r.year, r.month, r.day) || r.hour > 23 || r.minute > 59 || r.second > 59)
        return std::nullopt;
    return r;
}

}  // namespace tessaly

#include "format_fixed_standin.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace tessaly {

namespace {

// Exact decimal digits of |value|: 80 fraction digits cover every double
// that does not round to zero at the decimals the window uses.
std::string exact_digits(double magnitude) {
    std::vector<char> buf(400);  // 309 integer digits at most, the point, 80 decimals
    const int n = std::snprintf(buf.data(), buf.size(), "%.80f", magnitude);
    return std::string(buf.data(), std::size_t(n));
}

std::string scientific(double value, int precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", precision > 1 ? precision - 1 : 0, value);
    return buf;
}

}  // namespace

std::string FormatFixed(double value, int precision, int decimals) {
    if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
    if (precision < 1) precision = 1;
    if (decimals < 0) decimals = 0;
    const bool negative = std::signbit(value);
    const std::string text = exact_digits(std::fabs(value));
    const std::size_t point = text.find('.');
    std::string int_part = text.substr(0, point);
    std::string frac = text.substr(point + 1);
    int_part.erase(0, int_part.find_first_not_of('0'));  // "" for zero

    const int int_digits = int(int_part.size());
    if (int_digits > precision) return scientific(value, precision);

    // How many fraction digits survive both limits.
    int keep = decimals;
    if (int_digits > 0) {
        keep = std::min(keep, precision - int_digits);
    } else {
        const std::size_t first = frac.find_first_not_of('0');
        if (first != std::string::npos) keep = std::min(keep, int(first) + precision);
    }

    std::string digits = int_part + frac.substr(0, std::size_t(keep));
    if (frac[std::size_t(keep)] >= '5') {  // a tie or more: away from zero
        int i = int(digits.size()) - 1;
        for (; i >= 0 && digits[std::size_t(i)] == '9'; --i) digits[std::size_t(i)] = '0';
        if (i >= 0) {
            ++digits[std::size_t(i)];
        } else {
            digits.insert(digits.begin(), '1');
        }
    }
    std::string whole = digits.substr(0, digits.size() - std::size_t(keep));
    std::string fraction = digits.substr(digits.size() - std::size_t(keep));
    if (int(whole.size()) > precision) return scientific(value, precision);
    if (whole.empty()) whole = "0";
    fraction.append(std::size_t(decimals - keep), '0');

    const bool zero = whole.find_first_not_of('0') == std::string::npos &&
                      fraction.find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !zero) ? "-" : "";
    out += whole;
    if (decimals > 0) out += "." + fraction;
    return out;
}

}  // namespace tessaly

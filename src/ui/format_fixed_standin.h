#pragma once
// Stand-in for the shared fixed-point formatter until the decoder library
// provides it; same name and contract, removed when that one lands.
#include <string>

namespace tessaly {

// `value` rounded to at most `precision` significant digits and to
// `decimals` decimals (ties away from zero, on the exact binary value),
// written with exactly `decimals` digits after the point; scientific
// notation when the integer part needs more than `precision` digits.
std::string FormatFixed(double value, int precision, int decimals);

}  // namespace tessaly

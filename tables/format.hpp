#pragma once
// printf-style number text that never depends on the process locale: the
// decimal separator is always a point, the last digit rounded as printf does.

#include <string>

namespace crunchwatch {

// "%.Nf": fixed notation with `decimals` digits after the point ("nan", "inf"
// and "-inf" for the non-finite values, as printf writes them).
std::string formatFixed(double value, int decimals);

// A total for a counter: two decimals after a point, the integer digits in
// groups of three set apart by a narrow no-break space (U+202F), which no
// locale reads as a decimal separator ("1 334.75" never "1.334,75").
std::string formatGrouped(double value);

}  // namespace crunchwatch

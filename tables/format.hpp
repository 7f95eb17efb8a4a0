#pragma once
// printf-style number text that never depends on the process locale: the
// decimal separator is always a point, the last digit rounded as printf does.

#include <string>

namespace crunchwatch {

// "%.Nf": fixed notation with `decimals` digits after the point ("nan", "inf"
// and "-inf" for the non-finite values, as printf writes them).
std::string formatFixed(double value, int decimals);

}  // namespace crunchwatch

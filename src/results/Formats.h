// Number texts written to workbooks and shown in windows: the "####0.00" and "####0" patterns, shared by
// the summary window, the summary record and the trial rows.
#pragma once

#include <string>

namespace veltrum::results {

// `value` rounded to `decimals` places (0 to 15), halves away from zero, with at least one integer digit,
// no digit grouping and a minus sign only when the result is not zero. The value is first taken to 15
// significant digits, so 2.675 (stored as 2.67499999...) is written "2.68" as the operator would expect.
// Throws std::domain_error for NaN or infinity.
std::string formatFixed(double value, int decimals);

// The pattern "####0.00": 0.7 → "0.70", 12345.678 → "12345.68".
inline std::string formatTwoDecimals(double value) {
    return formatFixed(value, 2);
}

// The pattern "####0": 66.67 → "67", 12.5 → "13".
inline std::string formatWholeNumber(double value) {
    return formatFixed(value, 0);
}

} // namespace veltrum::results

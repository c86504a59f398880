#include "results/Formats.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace veltrum::results {

namespace {

// Adds one in the last place of a string of decimal digits; a carry out of the first digit prepends "1".
void incrementDigits(std::string& digits) {
    for (auto i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
}

} // namespace

std::string formatFixed(double value, int decimals) {
    if (!std::isfinite(value))
        throw std::domain_error("A number to be written is not finite.");
    if (decimals < 0 || decimals > 15)
        throw std::invalid_argument("formatFixed takes 0 to 15 decimals.");

    // 15 significant digits in scientific notation: "-d.dddddddddddddde+XX".
    char scientific[40];
    std::snprintf(scientific, sizeof scientific, "%.14e", std::fabs(value));
    const std::string text(scientific);
    const auto exponentAt = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, exponentAt - 2);
    long pointAt = std::strtol(text.c_str() + exponentAt + 1, nullptr, 10) + 1;

    if (pointAt <= 0) {
        digits.insert(0, static_cast<std::size_t>(1 - pointAt), '0');
        pointAt = 1;
    }
    const auto whole = static_cast<std::size_t>(pointAt);
    const auto wanted = whole + static_cast<std::size_t>(decimals);
    if (digits.size() < wanted + 1)
        digits.append(wanted + 1 - digits.size(), '0');

    const bool roundUp = digits[wanted] >= '5';
    digits.resize(wanted);
    if (roundUp)
        incrementDigits(digits);

    const std::size_t integerDigits = digits.size() - static_cast<std::size_t>(decimals);
    std::string integerPart = digits.substr(0, integerDigits);
    const std::string fraction = digits.substr(integerDigits);
    const auto firstSignificant = integerPart.find_first_not_of('0');
    integerPart = firstSignificant == std::string::npos ? "0" : integerPart.substr(firstSignificant);

    const bool isZero = digits.find_first_not_of('0') == std::string::npos;
    std::string result = (value < 0 && !isZero) ? "-" : "";
    result += integerPart;
    if (decimals > 0)
        result += "." + fraction;
    return result;
}

} // namespace veltrum::results

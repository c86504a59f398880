// The session's 16-bit signed integer: counters, flags and parameters that refuse to wrap.
#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltrum::forms {

// Raised when a value or a result leaves -32768..32767.
class OverflowError : public std::overflow_error {
public:
    using std::overflow_error::overflow_error;
};

// A 16-bit signed integer whose conversions and arithmetic throw OverflowError instead of wrapping.
class Int16 {
public:
    static constexpr std::int32_t minimum = -32768;
    static constexpr std::int32_t maximum = 32767;

    constexpr Int16() = default;
    template <std::integral T>
    requires(!std::same_as<T, bool>) constexpr Int16(
        T value) // NOLINT(google-explicit-constructor): counters are assigned literals
        : m_value(checked(static_cast<long long>(value), "the value")) {}

    // Rounds to the nearest integer, halves to the even neighbour; NaN and out-of-range values throw.
    static Int16 fromDouble(double value);

    constexpr std::int16_t value() const { return m_value; }
    constexpr int toInt() const { return m_value; }
    constexpr double toDouble() const { return m_value; }
    std::string toString() const { return std::to_string(m_value); }

    constexpr auto operator<=>(const Int16&) const = default;
    constexpr bool operator==(const Int16&) const = default;

    friend constexpr Int16 operator+(Int16 a, Int16 b) { return fromWide(a.toInt() + b.toInt(), a, "+", b); }
    friend constexpr Int16 operator-(Int16 a, Int16 b) { return fromWide(a.toInt() - b.toInt(), a, "-", b); }
    friend constexpr Int16 operator*(Int16 a, Int16 b) { return fromWide(a.toInt() * b.toInt(), a, "*", b); }
    constexpr Int16 operator-() const { return Int16() - *this; }
    constexpr Int16& operator+=(Int16 other) { return *this = *this + other; }
    constexpr Int16& operator-=(Int16 other) { return *this = *this - other; }
    constexpr Int16& operator++() { return *this += 1; }
    constexpr Int16& operator--() { return *this -= 1; }

private:
    static constexpr std::int16_t checked(long long value, const char* what) {
        if (value < minimum || value > maximum)
            throwOverflow(std::string(what) + " " + std::to_string(value));
        return static_cast<std::int16_t>(value);
    }
    static constexpr Int16 fromWide(int result, Int16 a, const char* op, Int16 b) {
        if (result < minimum || result > maximum)
            throwOverflow(a.toString() + " " + op + " " + b.toString() + " = " + std::to_string(result));
        Int16 out;
        out.m_value = static_cast<std::int16_t>(result);
        return out;
    }
    [[noreturn]] static void throwOverflow(const std::string& what) {
        throw OverflowError("Overflow: " + what + " is outside the 16-bit range -32768 to 32767.");
    }

    std::int16_t m_value = 0;
};

} // namespace veltrum::forms

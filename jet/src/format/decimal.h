// Exact decimal numbers as text ("-12.3400", "0.5", "1.5E-5"): the form of
// Decimal (Numeric) values, read and compared without going through a double.
#pragma once

#include <optional>
#include <string>

namespace jet::detail {

// A decimal number as its significant digits: the value is 0.DIGITS times
// 10^point, negative or not. Leading and trailing zeros are dropped, so zero
// has no digits (and is never negative).
struct DecimalDigits {
    bool negative = false;
    std::string digits;
    long point = 0;
};

// "[+-]digits[.digits][(e|E)[+-]digits]" with at least one digit before the
// exponent; nothing else (no spaces, no comma, no thousands separator).
std::optional<DecimalDigits> parseDecimal(const std::string& text);

// <0, 0 or >0, exactly.
int compareDecimals(const DecimalDigits& a, const DecimalDigits& b);

} // namespace jet::detail

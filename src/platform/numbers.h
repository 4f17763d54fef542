#pragma once
// Reading the numbers users type, the way the start, duration and bit-rate rules need.

#include <QString>

#include <optional>

namespace Numbers {

// The value of a text that reads as a number (sign, digits, decimal point, exponent,
// blanks around it; the user's locale or the C locale). None for "" or anything else.
std::optional<double> Read(const QString &text);
// Nearest whole number, halves to the even neighbour (2.5 -> 2, 1.5 -> 2, 0.5 -> 0).
double RoundHalfEven(double value);
// RoundHalfEven into a 16-bit signed whole number; throws AppError("Overflow") outside it.
int ToInteger16(double value);

} // namespace Numbers

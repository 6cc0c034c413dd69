#include "core/data/numbers.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace kx {
namespace {

template <typename Int>
Int roundTo(double value) {
    const double rounded = std::nearbyint(value);  // the default rounding mode rounds halves to even
    if (!(rounded >= std::numeric_limits<Int>::min() && rounded <= std::numeric_limits<Int>::max()))
        throw std::overflow_error("Overflow: " + std::to_string(value) + " does not fit the target integer");
    return static_cast<Int>(rounded);
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || (c >= QLatin1Char('\t') && c <= QLatin1Char('\r'));
}

bool isSign(QChar c) {
    return c == QLatin1Char('+') || c == QLatin1Char('-');
}

/// The position after the digits of `text` from `i` on.
qsizetype skipDigits(const QString& text, qsizetype i) {
    while (i < text.size() && isDigit(text[i])) ++i;
    return i;
}

/// The position after an exponent ("e-5", "E+12") starting at `i`, or `i` when none starts there.
qsizetype skipExponent(const QString& text, qsizetype i) {
    if (i >= text.size() || (text[i] != QLatin1Char('e') && text[i] != QLatin1Char('E'))) return i;
    qsizetype j = i + 1;
    if (j < text.size() && isSign(text[j])) ++j;
    const qsizetype digitsEnd = skipDigits(text, j);
    return digitsEnd > j ? digitsEnd : i;
}

}  // namespace

double leadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    const qsizetype start = i;
    if (i < text.size() && isSign(text[i])) ++i;
    const qsizetype integerEnd = skipDigits(text, i);
    qsizetype digits = integerEnd - i;
    i = integerEnd;
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        const qsizetype fractionEnd = skipDigits(text, i + 1);
        digits += fractionEnd - (i + 1);
        i = fractionEnd;
    }
    if (digits == 0) return 0;
    // Numbers the database writes in their shortest form carry an exponent when very large or small.
    i = skipExponent(text, i);
    return text.mid(start, i - start).toDouble();
}

QString formatTwoDecimals(double value) {
    // Adding 0.0 turns a negative zero, which would print as "-0.00", into zero.
    return QString::number(std::round(value * 100.0) / 100.0 + 0.0, 'f', 2);
}

qint32 roundToInt32(double value) {
    return roundTo<qint32>(value);
}

qint16 roundToInt16(double value) {
    return roundTo<qint16>(value);
}

}  // namespace kx

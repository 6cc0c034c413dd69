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

}  // namespace

double leadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t'))) ++i;
    const qsizetype start = i;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
    const qsizetype digitsStart = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    qsizetype digits = i - digitsStart;
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        const qsizetype fractionStart = ++i;
        while (i < text.size() && isDigit(text[i])) ++i;
        digits += i - fractionStart;
    }
    if (digits == 0) return 0;
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

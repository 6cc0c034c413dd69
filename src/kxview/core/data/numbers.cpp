#include "core/data/numbers.h"

#include "core/db/dbengine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
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

/// The value of `text`'s digits from `begin` to `end` with `fractionDigits` of them after the point, when
/// there are at most 15 of them: then the whole digits and the power of ten are exact doubles, and one IEEE
/// division rounds correctly, as the full decimal reader would. Otherwise nothing.
std::optional<double> shortDecimal(const QString& text, qsizetype begin, qsizetype end, int fractionDigits) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (end - begin - (fractionDigits > 0 ? 1 : 0) > 15) return std::nullopt;
    qint64 digits = 0;
    for (qsizetype i = begin; i < end; ++i) {
        if (text[i] != QLatin1Char('.')) digits = digits * 10 + (text[i].unicode() - u'0');
    }
    return static_cast<double>(digits) / kPowersOfTen[fractionDigits];
}

}  // namespace

double leadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    const qsizetype start = i;
    if (i < text.size() && isSign(text[i])) ++i;
    const qsizetype digitsStart = i;
    const qsizetype integerEnd = skipDigits(text, i);
    qsizetype digits = integerEnd - i;
    i = integerEnd;
    qsizetype fractionDigits = 0;
    if (i < text.size() && text[i] == QLatin1Char('.')) {
        const qsizetype fractionEnd = skipDigits(text, i + 1);
        fractionDigits = fractionEnd - (i + 1);
        digits += fractionDigits;
        i = fractionEnd;
    }
    if (digits == 0) return 0;
    // Numbers the database writes in their shortest form carry an exponent when very large or small.
    const qsizetype end = skipExponent(text, i);
    if (end == i) {
        // IDs and prices are short plain decimals: read them without the general decimal reader.
        if (std::optional<double> plain =
                shortDecimal(text, digitsStart, end, static_cast<int>(fractionDigits)))
            return text[start] == QLatin1Char('-') ? -*plain : *plain;
    }
    return text.mid(start, end - start).toDouble();
}

QString formatTwoDecimals(double value) {
    const double hundredths = std::round(value * 100.0);
    // Below 10^12 hundredths, hundredths / 100 lies within a millionth of the decimal those hundredths
    // write, so it prints as exactly their digits: write them directly, a price column's worth of cells
    // at a time. Zero is written without a sign.
    if (std::fabs(hundredths) < 1e12) {
        const qint64 whole = static_cast<qint64>(std::fabs(hundredths));
        const qint64 units = whole / 100;
        const int cents = static_cast<int>(whole % 100);
        QString text = QString::number(hundredths < 0 ? -units : units);
        if (hundredths < 0 && units == 0) text.prepend(QLatin1Char('-'));
        text += QLatin1Char('.');
        text += QLatin1Char(static_cast<char>('0' + cents / 10));
        text += QLatin1Char(static_cast<char>('0' + cents % 10));
        return text;
    }
    // Adding 0.0 turns a negative zero, which would print as "-0.00", into zero.
    return QString::number(hundredths / 100.0 + 0.0, 'f', 2);
}

namespace {

/// The number a stored value's text reads back as, where that is the value itself; nothing where the text
/// must be read (floats and doubles lose digits in their text, other kinds are not plain numbers).
std::optional<double> numberAsTextReadsBack(const jet::Value& value) {
    if (const auto* whole = std::get_if<int64_t>(&value)) return static_cast<double>(*whole);
    // Currency's text carries 19 digits, enough for its double to read back unchanged.
    if (const auto* money = std::get_if<jet::Currency>(&value))
        return static_cast<double>(money->scaled) / 10000.0;
    return std::nullopt;
}

/// True when `value` and anything its 15-digit text reads back as round to the same hundredths: the text
/// moves it by at most 5e-15 of itself, and the hundredths change only across a half cent.
bool hundredthsSurviveItsText(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 1e13) return false;
    const double hundredths = value * 100.0;
    const double fromHalf = std::fabs(hundredths - std::floor(hundredths) - 0.5);
    return fromHalf > 1e-12 * std::max(1.0, std::fabs(hundredths));
}

}  // namespace

QString twoDecimalsOfStored(const jet::Value& value) {
    if (std::optional<double> number = numberAsTextReadsBack(value)) return formatTwoDecimals(*number);
    if (const auto* real = std::get_if<double>(&value); real && hundredthsSurviveItsText(*real))
        return formatTwoDecimals(*real);
    return formatTwoDecimals(leadingNumber(valueText(value)));
}

qint32 roundToInt32(double value) {
    return roundTo<qint32>(value);
}

qint16 roundToInt16(double value) {
    return roundTo<qint16>(value);
}

}  // namespace kx

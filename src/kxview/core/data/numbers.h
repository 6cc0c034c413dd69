// Numbers read back from text: the leading decimal number of a text, and its rounding to the integer
// widths the component's procedures use. One reader serves every caller: grid cells, prices, versions,
// manifest flags and change-line markers.
#pragma once

#include <QString>
#include <QtGlobal>
#include "kxview/kxview_core_export.h"

#include "jet/value.h"

namespace kx {

/// The leading decimal number of `text`, as numbers are read back from cells, keys and attributes: leading
/// blanks (space, tab, line breaks) skipped, an optional sign, digits with an optional decimal part, and an
/// optional exponent ("12abc" gives 12, " -3.5x" gives -3.5, "1e-05" gives 0.00001, "1.0" and "1.00" both
/// give 1); 0 when the text does not start with one. Too large a number gives an infinity, which the
/// rounding functions below refuse.
KXVIEW_CORE_EXPORT double leadingNumber(const QString& text);

/// `value` with two decimals, as the format "0.00" writes it: rounded half away from zero, no thousands
/// separator ("12.5" gives "12.50", 0.125 gives "0.13").
KXVIEW_CORE_EXPORT QString formatTwoDecimals(double value);

/// The two-decimal text of a stored value as its text reads back: always
/// formatTwoDecimals(leadingNumber(valueText(value))), but without making and reading the text where the
/// number alone decides the result (whole numbers, currency, and doubles not within rounding distance of a
/// half cent).
KXVIEW_CORE_EXPORT QString twoDecimalsOfStored(const jet::Value& value);

/// `value` rounded to the nearest 32-bit integer, halves to even; std::overflow_error when out of range.
KXVIEW_CORE_EXPORT qint32 roundToInt32(double value);
/// `value` rounded to the nearest 16-bit integer, halves to even; std::overflow_error when out of range.
KXVIEW_CORE_EXPORT qint16 roundToInt16(double value);

}  // namespace kx

// Numbers read back from text: the leading decimal number of a text, and its rounding to the integer
// widths the component's procedures use.
#pragma once

#include <QString>
#include <QtGlobal>
#include "kxview/kxview_core_export.h"

namespace kx {

/// The leading decimal number of `text`: leading blanks skipped, an optional sign, digits and an
/// optional decimal part ("12abc" gives 12, " -3.5x" gives -3.5); 0 when the text does not start with
/// one.
KXVIEW_CORE_EXPORT double leadingNumber(const QString& text);

/// `value` with two decimals, as the format "0.00" writes it: rounded half away from zero, no thousands
/// separator ("12.5" gives "12.50", 0.125 gives "0.13").
KXVIEW_CORE_EXPORT QString formatTwoDecimals(double value);

/// `value` rounded to the nearest 32-bit integer, halves to even; std::overflow_error when out of range.
KXVIEW_CORE_EXPORT qint32 roundToInt32(double value);
/// `value` rounded to the nearest 16-bit integer, halves to even; std::overflow_error when out of range.
KXVIEW_CORE_EXPORT qint16 roundToInt16(double value);

}  // namespace kx

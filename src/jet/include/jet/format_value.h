// Text forms of values: the CSV export format shared by the command-line tool and the SQL layer.
#pragma once

#include <string>
#include <string_view>

#include "jet/value.h"

namespace jet {

/// Appends `v` as one CSV field (RFC 4180): Null as an empty unquoted field, text always double-quoted
/// with inner quotes doubled, integers in decimal, floating values in shortest round-trip form,
/// currency with 4 decimals, booleans 1 or 0, dates as YYYY-MM-DD HH:MM:SS, bytes as lowercase hex.
void appendCsvField(std::string& out, const Value& v);

/// Appends a quoted CSV text field.
void appendCsvText(std::string& out, std::string_view text);

/// "YYYY-MM-DD HH:MM:SS" for a date/time (rounded to the nearest second).
std::string formatDateTime(DateTime d);
/// Appends the same to `out`.
void appendDateTime(std::string& out, DateTime d);

/// The decimal text of a scaled decimal ("-12.3400" for scale 4).
std::string formatDecimal(const Decimal& d);

/// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in the conventional GUID text form.
std::string formatGuid(const Guid& g);

/// Three-way comparison used where values are ordered or matched without an index: Null first,
/// numbers by value, text without regard to ASCII case, bytes bytewise. Values of unrelated kinds
/// compare by kind.
int compareValues(const Value& a, const Value& b);

}  // namespace jet

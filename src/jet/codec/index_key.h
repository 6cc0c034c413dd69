// Index keys: the byte strings by which Jet orders the entries of an index B-tree.
//
// An index entry is the concatenation of one encoded key per index column followed by the row pointer. Keys
// compare as plain unsigned byte strings, so the engine can seek an index by encoding the value it looks for
// and comparing bytes. docs/index-keys.md describes the format.
#pragma once

#include <cstdint>
#include <string>

#include "jet/status.h"
#include "jet/value.h"

namespace jet {

/// Which text-key encoding an index column uses; decided from the file format and the column's sort order.
enum class TextKeyCollation : uint8_t {
    General97,      // Jet 3 "General"
    GeneralLegacy,  // Jet 4 "General" (sort order 1033, version 0): every BMP character
    ChinesePrc,     // Jet 4 "Chinese PRC" (2052, version 0): only text whose keys equal the General ones
    Unsupported,    // any other sort order: its keys cannot be built
};

/// Chooses the collation for a column: jet3 flag, the column's sort-order id (LCID, e.g. 1033, 0x409) and
/// sort version byte (ignored for Jet 3, which stores none). Chinese PRC is recognised in Jet 4 files only.
TextKeyCollation textKeyCollation(bool jet3, uint16_t sortOrderId, uint8_t sortVersion);

/// Appends the encoded key of one index column (its leading flag byte included) for value v of column type
/// `type`. ascending=false gives the descending form. Null gives the null flag alone, except for Boolean,
/// which has no null key and encodes Null as false. Text/Memo under an Unsupported collation, or with a
/// character the collation has no known key for (beyond the BMP; under ChinesePrc anything but ASCII
/// letters, digits, space, '.' and '@'), gives Status::NotSupported naming it; a value whose alternative does
/// not fit the column type gives InvalidArgument. On any error `out` is left unchanged.
///
/// Numeric (Decimal) values must already carry the column's scale; their descending form is Jet 4's, which
/// differs from that of later formats.
Status appendIndexKey(std::string& out, const Value& v, ColumnType type, bool ascending,
                      TextKeyCollation collation);

/// Index key flag bytes: the first byte of every column key.
namespace keyflag {
inline constexpr uint8_t kAscendingValue = 0x7F;
inline constexpr uint8_t kDescendingValue = 0x80;
inline constexpr uint8_t kAscendingNull = 0x00;
inline constexpr uint8_t kDescendingNull = 0xFF;
}  // namespace keyflag

/// The number of characters of a text value that take part in its key; the rest is ignored.
inline constexpr size_t kMaxIndexedTextChars = 255;

}  // namespace jet

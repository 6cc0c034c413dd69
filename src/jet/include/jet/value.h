// Column types and the values read from or written to them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet {

/// Column type codes as stored in a table definition.
enum class ColumnType : uint8_t {
    Boolean = 0x01,
    Byte = 0x02,
    Integer = 0x03,   // 16-bit signed
    Long = 0x04,      // 32-bit signed (also autonumber)
    Currency = 0x05,  // 64-bit signed, scaled by 10,000
    Single = 0x06,
    Double = 0x07,
    DateTime = 0x08,  // days since 1899-12-30 as a double
    Binary = 0x09,
    Text = 0x0A,
    Ole = 0x0B,        // long binary
    Memo = 0x0C,       // long text
    Unknown0D = 0x0D,  // undocumented variable binary used by system tables
    Guid = 0x0F,
    Numeric = 0x10,    // scaled 128-bit decimal
    Unknown11 = 0x11,  // undocumented variable binary used by system tables
    Complex = 0x12,    // ACE attachment / multi-value reference (a 32-bit id)
    BigInt = 0x13,     // ACE 64-bit signed
};

/// What the engine knows of a column type; one table holds it for every type.
struct ColumnTypeTraits {
    std::string_view name;  ///< display name ("Long", "Text", ...), "Unknown" for unknown codes
    uint16_t fixedWidth;    ///< bytes in a row's fixed area; 0 when stored elsewhere or as wide as declared
    bool variable;          ///< stored as a variable-length field
    bool creatable;         ///< the writer can create columns of the type and store their values
    bool longValue;         ///< Memo and Ole: values kept in long-value storage
    bool text;              ///< Text and Memo
};

/// The traits of `type`; unknown codes get a row of their own named "Unknown".
const ColumnTypeTraits& columnTypeTraits(ColumnType type);

/// The display name of a column type ("Long", "Text", ...), or "Unknown".
inline std::string_view columnTypeName(ColumnType type) {
    return columnTypeTraits(type).name;
}
/// True for Memo and Ole, whose values live in long-value storage.
inline bool isLongValueType(ColumnType type) {
    return columnTypeTraits(type).longValue;
}
/// True for Text and Memo.
inline bool isTextType(ColumnType type) {
    return columnTypeTraits(type).text;
}

/// Fixed-point currency: the stored 64-bit integer, in units of 1/10,000.
struct Currency {
    int64_t scaled = 0;
    bool operator==(const Currency&) const = default;
};

/// Date/time as Jet stores it: days since 1899-12-30, the fraction being the time of day.
struct DateTime {
    double days = 0;
    bool operator==(const DateTime&) const = default;
};

/// A GUID in its stored byte order (first three groups little-endian).
struct Guid {
    std::array<uint8_t, 16> bytes{};
    bool operator==(const Guid&) const = default;
};

/// A scaled decimal: sign, 128-bit magnitude (hi, lo) and the number of digits after the point.
struct Decimal {
    bool negative = false;
    uint64_t hi = 0;
    uint64_t lo = 0;
    uint8_t scale = 0;
    bool operator==(const Decimal&) const = default;
};

/// Raw bytes of Binary and Ole values.
using Bytes = std::vector<uint8_t>;

/// One field's value. std::monostate is Null; integers of every width are int64_t; text is UTF-8.
using Value = std::variant<std::monostate, bool, int64_t, Currency, float, double, DateTime, std::string,
                           Bytes, Guid, Decimal>;

/// True for the Null value.
inline bool isNull(const Value& v) {
    return std::holds_alternative<std::monostate>(v);
}

}  // namespace jet

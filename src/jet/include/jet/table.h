// Table definitions as stored in a database: columns, indexes and the counters of a table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/value.h"

namespace jet {

/// A page and a row slot on it: how rows, long values and index entries point at each other.
struct RowId {
    uint32_t page = 0;
    uint8_t row = 0;
    bool operator==(const RowId&) const = default;
    auto operator<=>(const RowId&) const = default;
    /// The stored 4-byte form: row number in the low byte, page above it.
    uint32_t packed() const { return (page << 8) | row; }
    static RowId fromPacked(uint32_t v) { return RowId{v >> 8, static_cast<uint8_t>(v & 0xFF)}; }
};

/// Column flag bits of a table definition.
namespace ColumnFlag {
inline constexpr uint8_t Fixed = 0x01;
inline constexpr uint8_t Nullable = 0x02;
inline constexpr uint8_t AutoLong = 0x04;
inline constexpr uint8_t Replication = 0x10;
inline constexpr uint8_t AutoGuid = 0x40;
inline constexpr uint8_t Hyperlink = 0x80;
}  // namespace ColumnFlag

/// A text sort order: the locale id (1033 General, 2052 Chinese PRC, ...) and its version byte.
struct SortOrder {
    uint16_t id = 0;
    uint8_t version = 0;
    bool operator==(const SortOrder&) const = default;
};

/// One column of a table.
struct ColumnDef {
    std::string name;
    ColumnType type = ColumnType::Text;
    uint16_t number = 0;       // position in rows and null masks; deleted columns leave gaps
    uint16_t varIndex = 0;     // slot in the variable-offset table (variable columns)
    uint16_t fixedOffset = 0;  // offset in the fixed area (fixed columns)
    uint16_t length = 0;       // bytes; 0 for long values
    uint8_t flags = 0;
    bool compressedUnicode = false;
    SortOrder sortOrder;    // text columns
    uint8_t precision = 0;  // numeric columns
    uint8_t scale = 0;

    bool isFixed() const { return (flags & ColumnFlag::Fixed) != 0; }
    bool isAutoNumber() const { return (flags & (ColumnFlag::AutoLong | ColumnFlag::AutoGuid)) != 0; }
};

/// One column of an index key.
struct IndexColumn {
    size_t column = 0;  // position in TableDef::columns
    bool ascending = true;
};

/// Index flag bits.
namespace IndexFlag {
inline constexpr uint8_t Unique = 0x01;
inline constexpr uint8_t IgnoreNulls = 0x02;
inline constexpr uint8_t Required = 0x08;
}  // namespace IndexFlag

/// A physical index: the B-tree that holds the keys.
struct RealIndexDef {
    std::vector<IndexColumn> columns;
    uint32_t usedPagesRef = 0;  // packed RowId of its usage map
    uint32_t rootPage = 0;
    uint8_t flags = 0;
    uint32_t entryCount = 0;
    bool unique() const { return (flags & IndexFlag::Unique) != 0; }
};

/// A logical index as Access shows it; several may share one physical index.
struct IndexDef {
    enum class Kind : uint8_t { Normal = 0, Primary = 1, ForeignKey = 2 };
    std::string name;
    uint32_t number = 0;
    uint32_t realIndex = 0;  // position in TableDef::realIndexes
    Kind kind = Kind::Normal;
};

/// A table's definition and counters.
struct TableDef {
    std::string name;
    uint32_t definitionPage = 0;
    bool system = false;
    uint32_t rowCount = 0;
    uint32_t autoNumber = 0;  // last value handed out (may be below stored keys)
    uint16_t maxColumns = 0;
    uint16_t variableColumns = 0;
    uint32_t usedPagesRef = 0;  // packed RowId of the owned-pages map
    uint32_t freePagesRef = 0;  // packed RowId of the free-space map
    std::vector<ColumnDef> columns;
    std::vector<RealIndexDef> realIndexes;
    std::vector<IndexDef> indexes;

    /// The position of the column named `name` (case-insensitive ASCII), or -1.
    int columnIndex(std::string_view name) const;
    /// The logical index named `name` (case-insensitive ASCII), or nullptr.
    const IndexDef* findIndex(std::string_view name) const;
};

/// Case-insensitive comparison of ASCII letters; other bytes compare exactly.
bool equalsIgnoreCase(std::string_view a, std::string_view b);
/// `name` with ASCII letters upper-cased: one key for the names equalsIgnoreCase finds equal.
std::string upperAscii(std::string_view name);

}  // namespace jet

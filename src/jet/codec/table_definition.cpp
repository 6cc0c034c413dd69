#include "codec/table_definition.h"

#include <algorithm>
#include <unordered_set>

#include "core/text.h"

namespace jet {
namespace {

constexpr uint32_t kPageHeaderSize = 8;  // type, a flag, free space, next page
constexpr uint32_t kFreeSpaceOffset = 2;
constexpr uint32_t kNextPageOffset = 4;
constexpr uint32_t kLengthOffset = 8;
constexpr uint32_t kSlotEntryCountOffset = 4;  // in a physical index's slot after the header
constexpr size_t kMaxIndexColumns = 10;
constexpr size_t kIndexColumnSize = 3;  // column number, then 1 ascending or 2 descending
constexpr uint16_t kNoColumn = 0xFFFF;
constexpr uint16_t kEndOfMaps = 0xFFFF;
constexpr size_t kLongValueMapsSize = 10;
constexpr uint32_t kLogicalRelatedIndexOffset = 9;  // after the index number, in both formats

// What only Jet 4 definitions hold, at offsets the encoder alone needs.
constexpr uint32_t kJet4AutoNumberFlagOffset = 24;
constexpr uint32_t kJet4ColumnNumberCopyOffset = 9;  // the column number, stored a second time
constexpr uint32_t kJet4RealIndexMagic = 0x0783;
constexpr uint8_t kUserTable = 0x4E;
constexpr uint8_t kSystemTable = 0x53;

// Reads a run of `count` length-prefixed names from `pos`, moving it past them.
Status readNames(ByteView tdef, size_t& pos, size_t count, const FormatLayout& L, const NameDecoder& decode,
                 std::vector<std::string>& names, const char* what) {
    names.clear();
    for (size_t i = 0; i < count; ++i) {
        size_t length = 0;
        if (L.nameLengthSize == 1) {
            JET_ASSIGN_OR_RETURN(length, tdef.u8(pos, what));
        } else {
            JET_ASSIGN_OR_RETURN(length, tdef.u16(pos, what));
        }
        pos += L.nameLengthSize;
        JET_ASSIGN_OR_RETURN(ByteView raw, tdef.slice(pos, length, what));
        names.push_back(decode(raw));
        pos += length;
    }
    return {};
}

void decodeColumn(const uint8_t* e, const FormatLayout& L, ColumnDef& c) {
    c.type = static_cast<ColumnType>(e[0]);
    c.number = ByteView::load16(e + L.columnNumberOffset);
    c.varIndex = ByteView::load16(e + L.columnVarOffsetOffset);
    c.flags = e[L.columnFlagsOffset];
    c.fixedOffset = ByteView::load16(e + L.columnFixedOffsetOffset);
    c.length = ByteView::load16(e + L.columnLengthOffset);
    if (L.columnCompressedOffset != 0) c.compressedUnicode = (e[L.columnCompressedOffset] & 0x01) != 0;
    if (c.type == ColumnType::Numeric) {
        c.precision = e[L.columnMiscOffset];
        c.scale = e[L.columnMiscOffset + 1];
    } else if (isTextType(c.type)) {
        c.sortOrder.id = ByteView::load16(e + L.columnMiscOffset);
        if (L.columnSortVersionOffset != 0) c.sortOrder.version = e[L.columnSortVersionOffset];
    }
}

Status decodeRealIndex(ByteView e, const FormatLayout& L, const std::vector<ColumnDef>& columns,
                       RealIndexDef& real) {
    const uint8_t* cols = e.data() + L.realIndexColumnsOffset;
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
        uint16_t number = ByteView::load16(cols + kIndexColumnSize * k);
        if (number == kNoColumn) continue;
        auto it = std::find_if(columns.begin(), columns.end(),
                               [number](const ColumnDef& c) { return c.number == number; });
        if (it == columns.end())
            return Status::Corruption("index refers to missing column " + std::to_string(number));
        real.columns.push_back(
            {static_cast<size_t>(it - columns.begin()), cols[kIndexColumnSize * k + 2] == 0x01});
    }
    const uint8_t* tail = cols + kIndexColumnSize * kMaxIndexColumns;
    real.usedPagesRef = ByteView::load32(tail);
    real.rootPage = ByteView::load32(tail + 4);
    real.flags = e.data()[L.realIndexFlagsOffset];
    return {};
}

// Each column stored in the variable area has a slot of its own among the table's variable columns. A
// fixed-width column that lost its Fixed flag claims the slot of the variable column after it, or one
// past the last: its values would be read out of another column's bytes.
Status checkVariableSlots(const TableDef& def) {
    std::vector<const ColumnDef*> owner(def.variableColumns, nullptr);
    for (const ColumnDef& c : def.columns) {
        if (c.isFixed() || c.type == ColumnType::Boolean) continue;
        if (c.varIndex >= owner.size()) {
            return Status::Corruption("column " + c.name + " claims variable slot " +
                                      std::to_string(c.varIndex) + " of " + std::to_string(owner.size()) +
                                      ": a fixed-width column may have lost its Fixed flag");
        }
        if (owner[c.varIndex] != nullptr) {
            return Status::Corruption("columns " + owner[c.varIndex]->name + " and " + c.name +
                                      " claim the same variable slot " + std::to_string(c.varIndex) +
                                      ": a fixed-width column may have lost its Fixed flag");
        }
        owner[c.varIndex] = &c;
    }
    return {};
}

Status decodeBody(ByteView tdef, const FormatLayout& L, const NameDecoder& decodeName,
                  DecodedDefinition& out) {
    TableDef& def = out.def;
    JET_ASSIGN_OR_RETURN(def.rowCount, tdef.u32(L.tdefRowCountOffset, "row count"));
    JET_ASSIGN_OR_RETURN(def.autoNumber, tdef.u32(L.tdefAutoNumberOffset, "autonumber"));
    JET_ASSIGN_OR_RETURN(def.maxColumns, tdef.u16(L.tdefMaxColsOffset, "column maximum"));
    JET_ASSIGN_OR_RETURN(def.variableColumns, tdef.u16(L.tdefVarColsOffset, "variable column count"));
    JET_ASSIGN_OR_RETURN(uint16_t columnCount, tdef.u16(L.tdefColumnCountOffset, "column count"));
    JET_ASSIGN_OR_RETURN(uint32_t indexCount, tdef.u32(L.tdefIndexCountOffset, "index count"));
    JET_ASSIGN_OR_RETURN(uint32_t realIndexCount, tdef.u32(L.tdefRealIndexCountOffset, "index count"));
    JET_ASSIGN_OR_RETURN(def.usedPagesRef, tdef.u32(L.tdefUsedPagesOffset, "usage map"));
    JET_ASSIGN_OR_RETURN(def.freePagesRef, tdef.u32(L.tdefFreePagesOffset, "free-space map"));
    // Counts bounded by what could physically fit keep a damaged definition from allocating wildly.
    if (realIndexCount > tdef.size() / L.realIndexEntrySize || indexCount > tdef.size() / 8 ||
        columnCount > tdef.size() / L.columnEntrySize) {
        return Status::Corruption("column or index count exceeds the definition's size");
    }

    size_t pos = L.tdefBlockEnd;
    def.realIndexes.resize(realIndexCount);
    for (RealIndexDef& real : def.realIndexes) {
        JET_ASSIGN_OR_RETURN(real.entryCount, tdef.u32(pos + kSlotEntryCountOffset, "index entry count"));
        pos += L.realIndexSlotSize;
    }

    JET_ASSIGN_OR_RETURN(ByteView columnArea,
                         tdef.slice(pos, size_t{columnCount} * L.columnEntrySize, "column entries"));
    def.columns.resize(columnCount);
    for (size_t i = 0; i < columnCount; ++i)
        decodeColumn(columnArea.data() + i * L.columnEntrySize, L, def.columns[i]);
    pos += size_t{columnCount} * L.columnEntrySize;

    std::vector<std::string> names;
    JET_RETURN_IF_ERROR(readNames(tdef, pos, columnCount, L, decodeName, names, "column name"));
    for (size_t i = 0; i < columnCount; ++i) def.columns[i].name = std::move(names[i]);
    std::stable_sort(def.columns.begin(), def.columns.end(),
                     [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
    JET_RETURN_IF_ERROR(checkVariableSlots(def));

    for (RealIndexDef& real : def.realIndexes) {
        JET_ASSIGN_OR_RETURN(ByteView e, tdef.slice(pos, L.realIndexEntrySize, "index definition"));
        JET_RETURN_IF_ERROR(decodeRealIndex(e, L, def.columns, real));
        pos += L.realIndexEntrySize;
    }

    def.indexes.resize(indexCount);
    for (IndexDef& index : def.indexes) {
        JET_ASSIGN_OR_RETURN(ByteView e, tdef.slice(pos, L.logicalIndexEntrySize, "index entry"));
        const uint8_t* p = e.data() + L.logicalIndexNumberOffset;
        index.number = ByteView::load32(p);
        index.realIndex = ByteView::load32(p + 4);
        if (index.realIndex >= realIndexCount) {
            return Status::Corruption("index refers to missing physical index " +
                                      std::to_string(index.realIndex));
        }
        index.kind = static_cast<IndexDef::Kind>(e.data()[L.logicalIndexTypeOffset]);
        pos += L.logicalIndexEntrySize;
    }
    JET_RETURN_IF_ERROR(readNames(tdef, pos, indexCount, L, decodeName, names, "index name"));
    for (size_t i = 0; i < indexCount; ++i) def.indexes[i].name = std::move(names[i]);
    out.tail = pos;
    return {};
}

// Appends a fixed-size entry and returns where it starts.
uint8_t* appendEntry(std::vector<uint8_t>& out, size_t size) {
    out.resize(out.size() + size, 0);
    return out.data() + out.size() - size;
}

std::vector<uint8_t> columnEntry(const ColumnDef& c, const FormatLayout& L) {
    std::vector<uint8_t> entry(L.columnEntrySize, 0);
    uint8_t* e = entry.data();
    e[0] = static_cast<uint8_t>(c.type);
    store16(e + L.columnNumberOffset, c.number);
    store16(e + L.columnVarOffsetOffset, c.varIndex);
    store16(e + kJet4ColumnNumberCopyOffset, c.number);
    if (c.type == ColumnType::Numeric) {
        e[L.columnMiscOffset] = c.precision;
        e[L.columnMiscOffset + 1] = c.scale;
    } else {
        store16(e + L.columnMiscOffset, c.sortOrder.id);
        e[L.columnSortVersionOffset] = c.sortOrder.version;
    }
    e[L.columnFlagsOffset] = c.flags;
    e[L.columnCompressedOffset] = c.compressedUnicode ? 1 : 0;
    store16(e + L.columnFixedOffsetOffset, c.fixedOffset);
    store16(e + L.columnLengthOffset, c.length);
    return entry;
}

void putRealIndex(std::vector<uint8_t>& out, const TableDef& def, const RealIndexDef& real,
                  const FormatLayout& L) {
    uint8_t* e = appendEntry(out, L.realIndexEntrySize);
    store32(e, kJet4RealIndexMagic);
    uint8_t* cols = e + L.realIndexColumnsOffset;
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
        uint8_t* col = cols + kIndexColumnSize * k;
        if (k >= real.columns.size()) {
            store16(col, kNoColumn);
            continue;
        }
        store16(col, def.columns[real.columns[k].column].number);
        col[2] = real.columns[k].ascending ? 1 : 2;
    }
    uint8_t* tail = cols + kIndexColumnSize * kMaxIndexColumns;
    store32(tail, real.usedPagesRef);
    store32(tail + 4, real.rootPage);
    e[L.realIndexFlagsOffset] = real.flags;
}

void putLogicalIndex(std::vector<uint8_t>& out, const IndexDef& index, const FormatLayout& L) {
    uint8_t* e = appendEntry(out, L.logicalIndexEntrySize);
    uint8_t* p = e + L.logicalIndexNumberOffset;
    store32(p, index.number);
    store32(p + 4, index.realIndex);
    store32(p + kLogicalRelatedIndexOffset, 0xFFFFFFFF);  // no relationship
    e[L.logicalIndexTypeOffset] = static_cast<uint8_t>(index.kind);
}

Status putName(std::vector<uint8_t>& out, const std::string& name) {
    JET_ASSIGN_OR_RETURN(std::string units, utf8ToUtf16le(name));
    store16(appendEntry(out, 2), static_cast<uint16_t>(units.size()));
    out.insert(out.end(), units.begin(), units.end());
    return {};
}

void putHeader(std::vector<uint8_t>& out, const TableDef& def, bool system, const FormatLayout& L) {
    out.assign(L.tdefBlockEnd, 0);
    uint8_t* h = out.data();
    h[0] = PageType::TableDefinition;
    h[1] = 0x01;
    store32(h + L.tdefRowCountOffset, def.rowCount);
    store32(h + L.tdefAutoNumberOffset, def.autoNumber);
    h[kJet4AutoNumberFlagOffset] = 1;
    h[L.tdefTableTypeOffset] = system ? kSystemTable : kUserTable;
    store16(h + L.tdefMaxColsOffset, def.maxColumns);
    store16(h + L.tdefVarColsOffset, def.variableColumns);
    store16(h + L.tdefColumnCountOffset, static_cast<uint16_t>(def.columns.size()));
    store32(h + L.tdefIndexCountOffset, static_cast<uint32_t>(def.indexes.size()));
    store32(h + L.tdefRealIndexCountOffset, static_cast<uint32_t>(def.realIndexes.size()));
    store32(h + L.tdefUsedPagesOffset, def.usedPagesRef);
    store32(h + L.tdefFreePagesOffset, def.freePagesRef);
}

}  // namespace

Result<std::vector<uint8_t>> gatherTableDefinition(uint32_t firstPage, const DefinitionPageFetch& fetch) {
    std::vector<uint8_t> buffer;
    std::unordered_set<uint32_t> seen;
    for (uint32_t number = firstPage; number != 0;) {
        if (!seen.insert(number).second)
            return Status::Corruption("page chain loops at page " + std::to_string(number));
        JET_ASSIGN_OR_RETURN(ByteView page, fetch(number));
        if (page.size() < kPageHeaderSize || page.data()[0] != PageType::TableDefinition) {
            return Status::Corruption("page " + std::to_string(number) +
                                      " is not a table definition page (type " +
                                      std::to_string(page.size() == 0 ? 0 : page.data()[0]) + ")");
        }
        size_t from = buffer.empty() ? 0 : kPageHeaderSize;
        buffer.insert(buffer.end(), page.data() + from, page.data() + page.size());
        number = ByteView::load32(page.data() + kNextPageOffset);
    }
    return buffer;
}

Result<DecodedDefinition> decodeTableDefinition(ByteView tdef, const FormatLayout& L,
                                                const NameDecoder& decodeName) {
    DecodedDefinition out;
    JET_RETURN_IF_ERROR(decodeBody(tdef, L, decodeName, out));
    return out;
}

Result<std::vector<LongValueMaps>> decodeLongValueMaps(ByteView tdef, size_t tail) {
    std::vector<LongValueMaps> maps;
    for (size_t pos = tail;; pos += kLongValueMapsSize) {
        JET_ASSIGN_OR_RETURN(uint16_t column, tdef.u16(pos, "long value map list"));
        if (column == kEndOfMaps) return maps;
        JET_ASSIGN_OR_RETURN(uint32_t used, tdef.u32(pos + 2, "long value map"));
        JET_ASSIGN_OR_RETURN(uint32_t free, tdef.u32(pos + 6, "long value map"));
        maps.push_back({column, used, free});
    }
}

Result<std::vector<uint8_t>> encodeTableDefinition(const TableDef& def,
                                                   const std::vector<LongValueMaps>& maps, bool system,
                                                   const FormatLayout& L) {
    if (L.jet3) return Status::NotSupported("table definitions are written in the Jet 4 format only");
    std::vector<uint8_t> out;
    putHeader(out, def, system, L);
    for (const RealIndexDef& real : def.realIndexes)
        store32(appendEntry(out, L.realIndexSlotSize) + kSlotEntryCountOffset, real.entryCount);
    for (const ColumnDef& c : def.columns) {
        std::vector<uint8_t> entry = columnEntry(c, L);
        out.insert(out.end(), entry.begin(), entry.end());
    }
    for (const ColumnDef& c : def.columns) JET_RETURN_IF_ERROR(putName(out, c.name));
    for (const RealIndexDef& real : def.realIndexes) putRealIndex(out, def, real, L);
    for (const IndexDef& index : def.indexes) putLogicalIndex(out, index, L);
    for (const IndexDef& index : def.indexes) JET_RETURN_IF_ERROR(putName(out, index.name));
    for (const LongValueMaps& m : maps) {
        uint8_t* e = appendEntry(out, kLongValueMapsSize);
        store16(e, m.column);
        store32(e + 2, m.usedRef);
        store32(e + 6, m.freeRef);
    }
    store16(appendEntry(out, 2), kEndOfMaps);
    if (out.size() > L.pageSize)
        return Status::NotSupported("table definition of " + def.name + " does not fit one page");
    auto length = static_cast<uint32_t>(out.size());
    store16(out.data() + kFreeSpaceOffset, static_cast<uint16_t>(L.pageSize - length - kPageHeaderSize));
    store32(out.data() + kLengthOffset, length);
    out.resize(L.pageSize, 0);
    return out;
}

void encodeTableCounters(std::vector<uint8_t>& page, const TableDef& def, const FormatLayout& L) {
    store32(page.data() + L.tdefRowCountOffset, def.rowCount);
    store32(page.data() + L.tdefAutoNumberOffset, def.autoNumber);
    for (size_t i = 0; i < def.realIndexes.size(); ++i)
        store32(page.data() + L.tdefBlockEnd + L.realIndexSlotSize * i + kSlotEntryCountOffset,
                def.realIndexes[i].entryCount);
}

}  // namespace jet

// Parsing of table definition pages (type 0x02), which may continue over a chain of pages.
#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "table/engine.h"

namespace jet {
namespace {

constexpr uint32_t kTdefHeaderSize = 8;
constexpr size_t kMaxIndexColumns = 10;
constexpr uint16_t kNoColumn = 0xFFFF;

// Reads a run of length-prefixed names starting at `pos`.
Status readNames(const Engine& engine, ByteView tdef, size_t& pos, size_t count, size_t lengthSize,
                 std::vector<std::string>& names, const char* what) {
    for (size_t i = 0; i < count; ++i) {
        size_t len = 0;
        if (lengthSize == 1) {
            JET_ASSIGN_OR_RETURN(len, tdef.u8(pos, what));
        } else {
            JET_ASSIGN_OR_RETURN(len, tdef.u16(pos, what));
        }
        pos += lengthSize;
        JET_ASSIGN_OR_RETURN(ByteView raw, tdef.slice(pos, len, what));
        names.push_back(engine.decodeName(raw));
        pos += len;
    }
    return {};
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

int TableDef::columnIndex(std::string_view wanted) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (equalsIgnoreCase(columns[i].name, wanted)) return static_cast<int>(i);
    }
    return -1;
}

const IndexDef* TableDef::findIndex(std::string_view wanted) const {
    for (const IndexDef& index : indexes) {
        if (equalsIgnoreCase(index.name, wanted)) return &index;
    }
    return nullptr;
}

Result<std::shared_ptr<TableDef>> Engine::readTableDef(uint32_t firstPage, const std::string& name,
                                                       bool system) {
    const FormatLayout& L = *m_layout;
    std::string context = "table definition of " + name + " (page " + std::to_string(firstPage) + ")";
    // Gather the definition: the first page whole, continuation pages without their 8-byte header.
    std::vector<uint8_t> buffer;
    std::unordered_set<uint32_t> seen;
    for (uint32_t pageNumber = firstPage; pageNumber != 0;) {
        if (!seen.insert(pageNumber).second) {
            return Status::Corruption(context + ": page chain loops at page " + std::to_string(pageNumber));
        }
        auto page = m_pager->page(pageNumber);
        if (!page.ok()) return page.status().withContext(context);
        const std::vector<uint8_t>& bytes = **page;
        if (bytes[0] != PageType::TableDefinition) {
            return Status::Corruption(context + ": page " + std::to_string(pageNumber) +
                                      " is not a table definition page (type " + std::to_string(bytes[0]) +
                                      ")");
        }
        size_t from = buffer.empty() ? 0 : kTdefHeaderSize;
        buffer.insert(buffer.end(), bytes.begin() + static_cast<long>(from), bytes.end());
        pageNumber = ByteView::load32(bytes.data() + 4);
    }
    ByteView tdef(buffer.data(), buffer.size());

    auto def = std::make_shared<TableDef>();
    def->name = name;
    def->definitionPage = firstPage;
    def->system = system;
    Status s = [&]() -> Status {
        JET_ASSIGN_OR_RETURN(def->rowCount, tdef.u32(L.tdefRowCountOffset, "row count"));
        JET_ASSIGN_OR_RETURN(def->autoNumber, tdef.u32(L.tdefAutoNumberOffset, "autonumber"));
        JET_ASSIGN_OR_RETURN(def->maxColumns, tdef.u16(L.tdefMaxColsOffset, "column maximum"));
        JET_ASSIGN_OR_RETURN(def->variableColumns, tdef.u16(L.tdefVarColsOffset, "variable column count"));
        JET_ASSIGN_OR_RETURN(uint16_t columnCount, tdef.u16(L.tdefColumnCountOffset, "column count"));
        JET_ASSIGN_OR_RETURN(uint32_t indexCount, tdef.u32(L.tdefIndexCountOffset, "index count"));
        JET_ASSIGN_OR_RETURN(uint32_t realIndexCount, tdef.u32(L.tdefRealIndexCountOffset, "index count"));
        JET_ASSIGN_OR_RETURN(def->usedPagesRef, tdef.u32(L.tdefUsedPagesOffset, "usage map"));
        JET_ASSIGN_OR_RETURN(def->freePagesRef, tdef.u32(L.tdefFreePagesOffset, "free-space map"));
        // Counts bounded by what could physically fit keep a damaged definition from allocating wildly.
        if (realIndexCount > tdef.size() / L.realIndexEntrySize || indexCount > tdef.size() / 8 ||
            columnCount > tdef.size() / L.columnEntrySize) {
            return Status::Corruption("column or index count exceeds the definition's size");
        }

        size_t pos = L.tdefBlockEnd;
        def->realIndexes.resize(realIndexCount);
        for (RealIndexDef& real : def->realIndexes) {
            JET_ASSIGN_OR_RETURN(real.entryCount, tdef.u32(pos + 4, "index entry count"));
            pos += L.realIndexSlotSize;
        }

        JET_ASSIGN_OR_RETURN(ByteView columnArea,
                             tdef.slice(pos, size_t{columnCount} * L.columnEntrySize, "column entries"));
        def->columns.resize(columnCount);
        for (size_t i = 0; i < columnCount; ++i) {
            const uint8_t* e = columnArea.data() + i * L.columnEntrySize;
            ColumnDef& c = def->columns[i];
            c.type = static_cast<ColumnType>(e[0]);
            c.number = ByteView::load16(e + L.columnNumberOffset);
            c.varIndex = ByteView::load16(e + L.columnVarOffsetOffset);
            c.flags = e[L.columnFlagsOffset];
            c.fixedOffset = ByteView::load16(e + L.columnFixedOffsetOffset);
            c.length = ByteView::load16(e + L.columnLengthOffset);
            if (L.columnCompressedOffset != 0)
                c.compressedUnicode = (e[L.columnCompressedOffset] & 0x01) != 0;
            if (c.type == ColumnType::Numeric) {
                c.precision = e[L.columnMiscOffset];
                c.scale = e[L.columnMiscOffset + 1];
            } else if (isTextType(c.type)) {
                c.sortOrder.id = ByteView::load16(e + L.columnMiscOffset);
                if (L.columnSortVersionOffset != 0) c.sortOrder.version = e[L.columnSortVersionOffset];
            }
        }
        pos += size_t{columnCount} * L.columnEntrySize;

        std::vector<std::string> names;
        JET_RETURN_IF_ERROR(readNames(*this, tdef, pos, columnCount, L.nameLengthSize, names, "column name"));
        for (size_t i = 0; i < columnCount; ++i) def->columns[i].name = std::move(names[i]);

        std::stable_sort(def->columns.begin(), def->columns.end(),
                         [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });

        for (RealIndexDef& real : def->realIndexes) {
            JET_ASSIGN_OR_RETURN(ByteView e, tdef.slice(pos, L.realIndexEntrySize, "index definition"));
            const uint8_t* cols = e.data() + L.realIndexColumnsOffset;
            for (size_t k = 0; k < kMaxIndexColumns; ++k) {
                uint16_t number = ByteView::load16(cols + 3 * k);
                if (number == kNoColumn) continue;
                auto it = std::find_if(def->columns.begin(), def->columns.end(),
                                       [number](const ColumnDef& c) { return c.number == number; });
                if (it == def->columns.end()) {
                    return Status::Corruption("index refers to missing column " + std::to_string(number));
                }
                real.columns.push_back(
                    {static_cast<size_t>(it - def->columns.begin()), cols[3 * k + 2] == 0x01});
            }
            const uint8_t* tail = cols + 3 * kMaxIndexColumns;
            real.usedPagesRef = ByteView::load32(tail);
            real.rootPage = ByteView::load32(tail + 4);
            real.flags = e.data()[L.realIndexFlagsOffset];
            pos += L.realIndexEntrySize;
        }

        def->indexes.resize(indexCount);
        for (IndexDef& index : def->indexes) {
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
        names.clear();
        JET_RETURN_IF_ERROR(readNames(*this, tdef, pos, indexCount, L.nameLengthSize, names, "index name"));
        for (size_t i = 0; i < indexCount; ++i) def->indexes[i].name = std::move(names[i]);
        return {};
    }();
    if (!s.ok()) return s.withContext(context);
    return def;
}

}  // namespace jet

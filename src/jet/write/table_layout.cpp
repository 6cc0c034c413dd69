// New table definitions: column layout, index definitions and the definition page itself.
#include <algorithm>
#include <set>

#include "core/text.h"
#include "storage/format.h"
#include "write/table_state.h"

namespace jet::writer {
namespace {

constexpr uint8_t kUserTable = 0x4E;
constexpr uint8_t kSystemTable = 0x53;
constexpr uint8_t kUpdatableFlag = 0x10;
constexpr uint32_t kRealIndexMagic = 0x0783;
constexpr uint32_t kTdefHeader = 63;
constexpr size_t kMaxIndexColumns = 10;
constexpr size_t kMaxColumns = 255;

bool isFixedType(ColumnType t) {
    switch (t) {
        case ColumnType::Text:
        case ColumnType::Binary:
        case ColumnType::Memo:
        case ColumnType::Ole:
            return false;
        default:
            return true;
    }
}

bool writableType(ColumnType t) {
    switch (t) {
        case ColumnType::Boolean:
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::DateTime:
        case ColumnType::Binary:
        case ColumnType::Text:
        case ColumnType::Ole:
        case ColumnType::Memo:
        case ColumnType::Guid:
        case ColumnType::Numeric:
            return true;
        default:
            return false;
    }
}

// Column definitions in the order given: numbers, offsets and flags.
Result<std::vector<ColumnDef>> layoutColumns(const TableSpec& spec) {
    if (spec.columns.empty() || spec.columns.size() > kMaxColumns)
        return Status::InvalidArgument("a table needs 1 to 255 columns");
    std::vector<ColumnDef> out;
    uint16_t fixedOffset = 0;
    uint16_t varIndex = 0;
    for (const ColumnSpec& s : spec.columns) {
        if (s.name.empty() || s.name.size() > 64)
            return Status::InvalidArgument("bad column name '" + s.name + "'");
        for (const ColumnDef& c : out) {
            if (equalsIgnoreCase(c.name, s.name))
                return Status::InvalidArgument("duplicate column " + s.name);
        }
        if (!writableType(s.type))
            return Status::NotSupported("column type of " + s.name + " cannot be created");
        if (s.autoNumber && s.type != ColumnType::Long)
            return Status::NotSupported("autonumber column " + s.name + " must be Long");
        if (s.type == ColumnType::Text && (s.size == 0 || s.size > 255))
            return Status::InvalidArgument("text column " + s.name + " must hold 1 to 255 characters");
        if (s.type == ColumnType::Binary && (s.size == 0 || s.size > 510))
            return Status::InvalidArgument("binary column " + s.name + " must hold 1 to 510 bytes");
        if (s.type == ColumnType::Numeric && (s.precision == 0 || s.precision > 28 || s.scale > s.precision))
            return Status::InvalidArgument("numeric column " + s.name + " has a bad precision or scale");
        ColumnDef c;
        c.name = s.name;
        c.type = s.type;
        c.number = static_cast<uint16_t>(out.size());
        c.flags = static_cast<uint8_t>(kUpdatableFlag | ColumnFlag::Nullable);
        if (isFixedType(s.type)) {
            c.flags |= ColumnFlag::Fixed;
            c.fixedOffset = s.type == ColumnType::Boolean ? 0 : fixedOffset;
            fixedOffset = static_cast<uint16_t>(fixedOffset + fixedTypeWidth(s.type));
            c.length = s.type == ColumnType::Boolean ? 1 : fixedTypeWidth(s.type);
        } else {
            c.varIndex = varIndex++;
            c.length = s.type == ColumnType::Text     ? static_cast<uint16_t>(s.size * 2)
                       : s.type == ColumnType::Binary ? s.size
                                                      : 0;
        }
        if (s.autoNumber) c.flags |= ColumnFlag::AutoLong;
        if (isTextType(s.type)) c.compressedUnicode = true;
        c.sortOrder = SortOrder{kGeneralSortOrder, 0};
        c.precision = s.precision;
        c.scale = s.scale;
        out.push_back(std::move(c));
    }
    return out;
}

Status layoutIndexes(const TableSpec& spec, TableDef& def) {
    std::set<std::string> names;
    bool hasPrimary = false;
    for (const IndexSpec& s : spec.indexes) {
        if (s.name.empty() || !names.insert(s.name).second)
            return Status::InvalidArgument("missing or duplicate index name '" + s.name + "'");
        if (s.columns.empty() || s.columns.size() > kMaxIndexColumns)
            return Status::InvalidArgument("index " + s.name + " needs 1 to 10 columns");
        if (s.primary && hasPrimary) return Status::InvalidArgument("a table has one primary key");
        hasPrimary = hasPrimary || s.primary;
        RealIndexDef real;
        for (size_t i = 0; i < s.columns.size(); ++i) {
            int column = def.columnIndex(s.columns[i]);
            if (column < 0)
                return Status::NotFound("index " + s.name + " names unknown column " + s.columns[i]);
            ColumnType type = def.columns[static_cast<size_t>(column)].type;
            if (isLongValueType(type)) return Status::NotSupported("memo and OLE columns cannot be indexed");
            bool asc = i < s.ascending.size() ? s.ascending[i] : true;
            real.columns.push_back({static_cast<size_t>(column), asc});
        }
        real.flags = s.primary ? (IndexFlag::Unique | IndexFlag::Required) : s.unique ? IndexFlag::Unique : 0;
        IndexDef index;
        index.name = s.name;
        index.number = static_cast<uint32_t>(def.indexes.size());
        index.realIndex = index.number;
        index.kind = s.primary ? IndexDef::Kind::Primary : IndexDef::Kind::Normal;
        def.realIndexes.push_back(std::move(real));
        def.indexes.push_back(std::move(index));
    }
    return {};
}

Status putName(std::string& out, const std::string& name) {
    JET_ASSIGN_OR_RETURN(std::string units, utf8ToUtf16le(name));
    appendLittle(out, units.size(), 2);
    out += units;
    return {};
}

std::string columnEntry(const ColumnDef& c) {
    std::string e;
    appendLittle(e, static_cast<uint8_t>(c.type), 1);
    appendLittle(e, 0, 4);
    appendLittle(e, c.number, 2);
    appendLittle(e, c.varIndex, 2);
    appendLittle(e, c.number, 2);
    if (c.type == ColumnType::Numeric) {
        appendLittle(e, c.precision, 1);
        appendLittle(e, c.scale, 1);
        appendLittle(e, 0, 2);
    } else {
        appendLittle(e, c.sortOrder.id, 2);
        appendLittle(e, 0, 1);
        appendLittle(e, c.sortOrder.version, 1);
    }
    appendLittle(e, c.flags, 1);
    appendLittle(e, c.compressedUnicode ? 1 : 0, 1);
    appendLittle(e, 0, 4);
    appendLittle(e, c.fixedOffset, 2);
    appendLittle(e, c.length, 2);
    return e;
}

std::string realIndexEntry(const TableDef& def, const RealIndexDef& real) {
    std::string e;
    appendLittle(e, kRealIndexMagic, 4);
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
        if (k < real.columns.size()) {
            appendLittle(e, def.columns[real.columns[k].column].number, 2);
            appendLittle(e, real.columns[k].ascending ? 1 : 2, 1);
        } else {
            appendLittle(e, 0xFFFF, 2);
            appendLittle(e, 0, 1);
        }
    }
    appendLittle(e, real.usedPagesRef, 4);
    appendLittle(e, real.rootPage, 4);
    appendLittle(e, 0, 4);
    appendLittle(e, real.flags, 1);
    appendLittle(e, 0, 5);
    return e;
}

std::string logicalIndexEntry(const IndexDef& index) {
    std::string e;
    appendLittle(e, 0, 4);
    appendLittle(e, index.number, 4);
    appendLittle(e, index.realIndex, 4);
    appendLittle(e, 0, 1);
    appendLittle(e, 0xFFFFFFFF, 4);
    appendLittle(e, 0, 4);
    appendLittle(e, 0, 2);
    appendLittle(e, static_cast<uint8_t>(index.kind), 1);
    appendLittle(e, 0, 4);
    return e;
}

// The whole definition page of `table`.
Result<Page> encodeDefinition(const TableState& table, bool system) {
    const TableDef& def = table.def;
    std::string body;
    appendLittle(body, 0, 4);  // placeholder for the length, filled in below
    appendLittle(body, 0, 4);
    appendLittle(body, def.rowCount, 4);
    appendLittle(body, def.autoNumber, 4);
    appendLittle(body, 1, 1);
    appendLittle(body, 0, 15);
    appendLittle(body, system ? kSystemTable : kUserTable, 1);
    appendLittle(body, def.maxColumns, 2);
    appendLittle(body, def.variableColumns, 2);
    appendLittle(body, def.columns.size(), 2);
    appendLittle(body, def.indexes.size(), 4);
    appendLittle(body, def.realIndexes.size(), 4);
    appendLittle(body, def.usedPagesRef, 4);
    appendLittle(body, def.freePagesRef, 4);
    for (const RealIndexDef& real : def.realIndexes) {
        appendLittle(body, 0, 4);
        appendLittle(body, real.entryCount, 4);
        appendLittle(body, 0, 4);
    }
    for (const ColumnDef& c : def.columns) body += columnEntry(c);
    for (const ColumnDef& c : def.columns) JET_RETURN_IF_ERROR(putName(body, c.name));
    for (const RealIndexDef& real : def.realIndexes) body += realIndexEntry(def, real);
    for (const IndexDef& index : def.indexes) body += logicalIndexEntry(index);
    for (const IndexDef& index : def.indexes) JET_RETURN_IF_ERROR(putName(body, index.name));
    for (const LongValueMaps& maps : table.lvMaps) {
        appendLittle(body, maps.column, 2);
        appendLittle(body, maps.usedRef, 4);
        appendLittle(body, maps.freeRef, 4);
    }
    appendLittle(body, 0xFFFF, 2);
    if (body.size() + 8 > kLayout.pageSize)
        return Status::NotSupported("table definition of " + def.name + " does not fit one page");
    Page page(kLayout.pageSize, 0);
    page[0] = PageType::TableDefinition;
    page[1] = 0x01;
    auto length = static_cast<uint32_t>(body.size() + 8);
    store16(page.data() + 2, static_cast<uint16_t>(kLayout.pageSize - length - 8));
    std::copy(body.begin(), body.end(), page.begin() + 8);
    store32(page.data() + 8, length);
    return page;
}

}  // namespace

Result<TableState> createTableTx(PageTransaction& pages, const TableSpec& spec, bool system,
                                 uint32_t tdefPage, uint32_t& mapPage) {
    if (spec.name.empty() || spec.name.size() > 64) return Status::InvalidArgument("bad table name");
    TableState table;
    TableDef& def = table.def;
    def.name = spec.name;
    def.system = system;
    def.definitionPage = tdefPage;
    JET_ASSIGN_OR_RETURN(def.columns, layoutColumns(spec));
    def.maxColumns = static_cast<uint16_t>(def.columns.size());
    for (const ColumnDef& c : def.columns) {
        if (!c.isFixed()) ++def.variableColumns;
    }
    JET_RETURN_IF_ERROR(layoutIndexes(spec, def));
    JET_ASSIGN_OR_RETURN(def.usedPagesRef, addMapRow(pages, mapPage));
    JET_ASSIGN_OR_RETURN(def.freePagesRef, addMapRow(pages, mapPage));
    for (RealIndexDef& real : def.realIndexes) {
        JET_ASSIGN_OR_RETURN(real.usedPagesRef, addMapRow(pages, mapPage));
        real.rootPage = pages.allocate();
        JET_ASSIGN_OR_RETURN(Page * root, pages.edit(real.rootPage));
        initEmptyLeaf(*root, tdefPage);
        JET_RETURN_IF_ERROR(writePageList(pages, real.usedPagesRef, {real.rootPage}));
    }
    for (const ColumnDef& c : def.columns) {
        if (!isLongValueType(c.type)) continue;
        LongValueMaps maps;
        maps.column = c.number;
        JET_ASSIGN_OR_RETURN(maps.usedRef, addMapRow(pages, mapPage));
        JET_ASSIGN_OR_RETURN(maps.freeRef, addMapRow(pages, mapPage));
        table.lvMaps.push_back(maps);
    }
    JET_ASSIGN_OR_RETURN(Page bytes, encodeDefinition(table, system));
    JET_ASSIGN_OR_RETURN(Page * page, pages.edit(tdefPage));
    *page = std::move(bytes);
    return table;
}

Status readLongValueMaps(PageTransaction& pages, TableState& table) {
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(table.def.definitionPage));
    if (ByteView::load32(page->data() + 4) != 0)
        return Status::NotSupported("table " + table.def.name + " has a definition spanning several pages");
    ByteView b(page->data(), page->size());
    const TableDef& def = table.def;
    size_t pos = kTdefHeader + 12 * def.realIndexes.size() + 25 * def.columns.size();
    auto skipNames = [&](size_t count) -> Status {
        for (size_t i = 0; i < count; ++i) {
            JET_ASSIGN_OR_RETURN(uint16_t len, b.u16(pos, "name length"));
            pos += 2u + len;
        }
        return {};
    };
    JET_RETURN_IF_ERROR(skipNames(def.columns.size()));
    pos += 52 * def.realIndexes.size() + 28 * def.indexes.size();
    JET_RETURN_IF_ERROR(skipNames(def.indexes.size()));
    while (true) {
        JET_ASSIGN_OR_RETURN(uint16_t column, b.u16(pos, "long value map list"));
        if (column == 0xFFFF) break;
        JET_ASSIGN_OR_RETURN(uint32_t used, b.u32(pos + 2, "long value map"));
        JET_ASSIGN_OR_RETURN(uint32_t free, b.u32(pos + 6, "long value map"));
        table.lvMaps.push_back({column, used, free});
        pos += 10;
    }
    return {};
}

}  // namespace jet::writer

// New table definitions: column layout and index definitions, encoded by the definition codec.
#include <algorithm>
#include <set>

#include "codec/table_definition.h"
#include "core/text.h"
#include "storage/format.h"
#include "write/table_state.h"

namespace jet::writer {
namespace {

constexpr uint8_t kUpdatableFlag = 0x10;
constexpr size_t kMaxIndexColumns = 10;
constexpr size_t kMaxColumns = 255;

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
        if (!columnTypeTraits(s.type).creatable)
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
        if (uint16_t width = columnTypeTraits(s.type).fixedWidth; !columnTypeTraits(s.type).variable) {
            c.flags |= ColumnFlag::Fixed;
            c.fixedOffset = s.type == ColumnType::Boolean ? 0 : fixedOffset;
            fixedOffset = static_cast<uint16_t>(fixedOffset + width);
            c.length = s.type == ColumnType::Boolean ? 1 : width;
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
    JET_ASSIGN_OR_RETURN(Page bytes, encodeTableDefinition(def, table.lvMaps, system, kLayout));
    JET_ASSIGN_OR_RETURN(Page * page, pages.edit(tdefPage));
    *page = std::move(bytes);
    return table;
}

Status readLongValueMaps(PageTransaction& pages, TableState& table) {
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(table.def.definitionPage));
    ByteView bytes(page->data(), page->size());
    if (page->at(0) != PageType::TableDefinition)
        return Status::Corruption("the definition page of table " + table.def.name +
                                  " is another kind of page");
    if (ByteView::load32(page->data() + 4) != 0)
        return Status::NotSupported("table " + table.def.name + " has a definition spanning several pages");
    JET_ASSIGN_OR_RETURN(DecodedDefinition decoded, decodeTableDefinition(bytes, kLayout, decodeJet4Text));
    JET_ASSIGN_OR_RETURN(table.lvMaps, decodeLongValueMaps(bytes, decoded.tail));
    return {};
}

}  // namespace jet::writer

// Appending rows: value encoding, long values, data pages, index entries and counters.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>

#include "codec/index_key.h"
#include "codec/long_value.h"
#include "codec/table_definition.h"
#include "core/text.h"
#include "storage/format.h"
#include "write/table_state.h"

namespace jet::writer {
namespace {

const uint32_t kMaxRowSize = datapage::largestRow(kLayout);
const uint32_t kChainChunk = kMaxRowSize - kLongValueChainHeader;
constexpr uint32_t kInlineLongValue = 64;    // longer values leave the row
constexpr uint32_t kKeepFreeForGrowth = 64;  // pages with less free space leave the free-space map
constexpr size_t kMaxCompressibleMemo = 1024;

std::string columnContext(const ColumnDef& c, size_t rowIndex) {
    return "row " + std::to_string(rowIndex + 1) + " column " + c.name;
}

Result<int64_t> asInteger(const Value& v, int64_t lo, int64_t hi) {
    const int64_t* i = std::get_if<int64_t>(&v);
    if (i == nullptr) {
        if (const bool* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
        return Status::InvalidArgument("expects a whole number");
    }
    if (*i < lo || *i > hi) return Status::InvalidArgument("value " + std::to_string(*i) + " out of range");
    return *i;
}

// Jet's dates run from 100-01-01 to 9999-12-31 23:59:59: days from 1899-12-30, the time of day as the
// fraction (counted away from zero before 1899-12-30).
constexpr double kFirstJetDay = -657434.0;
constexpr double kLastJetDay = 2958465.0;

Result<double> asFiniteDouble(const Value& v) {
    double d = 0;
    if (auto* x = std::get_if<double>(&v))
        d = *x;
    else if (auto* f = std::get_if<float>(&v))
        d = static_cast<double>(*f);
    else if (auto* i = std::get_if<int64_t>(&v))
        d = static_cast<double>(*i);
    else
        return Status::InvalidArgument("expects a number");
    if (!std::isfinite(d))
        return Status::InvalidArgument("value " + std::to_string(d) + " is not a finite number");
    return d;
}

template <typename T>
void putRaw(std::string& out, T v) {
    char buf[sizeof v];
    std::memcpy(buf, &v, sizeof v);
    out.append(buf, sizeof v);
}

// The stored bytes of a fixed-width value.
Result<std::string> encodeFixed(const ColumnDef& c, const Value& v) {
    std::string out;
    switch (c.type) {
        case ColumnType::Byte: {
            JET_ASSIGN_OR_RETURN(int64_t i, asInteger(v, 0, 255));
            appendLittle(out, static_cast<uint64_t>(i), 1);
            break;
        }
        case ColumnType::Integer: {
            JET_ASSIGN_OR_RETURN(int64_t i, asInteger(v, INT16_MIN, INT16_MAX));
            appendLittle(out, static_cast<uint64_t>(i), 2);
            break;
        }
        case ColumnType::Long: {
            JET_ASSIGN_OR_RETURN(int64_t i, asInteger(v, INT32_MIN, INT32_MAX));
            appendLittle(out, static_cast<uint64_t>(i), 4);
            break;
        }
        case ColumnType::Currency: {
            auto* m = std::get_if<Currency>(&v);
            if (m == nullptr) return Status::InvalidArgument("expects a currency amount");
            appendLittle(out, static_cast<uint64_t>(m->scaled), 8);
            break;
        }
        case ColumnType::Single: {
            JET_ASSIGN_OR_RETURN(double d, asFiniteDouble(v));
            if (std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max()))
                return Status::InvalidArgument("value " + std::to_string(d) + " overflows a Single");
            putRaw(out, static_cast<float>(d));
            break;
        }
        case ColumnType::Double: {
            JET_ASSIGN_OR_RETURN(double d, asFiniteDouble(v));
            putRaw(out, d);
            break;
        }
        case ColumnType::DateTime: {
            auto* d = std::get_if<DateTime>(&v);
            if (d == nullptr) return Status::InvalidArgument("expects a date/time");
            if (!(d->days > kFirstJetDay - 1 && d->days < kLastJetDay + 1))
                return Status::InvalidArgument("date/time " + std::to_string(d->days) +
                                               " lies outside 100-01-01 to 9999-12-31");
            putRaw(out, d->days);
            break;
        }
        case ColumnType::Guid: {
            auto* g = std::get_if<Guid>(&v);
            if (g == nullptr) return Status::InvalidArgument("expects a GUID");
            out.append(reinterpret_cast<const char*>(g->bytes.data()), 16);
            break;
        }
        case ColumnType::Numeric: {
            auto* d = std::get_if<Decimal>(&v);
            if (d == nullptr || d->scale != c.scale)
                return Status::InvalidArgument("expects a decimal with scale " + std::to_string(c.scale));
            out.push_back(static_cast<char>(d->negative ? 0x80 : 0x00));
            uint32_t words[4] = {static_cast<uint32_t>(d->hi >> 32), static_cast<uint32_t>(d->hi),
                                 static_cast<uint32_t>(d->lo >> 32), static_cast<uint32_t>(d->lo)};
            for (uint32_t w : words) appendLittle(out, w, 4);
            break;
        }
        default:
            return Status::NotSupported("column type " + std::string(columnTypeName(c.type)) +
                                        " cannot be written");
    }
    return out;
}

size_t utf8Characters(std::string_view s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char ch) { return (static_cast<unsigned char>(ch) & 0xC0) != 0x80; }));
}

}  // namespace

Result<std::string> RowEncoder::encodeVariable(const ColumnDef& c, const Value& v) {
    switch (c.type) {
        case ColumnType::Text: {
            auto* s = std::get_if<std::string>(&v);
            if (s == nullptr) return Status::InvalidArgument("expects text");
            if (utf8Characters(*s) > c.length / 2u)
                return Status::InvalidArgument("text longer than " + std::to_string(c.length / 2) +
                                               " characters");
            return encodeJet4Text(*s, c.compressedUnicode);
        }
        case ColumnType::Binary: {
            auto* b = std::get_if<Bytes>(&v);
            if (b == nullptr) return Status::InvalidArgument("expects bytes");
            if (b->size() > c.length)
                return Status::InvalidArgument("binary value longer than " + std::to_string(c.length) +
                                               " bytes");
            return std::string(b->begin(), b->end());
        }
        case ColumnType::Memo: {
            auto* s = std::get_if<std::string>(&v);
            if (s == nullptr) return Status::InvalidArgument("expects text");
            bool compress = c.compressedUnicode && utf8Characters(*s) <= kMaxCompressibleMemo;
            JET_ASSIGN_OR_RETURN(std::string text, encodeJet4Text(*s, compress));
            return encodeLongValue(c, text);
        }
        case ColumnType::Ole: {
            auto* b = std::get_if<Bytes>(&v);
            if (b == nullptr) return Status::InvalidArgument("expects bytes");
            return encodeLongValue(c, std::string(b->begin(), b->end()));
        }
        default:
            return Status::NotSupported("column type " + std::string(columnTypeName(c.type)) +
                                        " cannot be written");
    }
}

Result<RowId> RowEncoder::placeLongRow(const ColumnDef& c, const std::string& row) {
    bool mapped = std::any_of(m_table.lvMaps.begin(), m_table.lvMaps.end(),
                              [&c](const LongValueMaps& m) { return m.column == c.number; });
    if (!mapped) return Status::NotSupported("long value column " + c.name + " has no page maps");
    uint32_t& current = m_table.lvPage[c.number];
    if (current != 0) {
        JET_ASSIGN_OR_RETURN(Page * page, m_pages.edit(current));
        int slot = datapage::addRow(*page, kLayout, row);
        if (slot >= 0) return RowId{current, static_cast<uint8_t>(slot)};
    }
    current = m_pages.allocate();
    m_table.lvNew[c.number].push_back(current);
    JET_ASSIGN_OR_RETURN(Page * page, m_pages.edit(current));
    datapage::init(*page, kLayout, kLongValueOwner);
    int slot = datapage::addRow(*page, kLayout, row);
    if (slot < 0) return Status::InvalidArgument("long value row does not fit a page");
    return RowId{current, static_cast<uint8_t>(slot)};
}

// Short values stay in the row; others take one row of a long-value page, or a chain of them.
Result<std::string> RowEncoder::encodeLongValue(const ColumnDef& c, const std::string& bytes) {
    if (bytes.size() > kLongValueMaxLength) return Status::InvalidArgument("long value larger than 1 GB");
    auto length = static_cast<uint32_t>(bytes.size());
    if (length <= kInlineLongValue) return encodeInlineLongValue(bytes);
    if (length <= kMaxRowSize) {
        JET_ASSIGN_OR_RETURN(RowId id, placeLongRow(c, bytes));
        return encodeLongValueDescriptor(LongValueKind::Single, length, id);
    }
    // A chain: written last piece first so that each piece knows where the next one lies.
    RowId next{};
    size_t pieces = (bytes.size() + kChainChunk - 1) / kChainChunk;
    for (size_t i = pieces; i-- > 0;) {
        std::string_view piece = std::string_view(bytes).substr(i * kChainChunk, kChainChunk);
        JET_ASSIGN_OR_RETURN(next, placeLongRow(c, encodeChainRow(next, piece)));
    }
    return encodeLongValueDescriptor(LongValueKind::Chain, length, next);
}

Result<std::string> RowEncoder::encode(const Row& values, size_t rowIndex) {
    const TableDef& t = m_table.def;
    if (values.size() != t.columns.size()) {
        return Status::InvalidArgument("row " + std::to_string(rowIndex + 1) + " has " +
                                       std::to_string(values.size()) + " values for " +
                                       std::to_string(t.columns.size()) + " columns");
    }
    uint16_t columnCount = t.maxColumns;
    std::vector<uint8_t> nullMask((columnCount + 7u) / 8u, 0);
    size_t fixedEnd = 0;
    for (const ColumnDef& c : t.columns) {
        if (c.isFixed())
            fixedEnd = std::max(fixedEnd, c.fixedOffset + size_t{columnTypeTraits(c.type).fixedWidth});
    }
    std::string fixed(fixedEnd, '\0');
    std::vector<std::string> variable(t.variableColumns);
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnDef& c = t.columns[i];
        const Value& v = values[i];
        bool present = !isNull(v);
        if (c.type == ColumnType::Boolean) {
            present = false;
            if (!isNull(v)) {
                auto b = asInteger(v, -1, 1);
                if (!b.ok()) return b.status().withContext(columnContext(c, rowIndex));
                present = *b != 0;
            }
        } else if (present && c.isFixed()) {
            auto bytes = encodeFixed(c, v);
            if (!bytes.ok()) return bytes.status().withContext(columnContext(c, rowIndex));
            fixed.replace(c.fixedOffset, bytes->size(), *bytes);
        } else if (present) {
            auto bytes = encodeVariable(c, v);
            if (!bytes.ok()) return bytes.status().withContext(columnContext(c, rowIndex));
            variable[c.varIndex] = std::move(bytes).value();
        }
        if (present)
            nullMask[c.number / 8] = static_cast<uint8_t>(nullMask[c.number / 8] | (1u << (c.number % 8)));
    }
    std::string row;
    appendLittle(row, columnCount, 2);
    row += fixed;
    if (t.variableColumns > 0) {
        std::vector<uint16_t> offsets;
        for (const std::string& field : variable) {
            offsets.push_back(static_cast<uint16_t>(row.size()));
            row += field;
        }
        offsets.push_back(static_cast<uint16_t>(row.size()));
        for (size_t i = offsets.size(); i-- > 0;) appendLittle(row, offsets[i], 2);
        appendLittle(row, t.variableColumns, 2);
    }
    row.append(nullMask.begin(), nullMask.end());
    if (row.size() > kMaxRowSize) {
        return Status::NotSupported("row " + std::to_string(rowIndex + 1) + " needs " +
                                    std::to_string(row.size()) + " bytes, more than a data page holds");
    }
    return row;
}

namespace {

// Fills Null autonumber fields with the next numbers.
void assignAutoNumbers(TableState& table, std::vector<Row>& rows) {
    for (size_t i = 0; i < table.def.columns.size(); ++i) {
        const ColumnDef& c = table.def.columns[i];
        if ((c.flags & ColumnFlag::AutoLong) == 0) continue;
        for (Row& r : rows) {
            if (i < r.size() && isNull(r[i])) r[i] = Value(table.nextAutoNumber++);
            if (i < r.size()) {
                if (auto* v = std::get_if<int64_t>(&r[i]); v != nullptr && *v >= table.nextAutoNumber)
                    table.nextAutoNumber = *v + 1;
            }
        }
    }
}

}  // namespace

Result<KeyEntry> indexKey(const TableDef& t, size_t realIndex, const Row& row, size_t rowIndex) {
    const RealIndexDef& real = t.realIndexes[realIndex];
    KeyEntry e;
    e.fresh = true;
    bool allNull = true;
    for (const IndexColumn& ic : real.columns) {
        const ColumnDef& c = t.columns[ic.column];
        const Value& v = row[ic.column];
        if (isNull(v) && c.type != ColumnType::Boolean) e.hasNull = true;
        allNull = allNull && isNull(v);
        Status s = appendIndexKey(e.key, v, c.type, ic.ascending,
                                  textKeyCollation(false, c.sortOrder.id, c.sortOrder.version));
        if (!s.ok()) return s.withContext(columnContext(c, rowIndex) + " (index key)");
    }
    if (e.hasNull && (real.flags & IndexFlag::Required) != 0) {
        return Status::InvalidArgument("row " + std::to_string(rowIndex + 1) +
                                       ": a primary key column is Null");
    }
    e.ignored = allNull && (real.flags & IndexFlag::IgnoreNulls) != 0;
    return e;
}

Status indexKeys(const TableDef& t, const Row& row, size_t rowIndex, std::vector<KeyEntry>& out) {
    out.clear();
    for (size_t i = 0; i < t.realIndexes.size(); ++i) {
        JET_ASSIGN_OR_RETURN(KeyEntry e, indexKey(t, i, row, rowIndex));
        out.push_back(std::move(e));
    }
    return {};
}

namespace {

bool entryLess(const KeyEntry& a, const KeyEntry& b) {
    if (a.key != b.key) return a.key < b.key;
    return a.row.packed() < b.row.packed();
}

std::string indexName(const TableDef& t, size_t realIndex) {
    for (const IndexDef& idx : t.indexes) {
        if (idx.realIndex == realIndex) return idx.name;
    }
    return std::to_string(realIndex);
}

}  // namespace

std::optional<Removal> removalOf(const TableDef& t, size_t realIndex, const Row& values, RowId row) {
    auto entry = indexKey(t, realIndex, values, 0);
    if (!entry.ok()) return Removal{row, std::nullopt};
    if (entry->ignored) return std::nullopt;
    return Removal{row, std::move(entry->key)};
}

namespace {

Status duplicateKey(const TableState& table, size_t realIndex) {
    return Status::InvalidArgument("duplicate key in unique index " + indexName(table.def, realIndex) +
                                   " of table " + table.def.name);
}

// Whole rebuild: every entry is read, changed in memory and written as a fresh packed tree.
Status rebuildIndex(PageTransaction& pages, TableState& table, size_t realIndex,
                    const std::vector<Removal>& removed, std::vector<KeyEntry> fresh) {
    RealIndexDef& real = table.def.realIndexes[realIndex];
    std::vector<KeyEntry> entries;
    std::vector<uint32_t> oldPages;
    JET_RETURN_IF_ERROR(readIndexTree(pages, real.rootPage, table.def.definitionPage, entries, oldPages));
    if (!removed.empty()) {
        std::vector<uint32_t> gone;
        for (const Removal& r : removed) gone.push_back(r.row.packed());
        std::sort(gone.begin(), gone.end());
        auto isGone = [&gone](const KeyEntry& e) {
            return std::binary_search(gone.begin(), gone.end(), e.row.packed());
        };
        entries.erase(std::remove_if(entries.begin(), entries.end(), isGone), entries.end());
    }
    for (KeyEntry& e : fresh) {
        if (!e.ignored) entries.push_back(std::move(e));
    }
    std::sort(entries.begin(), entries.end(), entryLess);
    if (real.unique()) {
        for (size_t i = 1; i < entries.size(); ++i) {
            const KeyEntry& a = entries[i - 1];
            const KeyEntry& b = entries[i];
            if (a.key == b.key && (a.fresh || b.fresh) && !a.hasNull && !b.hasNull)
                return duplicateKey(table, realIndex);
        }
    }
    real.entryCount = static_cast<uint32_t>(entries.size());
    oldPages.erase(std::remove(oldPages.begin(), oldPages.end(), real.rootPage), oldPages.end());
    std::sort(oldPages.begin(), oldPages.end());
    std::vector<uint32_t> treePages;
    JET_RETURN_IF_ERROR(writeIndexTree(pages, table.def.definitionPage, real.rootPage, oldPages,
                                       std::move(entries), treePages));
    if (real.usedPagesRef != 0) JET_RETURN_IF_ERROR(writePageList(pages, real.usedPagesRef, treePages));
    return {};
}

// Entry by entry along their paths; false (nothing written) when the tree or the change calls for a
// rebuild instead.
Result<bool> changeIndexInPlace(PageTransaction& pages, TableState& table, size_t realIndex,
                                const std::vector<Removal>& removed, std::vector<KeyEntry>& fresh) {
    // Beyond a few changes per hundred entries, writing the tree afresh costs less than walking to each.
    constexpr size_t kFewChanges = 64;
    RealIndexDef& real = table.def.realIndexes[realIndex];
    if ((removed.size() + fresh.size()) * 16 > std::max<size_t>(real.entryCount, kFewChanges * 16))
        return false;
    if (std::any_of(removed.begin(), removed.end(), [](const Removal& r) { return !r.key; })) return false;
    IndexTree tree(pages, real.rootPage, table.def.definitionPage);
    JET_ASSIGN_OR_RETURN(bool changeable, tree.changeableInPlace());
    if (!changeable) return false;
    uint32_t count = real.entryCount;
    for (const Removal& r : removed) {
        JET_ASSIGN_OR_RETURN(bool found, tree.remove(*r.key, r.row));
        // An entry not where its key says: whatever the tree holds, a rebuild finds entries by row.
        if (!found) return false;
        --count;
    }
    std::sort(fresh.begin(), fresh.end(), entryLess);
    for (const KeyEntry& e : fresh) {
        if (e.ignored) continue;
        if (real.unique() && !e.hasNull) {
            JET_ASSIGN_OR_RETURN(bool taken, tree.containsKey(e.key));
            if (taken) return duplicateKey(table, realIndex);
        }
        JET_RETURN_IF_ERROR(tree.insert(e.key, e.row));
        ++count;
    }
    JET_RETURN_IF_ERROR(tree.flush());
    real.entryCount = count;
    if (!tree.addedPages().empty() && real.usedPagesRef != 0) {
        JET_ASSIGN_OR_RETURN(std::vector<uint32_t> used, readUsageMap(pages, real.usedPagesRef));
        used.insert(used.end(), tree.addedPages().begin(), tree.addedPages().end());
        std::sort(used.begin(), used.end());
        JET_RETURN_IF_ERROR(writePageList(pages, real.usedPagesRef, used));
    }
    return true;
}

}  // namespace

Status updateIndex(PageTransaction& pages, TableState& table, size_t realIndex,
                   const std::vector<Removal>& removed, std::vector<KeyEntry> fresh) {
    JET_ASSIGN_OR_RETURN(bool done, changeIndexInPlace(pages, table, realIndex, removed, fresh));
    if (done) return {};
    return rebuildIndex(pages, table, realIndex, removed, std::move(fresh));
}

Status RowPlacer::start() {
    JET_ASSIGN_OR_RETURN(m_owned, readUsageMap(m_pages, m_table.def.usedPagesRef));
    JET_ASSIGN_OR_RETURN(std::vector<uint32_t> free, readUsageMap(m_pages, m_table.def.freePagesRef));
    m_free.insert(free.begin(), free.end());
    m_candidates = m_free;
    // Every page the maps name must be one of the table's data pages; the writer refuses to build on a
    // map that says otherwise rather than overwrite what the page really holds.
    if (!m_owned.empty()) {
        auto last = readDataPage(m_pages, m_owned.back());
        Status checked = last.ok() ? last->checkForWriting(m_table.def.definitionPage) : last.status();
        JET_RETURN_IF_ERROR(checked.withContext("the last page the table's usage map lists"));
        m_current = m_owned.back();
    }
    return {};
}

Result<RowId> RowPlacer::placeOn(uint32_t number, const std::string& row, uint16_t flags) {
    JET_ASSIGN_OR_RETURN(Page * page, editDataPage(m_pages, number, m_table.def.definitionPage));
    int slot = datapage::addRow(*page, kLayout, row, flags);
    if (slot < 0 && datapage::packedFree(*page, kLayout) >= row.size() + 2 &&
        datapage::rewriteRow(*page, kLayout, -1, {}, 0))
        slot = datapage::addRow(*page, kLayout, row, flags);
    if (slot < 0) return RowId{};
    touched(number, *page);
    return RowId{number, static_cast<uint8_t>(slot)};
}

Result<RowId> RowPlacer::place(const std::string& row, uint16_t flags) {
    if (m_current != 0) {
        JET_ASSIGN_OR_RETURN(RowId id, placeOn(m_current, row, flags));
        if (id.page != 0) return id;
    }
    // Pages the free-space map lists, freed by deletes or shrinking updates, come before a new page; one
    // found too full for a row is not tried again in this write.
    while (!m_candidates.empty()) {
        uint32_t number = *m_candidates.begin();
        m_candidates.erase(m_candidates.begin());
        if (number == m_current) continue;
        auto placed = placeOn(number, row, flags);
        if (!placed.ok()) return placed.status().withContext("a page the table's free-space map lists");
        if (placed->page != 0) {
            m_candidates.insert(number);
            return *placed;
        }
    }
    m_current = m_pages.allocate();
    m_owned.push_back(m_current);
    m_mapsChanged = true;
    JET_ASSIGN_OR_RETURN(Page * page, m_pages.edit(m_current));
    datapage::init(*page, kLayout, m_table.def.definitionPage);
    JET_ASSIGN_OR_RETURN(RowId id, placeOn(m_current, row, flags));
    if (id.page == 0) return Status::InvalidArgument("row does not fit an empty page");
    return id;
}

void RowPlacer::touched(uint32_t number, const Page& page) {
    bool changed = datapage::freeSpace(page) >= kKeepFreeForGrowth ? m_free.insert(number).second
                                                                   : m_free.erase(number) > 0;
    m_mapsChanged = m_mapsChanged || changed;
}

Status RowPlacer::writeMaps() {
    // Most writes fill pages the table already owns and leave both maps as they are.
    if (!m_mapsChanged) return {};
    std::sort(m_owned.begin(), m_owned.end());
    JET_RETURN_IF_ERROR(writePageList(m_pages, m_table.def.usedPagesRef, m_owned));
    return writePageList(m_pages, m_table.def.freePagesRef,
                         std::vector<uint32_t>(m_free.begin(), m_free.end()));
}

Status writeLongValueMaps(PageTransaction& pages, TableState& table) {
    for (const LongValueMaps& maps : table.lvMaps) {
        auto added = table.lvNew.find(maps.column);
        if (added == table.lvNew.end()) continue;
        JET_ASSIGN_OR_RETURN(std::vector<uint32_t> used, readUsageMap(pages, maps.usedRef));
        used.insert(used.end(), added->second.begin(), added->second.end());
        std::sort(used.begin(), used.end());
        JET_RETURN_IF_ERROR(writePageList(pages, maps.usedRef, used));
        JET_RETURN_IF_ERROR(writePageList(pages, maps.freeRef, {table.lvPage[maps.column]}));
    }
    return {};
}

Status writeCounters(PageTransaction& pages, const TableState& table) {
    JET_ASSIGN_OR_RETURN(Page * tdef, pages.edit(table.def.definitionPage));
    encodeTableCounters(*tdef, table.def, kLayout);
    return {};
}

Result<std::string> encodeJet4Text(std::string_view utf8, bool allowCompression) {
    JET_ASSIGN_OR_RETURN(std::string units, utf8ToUtf16le(utf8));
    size_t count = units.size() / 2;
    if (!allowCompression || count == 0) return units;
    // A unit whose low byte is zero would read as a mode switch, so such text stays uncompressed.
    std::string packed("\xFF\xFE", 2);
    bool oneByte = true;
    for (size_t i = 0; i < count; ++i) {
        auto lo = static_cast<uint8_t>(units[2 * i]);
        auto hi = static_cast<uint8_t>(units[2 * i + 1]);
        if (lo == 0) return units;
        bool narrow = hi == 0;
        if (narrow != oneByte) {
            packed.push_back('\0');
            oneByte = narrow;
        }
        packed.push_back(static_cast<char>(lo));
        if (!narrow) packed.push_back(static_cast<char>(hi));
    }
    return packed.size() < units.size() ? packed : units;
}

double nowAsJetDate() {
    using namespace std::chrono;
    double seconds = duration_cast<duration<double>>(system_clock::now().time_since_epoch()).count();
    return std::floor(seconds) / 86400.0 + 25569.0;
}

RowInserter::RowInserter(PageTransaction& pages, TableState& table)
    : m_pages(pages),
      m_table(table),
      m_encoder(pages, table),
      m_placer(pages, table),
      m_fresh(table.def.realIndexes.size()) {}

Status RowInserter::start() {
    return m_placer.start();
}

Status RowInserter::add(std::vector<Row> rows) {
    assignAutoNumbers(m_table, rows);
    std::vector<KeyEntry> keys;
    for (size_t r = 0; r < rows.size(); ++r) {
        size_t place = m_rows + r;
        JET_ASSIGN_OR_RETURN(std::string encoded, m_encoder.encode(rows[r], place));
        JET_RETURN_IF_ERROR(indexKeys(m_table.def, rows[r], place, keys));
        JET_ASSIGN_OR_RETURN(RowId id, m_placer.place(encoded));
        for (size_t i = 0; i < keys.size(); ++i) {
            keys[i].row = id;
            m_fresh[i].push_back(std::move(keys[i]));
        }
        // Between rows the writer holds no page: the place to let pages go to the file ahead of the commit.
        JET_RETURN_IF_ERROR(m_pages.spillIfFull());
    }
    m_rows += rows.size();
    return {};
}

Status RowInserter::finish() {
    if (m_rows == 0) return {};
    for (size_t i = 0; i < m_fresh.size(); ++i)
        JET_RETURN_IF_ERROR(updateIndex(m_pages, m_table, i, {}, std::move(m_fresh[i])));
    m_table.def.rowCount += static_cast<uint32_t>(m_rows);
    for (const ColumnDef& c : m_table.def.columns) {
        if ((c.flags & ColumnFlag::AutoLong) != 0)
            m_table.def.autoNumber = static_cast<uint32_t>(m_table.nextAutoNumber - 1);
    }
    JET_RETURN_IF_ERROR(m_placer.writeMaps());
    JET_RETURN_IF_ERROR(writeLongValueMaps(m_pages, m_table));
    return writeCounters(m_pages, m_table);
}

Status insertRowsTx(PageTransaction& pages, TableState& table, const std::vector<Row>& rows) {
    RowInserter inserter(pages, table);
    JET_RETURN_IF_ERROR(inserter.start());
    JET_RETURN_IF_ERROR(inserter.add(rows));
    return inserter.finish();
}

}  // namespace jet::writer

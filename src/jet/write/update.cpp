// Changing and deleting stored rows: rows rewritten in place or moved to overflow rows, long values freed,
// indexes and counters kept.
#include <algorithm>
#include <set>

#include "codec/long_value.h"
#include "table/engine.h"
#include "write/table_state.h"

namespace jet::writer {
namespace {

constexpr size_t kOverflowPointerSize = 4;

std::string rowName(RowId id) {
    return "row " + std::to_string(id.page) + ":" + std::to_string(id.row);
}

/// A live row as stored: the slot indexes point at, where its bytes lie, its values and long-value rows.
struct StoredRow {
    RowId head;
    RowId data;  // the head itself, or the overflow row its pointer leads to
    Row values;
    std::vector<RowId> longRows;
};

// Where row `id` lies on a data page of `owner`, checked as a page the writer may change.
Result<RowSlot> slotOf(PageTransaction& pages, RowId id, uint32_t owner) {
    auto page = readDataPage(pages, id.page);
    Status checked = page.ok() ? page->checkForWriting(owner) : page.status();
    JET_RETURN_IF_ERROR(checked.withContext(rowName(id)));
    return page->slot(id.row);
}

// The bytes in `id` on a data page of `owner`, copied (later rewrites of the page move them).
Result<std::string> slotBytes(PageTransaction& pages, RowId id, uint32_t owner) {
    JET_ASSIGN_OR_RETURN(RowSlot span, slotOf(pages, id, owner));
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(id.page));
    return std::string(reinterpret_cast<const char*>(page->data()) + span.start, span.end - span.start);
}

// The rows on long-value pages that hold the value described by `field`: none, one, or a chain.
Result<std::vector<RowId>> longValueRows(PageTransaction& pages, ByteView field) {
    JET_ASSIGN_OR_RETURN(LongValueDescriptor value, decodeLongValue(field));
    std::vector<RowId> out;
    auto fetch = [&pages](RowId id) -> Result<ByteView> {
        JET_ASSIGN_OR_RETURN(RowSlot span, slotOf(pages, id, kLongValueOwner));
        JET_ASSIGN_OR_RETURN(const Page* page, pages.read(id.page));
        return ByteView(page->data() + span.start, span.end - span.start);
    };
    JET_RETURN_IF_ERROR(walkLongValue(value, fetch, [&out](RowId id, ByteView) { out.push_back(id); }));
    return out;
}

// Reads the live row whose indexes point at `head`; refuses slots that are not live rows of the table.
Result<StoredRow> loadStoredRow(PageTransaction& pages, Engine& engine, const TableDef& def, RowId head) {
    JET_ASSIGN_OR_RETURN(const Page* raw, pages.read(head.page));
    auto notARow = Status::NotFound(rowName(head) + " is not a row of table " + def.name);
    if ((*raw)[0] != PageType::Data) return notARow;
    JET_ASSIGN_OR_RETURN(DataPage page, readDataPage(pages, head.page));
    if (page.owner() != def.definitionPage || head.row >= page.rowCount()) return notARow;
    StoredRow stored{head, head, {}, {}};
    uint16_t flags = page.flags(head.row);
    if ((flags & kDeletedRowFlag) != 0) return Status::NotFound(rowName(head) + " is deleted");
    JET_ASSIGN_OR_RETURN(std::string bytes, slotBytes(pages, head, def.definitionPage));
    if (flags == kOverflowRowFlag) {
        if (bytes.size() < kOverflowPointerSize) return Status::Corruption(rowName(head) + ": short pointer");
        stored.data = RowId::fromPacked(ByteView::load32(reinterpret_cast<const uint8_t*>(bytes.data())));
        JET_ASSIGN_OR_RETURN(bytes, slotBytes(pages, stored.data, def.definitionPage));
        JET_ASSIGN_OR_RETURN(DataPage target, readDataPage(pages, stored.data.page));
        if (target.flags(stored.data.row) != kDeletedRowFlag)
            return Status::Corruption(rowName(head) + " points at " + rowName(stored.data) +
                                      ", which is not an overflow row");
    }
    RowImage image;
    image.id = head;
    image.bytes = ByteView(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    JET_RETURN_IF_ERROR(engine.values().parseRow(def, image));
    for (const ColumnDef& c : def.columns) {
        JET_ASSIGN_OR_RETURN(Value v, engine.values().decodeColumn(c, image));
        stored.values.push_back(std::move(v));
        if (!isLongValueType(c.type) || isNull(stored.values.back())) continue;
        const RowLayout& layout = image.layout;
        if (c.varIndex + 1u >= layout.varOffsets.size()) continue;
        uint32_t start = layout.varOffsets[c.varIndex];
        ByteView field(reinterpret_cast<const uint8_t*>(bytes.data()) + start,
                       layout.varOffsets[c.varIndex + 1u] - start);
        JET_ASSIGN_OR_RETURN(std::vector<RowId> rows, longValueRows(pages, field));
        stored.longRows.insert(stored.longRows.end(), rows.begin(), rows.end());
    }
    return stored;
}

// Loads every row named in `heads` before anything changes; a row named twice is refused.
Result<std::vector<StoredRow>> loadAll(PageTransaction& pages, Engine& engine, const TableDef& def,
                                       const std::vector<RowId>& heads) {
    std::set<RowId> seen;
    std::vector<StoredRow> out;
    out.reserve(heads.size());
    for (RowId id : heads) {
        if (!seen.insert(id).second) return Status::InvalidArgument(rowName(id) + " is named twice");
        auto stored = loadStoredRow(pages, engine, def, id);
        if (!stored.ok()) return stored.status().withContext("table " + def.name);
        out.push_back(std::move(stored).value());
    }
    return out;
}

// Marks a row deleted and packs its page (a data page of `owner`), so its bytes become free space.
Status freeRow(PageTransaction& pages, RowId id, uint32_t owner) {
    JET_ASSIGN_OR_RETURN(Page * page, editDataPage(pages, id.page, owner));
    if (!datapage::rewriteRow(*page, kLayout, id.row, {}, kFreedRowFlags))
        return Status::Corruption("cannot repack " + rowName(id));  // shrinking always fits
    return {};
}

Status freeLongValues(PageTransaction& pages, const StoredRow& row) {
    for (RowId id : row.longRows) JET_RETURN_IF_ERROR(freeRow(pages, id, kLongValueOwner));
    return {};
}

// Tries to store `bytes` in slot `id` with `flags`, packing the page for room; false when it does not fit.
Result<bool> rewriteIn(PageTransaction& pages, RowPlacer& placer, RowId id, const std::string& bytes,
                       uint16_t flags) {
    JET_ASSIGN_OR_RETURN(Page * page, editDataPage(pages, id.page, placer.owner()));
    if (!datapage::rewriteRow(*page, kLayout, id.row, bytes, flags)) return false;
    placer.touched(id.page, *page);
    return true;
}

// Stores the new bytes of `row`: over its overflow row, back in its head slot, or in a new overflow row
// that the head slot then points at. The head slot never moves, so index entries stay valid.
Status storeRow(PageTransaction& pages, RowPlacer& placer, const StoredRow& row, const std::string& bytes) {
    bool overflowed = row.data != row.head;
    if (overflowed) {
        JET_ASSIGN_OR_RETURN(bool done, rewriteIn(pages, placer, row.data, bytes, kDeletedRowFlag));
        if (done) return {};
    }
    JET_ASSIGN_OR_RETURN(bool inHead, rewriteIn(pages, placer, row.head, bytes, 0));
    if (overflowed) {
        JET_RETURN_IF_ERROR(freeRow(pages, row.data, placer.owner()));
        JET_ASSIGN_OR_RETURN(Page * old, pages.edit(row.data.page));
        placer.touched(row.data.page, *old);
    }
    if (inHead) return {};
    JET_ASSIGN_OR_RETURN(RowId target, placer.place(bytes, kDeletedRowFlag));
    std::string pointer(kOverflowPointerSize, '\0');
    store32(reinterpret_cast<uint8_t*>(pointer.data()), target.packed());
    JET_ASSIGN_OR_RETURN(bool pointed, rewriteIn(pages, placer, row.head, pointer, kOverflowRowFlag));
    if (!pointed)
        return Status::NotSupported(rowName(row.head) + ": no room left on its page for an overflow pointer");
    return {};
}

// True when `a` and `b` hold the same values in every column of real index `real`.
bool sameKey(const RealIndexDef& real, const Row& a, const Row& b) {
    return std::all_of(real.columns.begin(), real.columns.end(),
                       [&](const IndexColumn& ic) { return a[ic.column] == b[ic.column]; });
}

// Replaces the entries of rows whose key columns changed; indexes whose columns did not change are left
// alone, so their keys never need to be built.
Status reindexChanged(PageTransaction& pages, TableState& table, const std::vector<StoredRow>& old,
                      const std::vector<Row>& fresh) {
    for (size_t i = 0; i < table.def.realIndexes.size(); ++i) {
        const RealIndexDef& real = table.def.realIndexes[i];
        std::vector<Removal> removed;
        std::vector<KeyEntry> entries;
        for (size_t r = 0; r < old.size(); ++r) {
            if (sameKey(real, old[r].values, fresh[r])) continue;
            JET_ASSIGN_OR_RETURN(KeyEntry e, indexKey(table.def, i, fresh[r], r));
            e.row = old[r].head;
            if (auto removal = removalOf(table.def, i, old[r].values, old[r].head))
                removed.push_back(std::move(*removal));
            entries.push_back(std::move(e));
        }
        if (entries.empty()) continue;
        JET_RETURN_IF_ERROR(updateIndex(pages, table, i, removed, std::move(entries)));
    }
    return {};
}

// Null in an autonumber column keeps the stored number.
Row withKeptAutoNumbers(const TableDef& def, const Row& stored, Row values) {
    for (size_t i = 0; i < def.columns.size() && i < values.size(); ++i) {
        if ((def.columns[i].flags & ColumnFlag::AutoLong) != 0 && isNull(values[i])) values[i] = stored[i];
    }
    return values;
}

}  // namespace

Status updateRowsTx(PageTransaction& pages, Engine& engine, TableState& table,
                    const std::vector<std::pair<RowId, Row>>& rows) {
    if (rows.empty()) return {};
    std::vector<RowId> heads;
    for (const auto& [id, values] : rows) heads.push_back(id);
    JET_ASSIGN_OR_RETURN(std::vector<StoredRow> old, loadAll(pages, engine, table.def, heads));
    std::vector<Row> fresh;
    for (size_t r = 0; r < rows.size(); ++r)
        fresh.push_back(withKeptAutoNumbers(table.def, old[r].values, rows[r].second));
    // Keys first: a refused key (duplicate, Null primary key, text the encoder cannot build) must stop the
    // write before long values are placed.
    JET_RETURN_IF_ERROR(reindexChanged(pages, table, old, fresh));
    RowPlacer placer(pages, table);
    JET_RETURN_IF_ERROR(placer.start());
    RowEncoder encoder(pages, table);
    for (size_t r = 0; r < rows.size(); ++r) {
        JET_ASSIGN_OR_RETURN(std::string bytes, encoder.encode(fresh[r], r));
        JET_RETURN_IF_ERROR(freeLongValues(pages, old[r]));
        JET_RETURN_IF_ERROR(storeRow(pages, placer, old[r], bytes));
    }
    JET_RETURN_IF_ERROR(placer.writeMaps());
    JET_RETURN_IF_ERROR(writeLongValueMaps(pages, table));
    return writeCounters(pages, table);
}

Status deleteRowsTx(PageTransaction& pages, Engine& engine, TableState& table,
                    const std::vector<RowId>& ids) {
    if (ids.empty()) return {};
    JET_ASSIGN_OR_RETURN(std::vector<StoredRow> old, loadAll(pages, engine, table.def, ids));
    RowPlacer placer(pages, table);
    JET_RETURN_IF_ERROR(placer.start());
    for (const StoredRow& row : old) {
        JET_RETURN_IF_ERROR(freeLongValues(pages, row));
        if (row.data != row.head) JET_RETURN_IF_ERROR(freeRow(pages, row.data, table.def.definitionPage));
        JET_RETURN_IF_ERROR(freeRow(pages, row.head, table.def.definitionPage));
        for (RowId id : {row.data, row.head}) {
            JET_ASSIGN_OR_RETURN(Page * page, pages.edit(id.page));
            placer.touched(id.page, *page);
        }
    }
    // An entry whose key cannot be built (text of a sort order the key tables do not cover) is still
    // found: a rebuild finds entries by their row pointers.
    for (size_t i = 0; i < table.def.realIndexes.size(); ++i) {
        std::vector<Removal> removed;
        for (const StoredRow& row : old) {
            if (auto removal = removalOf(table.def, i, row.values, row.head))
                removed.push_back(std::move(*removal));
        }
        JET_RETURN_IF_ERROR(updateIndex(pages, table, i, removed, {}));
    }
    table.def.rowCount -= std::min<uint32_t>(table.def.rowCount, static_cast<uint32_t>(old.size()));
    JET_RETURN_IF_ERROR(placer.writeMaps());
    return writeCounters(pages, table);
}

}  // namespace jet::writer

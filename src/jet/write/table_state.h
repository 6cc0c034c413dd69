// The writer's view of one table: its definition plus what rows and long values need when appended.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>

#include "codec/table_definition.h"
#include "jet/writer.h"
#include "write/internal.h"

namespace jet {
class Engine;
}

namespace jet::writer {

/// A table being written: definition, counters and long-value state.
struct TableState {
    TableDef def;
    std::vector<LongValueMaps> lvMaps;
    std::map<uint16_t, uint32_t> lvPage;              // column number -> long-value page being filled
    std::map<uint16_t, std::vector<uint32_t>> lvNew;  // column number -> long-value pages added
    int64_t nextAutoNumber = 1;
};

/// Builds the stored bytes of rows: values to bytes, long values onto their own pages.
class RowEncoder {
public:
    RowEncoder(PageTransaction& pages, TableState& table) : m_pages(pages), m_table(table) {}

    /// The stored row for `values`; `rowIndex` names the row in messages.
    Result<std::string> encode(const Row& values, size_t rowIndex);

private:
    Result<std::string> encodeVariable(const ColumnDef& c, const Value& v);
    Result<std::string> encodeLongValue(const ColumnDef& c, const std::string& bytes);
    Result<RowId> placeLongRow(const ColumnDef& c, const std::string& row);

    PageTransaction& m_pages;
    TableState& m_table;
};

/// Finds room for rows among a table's data pages and keeps its owned and free-space maps.
class RowPlacer {
public:
    RowPlacer(PageTransaction& pages, const TableState& table) : m_pages(pages), m_table(table) {}

    /// Reads the table's maps; the last owned data page is filled first.
    Status start();
    /// Stores `row` with slot flags `flags` on the current page, a page with free space, or a new page.
    Result<RowId> place(const std::string& row, uint16_t flags = 0);
    /// Notes that data page `number` changed, so its place in the free-space map is checked.
    void touched(uint32_t number, const Page& page);
    /// Writes the owned-pages and free-space maps.
    Status writeMaps();
    /// The definition page of the table, which owns its data pages.
    uint32_t owner() const { return m_table.def.definitionPage; }

private:
    Result<RowId> placeOn(uint32_t number, const std::string& row, uint16_t flags);

    PageTransaction& m_pages;
    const TableState& m_table;
    std::vector<uint32_t> m_owned;
    std::set<uint32_t> m_free;        // pages with room, as the free-space map will list them
    std::set<uint32_t> m_candidates;  // pages with room not yet found too full for a row of this write
    uint32_t m_current = 0;
    bool m_mapsChanged = false;  // the owned or free pages differ from the stored maps
};

/// Appends rows to a table in batches inside one transaction: each batch is encoded and placed at once
/// (so memory holds one batch of rows), the index entries of every batch are gathered and go into the
/// indexes at finish, together with the counters and maps.
class RowInserter {
public:
    RowInserter(PageTransaction& pages, TableState& table);
    /// Reads the table's maps.
    Status start();
    /// Encodes and places `rows`; errors name rows by their place in the whole insert.
    Status add(std::vector<Row> rows);
    /// Puts the gathered entries into the indexes (a duplicate key in a unique index is refused) and
    /// writes the counters and maps.
    Status finish();

private:
    PageTransaction& m_pages;
    TableState& m_table;
    RowEncoder m_encoder;
    RowPlacer m_placer;
    std::vector<std::vector<KeyEntry>> m_fresh;  // per real index
    size_t m_rows = 0;
};

/// The key of `row` in real index `realIndex`; NotSupported when a text key cannot be built.
Result<KeyEntry> indexKey(const TableDef& t, size_t realIndex, const Row& row, size_t rowIndex);
/// Index keys of `row`, one per real index; NotSupported when a text key cannot be built.
Status indexKeys(const TableDef& t, const Row& row, size_t rowIndex, std::vector<KeyEntry>& out);
/// An entry to take out of an index: the row it points at, and its key when the key could be built.
struct Removal {
    RowId row;
    std::optional<std::string> key;
};

/// The removal of `row`'s entry from real index `realIndex`, for a row whose values are `values`; nothing
/// when the index holds no entry for it (all key columns Null in an index that leaves such rows out).
std::optional<Removal> removalOf(const TableDef& t, size_t realIndex, const Row& values, RowId row);

/// Changes real index `realIndex`: the `removed` entries go, `fresh` entries come in; a key repeated in a
/// unique index is refused. A few changes are made entry by entry along their paths; many changes, a key
/// that could not be built, or a tree Access left with leaves no node lists yet rewrite the tree whole.
/// Keeps the index's entry count.
Status updateIndex(PageTransaction& pages, TableState& table, size_t realIndex,
                   const std::vector<Removal>& removed, std::vector<KeyEntry> fresh);
/// Writes the used and free maps of long-value columns that gained pages.
Status writeLongValueMaps(PageTransaction& pages, TableState& table);
/// Writes the row count, autonumber counter and index entry counts into the definition page.
Status writeCounters(PageTransaction& pages, const TableState& table);

/// Replaces the rows at the given slots with new values, inside the transaction `pages`.
Status updateRowsTx(PageTransaction& pages, Engine& engine, TableState& table,
                    const std::vector<std::pair<RowId, Row>>& rows);
/// Deletes the rows at the given slots, inside the transaction `pages`.
Status deleteRowsTx(PageTransaction& pages, Engine& engine, TableState& table, const std::vector<RowId>& ids);

/// Reads the long-value column maps that end a one-page table definition.
Status readLongValueMaps(PageTransaction& pages, TableState& table);
/// Appends `rows` to `table` inside the transaction `pages`: rows, long values, indexes, counters, maps.
Status insertRowsTx(PageTransaction& pages, TableState& table, const std::vector<Row>& rows);
/// Lays out a new table: its definition page, map rows (on `mapPage`, extended as needed), index roots.
Result<TableState> createTableTx(PageTransaction& pages, const TableSpec& spec, bool system,
                                 uint32_t tdefPage, uint32_t& mapPage);
/// Text as Jet 4 stores it: compressed when allowed and shorter, UCS-2 otherwise.
Result<std::string> encodeJet4Text(std::string_view utf8, bool allowCompression);
/// Days since 1899-12-30 for the current time.
double nowAsJetDate();

}  // namespace jet::writer

// The writer's view of one table: its definition plus what rows and long values need when appended.
#pragma once

#include <map>
#include <memory>

#include "jet/writer.h"
#include "writer_internal.h"

namespace jet::writer {

/// The used and free page maps of one long-value column.
struct LongValueMaps {
    uint16_t column = 0;  // column number
    uint32_t usedRef = 0;
    uint32_t freeRef = 0;
};

/// A table being written: definition, counters and long-value state.
struct TableState {
    TableDef def;
    std::vector<LongValueMaps> lvMaps;
    std::map<uint16_t, uint32_t> lvPage;              // column number -> long-value page being filled
    std::map<uint16_t, std::vector<uint32_t>> lvNew;  // column number -> long-value pages added
    int64_t nextAutoNumber = 1;
};

/// Reads the long-value column maps that end a one-page table definition.
Status readLongValueMaps(PageSet& pages, TableState& table);
/// Appends `rows` to `table` inside the transaction `pages`: rows, long values, indexes, counters, maps.
Status insertRowsTx(PageSet& pages, TableState& table, const std::vector<Row>& rows);
/// Lays out a new table: its definition page, map rows (on `mapPage`, extended as needed), index roots.
Result<TableState> createTableTx(PageSet& pages, const TableSpec& spec, bool system, uint32_t tdefPage,
                                 uint32_t& mapPage);
/// Text as Jet 4 stores it: compressed when allowed and shorter, UCS-2 otherwise.
Result<std::string> encodeJet4Text(std::string_view utf8, bool allowCompression);
/// Days since 1899-12-30 for the current time.
double nowAsJetDate();

}  // namespace jet::writer

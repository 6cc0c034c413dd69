// CSV in the form `jet export` writes (RFC 4180, the value forms of jet/format_value.h), read back for
// imports: records, values by column type, and tables described by a header of "Name:type" cells.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jet/status.h"
#include "jet/value.h"
#include "jet/writer.h"

namespace jet {

/// One field of a CSV record; `quoted` tells an empty quoted field (empty text) from an empty one (Null).
struct CsvField {
    std::string text;
    bool quoted = false;
};

/// Splits CSV text (RFC 4180) into records of fields.
Result<std::vector<std::vector<CsvField>>> parseCsvRecords(std::string_view text);

/// Parses one field in the form the CSV export writes for a column of `type` (scale for Numeric).
/// An empty unquoted field is Null.
Result<Value> parseCsvValue(const CsvField& field, ColumnType type, uint8_t scale = 0);

/// The column a header cell "Name:type" describes: byte, int, long, single, double, currency, datetime,
/// bool, guid, text(N), memo, ole, binary(N) or autonumber; a bare name is text(255).
Result<ColumnSpec> columnFromHeaderCell(std::string_view cell);

/// A table and its rows read from CSV whose first record is a header of "Name:type" cells.
struct CsvTable {
    TableSpec spec;
    std::vector<Row> rows;
};

/// Reads `text` as table `name`, with a primary key on column `primaryKey` (when not empty) and a
/// one-column index named after each column of `indexed`. Errors name the record and column.
Result<CsvTable> readCsvTable(std::string_view text, const std::string& name, const std::string& primaryKey,
                              const std::vector<std::string>& indexed);

}  // namespace jet

// Writing Jet 4 databases: new files, new tables and appended rows.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/database.h"
#include "jet/status.h"
#include "jet/value.h"

namespace jet {

/// One column of a table to create.
struct ColumnSpec {
    std::string name;
    ColumnType type = ColumnType::Text;
    uint16_t size = 255;      // characters for Text, bytes for Binary; ignored otherwise
    bool autoNumber = false;  // Long columns only: Null values are numbered
    uint8_t precision = 18;   // Numeric only
    uint8_t scale = 0;        // Numeric only
};

/// One index of a table to create.
struct IndexSpec {
    std::string name;
    std::vector<std::string> columns;
    std::vector<bool> ascending;  // per column; missing entries are ascending
    bool primary = false;         // implies unique and non-null
    bool unique = false;
};

/// A table to create.
struct TableSpec {
    std::string name;
    std::vector<ColumnSpec> columns;
    std::vector<IndexSpec> indexes;
};

/// Values of one row, one per column in the table's column order.
using Row = std::vector<Value>;

/// Creates an empty Jet 4 database at `path` (General sort order, code page 1252). Fails if it exists.
Status createDatabase(const std::string& path);

/// Creates table `spec` in `db` (opened read-write) and inserts `rows` into it, all or nothing.
Status createTable(Database& db, const TableSpec& spec, const std::vector<Row>& rows = {});

/// Hands out the next rows of a table being filled; an empty batch ends them.
using RowSource = std::function<Result<std::vector<Row>>()>;

/// Creates table `spec` in `db` and fills it with the rows `source` hands out, in one write: the table
/// appears whole or not at all. Memory holds one batch of rows, the index keys and a bounded number of
/// pages, whatever the number of rows; time grows with the rows times the logarithm of their number.
Status createTable(Database& db, const TableSpec& spec, const RowSource& source);

/// Appends `rows` to the existing user table `table`, all or nothing.
Status insertRows(Database& db, std::string_view table, const std::vector<Row>& rows);

/// Replaces whole rows of the user table `table`: each pair names a row by the slot its index entries
/// point at (RowReader::rowId) and gives every column's new value (Null in an autonumber column keeps the
/// stored number). All or nothing: a duplicate unique key, a Null primary key, a value that does not fit
/// or a key that cannot be built refuses the whole call and leaves the file as it was.
Status updateRows(Database& db, std::string_view table, const std::vector<std::pair<RowId, Row>>& rows);

/// Deletes rows of the user table `table` by the slots their index entries point at, all or nothing.
Status deleteRows(Database& db, std::string_view table, const std::vector<RowId>& ids);

}  // namespace jet

// The database the SQL and DAO tests query, built through the writer: text with CJK, full-width and
// accented letters, numbers, Nulls, indexed and unindexed fields, and a table called Index.
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/writer.h"

namespace jet::sqltest {

inline ColumnSpec column(const char* name, ColumnType type, uint16_t size = 255) {
    ColumnSpec c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

inline IndexSpec index(const char* name, const char* columnName, bool primary = false) {
    IndexSpec i;
    i.name = name;
    i.columns = {columnName};
    i.primary = primary;
    return i;
}

/// Creates the test database at `path`:
///   DM(ID pk, Code1 indexed, Class, Name, Price, Qty, Flag, NumText), six rows;
///   Index(ID pk, ParentID, OCode, Name), five rows; EditRecord(ID, DMID unindexed, Note), five rows.
inline Status buildSampleDatabase(const std::string& path) {
    JET_RETURN_IF_ERROR(createDatabase(path));
    OpenOptions rw;
    rw.mode = OpenMode::ReadWrite;
    JET_ASSIGN_OR_RETURN(auto db, Database::open(path, rw));
    using T = ColumnType;
    TableSpec dm{"DM",
                 {column("ID", T::Long), column("Code1", T::Text, 10), column("Class", T::Text, 20),
                  column("Name", T::Text, 50), column("Price", T::Double), column("Qty", T::Long),
                  column("Flag", T::Boolean), column("NumText", T::Text, 10)},
                 {index("PrimaryKey", "ID", true), index("Code1", "Code1")}};
    Value n;
    std::vector<Row> dmRows = {
        {int64_t{1}, "B", "0101001", "Apple", 1.5, int64_t{10}, true, "10"},
        {int64_t{2}, "a", "0101002", "土方工程", 2.0, n, false, "9"},
        {int64_t{3}, "C", "0102001", "apple pie", n, int64_t{5}, true, "x"},
        {int64_t{4}, "A", "0101003", "ＡＢＣ", 3.25, int64_t{7}, false, n},
        {int64_t{5}, n, n, "Éclair", 0.5, int64_t{10}, true, " 10 "},
        {int64_t{6}, "b", "0201", "O'Brien", -1.0, int64_t{-3}, false, "1e1"},
    };
    JET_RETURN_IF_ERROR(createTable(*db, dm, dmRows));
    TableSpec idx{"Index",
                  {column("ID", T::Long), column("ParentID", T::Long), column("OCode", T::Long),
                   column("Name", T::Text, 20)},
                  {index("PrimaryKey", "ID", true)}};
    std::vector<Row> idxRows = {
        {int64_t{1}, int64_t{3}, int64_t{1}, "a"}, {int64_t{2}, int64_t{3}, int64_t{2}, "b"},
        {int64_t{3}, int64_t{3}, int64_t{5}, "c"}, {int64_t{4}, int64_t{4}, int64_t{9}, "d"},
        {int64_t{5}, int64_t{3}, int64_t{4}, n},
    };
    JET_RETURN_IF_ERROR(createTable(*db, idx, idxRows));
    TableSpec edit{"EditRecord",
                   {column("ID", T::Long), column("DMID", T::Long), column("Note", T::Text, 50)},
                   {index("PrimaryKey", "ID", true)}};
    std::vector<Row> editRows = {
        {int64_t{1}, int64_t{1}, "first of 1"},
        {int64_t{2}, int64_t{2}, "first of 2"},
        {int64_t{3}, int64_t{3}, "first of 3"},
        {int64_t{4}, int64_t{2}, "second of 2"},
        {int64_t{5}, n, "orphan"},
    };
    return createTable(*db, edit, editRows);
}

}  // namespace jet::sqltest

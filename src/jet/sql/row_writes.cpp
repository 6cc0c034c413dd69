// Row updates and deletes through the writer.
#include "sql/row_writes.h"

#include "engine.h"

namespace jet::sql {

Status checkWritable(Database& db, const std::string& what) {
    if (db.engine().file().readOnly())
        return Status::InvalidArgument("cannot " + what + ": the database " + db.engine().file().name() +
                                       " is open read-only");
    return {};
}

Status replaceRows(Database& db, const std::string& table, const std::vector<std::pair<RowId, Row>>& rows) {
    return updateRows(db, table, rows);
}

Status removeRows(Database& db, const std::string& table, const std::vector<RowId>& ids) {
    return deleteRows(db, table, ids);
}

}  // namespace jet::sql

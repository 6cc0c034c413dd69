// Row updates and deletes through the writer.
#include "sql/row_writes.h"

namespace jet::sql {

Status checkWritable(Database& db, const std::string& what) {
    std::string reason = db.readOnlyReason();
    if (!reason.empty())
        return Status::InvalidArgument("cannot " + what + ": the database " + db.fileName() + " is " +
                                       reason);
    return {};
}

Status replaceRows(Database& db, const std::string& table, const std::vector<std::pair<RowId, Row>>& rows) {
    return updateRows(db, table, rows);
}

Status removeRows(Database& db, const std::string& table, const std::vector<RowId>& ids) {
    return deleteRows(db, table, ids);
}

}  // namespace jet::sql

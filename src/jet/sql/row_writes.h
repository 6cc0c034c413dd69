// The writes the SQL layer makes to existing rows, in one place so that the writer API they use can move.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "jet/database.h"
#include "jet/writer.h"

namespace jet::sql {

/// Replaces the rows at the given ids of `table` with new values (every column), all or nothing.
Status replaceRows(Database& db, const std::string& table, const std::vector<std::pair<RowId, Row>>& rows);

/// Deletes the rows at `ids` of `table`, all or nothing.
Status removeRows(Database& db, const std::string& table, const std::vector<RowId>& ids);

/// An error when `db` cannot be written (opened read-only), naming `what` was attempted.
Status checkWritable(Database& db, const std::string& what);

}  // namespace jet::sql

// Choosing how a statement finds its rows: an index seek, a reusable hash of one field, or a scan.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ast.h"
#include "jet/cursor.h"
#include "jet/database.h"

namespace jet::sql {

/// The rows of one table grouped by the value of one field, for repeated `field = constant` lookups.
struct FieldHash {
    std::optional<uint64_t> builtAt;  // the table's change count when built; stale once it moves
    std::unordered_map<std::string, std::vector<RowId>> text;  // case-folded text
    std::unordered_map<double, std::vector<RowId>> numbers;
};

/// The per-database state of the SQL layer: parsed statements and field hashes.
struct QueryState {
    /// Parsed statements keyed by their text.
    std::unordered_map<std::string, std::shared_ptr<Statement>> statements;
    /// Field hashes keyed by upper-cased table name and column position.
    std::map<std::pair<std::string, int>, FieldHash> hashes;
};

/// Called for every row that satisfies the WHERE clause; returning an error stops the walk.
using RowVisitor = std::function<Status(const RowReader&)>;

/// Visits the rows of `table` that satisfy `stmt.where`, using an index or a field hash for a top-level
/// `field = constant` when it can. Rows come in physical order, or index order after a seek.
Status forEachMatch(Database& db, QueryState& state, const Statement& stmt,
                    const std::shared_ptr<const TableDef>& table, const RowVisitor& visit);

}  // namespace jet::sql

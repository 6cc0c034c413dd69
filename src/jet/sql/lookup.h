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
#include "parser.h"

namespace jet::sql {

/// The rows of one table grouped by the value of one field, for repeated `field = constant` lookups.
struct FieldHash {
    std::optional<uint64_t> builtAt;  // the table's change count when built; stale once it moves
    std::unordered_map<std::string, std::vector<RowId>> text;  // case-folded text
    std::unordered_map<double, std::vector<RowId>> numbers;
};

/// The per-database state of the SQL layer: parsed statements and field hashes.
struct QueryState {
    /// Parsed statements by shape.
    StatementCache statements;
    /// Field hashes keyed by upper-cased table name and column position.
    std::map<std::pair<std::string, int>, FieldHash> hashes;
};

/// Called for every row that satisfies the WHERE clause; returning an error stops the walk.
using RowVisitor = std::function<Status(const RowReader&)>;
/// Called with each matching row and all its values, decoded once.
using DecodedRowVisitor = std::function<Status(const RowReader&, std::vector<Value>&&)>;

/// How a statement reaches its rows: an index cursor already positioned (a seek for a top-level
/// `field = constant` or text prefix, Mid(field,1,n) = 'text', Left(field,n) = 'text', field Like 'text*';
/// or a walk of an index in ORDER BY order), the rows a field hash lists for `field = constant`, or a scan.
struct AccessPlan {
    std::optional<IndexCursor> cursor;
    std::string description;  // "scan", "hash of DMID", "seek index Class", "walk index Codes"
    bool hashed = false;
    const std::vector<RowId>* rows = nullptr;  // hashed: the rows listed (none when null)
    /// The rows come in the order of the statement's ORDER BY, so they need no sort; ties then come in
    /// physical order, as a stable sort of a scan would leave them.
    bool ordered = false;
    /// The rows reached were chosen by the WHERE clause (an index seek or a hash): nearly all match.
    bool narrowed = false;
};

/// Chooses how `stmt` reaches the rows of `table` (positioning any index cursor).
Result<AccessPlan> planAccess(Database& db, QueryState& state, const Statement& stmt,
                              const std::shared_ptr<const TableDef>& table);

/// Visits the rows `plan` reaches that satisfy `stmt.where` (checked on every row: a path may reach more).
Status visitMatches(Database& db, const Statement& stmt, const std::shared_ptr<const TableDef>& table,
                    AccessPlan& plan, const RowVisitor& visit);

/// Plans and visits in one step, for statements whose order does not matter.
/// Like visitMatches, handing the visitor every column's value. Rows a narrowed plan reaches are decoded
/// once and the WHERE clause tested on the decoded values; others are tested first, so that rows that fail
/// are not decoded whole.
Status visitMatchingValues(Database& db, const Statement& stmt, const std::shared_ptr<const TableDef>& table,
                           AccessPlan& plan, const DecodedRowVisitor& visit);

Status forEachMatch(Database& db, QueryState& state, const Statement& stmt,
                    const std::shared_ptr<const TableDef>& table, const RowVisitor& visit);

}  // namespace jet::sql

// SQL over the engine in Access's dialect: SELECT, UPDATE and DELETE on one table.
//
// Semantics follow Jet where callers can observe them:
//  - keywords, table and field names ignore letter case; text comparison, Like and ORDER BY ignore the
//    case of ASCII, Latin-1, Greek, Cyrillic and full-width Latin letters;
//  - Null compares as unknown: a Null field never matches =, <>, < ... or Like, and NOT unknown is unknown;
//    ORDER BY puts Nulls first (last when descending);
//  - text compared with a number is compared as a number when the whole text (spaces trimmed) is a
//    number; otherwise the comparison is unknown and the row does not match (Jet reports a type mismatch
//    for some such comparisons; this engine never fails a query for it);
//  - statements a host must survive are refused with InvalidArgument "Query is too complex: ...": more
//    than 200 levels of parentheses, calls, NOT or signs inside each other, or an expression tree deeper
//    than 1000 levels (operator chains included; Access itself allows 99 ANDs). Like patterns are compiled
//    once per statement and matched without backtracking. Messages quote long statements and names only
//    in part;
//  - syntax errors are InvalidArgument "Syntax error in query expression near '<text>' at <column>" where
//    the column counts characters from 1; unknown tables and fields are NotFound naming them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "jet/status.h"
#include "jet/table.h"
#include "jet/value.h"

namespace jet::sql {

/// The rows a SELECT produced, in the statement's order.
struct ResultSet {
    /// Output column names: field names, AS aliases, or Expr1000, Expr1001... for unnamed expressions.
    std::vector<std::string> columns;
    /// One entry per row, one value per output column.
    std::vector<std::vector<Value>> rows;
    /// Where each row lives; empty for aggregate queries, whose rows are computed.
    std::vector<RowId> rowIds;
    /// The table the rows came from.
    std::string table;
};

/// `v` converted to the type of `column` for storing, as UPDATE converts what it assigns (text to numbers,
/// numbers to text, rounding into integer fields): an InvalidArgument naming the field when the value does
/// not convert or overflows the column.
Result<Value> coerceToColumn(const Value& v, const ColumnDef& column);

/// What a statement is.
enum class StatementKind : uint8_t { Select, Update, Delete };

struct Statement;
struct QueryState;

/// Runs SQL against one open database. Keeps the parsed statements (keyed by their text) and the
/// equality lookups built for unindexed fields, so a connection should live as long as the database.
///
/// Every statement sees the file as last committed, by whoever committed it: a SELECT runs under the
/// database's read lock, an UPDATE or DELETE under its write lock from before it chooses its rows until
/// its commit, so rows changed by another writer meanwhile are never written back over.
class Connection {
public:
    /// A connection to `db`, which must outlive it.
    explicit Connection(Database& db);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    /// Runs a SELECT and returns its rows.
    Result<ResultSet> query(std::string_view sql);
    /// Runs an UPDATE or DELETE and returns the number of rows it changed.
    Result<uint64_t> execute(std::string_view sql);
    /// The kind of statement `sql` is, parsing it (and caching the parse) without running it.
    Result<StatementKind> kindOf(std::string_view sql);
    /// How the statement would reach its rows, without running it: "scan", "hash of FIELD", "seek index
    /// NAME" (for an equal key), "seek index NAME for a prefix" or "walk index NAME" (for the ORDER BY),
    /// followed by ", sorted" when the rows then need sorting.
    Result<std::string> plan(std::string_view sql);

    /// The database the connection runs against.
    Database& database() { return m_db; }

private:
    Result<std::shared_ptr<Statement>> prepare(std::string_view sql);

    Database& m_db;
    std::unique_ptr<QueryState> m_state;
};

}  // namespace jet::sql

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
//    than 200 levels of parentheses, calls, NOT or signs inside each other, an expression tree deeper
//    than 1000 levels (operator chains included; Access itself allows 99 ANDs), an ORDER BY of more than
//    255 keys, or a sort whose keys would take more memory than the connection allows (256 MiB unless
//    set). Like patterns are compiled once per statement and matched without backtracking. An allocation
//    that fails anywhere in a statement ends it with InvalidArgument "System resource exceeded: ...", and
//    the connection stays usable. Messages quote long statements and names only in part;
//  - syntax errors are InvalidArgument "Syntax error in query expression near '<text>' at <column>" where
//    the column counts characters from 1; unknown tables and fields are NotFound naming them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "jet/status.h"
#include "jet/table.h"
#include "jet/value.h"

namespace jet::sql {

/// The values of one result row, in output column order.
using RowSpan = std::span<const Value>;

/// The rows of a result, stored one after another in blocks of values: a result costs no allocation per
/// row, growing moves no row, sorting moves none either (the rows are listed in their new order), and a
/// result object filled again keeps its storage.
class ResultRows {
public:
    /// Iterates over the rows as RowSpans.
    class const_iterator {
    public:
        const_iterator(const ResultRows& rows, size_t row) : m_rows(&rows), m_row(row) {}
        RowSpan operator*() const { return (*m_rows)[m_row]; }
        const_iterator& operator++() {
            ++m_row;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return m_row == other.m_row; }

    private:
        const ResultRows* m_rows;
        size_t m_row;
    };

    ResultRows() = default;
    ResultRows(ResultRows&&) noexcept = default;
    ResultRows& operator=(ResultRows&&) noexcept = default;

    /// The number of rows.
    size_t size() const { return m_count; }
    /// True when there are no rows.
    bool empty() const { return m_count == 0; }
    /// The number of values in each row.
    size_t width() const { return m_width; }
    /// The values of row `row`.
    RowSpan operator[](size_t row) const { return {stored(placeOf(row)), m_width}; }
    /// The values of row `row`, to change them.
    std::span<Value> operator[](size_t row) { return {stored(placeOf(row)), m_width}; }
    const_iterator begin() const { return {*this, 0}; }
    const_iterator end() const { return {*this, m_count}; }

    /// Asks the processor to bring row `row`'s values into its cache, for a reader about to go there: once
    /// sorted, rows are read in an order their storage does not follow, which no hardware prefetch foresees.
    void prefetch(size_t row) const;
    /// The same for the texts of row `row`, whose values should be in the cache already.
    void prefetchTexts(size_t row) const;
    /// Forgets every row and sets the number of values per row; the storage stays for the next rows.
    void reset(size_t width);
    /// Appends a row and returns it for filling: every value must be set, as the storage may hold values
    /// of rows given earlier (whose text storage then serves again).
    std::span<Value> append();
    /// Removes the row appended last.
    void dropLast();
    /// Puts the rows in the order `order` lists them (positions of the rows as they are).
    void reorder(const std::vector<uint32_t>& order);

private:
    size_t placeOf(size_t row) const { return m_order.empty() ? row : m_order[row]; }
    Value* stored(size_t place) const {
        return m_blocks[place / m_rowsPerBlock].get() + (place % m_rowsPerBlock) * m_width;
    }

    std::vector<std::unique_ptr<Value[]>> m_blocks;  // m_rowsPerBlock rows each
    std::vector<uint32_t> m_order;  // where each row is stored, once reordered; empty: in storage order
    size_t m_width = 0;
    size_t m_rowsPerBlock = 1;
    size_t m_count = 0;
};

/// The rows a SELECT produced, in the statement's order.
struct ResultSet {
    /// Output column names: field names, AS aliases, or Expr1000, Expr1001... for unnamed expressions.
    std::vector<std::string> columns;
    /// The rows, one value per output column.
    ResultRows rows;
    /// Where each row lives; empty for aggregate queries, whose rows are computed.
    std::vector<RowId> rowIds;
    /// The table the rows came from.
    std::string table;
    /// True when each row is a whole row of a user table, field for field in the table's order (SELECT *,
    /// or every field named in order), so that changed values can be written back.
    bool wholeRows = false;
};

/// The rows of one table read once and grouped by the value of one field, answering lookups with exactly
/// the rows `SELECT * FROM table WHERE field = constant` gives, in its order (duplicates and Nulls of
/// other fields included), without a statement per lookup. It holds values, not the file: it stays as it
/// was read, so a caller that keeps it compares Database::fileStamp before reusing it.
class RowsByField {
public:
    /// The rows `field = constant` selects, in the statement's order; none for Null.
    std::vector<RowSpan> find(const Value& constant) const;
    /// The first of those rows, or an empty span when there is none.
    RowSpan first(const Value& constant) const;
    /// The field names of the table, in the order of each row's values.
    const std::vector<std::string>& columns() const { return m_rows.columns; }
    /// The number of rows read.
    size_t rowCount() const { return m_rows.rows.size(); }

private:
    friend class Connection;
    struct Groups;
    RowsByField();

    ResultSet m_rows;  // every row, in physical order
    std::shared_ptr<const Groups> m_groups;
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
    /// Runs a SELECT into `result`, whose storage is reused: a caller that runs many statements keeps one.
    Status query(std::string_view sql, ResultSet& result);
    /// Runs an UPDATE or DELETE and returns the number of rows it changed.
    Result<uint64_t> execute(std::string_view sql);
    /// The kind of statement `sql` is, parsing it (and caching the parse) without running it.
    Result<StatementKind> kindOf(std::string_view sql);
    /// How the statement would reach its rows, without running it: "scan", "hash of FIELD", "seek index
    /// NAME" (for an equal key), "seek index NAME for a prefix" or "walk index NAME" (for the ORDER BY),
    /// followed by ", sorted" when the rows then need sorting.
    Result<std::string> plan(std::string_view sql);

    /// Every row of `table` grouped by `field` (see RowsByField), read under one read lock.
    Result<std::shared_ptr<const RowsByField>> rowsByField(std::string_view table, std::string_view field);
    /// The most memory an ORDER BY may take for its sort keys, in bytes (256 MiB unless set); a sort that
    /// needs more fails with "Query is too complex".
    void setSortMemoryLimit(size_t bytes);

    /// The database the connection runs against.
    Database& database() { return m_db; }

private:
    Result<std::shared_ptr<Statement>> prepare(std::string_view sql);

    Database& m_db;
    std::unique_ptr<QueryState> m_state;
};

}  // namespace jet::sql

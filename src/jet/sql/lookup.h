// Choosing how a statement finds its rows: an index seek, a reusable hash of one field, or a scan, and
// testing the rows reached against what the path has not already decided.
#pragma once

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

/// The per-database state of the SQL layer: parsed statements, field hashes and limits.
struct QueryState {
    /// Parsed statements by shape.
    StatementCache statements;
    /// Field hashes keyed by upper-cased table name and column position.
    std::map<std::pair<std::string, int>, FieldHash> hashes;
    /// The most memory the sort keys of one ORDER BY may take.
    size_t sortMemoryLimit = size_t{256} << 20;
};

/// A top-level `field = constant` of a WHERE clause.
struct Equality {
    int column = -1;
    const Expr* constant = nullptr;   // a literal
    size_t conjunct = 0;              // its position among the WHERE clause's top-level conditions
    const IndexDef* index = nullptr;  // the index a seek would use
    FieldHash* hash = nullptr;        // the field's hash, once probed
};

/// A top-level condition that holds only for rows whose text field begins with a literal text:
/// Mid(field, 1, n) = 'text', Left(field, n) = 'text', field Like 'text*' (text without wildcards).
struct Prefix {
    int column = -1;
    const Expr* text = nullptr;   // its text literal
    const Expr* start = nullptr;  // the start of Mid, a literal (the shape's statements vary it)
    const Expr* count = nullptr;  // the n of Mid or Left when it is a literal
    bool like = false;            // field Like 'text'
    size_t conjunct = 0;
    const IndexDef* index = nullptr;

    /// The text the rows begin with (for Like, the pattern up to its first wildcard); nothing when this
    /// statement's literals make the condition no prefix (Mid starting elsewhere than at 1, a Like pattern
    /// with a wildcard before its end).
    std::optional<std::string_view> value() const;
    /// True when the condition says exactly "the field begins with the text": Mid or Left taking as many
    /// characters as the text has, or Like with a final star. Then testing the leading characters decides it.
    bool isBeginning() const;
};

/// What planning learns about a bound statement whatever its literals, and the index cursor it keeps
/// between runs, so that running a statement of a known shape neither analyses its clauses again nor
/// builds a cursor.
struct AccessShape {
    std::vector<const Expr*> conjuncts;  // the WHERE clause's top-level AND terms, in order
    std::vector<Equality> equalities;
    std::vector<Prefix> prefixes;
    const IndexDef* sortIndex = nullptr;  // an index that yields rows in ORDER BY order
    const IndexDef* cursorIndex = nullptr;
    std::optional<IndexCursor> cursor;
    std::vector<Value> key;  // the seek key, one value
};

/// How a statement reaches its rows: an index cursor already positioned (a seek for a top-level
/// `field = constant` or text prefix, or a walk of an index in ORDER BY order), the rows a field hash lists
/// for `field = constant`, or a scan.
struct AccessPlan {
    enum class Path : uint8_t { Scan, Seek, PrefixSeek, Hash, Walk };
    Path path = Path::Scan;
    const IndexDef* index = nullptr;           // Seek, PrefixSeek and Walk
    int column = -1;                           // Hash: the hashed field
    IndexCursor* cursor = nullptr;             // Seek, PrefixSeek and Walk: positioned, kept by the statement
    const std::vector<RowId>* rows = nullptr;  // Hash: the rows listed (none when null)
    /// The rows come in the order of the statement's ORDER BY, so they need no sort; ties then come in
    /// physical order, as a stable sort of a scan would leave them.
    bool ordered = false;
    /// The rows reached were chosen by the WHERE clause (an index seek or a hash): nearly all match.
    bool narrowed = false;
    /// A top-level condition that every row reached satisfies, which rows are not tested against.
    std::optional<size_t> decided;
    /// A prefix condition that rows are tested against by their leading characters instead.
    const Prefix* beginning = nullptr;

    /// "scan", "hash of DMID", "seek index Class", "seek index Class for a prefix", "walk index Codes".
    std::string describe(const TableDef& table) const;
};

/// Chooses how `stmt` reaches the rows of `table`, positioning the statement's kept index cursor.
Result<AccessPlan> planAccess(Database& db, QueryState& state, Statement& stmt,
                              const std::shared_ptr<const TableDef>& table);

/// A reference to a callable that the callee only calls, never keeps: unlike std::function it never
/// allocates, which matters for visitors made once per statement.
template <typename Signature>
class FunctionRef;
template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
public:
    template <typename F>
    FunctionRef(const F& f)  // NOLINT(google-explicit-constructor): made from lambdas at the call
        : m_callable(&f), m_call([](const void* callable, Args... args) -> R {
              return (*static_cast<const F*>(callable))(std::forward<Args>(args)...);
          }) {}
    R operator()(Args... args) const { return m_call(m_callable, std::forward<Args>(args)...); }

private:
    const void* m_callable;
    R (*m_call)(const void*, Args...);
};

/// Called with each row reached that satisfies the WHERE clause; returning an error stops the walk.
using RowVisitor = FunctionRef<Status(const RowReader&)>;
/// Where rows are decoded whole: `claim` gives room for one row's values (one per column, each to be
/// overwritten), `release` takes back the room claimed last when its row turns out not to match. Both refer
/// to callables that must outlive the RowStorage (named lambdas, not temporaries).
struct RowStorage {
    FunctionRef<std::span<Value>()> claim;
    FunctionRef<void()> release;
};
/// Called with each matching row and all its values, decoded once into the room RowStorage gave.
using DecodedRowVisitor = FunctionRef<Status(const RowReader&, std::span<Value>)>;

/// Visits the rows `plan` reaches that satisfy `stmt.where` (each tested on what the path left open).
Status visitMatches(Database& db, const Statement& stmt, const std::shared_ptr<const TableDef>& table,
                    AccessPlan& plan, const RowVisitor& visit);

/// Like visitMatches, handing the visitor every column's value, decoded into `storage`. Rows a narrowed
/// plan reaches are decoded once and the WHERE clause tested on the decoded values; others are tested
/// first, so that rows that fail are not decoded whole.
Status visitMatchingValues(Database& db, const Statement& stmt, const std::shared_ptr<const TableDef>& table,
                           AccessPlan& plan, const RowStorage& storage, const DecodedRowVisitor& visit);

/// Plans and visits in one step, for statements whose order does not matter.
Status forEachMatch(Database& db, QueryState& state, Statement& stmt,
                    const std::shared_ptr<const TableDef>& table, const RowVisitor& visit);

/// The index an equality seek on `column` uses: the first whose leading column it is.
const IndexDef* equalityIndex(const TableDef& table, int column);
/// The constant as a key of an index on a column of type `t`, when seeking finds every row whose value
/// compares equal to it; nothing when the statement does not seek for it.
std::optional<Value> indexKey(const Value& constant, ColumnType t);
/// True for the column types whose field hashes group values as numbers.
bool isHashedAsNumber(ColumnType t);

}  // namespace jet::sql

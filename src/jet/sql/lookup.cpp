// Access paths: index seeks (equal keys or text prefixes), field hashes, walks in index order and scans.
#include "lookup.h"

#include <cmath>
#include <optional>

#include "eval.h"
#include "text_match.h"

namespace jet::sql {

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return out;
}

/// A top-level `field = constant` of a WHERE clause.
struct Equality {
    int column = -1;
    const Value* constant = nullptr;
};

void collectEqualities(const Expr& e, std::vector<Equality>& out) {
    if (e.kind != Expr::Kind::Binary) return;
    if (e.op == Op::And) {
        collectEqualities(*e.args[0], out);
        collectEqualities(*e.args[1], out);
        return;
    }
    if (e.op != Op::Eq) return;
    const Expr& l = *e.args[0];
    const Expr& r = *e.args[1];
    if (l.kind == Expr::Kind::Column && r.kind == Expr::Kind::Literal && !isNull(r.literal))
        out.push_back({l.column, &r.literal});
    else if (r.kind == Expr::Kind::Column && l.kind == Expr::Kind::Literal && !isNull(l.literal))
        out.push_back({r.column, &l.literal});
}

/// A top-level condition that holds only for rows whose text field begins with `text`:
/// Mid(field, 1, n) = 'text', Left(field, n) = 'text', field Like 'text*' (text without wildcards).
struct Prefix {
    int column = -1;
    std::string text;
};

const std::string* textLiteral(const Expr& e) {
    return e.kind == Expr::Kind::Literal ? std::get_if<std::string>(&e.literal) : nullptr;
}

bool isIntegerLiteral(const Expr& e, int64_t wanted) {
    auto* n = e.kind == Expr::Kind::Literal ? std::get_if<int64_t>(&e.literal) : nullptr;
    return n != nullptr && *n == wanted;
}

// The column whose beginning `e` takes: Mid(column, 1, n) or Left(column, n); -1 otherwise.
int beginningOf(const Expr& e) {
    if (e.kind != Expr::Kind::Call || e.args.empty() || e.args[0]->kind != Expr::Kind::Column) return -1;
    bool mid = e.function == Function::Mid && e.args.size() == 3 && isIntegerLiteral(*e.args[1], 1);
    bool left = e.function == Function::Left && e.args.size() == 2;
    return mid || left ? e.args[0]->column : -1;
}

void collectPrefixes(const Expr& e, std::vector<Prefix>& out) {
    if (e.kind == Expr::Kind::Binary && e.op == Op::And) {
        collectPrefixes(*e.args[0], out);
        collectPrefixes(*e.args[1], out);
        return;
    }
    if (e.kind == Expr::Kind::Binary && e.op == Op::Eq) {
        for (int side : {0, 1}) {
            int column = beginningOf(*e.args[static_cast<size_t>(side)]);
            const std::string* text = textLiteral(*e.args[static_cast<size_t>(1 - side)]);
            if (column >= 0 && text != nullptr) out.push_back({column, *text});
        }
        return;
    }
    if (e.kind == Expr::Kind::Like && !e.negated && e.args[0]->kind == Expr::Kind::Column) {
        const std::string* pattern = textLiteral(*e.args[1]);
        if (pattern == nullptr) return;
        size_t wildcard = pattern->find_first_of("*?#[");
        if (wildcard == std::string::npos || (wildcard + 1 == pattern->size() && pattern->back() == '*'))
            out.push_back({e.args[0]->column, pattern->substr(0, wildcard)});
    }
}

bool isAscii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool isHashedAsNumber(ColumnType t) {
    switch (t) {
        case ColumnType::Boolean:
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::DateTime:
        case ColumnType::Numeric:
        case ColumnType::BigInt:
            return true;
        default:
            return false;
    }
}

// The constant as a key of an index on a column of type `t`, when seeking finds every row whose value
// compares equal to it. Text keys only for ASCII: other letters may fold differently in the index.
std::optional<Value> indexKey(const Value& constant, ColumnType t) {
    if (isTextType(t)) {
        auto* s = std::get_if<std::string>(&constant);
        if (s == nullptr || !isAscii(*s)) return std::nullopt;
        return constant;
    }
    std::optional<double> n = toNumber(constant);
    if (!n) return std::nullopt;
    switch (t) {
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::BigInt:
            if (std::nearbyint(*n) != *n || std::fabs(*n) > 9.0e15) return std::nullopt;
            return Value(static_cast<int64_t>(*n));
        case ColumnType::Double:
            return Value(*n);
        default:
            return std::nullopt;
    }
}

// An index whose first column is `column`.
const IndexDef* indexOn(const TableDef& table, int column) {
    for (const IndexDef& index : table.indexes) {
        const RealIndexDef& real = table.realIndexes[index.realIndex];
        if (!real.columns.empty() && static_cast<int>(real.columns[0].column) == column) return &index;
    }
    return nullptr;
}

// True when the sort keys of `stmt` are the columns of `index` from position `from` on (or a leading part
// of them), each in the index's direction: the index then yields rows in the statement's order.
bool sortsLike(const Statement& stmt, const TableDef& table, const IndexDef& index, size_t from) {
    const RealIndexDef& real = table.realIndexes[index.realIndex];
    if (stmt.orderBy.empty() || from + stmt.orderBy.size() > real.columns.size()) return false;
    for (size_t k = 0; k < stmt.orderBy.size(); ++k) {
        const SortKey& key = stmt.orderBy[k];
        const IndexColumn& column = real.columns[from + k];
        if (key.expr->kind != Expr::Kind::Column || static_cast<size_t>(key.expr->column) != column.column ||
            key.descending == column.ascending)
            return false;
        // A descending text key is its ascending key inverted byte for byte, which puts a key before the
        // longer keys it begins; a sort puts it after them. Such orders are left to the sort.
        if (key.descending && isTextType(table.columns[column.column].type)) return false;
    }
    return true;
}

// An index that gives the statement's ORDER BY, when one does.
const IndexDef* indexInSortOrder(const Statement& stmt, const TableDef& table) {
    for (const IndexDef& index : table.indexes) {
        if (sortsLike(stmt, table, index, 0)) return &index;
    }
    return nullptr;
}

class Matcher {
public:
    /// Tests each row offered against the WHERE clause of `stmt` and hands those that match to `visit`.
    Matcher(const Statement& stmt, const RowVisitor& visit) : m_stmt(stmt), m_visit(&visit) {}
    /// The same, decoding each row offered whole first and testing the decoded values.
    Matcher(const Statement& stmt, const DecodedRowVisitor& visit) : m_stmt(stmt), m_visitDecoded(&visit) {}

    Status offer(const RowReader& row) {
        if (m_visitDecoded != nullptr) return offerDecoded(row);
        if (m_stmt.where) {
            EvalContext context{&row, nullptr};
            JET_ASSIGN_OR_RETURN(Value v, evaluate(*m_stmt.where, context));
            if (!isTrue(v)) return {};
        }
        return (*m_visit)(row);
    }

private:
    Status offerDecoded(const RowReader& row) {
        JET_ASSIGN_OR_RETURN(std::vector<Value> values, row.values());
        if (m_stmt.where) {
            EvalContext context{&row, nullptr, &values};
            JET_ASSIGN_OR_RETURN(Value v, evaluate(*m_stmt.where, context));
            if (!isTrue(v)) return {};
        }
        return (*m_visitDecoded)(row, std::move(values));
    }

    const Statement& m_stmt;
    const RowVisitor* m_visit = nullptr;
    const DecodedRowVisitor* m_visitDecoded = nullptr;
};

Status scanAll(Database& db, const std::shared_ptr<const TableDef>& table, Matcher& matcher) {
    JET_ASSIGN_OR_RETURN(RowCursor cursor, db.scan(table));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return {};
        JET_RETURN_IF_ERROR(matcher.offer(cursor));
    }
}

// An index cursor positioned for `eq`, when an index can find it; with whether its order is the statement's.
Result<std::optional<AccessPlan>> seekIndex(Database& db, const Statement& stmt,
                                            const std::shared_ptr<const TableDef>& table,
                                            const Equality& eq) {
    const IndexDef* index = indexOn(*table, eq.column);
    if (index == nullptr) return std::optional<AccessPlan>();
    std::optional<Value> key = indexKey(*eq.constant, table->columns[static_cast<size_t>(eq.column)].type);
    if (!key) return std::optional<AccessPlan>();
    JET_ASSIGN_OR_RETURN(IndexCursor cursor, db.indexCursor(table, index->name));
    if (!cursor.seekable() || !cursor.seekEqual({*key}).ok()) return std::optional<AccessPlan>();
    AccessPlan plan;
    plan.cursor.emplace(std::move(cursor));
    plan.description = "seek index " + index->name;
    plan.narrowed = true;
    // The sought column is the same in every row; the index orders them by its next columns.
    plan.ordered = sortsLike(stmt, *table, *index, 0) || sortsLike(stmt, *table, *index, 1);
    return std::optional<AccessPlan>(std::move(plan));
}

// An index cursor positioned on the texts beginning with `prefix`, like seekIndex.
Result<std::optional<AccessPlan>> seekPrefix(Database& db, const Statement& stmt,
                                             const std::shared_ptr<const TableDef>& table,
                                             const Prefix& prefix) {
    const IndexDef* index = indexOn(*table, prefix.column);
    if (index == nullptr) return std::optional<AccessPlan>();
    JET_ASSIGN_OR_RETURN(IndexCursor cursor, db.indexCursor(table, index->name));
    if (!cursor.seekTextPrefix(prefix.text).ok()) return std::optional<AccessPlan>();
    AccessPlan plan;
    plan.cursor.emplace(std::move(cursor));
    plan.description = "seek index " + index->name + " for a prefix";
    plan.narrowed = true;
    plan.ordered = sortsLike(stmt, *table, *index, 0);
    return std::optional<AccessPlan>(std::move(plan));
}

Status buildHash(Database& db, const std::shared_ptr<const TableDef>& table, int column, FieldHash& hash) {
    hash = FieldHash{};
    bool numeric = isHashedAsNumber(table->columns[static_cast<size_t>(column)].type);
    JET_ASSIGN_OR_RETURN(RowCursor cursor, db.scan(table));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) break;
        JET_ASSIGN_OR_RETURN(Value v, cursor.value(static_cast<size_t>(column)));
        if (isNull(v)) continue;
        if (numeric) {
            if (std::optional<double> n = toNumber(v)) hash.numbers[*n].push_back(cursor.rowId());
        } else if (auto* s = std::get_if<std::string>(&v)) {
            hash.text[foldText(*s)].push_back(cursor.rowId());
        }
    }
    hash.builtAt = db.changeCount(table->name);
    return {};
}

// The rows whose field equals `eq`'s constant by the field's hash, built on first use; nothing when the
// field cannot be hashed for this constant (text fields compared with numbers follow the numeric rules,
// which a hash of text cannot answer).
Result<std::optional<AccessPlan>> probeHash(Database& db, QueryState& state,
                                            const std::shared_ptr<const TableDef>& table,
                                            const Equality& eq) {
    ColumnType type = table->columns[static_cast<size_t>(eq.column)].type;
    bool numeric = isHashedAsNumber(type);
    auto* text = std::get_if<std::string>(eq.constant);
    if (!numeric && !(isTextType(type) && text != nullptr)) return std::optional<AccessPlan>();
    FieldHash& hash = state.hashes[{upper(table->name), eq.column}];
    if (hash.builtAt != db.changeCount(table->name))
        JET_RETURN_IF_ERROR(buildHash(db, table, eq.column, hash));
    AccessPlan plan;
    plan.hashed = true;
    plan.narrowed = true;
    plan.description = "hash of " + table->columns[static_cast<size_t>(eq.column)].name;
    if (numeric) {
        // A non-numeric constant equals no number: no rows.
        if (std::optional<double> n = toNumber(*eq.constant)) {
            auto it = hash.numbers.find(*n);
            if (it != hash.numbers.end()) plan.rows = &it->second;
        }
    } else {
        auto it = hash.text.find(foldText(*text));
        if (it != hash.text.end()) plan.rows = &it->second;
    }
    return std::optional<AccessPlan>(std::move(plan));
}

Status walk(IndexCursor& cursor, Matcher& matcher) {
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return {};
        JET_RETURN_IF_ERROR(matcher.offer(cursor));
    }
}

Status visitHashed(Database& db, const std::shared_ptr<const TableDef>& table, const std::vector<RowId>* rows,
                   Matcher& matcher) {
    if (rows == nullptr) return {};
    RowReader reader;
    for (RowId id : *rows) {
        JET_ASSIGN_OR_RETURN(bool live, db.readRow(reader, table, id));
        if (live) JET_RETURN_IF_ERROR(matcher.offer(reader));
    }
    return {};
}

// Offers every row `plan` reaches to `matcher`.
Status offerAll(Database& db, const std::shared_ptr<const TableDef>& table, AccessPlan& plan,
                Matcher& matcher) {
    if (plan.cursor) return walk(*plan.cursor, matcher);
    if (plan.hashed) return visitHashed(db, table, plan.rows, matcher);
    return scanAll(db, table, matcher);
}

}  // namespace

Result<AccessPlan> planAccess(Database& db, QueryState& state, const Statement& stmt,
                              const std::shared_ptr<const TableDef>& table) {
    std::vector<Equality> equalities;
    std::vector<Prefix> prefixes;
    if (stmt.where) {
        collectEqualities(*stmt.where, equalities);
        collectPrefixes(*stmt.where, prefixes);
    }
    for (const Equality& eq : equalities) {
        JET_ASSIGN_OR_RETURN(std::optional<AccessPlan> plan, seekIndex(db, stmt, table, eq));
        if (plan) return std::move(*plan);
    }
    for (const Prefix& prefix : prefixes) {
        JET_ASSIGN_OR_RETURN(std::optional<AccessPlan> plan, seekPrefix(db, stmt, table, prefix));
        if (plan) return std::move(*plan);
    }
    for (const Equality& eq : equalities) {
        JET_ASSIGN_OR_RETURN(std::optional<AccessPlan> plan, probeHash(db, state, table, eq));
        if (plan) return std::move(*plan);
    }
    AccessPlan plan;
    plan.description = "scan";
    if (const IndexDef* index = indexInSortOrder(stmt, *table)) {
        JET_ASSIGN_OR_RETURN(IndexCursor cursor, db.indexCursor(table, index->name));
        plan.cursor.emplace(std::move(cursor));
        plan.description = "walk index " + index->name;
        plan.ordered = true;
    }
    return plan;
}

Status visitMatches(Database& db, const Statement& stmt, const std::shared_ptr<const TableDef>& table,
                    AccessPlan& plan, const RowVisitor& visit) {
    // The WHERE clause is checked on every row visited, so each path may offer more rows than match.
    Matcher matcher(stmt, visit);
    return offerAll(db, table, plan, matcher);
}

Status visitMatchingValues(Database& db, const Statement& stmt, const std::shared_ptr<const TableDef>& table,
                           AccessPlan& plan, const DecodedRowVisitor& visit) {
    if (plan.narrowed) {
        Matcher matcher(stmt, visit);
        return offerAll(db, table, plan, matcher);
    }
    return visitMatches(db, stmt, table, plan, [&](const RowReader& row) -> Status {
        JET_ASSIGN_OR_RETURN(std::vector<Value> values, row.values());
        return visit(row, std::move(values));
    });
}

Status forEachMatch(Database& db, QueryState& state, const Statement& stmt,
                    const std::shared_ptr<const TableDef>& table, const RowVisitor& visit) {
    JET_ASSIGN_OR_RETURN(AccessPlan plan, planAccess(db, state, stmt, table));
    return visitMatches(db, stmt, table, plan, visit);
}

}  // namespace jet::sql

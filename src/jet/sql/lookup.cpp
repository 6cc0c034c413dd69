// Access paths: index seeks, field hashes and full scans.
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

class Matcher {
public:
    Matcher(const Statement& stmt, const RowVisitor& visit) : m_stmt(stmt), m_visit(visit) {}
    Status offer(const RowReader& row) {
        if (m_stmt.where) {
            EvalContext context{&row, nullptr};
            JET_ASSIGN_OR_RETURN(Value v, evaluate(*m_stmt.where, context));
            if (!isTrue(v)) return {};
        }
        return m_visit(row);
    }

private:
    const Statement& m_stmt;
    const RowVisitor& m_visit;
};

Status scanAll(Database& db, const std::shared_ptr<const TableDef>& table, Matcher& matcher) {
    JET_ASSIGN_OR_RETURN(RowCursor cursor, db.scan(table));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return {};
        JET_RETURN_IF_ERROR(matcher.offer(cursor));
    }
}

// Seeks an index for `eq`; false when no usable index exists (nothing visited then).
Result<bool> seekIndex(Database& db, const std::shared_ptr<const TableDef>& table, const Equality& eq,
                       Matcher& matcher) {
    const IndexDef* index = indexOn(*table, eq.column);
    if (index == nullptr) return false;
    std::optional<Value> key = indexKey(*eq.constant, table->columns[static_cast<size_t>(eq.column)].type);
    if (!key) return false;
    JET_ASSIGN_OR_RETURN(IndexCursor cursor, db.indexCursor(table, index->name));
    if (!cursor.seekable() || !cursor.seekEqual({*key}).ok()) return false;
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return true;
        JET_RETURN_IF_ERROR(matcher.offer(cursor));
    }
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

// Looks `eq` up in the field's hash, building it on first use; false when the field cannot be hashed
// for this constant (text fields compared with numbers follow the numeric rules, which a hash of text
// cannot answer).
Result<bool> probeHash(Database& db, QueryState& state, const std::shared_ptr<const TableDef>& table,
                       const Equality& eq, Matcher& matcher) {
    ColumnType type = table->columns[static_cast<size_t>(eq.column)].type;
    bool numeric = isHashedAsNumber(type);
    auto* text = std::get_if<std::string>(eq.constant);
    if (!numeric && !(isTextType(type) && text != nullptr)) return false;
    FieldHash& hash = state.hashes[{upper(table->name), eq.column}];
    if (hash.builtAt != db.changeCount(table->name))
        JET_RETURN_IF_ERROR(buildHash(db, table, eq.column, hash));
    const std::vector<RowId>* ids = nullptr;
    if (numeric) {
        std::optional<double> n = toNumber(*eq.constant);
        if (!n) return true;  // a non-numeric constant equals no number
        auto it = hash.numbers.find(*n);
        ids = it == hash.numbers.end() ? nullptr : &it->second;
    } else {
        auto it = hash.text.find(foldText(*text));
        ids = it == hash.text.end() ? nullptr : &it->second;
    }
    if (ids == nullptr) return true;
    RowReader reader;
    for (RowId id : *ids) {
        JET_ASSIGN_OR_RETURN(bool live, db.readRow(reader, table, id));
        if (live) JET_RETURN_IF_ERROR(matcher.offer(reader));
    }
    return true;
}

}  // namespace

Status forEachMatch(Database& db, QueryState& state, const Statement& stmt,
                    const std::shared_ptr<const TableDef>& table, const RowVisitor& visit) {
    Matcher matcher(stmt, visit);
    std::vector<Equality> equalities;
    if (stmt.where) collectEqualities(*stmt.where, equalities);
    for (const Equality& eq : equalities) {
        JET_ASSIGN_OR_RETURN(bool done, seekIndex(db, table, eq, matcher));
        if (done) return {};
    }
    for (const Equality& eq : equalities) {
        JET_ASSIGN_OR_RETURN(bool done, probeHash(db, state, table, eq, matcher));
        if (done) return {};
    }
    return scanAll(db, table, matcher);
}

}  // namespace jet::sql

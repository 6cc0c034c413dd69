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

// The top-level AND terms of `e`, left to right.
void collectConjuncts(const Expr& e, std::vector<const Expr*>& out) {
    if (e.kind == Expr::Kind::Binary && e.op == Op::And) {
        collectConjuncts(*e.args[0], out);
        collectConjuncts(*e.args[1], out);
        return;
    }
    out.push_back(&e);
}

std::optional<Equality> equalityOf(const Expr& e) {
    if (e.kind != Expr::Kind::Binary || e.op != Op::Eq) return std::nullopt;
    for (size_t side : {0u, 1u}) {
        const Expr& column = *e.args[side];
        const Expr& constant = *e.args[1 - side];
        if (column.kind == Expr::Kind::Column && constant.kind == Expr::Kind::Literal)
            return Equality{column.column, &constant};
    }
    return std::nullopt;
}

const Expr* textLiteral(const Expr& e) {
    return e.kind == Expr::Kind::Literal && std::holds_alternative<std::string>(e.literal) ? &e : nullptr;
}

bool isIntegerLiteral(const Expr& e, int64_t wanted) {
    auto* n = e.kind == Expr::Kind::Literal ? std::get_if<int64_t>(&e.literal) : nullptr;
    return n != nullptr && *n == wanted;
}

const Expr* literalOrNull(const Expr& e) {
    return e.kind == Expr::Kind::Literal ? &e : nullptr;
}

// The beginning of a column that `e` may take, Mid(column, literal, n) or Left(column, n), with the field,
// Mid's start and the count; whether Mid starts at 1 depends on the literal of each run.
std::optional<Prefix> beginningOf(const Expr& e) {
    if (e.kind != Expr::Kind::Call || e.args.empty() || e.args[0]->kind != Expr::Kind::Column)
        return std::nullopt;
    Prefix p;
    p.column = e.args[0]->column;
    if (e.function == Function::Mid && e.args.size() == 3 && literalOrNull(*e.args[1]) != nullptr) {
        p.start = e.args[1].get();
        p.count = literalOrNull(*e.args[2]);
        return p;
    }
    if (e.function == Function::Left && e.args.size() == 2) {
        p.count = literalOrNull(*e.args[1]);
        return p;
    }
    return std::nullopt;
}

std::optional<Prefix> prefixOf(const Expr& e) {
    if (e.kind == Expr::Kind::Binary && e.op == Op::Eq) {
        for (size_t side : {0u, 1u}) {
            std::optional<Prefix> p = beginningOf(*e.args[side]);
            const Expr* text = textLiteral(*e.args[1 - side]);
            if (p && text != nullptr) {
                p->text = text;
                return p;
            }
        }
        return std::nullopt;
    }
    if (e.kind == Expr::Kind::Like && !e.negated && e.args[0]->kind == Expr::Kind::Column) {
        const Expr* pattern = textLiteral(*e.args[1]);
        if (pattern == nullptr) return std::nullopt;
        Prefix p;
        p.column = e.args[0]->column;
        p.text = pattern;
        p.like = true;
        return p;
    }
    return std::nullopt;
}

// The part of a Like pattern before its first wildcard, and whether the pattern is that text and a final
// star. Nothing when a wildcard comes before the end (the pattern is then no prefix).
std::optional<std::pair<std::string_view, bool>> likePrefix(const std::string& pattern) {
    size_t wildcard = pattern.find_first_of("*?#[");
    if (wildcard == std::string::npos) return std::make_pair(std::string_view(pattern), false);
    if (wildcard + 1 == pattern.size() && pattern.back() == '*')
        return std::make_pair(std::string_view(pattern).substr(0, wildcard), true);
    return std::nullopt;
}

// An index whose first column is `column`.
const IndexDef* indexOn(const TableDef& table, int column) {
    for (const IndexDef& index : table.indexes) {
        const RealIndexDef& real = table.realIndexes[index.realIndex];
        if (!real.columns.empty() && static_cast<int>(real.columns[0].column) == column) return &index;
    }
    return nullptr;
}

bool isAscii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
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

std::unique_ptr<AccessShape> analyse(const Statement& stmt, const TableDef& table) {
    auto shape = std::make_unique<AccessShape>();
    if (stmt.where) collectConjuncts(*stmt.where, shape->conjuncts);
    for (size_t i = 0; i < shape->conjuncts.size(); ++i) {
        const Expr& condition = *shape->conjuncts[i];
        if (std::optional<Equality> eq = equalityOf(condition)) {
            eq->conjunct = i;
            eq->index = indexOn(table, eq->column);
            shape->equalities.push_back(*eq);
        }
        std::optional<Prefix> prefix = prefixOf(condition);
        if (prefix && isTextType(table.columns[static_cast<size_t>(prefix->column)].type)) {
            prefix->conjunct = i;
            prefix->index = indexOn(table, prefix->column);
            shape->prefixes.push_back(*prefix);
        }
    }
    shape->sortIndex = indexInSortOrder(stmt, table);
    shape->key.resize(1);
    return shape;
}

// The statement's kept cursor on `index`, made when it has none on that index.
Result<IndexCursor*> cursorOn(Database& db, AccessShape& shape, const std::shared_ptr<const TableDef>& table,
                              const IndexDef& index) {
    if (shape.cursorIndex != &index || !shape.cursor) {
        shape.cursor.reset();
        shape.cursorIndex = nullptr;
        JET_ASSIGN_OR_RETURN(IndexCursor cursor, db.indexCursor(table, index.name));
        shape.cursor.emplace(std::move(cursor));
        shape.cursorIndex = &index;
    }
    return &*shape.cursor;
}

// A seek on `eq`'s index for its constant, when the index can find it.
Result<std::optional<AccessPlan>> seekIndex(Database& db, AccessShape& shape, const Statement& stmt,
                                            const std::shared_ptr<const TableDef>& table,
                                            const Equality& eq) {
    if (eq.index == nullptr || isNull(eq.constant->literal)) return std::optional<AccessPlan>();
    const ColumnType type = table->columns[static_cast<size_t>(eq.column)].type;
    std::optional<Value> key = indexKey(eq.constant->literal, type);
    if (!key) return std::optional<AccessPlan>();
    JET_ASSIGN_OR_RETURN(IndexCursor * cursor, cursorOn(db, shape, table, *eq.index));
    shape.key[0] = std::move(*key);
    if (!cursor->seekable() || !cursor->seekEqual(shape.key).ok()) return std::optional<AccessPlan>();
    AccessPlan plan;
    plan.path = AccessPlan::Path::Seek;
    plan.index = eq.index;
    plan.cursor = cursor;
    plan.narrowed = true;
    // A number's key is its value: every row found equals the constant. Text keys ignore case, width and
    // trailing spaces, so texts found may still differ.
    if (!isTextType(type)) plan.decided = eq.conjunct;
    // The sought column is the same in every row; the index orders them by its next columns.
    plan.ordered = sortsLike(stmt, *table, *eq.index, 0) || sortsLike(stmt, *table, *eq.index, 1);
    return std::optional<AccessPlan>(std::move(plan));
}

// A seek on `prefix`'s index for the texts beginning with its text.
Result<std::optional<AccessPlan>> seekPrefix(Database& db, AccessShape& shape, const Statement& stmt,
                                             const std::shared_ptr<const TableDef>& table,
                                             const Prefix& prefix) {
    std::optional<std::string_view> text = prefix.value();
    if (prefix.index == nullptr || !text) return std::optional<AccessPlan>();
    JET_ASSIGN_OR_RETURN(IndexCursor * cursor, cursorOn(db, shape, table, *prefix.index));
    if (!cursor->seekTextPrefix(*text).ok()) return std::optional<AccessPlan>();
    AccessPlan plan;
    plan.path = AccessPlan::Path::PrefixSeek;
    plan.index = prefix.index;
    plan.cursor = cursor;
    plan.narrowed = true;
    plan.ordered = sortsLike(stmt, *table, *prefix.index, 0);
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
                                            const std::shared_ptr<const TableDef>& table, Equality& eq) {
    ColumnType type = table->columns[static_cast<size_t>(eq.column)].type;
    bool numeric = isHashedAsNumber(type);
    const Value& constant = eq.constant->literal;
    auto* text = std::get_if<std::string>(&constant);
    if (isNull(constant) || (!numeric && !(isTextType(type) && text != nullptr)))
        return std::optional<AccessPlan>();
    if (eq.hash == nullptr) eq.hash = &state.hashes[{upper(table->name), eq.column}];
    FieldHash& hash = *eq.hash;
    if (hash.builtAt != db.changeCount(table->name))
        JET_RETURN_IF_ERROR(buildHash(db, table, eq.column, hash));
    AccessPlan plan;
    plan.path = AccessPlan::Path::Hash;
    plan.column = eq.column;
    plan.narrowed = true;
    if (numeric) {
        // A non-numeric constant equals no number: no rows.
        if (std::optional<double> n = toNumber(constant)) {
            auto it = hash.numbers.find(*n);
            if (it != hash.numbers.end()) plan.rows = &it->second;
        }
    } else {
        auto it = hash.text.find(foldText(*text));
        if (it != hash.text.end()) plan.rows = &it->second;
    }
    return std::optional<AccessPlan>(std::move(plan));
}

/// Tests rows against the top-level conditions the access path left open, in the order the WHERE clause
/// gives them and with its three-valued logic: a row matches when every one holds.
class Matcher {
public:
    Matcher(const Statement& stmt, const AccessPlan& plan) : m_shape(*stmt.access), m_plan(plan) {}

    /// True when the row matches; `decoded` holds every column's value when the row was decoded whole.
    Result<bool> accepts(const RowReader& row, const Value* decoded) const {
        const EvalContext context{&row, nullptr, decoded};
        bool unknown = false;
        for (size_t i = 0; i < m_shape.conjuncts.size(); ++i) {
            if (m_plan.decided == i) continue;
            if (m_plan.beginning != nullptr && m_plan.beginning->conjunct == i) {
                JET_ASSIGN_OR_RETURN(bool begins, beginsWithPrefix(row, decoded));
                if (!begins) return false;
                continue;
            }
            // Like AND in Jet, a false condition decides; an unknown one lets the next be evaluated.
            JET_ASSIGN_OR_RETURN(Value v, evaluate(*m_shape.conjuncts[i], context));
            if (isNull(v))
                unknown = true;
            else if (!isTrue(v))
                return false;
        }
        return !unknown;
    }

private:
    // The prefix condition decided by the field's leading characters; a Null field holds no text.
    Result<bool> beginsWithPrefix(const RowReader& row, const Value* decoded) const {
        const auto column = static_cast<size_t>(m_plan.beginning->column);
        if (decoded != nullptr) return beginsWith(decoded[column]);
        JET_ASSIGN_OR_RETURN(Value v, row.value(column));
        return beginsWith(v);
    }
    bool beginsWith(const Value& v) const {
        const auto* text = std::get_if<std::string>(&v);
        return text != nullptr && startsWithFolded(*text, m_beginning);
    }

    const AccessShape& m_shape;
    const AccessPlan& m_plan;
    std::string_view m_beginning = m_plan.beginning != nullptr ? m_plan.beginning->value().value() : "";
};

// Calls `offer` with every row `plan` reaches.
template <typename Offer>
Status offerAll(Database& db, const std::shared_ptr<const TableDef>& table, AccessPlan& plan, Offer&& offer) {
    if (plan.cursor != nullptr) {
        while (true) {
            JET_ASSIGN_OR_RETURN(bool more, plan.cursor->next());
            if (!more) return {};
            JET_RETURN_IF_ERROR(offer(*plan.cursor));
        }
    }
    if (plan.path == AccessPlan::Path::Hash) {
        if (plan.rows == nullptr) return {};
        RowReader reader;
        for (RowId id : *plan.rows) {
            JET_ASSIGN_OR_RETURN(bool live, db.readRow(reader, table, id));
            if (live) JET_RETURN_IF_ERROR(offer(reader));
        }
        return {};
    }
    JET_ASSIGN_OR_RETURN(RowCursor cursor, db.scan(table));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return {};
        JET_RETURN_IF_ERROR(offer(cursor));
    }
}

}  // namespace

std::optional<std::string_view> Prefix::value() const {
    const std::string& literal = std::get<std::string>(text->literal);
    if (start != nullptr && !isIntegerLiteral(*start, 1)) return std::nullopt;
    if (!like) return literal;
    auto pattern = likePrefix(literal);
    if (!pattern) return std::nullopt;
    return pattern->first;
}

bool Prefix::isBeginning() const {
    const std::string& literal = std::get<std::string>(text->literal);
    if (like) {
        auto pattern = likePrefix(literal);
        return pattern && pattern->second;
    }
    const auto* n = count != nullptr ? std::get_if<int64_t>(&count->literal) : nullptr;
    return value() && n != nullptr && *n >= 0 && static_cast<size_t>(*n) == characterCount(literal);
}

std::string AccessPlan::describe(const TableDef& table) const {
    switch (path) {
        case Path::Scan:
            return "scan";
        case Path::Hash:
            return "hash of " + table.columns[static_cast<size_t>(column)].name;
        case Path::Seek:
            return "seek index " + index->name;
        case Path::PrefixSeek:
            return "seek index " + index->name + " for a prefix";
        case Path::Walk:
            return "walk index " + index->name;
    }
    return "scan";
}

const IndexDef* equalityIndex(const TableDef& table, int column) {
    return indexOn(table, column);
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

// Text keys only for ASCII: other letters may fold differently in the index.
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

Result<AccessPlan> planAccess(Database& db, QueryState& state, Statement& stmt,
                              const std::shared_ptr<const TableDef>& table) {
    if (!stmt.access) stmt.access = analyse(stmt, *table);
    AccessShape& shape = *stmt.access;
    std::optional<AccessPlan> chosen;
    for (const Equality& eq : shape.equalities) {
        JET_ASSIGN_OR_RETURN(chosen, seekIndex(db, shape, stmt, table, eq));
        if (chosen) break;
    }
    for (size_t i = 0; !chosen && i < shape.prefixes.size(); ++i) {
        JET_ASSIGN_OR_RETURN(chosen, seekPrefix(db, shape, stmt, table, shape.prefixes[i]));
    }
    for (size_t i = 0; !chosen && i < shape.equalities.size(); ++i) {
        JET_ASSIGN_OR_RETURN(chosen, probeHash(db, state, table, shape.equalities[i]));
    }
    if (!chosen && shape.sortIndex != nullptr) {
        JET_ASSIGN_OR_RETURN(IndexCursor * cursor, cursorOn(db, shape, table, *shape.sortIndex));
        JET_RETURN_IF_ERROR(cursor->seekRange({}, {}));
        chosen.emplace();
        chosen->path = AccessPlan::Path::Walk;
        chosen->index = shape.sortIndex;
        chosen->cursor = cursor;
        chosen->ordered = true;
    }
    if (!chosen) chosen.emplace();
    // A condition that says "begins with" is decided by the leading characters, on any path.
    for (const Prefix& prefix : shape.prefixes) {
        if (prefix.isBeginning()) {
            chosen->beginning = &prefix;
            break;
        }
    }
    return std::move(*chosen);
}

Status visitMatches(Database& db, const Statement& stmt, const std::shared_ptr<const TableDef>& table,
                    AccessPlan& plan, const RowVisitor& visit) {
    Matcher matcher(stmt, plan);
    return offerAll(db, table, plan, [&](const RowReader& row) -> Status {
        JET_ASSIGN_OR_RETURN(bool matches, matcher.accepts(row, nullptr));
        return matches ? visit(row) : Status();
    });
}

Status visitMatchingValues(Database& db, const Statement& stmt, const std::shared_ptr<const TableDef>& table,
                           AccessPlan& plan, const RowStorage& storage, const DecodedRowVisitor& visit) {
    Matcher matcher(stmt, plan);
    return offerAll(db, table, plan, [&](const RowReader& row) -> Status {
        if (plan.narrowed) {
            std::span<Value> values = storage.claim();
            JET_RETURN_IF_ERROR(row.readValues(values));
            JET_ASSIGN_OR_RETURN(bool matches, matcher.accepts(row, values.data()));
            if (matches) return visit(row, values);
            storage.release();
            return {};
        }
        JET_ASSIGN_OR_RETURN(bool matches, matcher.accepts(row, nullptr));
        if (!matches) return {};
        std::span<Value> values = storage.claim();
        JET_RETURN_IF_ERROR(row.readValues(values));
        return visit(row, values);
    });
}

Status forEachMatch(Database& db, QueryState& state, Statement& stmt,
                    const std::shared_ptr<const TableDef>& table, const RowVisitor& visit) {
    JET_ASSIGN_OR_RETURN(AccessPlan plan, planAccess(db, state, stmt, table));
    return visitMatches(db, stmt, table, plan, visit);
}

}  // namespace jet::sql

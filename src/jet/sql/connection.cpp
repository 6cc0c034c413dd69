// Running statements: SELECT with aggregates and ORDER BY, UPDATE and DELETE.
#include <algorithm>
#include <numeric>

#include "eval.h"
#include "jet/collation.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "lookup.h"
#include "parser.h"

namespace jet::sql {

namespace {

/// A row on its way into a result: output values, sort keys and where it lives.
struct PendingRow {
    std::vector<Value> values;
    std::vector<Value> keys;
    std::vector<std::string> textKeys;  // Jet's collation key of each text sort key; empty otherwise
    RowId id;
};

// Text sorts as Jet's General order does (accents after the plain letter, case ignored): by the key an
// index would store. Text the key tables do not cover sorts by case-folded characters.
void addTextKeys(PendingRow& row) {
    row.textKeys.resize(row.keys.size());
    for (size_t k = 0; k < row.keys.size(); ++k) {
        auto* text = std::get_if<std::string>(&row.keys[k]);
        if (text == nullptr) continue;
        if (std::optional<std::string> key = generalSortKey(*text)) row.textKeys[k] = std::move(*key);
    }
}

// Texts that the sort order keys alike (trailing spaces, widths the order does not tell apart) sort as
// equals, as an index on them lists them.
int compareKey(const PendingRow& a, const PendingRow& b, size_t k) {
    const std::string& x = a.textKeys[k];
    const std::string& y = b.textKeys[k];
    if (!x.empty() && !y.empty()) return x.compare(y);
    const auto* i = std::get_if<int64_t>(&a.keys[k]);
    const auto* j = std::get_if<int64_t>(&b.keys[k]);
    if (i != nullptr && j != nullptr) return *i < *j ? -1 : (*i > *j ? 1 : 0);
    return compareForSort(a.keys[k], b.keys[k]);
}

std::vector<std::string> outputNames(const Statement& s, const TableDef& table) {
    std::vector<std::string> names;
    if (s.items.empty()) {
        for (const ColumnDef& c : table.columns) names.push_back(c.name);
        return names;
    }
    int unnamed = 1000;
    for (const SelectItem& item : s.items) {
        if (!item.alias.empty())
            names.push_back(item.alias);
        else if (item.expr->kind == Expr::Kind::Column)
            names.push_back(table.columns[static_cast<size_t>(item.expr->column)].name);
        else
            names.push_back("Expr" + std::to_string(unnamed++));
    }
    return names;
}

Result<std::vector<Value>> evaluateAll(const std::vector<const Expr*>& exprs, const EvalContext& context) {
    std::vector<Value> out;
    out.reserve(exprs.size());
    for (const Expr* e : exprs) {
        JET_ASSIGN_OR_RETURN(Value v, evaluate(*e, context));
        out.push_back(std::move(v));
    }
    return out;
}

// Puts `rows` in ORDER BY order, keeping equal rows in the order read; positions are sorted rather than
// the rows, which stay where they are until each moves once into place.
void sortRows(const Statement& s, std::vector<PendingRow>& rows) {
    std::vector<uint32_t> order(rows.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t ia, uint32_t ib) {
        for (size_t k = 0; k < s.orderBy.size(); ++k) {
            int c = compareKey(rows[ia], rows[ib], k);
            if (c != 0) return s.orderBy[k].descending ? c > 0 : c < 0;
        }
        return false;
    });
    std::vector<PendingRow> sorted;
    sorted.reserve(rows.size());
    for (uint32_t i : order) sorted.push_back(std::move(rows[i]));
    rows = std::move(sorted);
}

/// The running state of one aggregate function.
struct Accumulator {
    const Expr* expr = nullptr;
    Value best;
    int64_t count = 0;
    double sum = 0;
    bool integral = true;
    int64_t integerSum = 0;

    void add(const Value& v) {
        if (expr->args.empty()) {  // Count(*)
            ++count;
            return;
        }
        if (isNull(v)) return;
        ++count;
        if (expr->aggregate == Aggregate::Max || expr->aggregate == Aggregate::Min) {
            int c = isNull(best) ? 0 : compareForSort(v, best);
            if (isNull(best) || (expr->aggregate == Aggregate::Max ? c > 0 : c < 0)) best = v;
            return;
        }
        std::optional<double> n = toNumber(v);
        sum += n.value_or(0);
        auto* i = std::get_if<int64_t>(&v);
        integral = integral && i != nullptr && !__builtin_add_overflow(integerSum, *i, &integerSum);
    }

    Value result() const {
        switch (expr->aggregate) {
            case Aggregate::Count:
                return Value(count);
            case Aggregate::Max:
            case Aggregate::Min:
                return best;
            case Aggregate::Sum:
                if (count == 0) return Value();
                return integral ? Value(integerSum) : Value(sum);
            case Aggregate::Avg:
                if (count == 0) return Value();
                return Value(sum / static_cast<double>(count));
        }
        return Value();
    }
};

void collectAggregates(const Expr& e, std::vector<Accumulator>& out) {
    if (e.kind == Expr::Kind::Aggregate) out[e.slot].expr = &e;
    for (const ExprPtr& arg : e.args) collectAggregates(*arg, out);
}

Result<ResultSet> runAggregate(Database& db, QueryState& state, const Statement& s,
                               const std::shared_ptr<const TableDef>& table) {
    std::vector<Accumulator> accumulators(s.aggregateCount);
    for (const SelectItem& item : s.items) collectAggregates(*item.expr, accumulators);
    JET_RETURN_IF_ERROR(forEachMatch(db, state, s, table, [&](const RowReader& row) -> Status {
        EvalContext context{&row, nullptr};
        for (Accumulator& a : accumulators) {
            Value v;
            if (!a.expr->args.empty()) {
                JET_ASSIGN_OR_RETURN(v, evaluate(*a.expr->args[0], context));
            }
            a.add(v);
        }
        return {};
    }));
    std::vector<Value> finished;
    for (const Accumulator& a : accumulators) finished.push_back(a.result());
    ResultSet result;
    result.table = table->name;
    result.columns = outputNames(s, *table);
    EvalContext context{nullptr, &finished};
    std::vector<Value> row;
    for (const SelectItem& item : s.items) {
        JET_ASSIGN_OR_RETURN(Value v, evaluate(*item.expr, context));
        row.push_back(std::move(v));
    }
    result.rows.push_back(std::move(row));
    return result;
}

Result<ResultSet> runSelect(Database& db, QueryState& state, const Statement& s,
                            const std::shared_ptr<const TableDef>& table) {
    if (s.aggregateCount > 0) return runAggregate(db, state, s, table);
    std::vector<const Expr*> items, keys;
    for (const SelectItem& item : s.items) items.push_back(item.expr.get());
    for (const SortKey& k : s.orderBy) keys.push_back(k.expr.get());
    std::vector<PendingRow> rows;
    JET_ASSIGN_OR_RETURN(AccessPlan plan, planAccess(db, state, s, table));
    const bool ordered = plan.ordered;
    JET_RETURN_IF_ERROR(visitMatches(db, s, table, plan, [&](const RowReader& row) -> Status {
        EvalContext context{&row, nullptr};
        PendingRow pending;
        pending.id = row.rowId();
        if (items.empty()) {
            JET_ASSIGN_OR_RETURN(pending.values, row.values());
        } else {
            JET_ASSIGN_OR_RETURN(pending.values, evaluateAll(items, context));
        }
        if (!ordered) {
            JET_ASSIGN_OR_RETURN(pending.keys, evaluateAll(keys, context));
            if (!keys.empty()) addTextKeys(pending);
        }
        rows.push_back(std::move(pending));
        return {};
    }));
    if (!s.orderBy.empty() && !ordered) sortRows(s, rows);
    ResultSet result;
    result.table = table->name;
    result.columns = outputNames(s, *table);
    result.rows.reserve(rows.size());
    result.rowIds.reserve(rows.size());
    for (PendingRow& r : rows) {
        result.rows.push_back(std::move(r.values));
        result.rowIds.push_back(r.id);
    }
    return result;
}

Result<uint64_t> runUpdate(Database& db, QueryState& state, const Statement& s,
                           const std::shared_ptr<const TableDef>& table) {
    std::vector<std::pair<RowId, Row>> changes;
    JET_RETURN_IF_ERROR(forEachMatch(db, state, s, table, [&](const RowReader& row) -> Status {
        JET_ASSIGN_OR_RETURN(Row values, row.values());
        Row updated = values;
        EvalContext context{&row, nullptr};
        // Every assignment sees the row as it was before the statement, as in Jet.
        for (const Assignment& a : s.assignments) {
            JET_ASSIGN_OR_RETURN(Value v, evaluate(*a.value, context));
            const auto column = static_cast<size_t>(a.target->column);
            JET_ASSIGN_OR_RETURN(updated[column], coerceToColumn(v, table->columns[column]));
        }
        changes.emplace_back(row.rowId(), std::move(updated));
        return {};
    }));
    if (changes.empty()) return uint64_t{0};
    JET_RETURN_IF_ERROR(updateRows(db, table->name, changes));
    return static_cast<uint64_t>(changes.size());
}

Result<uint64_t> runDelete(Database& db, QueryState& state, const Statement& s,
                           const std::shared_ptr<const TableDef>& table) {
    std::vector<RowId> ids;
    JET_RETURN_IF_ERROR(forEachMatch(db, state, s, table, [&](const RowReader& row) -> Status {
        ids.push_back(row.rowId());
        return {};
    }));
    if (ids.empty()) return uint64_t{0};
    JET_RETURN_IF_ERROR(deleteRows(db, table->name, ids));
    return static_cast<uint64_t>(ids.size());
}

// The statement's table, with the statement bound to its current definition.
Result<std::shared_ptr<const TableDef>> bindToTable(Database& db, Statement& s) {
    auto table = db.table(s.table);
    if (!table.ok()) {
        if (!table.status().isNotFound()) return table.status();
        return Status::NotFound("cannot find the input table or query '" + messageExcerpt(s.table) + "'");
    }
    if (s.boundTo != *table) {
        s.boundTo.reset();
        JET_RETURN_IF_ERROR(bindStatement(s, *table));
    }
    return *table;
}

}  // namespace

Connection::Connection(Database& db) : m_db(db), m_state(std::make_unique<QueryState>()) {}

Connection::~Connection() = default;

Result<std::shared_ptr<Statement>> Connection::prepare(std::string_view sql) {
    return m_state->statements.prepare(sql);
}

Result<std::string> Connection::plan(std::string_view sql) {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<Statement> s, prepare(sql));
    JET_ASSIGN_OR_RETURN(ReadLock lock, m_db.lockForReading());
    JET_ASSIGN_OR_RETURN(auto table, bindToTable(m_db, *s));
    JET_ASSIGN_OR_RETURN(AccessPlan chosen, planAccess(m_db, *m_state, *s, table));
    bool sorted =
        s->kind == StatementKind::Select && !s->orderBy.empty() && !chosen.ordered && s->aggregateCount == 0;
    return chosen.description + (sorted ? ", sorted" : "");
}

Result<StatementKind> Connection::kindOf(std::string_view sql) {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<Statement> s, prepare(sql));
    return s->kind;
}

Result<ResultSet> Connection::query(std::string_view sql) {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<Statement> s, prepare(sql));
    if (s->kind != StatementKind::Select)
        return Status::InvalidArgument("not a SELECT statement; run it with execute: " + messageExcerpt(sql));
    JET_ASSIGN_OR_RETURN(ReadLock lock, m_db.lockForReading());
    JET_ASSIGN_OR_RETURN(auto table, bindToTable(m_db, *s));
    return runSelect(m_db, *m_state, *s, table);
}

Result<uint64_t> Connection::execute(std::string_view sql) {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<Statement> s, prepare(sql));
    if (s->kind == StatementKind::Select)
        return Status::InvalidArgument("Cannot execute a select query: " + messageExcerpt(sql));
    JET_RETURN_IF_ERROR(
        m_db.checkWritable(std::string(s->kind == StatementKind::Update ? "update" : "delete from") +
                           " table " + messageExcerpt(s->table)));
    JET_ASSIGN_OR_RETURN(WriteLock lock, m_db.lockForWriting());
    JET_ASSIGN_OR_RETURN(auto table, bindToTable(m_db, *s));
    if (table->system)
        return Status::InvalidArgument("system table " + table->name + " cannot be changed by a query");
    if (s->kind == StatementKind::Update) return runUpdate(m_db, *m_state, *s, table);
    return runDelete(m_db, *m_state, *s, table);
}

}  // namespace jet::sql

// Running statements: SELECT with aggregates and ORDER BY, UPDATE and DELETE.
#include <algorithm>
#include <bit>
#include <numeric>

#include "eval.h"
#include "jet/collation.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "lookup.h"
#include "memory_guard.h"
#include "parser.h"

namespace jet::sql {

namespace {

Status sortTooBig(size_t limit) {
    const std::string amount = limit >= (size_t{1} << 20) ? std::to_string(limit >> 20) + " MB"
                                                          : std::to_string(limit >> 10) + " KB";
    return Status::InvalidArgument("Query is too complex: sorting its rows needs more than " + amount +
                                   " of memory");
}

/// The ORDER BY of a SELECT: gathers each row's sort keys as the rows are read and gives the order to put
/// them in. A key that is a column of the output is read from the output row (no second decode); the
/// others are evaluated and kept side by side, as are the collation keys of text. The memory the keys take
/// is counted, and a sort that would take more than its limit fails.
class RowSorter {
public:
    RowSorter(const Statement& s, const TableDef& table, const std::vector<const Expr*>& items,
              size_t memoryLimit)
        : m_statement(s), m_memoryLimit(memoryLimit) {
        for (const SortKey& k : s.orderBy) {
            int output = outputPosition(*k.expr, items);
            if (output >= 0) {
                m_source.push_back({true, static_cast<size_t>(output)});
            } else {
                m_source.push_back({false, m_evaluated.size()});
                m_evaluated.push_back(k.expr.get());
            }
            const bool column = k.expr->kind == Expr::Kind::Column;
            if (!column || isTextType(table.columns[static_cast<size_t>(k.expr->column)].type))
                m_collates = true;
        }
    }

    /// Records the sort keys of the next row, whose output values are `values`.
    Status add(RowSpan values, const EvalContext& context) {
        for (const Expr* e : m_evaluated) {
            JET_ASSIGN_OR_RETURN(Value v, evaluate(*e, context));
            m_bytes += sizeof(Value) + heapBytes(v);
            m_evaluatedKeys.push_back(std::move(v));
        }
        ++m_rows;
        m_bytes += sizeof(uint32_t);  // the row's place in the order
        // Whole-number keys are gathered side by side as the row goes by, while it is at hand.
        for (size_t k = 0; m_wholeNumbers && k < m_source.size(); ++k) {
            const auto* number = std::get_if<int64_t>(&key(values, m_rows - 1, k));
            if (number == nullptr) {
                m_wholeNumbers = false;
                m_bytes -= m_wholeKeys.size() * sizeof(int64_t);
                m_wholeKeys = {};
            } else {
                m_wholeKeys.push_back(*number);
                m_bytes += sizeof(int64_t);
            }
        }
        if (m_collates) {
            const size_t row = m_rows - 1;
            for (size_t k = 0; k < m_source.size(); ++k) {
                // Text sorts as Jet's General order does (accents after the plain letter, case ignored): by
                // the key an index would store. Text the key tables do not cover sorts by case-folded
                // characters, and an empty collation key stands for that.
                const auto* text = std::get_if<std::string>(&key(values, row, k));
                std::optional<std::string> collated = text ? generalSortKey(*text) : std::nullopt;
                m_collated.push_back(collated ? std::move(*collated) : std::string());
                m_bytes += sizeof(std::string) + m_collated.back().capacity();
            }
        }
        return m_bytes > m_memoryLimit ? sortTooBig(m_memoryLimit) : Status();
    }

    /// The positions of the rows given to add(), in that order, in ORDER BY order; equal rows in the order
    /// read.
    std::vector<uint32_t> order(const ResultRows& rows) const {
        std::vector<uint32_t> order(rows.size());
        std::iota(order.begin(), order.end(), 0u);
        const size_t width = m_source.size();
        const std::vector<int64_t>* packed = m_wholeNumbers ? &m_wholeKeys : nullptr;
        if (packed && combinedOrder(*packed, order)) return order;
        if (packed) {
            // Codes and IDs: packed integers compare without touching values scattered over the heap, and
            // equal keys fall back on the order read, which makes a plain sort as stable as a stable one.
            std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
                for (size_t k = 0; k < width; ++k) {
                    int64_t x = (*packed)[a * width + k], y = (*packed)[b * width + k];
                    if (x != y) return m_statement.orderBy[k].descending ? x > y : x < y;
                }
                return a < b;
            });
            return order;
        }
        std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
            for (size_t k = 0; k < width; ++k) {
                int c = compare(rows, a, b, k);
                if (c != 0) return m_statement.orderBy[k].descending ? c > 0 : c < 0;
            }
            return false;
        });
        return order;
    }

private:
    struct Source {
        bool fromOutput;  // an output value, or an evaluated key
        size_t index;     // in the output row or among the row's evaluated keys
    };

    // Sorts `order` by whole-number keys whose ranges fit 64 bits together (codes and sequence numbers do):
    // each row's keys become one number, the first key in its highest bits and a descending key counted
    // down from its largest value, and rows sort by that number and then by their place. False, with
    // `order` untouched, when the ranges need more bits.
    bool combinedOrder(const std::vector<int64_t>& packed, std::vector<uint32_t>& order) const {
        const size_t width = m_source.size();
        std::vector<int64_t> lowest(width, INT64_MAX), highest(width, INT64_MIN);
        for (size_t i = 0; i < packed.size(); ++i) {
            lowest[i % width] = std::min(lowest[i % width], packed[i]);
            highest[i % width] = std::max(highest[i % width], packed[i]);
        }
        std::vector<int> shift(width);
        int bits = 0;
        for (size_t k = width; k-- > 0;) {
            const uint64_t range =
                order.empty() ? 0 : static_cast<uint64_t>(highest[k]) - static_cast<uint64_t>(lowest[k]);
            shift[k] = bits;
            bits += std::bit_width(range);
            if (bits > 64) return false;
        }
        std::vector<std::pair<uint64_t, uint32_t>> keyed(order.size());
        for (uint32_t row = 0; row < order.size(); ++row) {
            uint64_t combined = 0;
            for (size_t k = 0; k < width; ++k) {
                const int64_t v = packed[row * width + k];
                const uint64_t offset = m_statement.orderBy[k].descending
                                            ? static_cast<uint64_t>(highest[k]) - static_cast<uint64_t>(v)
                                            : static_cast<uint64_t>(v) - static_cast<uint64_t>(lowest[k]);
                combined |= offset << shift[k];
            }
            keyed[row] = {combined, row};
        }
        std::sort(keyed.begin(), keyed.end());
        for (size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].second;
        return true;
    }

    static size_t heapBytes(const Value& v) {
        if (const auto* text = std::get_if<std::string>(&v)) return text->capacity();
        if (const auto* bytes = std::get_if<Bytes>(&v)) return bytes->capacity();
        return 0;
    }

    // The output position of a key that is a plain column of the output, or -1.
    static int outputPosition(const Expr& key, const std::vector<const Expr*>& items) {
        if (key.kind != Expr::Kind::Column) return -1;
        if (items.empty()) return key.column;  // SELECT *: the outputs are the columns in order
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i]->kind == Expr::Kind::Column && items[i]->column == key.column)
                return static_cast<int>(i);
        return -1;
    }

    const Value& key(RowSpan values, size_t row, size_t k) const {
        const Source& source = m_source[k];
        return source.fromOutput ? values[source.index]
                                 : m_evaluatedKeys[row * m_evaluated.size() + source.index];
    }

    // Texts that the sort order keys alike (trailing spaces, widths the order does not tell apart)
    // compare equal, as an index on them lists them.
    int compare(const ResultRows& rows, size_t a, size_t b, size_t k) const {
        if (m_collates) {
            const std::string& x = m_collated[a * m_source.size() + k];
            const std::string& y = m_collated[b * m_source.size() + k];
            if (!x.empty() && !y.empty()) return x.compare(y);
        }
        return compareForSort(key(rows[a], a, k), key(rows[b], b, k));
    }

    const Statement& m_statement;
    size_t m_memoryLimit;
    std::vector<Source> m_source;
    std::vector<const Expr*> m_evaluated;
    std::vector<Value> m_evaluatedKeys;   // m_evaluated.size() per row
    bool m_collates = false;              // whether any key may be text
    std::vector<std::string> m_collated;  // one per key and row when m_collates
    bool m_wholeNumbers = true;           // whether every key of every row so far is a whole number
    std::vector<int64_t> m_wholeKeys;     // one per key and row while m_wholeNumbers
    size_t m_rows = 0;
    size_t m_bytes = 0;  // what the keys take
};

// Moves the elements of `items` into the positions `order` gives.
template <typename T>
void permute(std::vector<T>& items, const std::vector<uint32_t>& order) {
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (uint32_t i : order) sorted.push_back(std::move(items[i]));
    items = std::move(sorted);
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

Status runAggregate(Database& db, QueryState& state, Statement& s,
                    const std::shared_ptr<const TableDef>& table, ResultSet& result) {
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
    EvalContext context{nullptr, &finished};
    std::span<Value> row = result.rows.append();
    for (size_t i = 0; i < s.items.size(); ++i) {
        JET_ASSIGN_OR_RETURN(row[i], evaluate(*s.items[i].expr, context));
    }
    return {};
}

Status runSelect(Database& db, QueryState& state, Statement& s, const std::shared_ptr<const TableDef>& table,
                 ResultSet& result) {
    result.table = table->name;
    result.columns = s.columnNames;
    result.wholeRows = s.wholeRows;
    result.rowIds.clear();
    result.rows.reset(s.columnNames.size());
    if (s.aggregateCount > 0) return runAggregate(db, state, s, table, result);
    std::vector<const Expr*> items;
    for (const SelectItem& item : s.items) items.push_back(item.expr.get());
    JET_ASSIGN_OR_RETURN(AccessPlan plan, planAccess(db, state, s, table));
    const bool sorts = !s.orderBy.empty() && !plan.ordered;
    RowSorter sorter(s, *table, items, state.sortMemoryLimit);
    auto keep = [&](const RowReader& row, RowSpan values, const EvalContext& context) -> Status {
        if (sorts) JET_RETURN_IF_ERROR(sorter.add(values, context));
        result.rowIds.push_back(row.rowId());
        return {};
    };
    if (items.empty()) {
        // SELECT *: every column is decoded anyway, straight into the result, so the WHERE clause may read
        // the decoded values.
        auto claim = [&] { return result.rows.append(); };
        auto release = [&] { result.rows.dropLast(); };
        const RowStorage intoResult{claim, release};
        JET_RETURN_IF_ERROR(visitMatchingValues(
            db, s, table, plan, intoResult, [&](const RowReader& row, std::span<Value> values) {
                return keep(row, values, EvalContext{&row, nullptr, values.data()});
            }));
    } else {
        JET_RETURN_IF_ERROR(visitMatches(db, s, table, plan, [&](const RowReader& row) -> Status {
            const EvalContext context{&row, nullptr};
            std::span<Value> out = result.rows.append();
            for (size_t i = 0; i < items.size(); ++i) {
                JET_ASSIGN_OR_RETURN(out[i], evaluate(*items[i], context));
            }
            return keep(row, out, context);
        }));
    }
    if (sorts) {
        const std::vector<uint32_t> order = sorter.order(result.rows);
        result.rows.reorder(order);
        permute(result.rowIds, order);
    }
    return {};
}

Result<uint64_t> runUpdate(Database& db, QueryState& state, Statement& s,
                           const std::shared_ptr<const TableDef>& table) {
    std::vector<std::pair<RowId, Row>> changes;
    JET_ASSIGN_OR_RETURN(AccessPlan plan, planAccess(db, state, s, table));
    // The whole row is written back, so each is decoded once and conditions and assignments read that.
    Row decoded(table->columns.size());
    auto claim = [&] { return std::span<Value>(decoded); };
    auto release = [] {};
    const RowStorage scratch{claim, release};
    JET_RETURN_IF_ERROR(visitMatchingValues(
        db, s, table, plan, scratch, [&](const RowReader& row, std::span<Value> values) -> Status {
            Row updated(values.begin(), values.end());
            const EvalContext context{&row, nullptr, values.data()};
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

Result<uint64_t> runDelete(Database& db, QueryState& state, Statement& s,
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
    if (s.boundTo && s.boundVersion == db.definitionsVersion()) return s.boundTo;
    auto table = db.table(s.table);
    if (!table.ok()) {
        if (!table.status().isNotFound()) return table.status();
        return Status::NotFound("cannot find the input table or query '" + messageExcerpt(s.table) + "'");
    }
    if (s.boundTo != *table) {
        s.boundTo.reset();
        JET_RETURN_IF_ERROR(bindStatement(s, *table));
    }
    s.boundVersion = db.definitionsVersion();
    return *table;
}

}  // namespace

Connection::Connection(Database& db) : m_db(db), m_state(std::make_unique<QueryState>()) {}

Connection::~Connection() = default;

Result<std::shared_ptr<Statement>> Connection::prepare(std::string_view sql) {
    return m_state->statements.prepare(sql);
}

void Connection::setSortMemoryLimit(size_t bytes) {
    m_state->sortMemoryLimit = bytes;
}

Result<std::string> Connection::plan(std::string_view sql) {
    return withinMemory(sql, [&]() -> Result<std::string> {
        JET_ASSIGN_OR_RETURN(std::shared_ptr<Statement> s, prepare(sql));
        JET_ASSIGN_OR_RETURN(ReadLock lock, m_db.lockForReading());
        JET_ASSIGN_OR_RETURN(auto table, bindToTable(m_db, *s));
        JET_ASSIGN_OR_RETURN(AccessPlan chosen, planAccess(m_db, *m_state, *s, table));
        bool sorted = s->kind == StatementKind::Select && !s->orderBy.empty() && !chosen.ordered &&
                      s->aggregateCount == 0;
        return chosen.describe(*table) + (sorted ? ", sorted" : "");
    });
}

Result<StatementKind> Connection::kindOf(std::string_view sql) {
    return withinMemory(sql, [&]() -> Result<StatementKind> {
        JET_ASSIGN_OR_RETURN(std::shared_ptr<Statement> s, prepare(sql));
        return s->kind;
    });
}

Result<ResultSet> Connection::query(std::string_view sql) {
    ResultSet result;
    JET_RETURN_IF_ERROR(query(sql, result));
    return result;
}

Status Connection::query(std::string_view sql, ResultSet& result) {
    return withinMemory(sql, [&]() -> Status {
        JET_ASSIGN_OR_RETURN(std::shared_ptr<Statement> s, prepare(sql));
        if (s->kind != StatementKind::Select)
            return Status::InvalidArgument("not a SELECT statement; run it with execute: " +
                                           messageExcerpt(sql));
        JET_ASSIGN_OR_RETURN(ReadLock lock, m_db.lockForReading());
        JET_ASSIGN_OR_RETURN(auto table, bindToTable(m_db, *s));
        return runSelect(m_db, *m_state, *s, table, result);
    });
}

Result<uint64_t> Connection::execute(std::string_view sql) {
    return withinMemory(sql, [&]() -> Result<uint64_t> {
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
    });
}

}  // namespace jet::sql

// A table read once and grouped by one field, answering `field = constant` as the statement would.
//
// The rows a statement `SELECT * FROM t WHERE f = c` returns are the rows whose field compares equal to c,
// in the order of the path the planner takes for c: an index seek lists them in the index's order, a field
// hash or a scan in physical order. So a lookup filters with the statement's own comparison and orders by
// the same decision the planner makes (equalityIndex and indexKey serve both).
#include <algorithm>
#include <cmath>
#include <limits>

#include "eval.h"
#include "jet/sql.h"
#include "lookup.h"
#include "memory_guard.h"
#include "text_match.h"

namespace jet::sql {

namespace {
constexpr uint32_t kNotInIndex = std::numeric_limits<uint32_t>::max();
}  // namespace

/// How the rows are grouped and ordered for lookups.
struct RowsByField::Groups {
    size_t column = 0;
    ColumnType type = ColumnType::Long;
    /// The field's value (numbers by value, text case-folded) and the row's position, for every row, sorted:
    /// a key's rows lie side by side in physical order, and every row that can equal a constant lies among
    /// those of the constant's key. Sorted arrays rather than maps: one allocation, not one per key.
    std::vector<std::pair<double, uint32_t>> numbers;
    std::vector<std::pair<std::string, uint32_t>> texts;
    /// Each row's place in the walk of the index an equality seek on the field uses (kNotInIndex for rows
    /// the index does not list); empty when no seek serves the field.
    std::vector<uint32_t> indexRank;

    /// Calls `visit` with the position of every row equal to `constant` in physical order, until it returns
    /// false.
    template <typename Visit>
    void forEachEqual(const ResultRows& rows, const Value& constant, Visit&& visit) const {
        auto equal = [&](size_t row) {
            std::optional<int> c = compareForQuery(rows[row][column], constant);
            return c && *c == 0;
        };
        auto visitGroup = [&](const auto& keyed, const auto& key) {
            auto first = std::lower_bound(keyed.begin(), keyed.end(), key,
                                          [](const auto& entry, const auto& k) { return entry.first < k; });
            for (; first != keyed.end() && first->first == key; ++first)
                if (equal(first->second) && !visit(first->second)) return;
        };
        if (!isTextType(type)) {
            if (std::optional<double> n = toNumber(constant)) visitGroup(numbers, *n);
        } else if (const auto* text = std::get_if<std::string>(&constant)) {
            visitGroup(texts, foldText(*text));
        } else {
            // Text compared with a number is compared as a number: no group answers that.
            for (size_t row = 0; row < rows.size(); ++row)
                if (equal(row) && !visit(static_cast<uint32_t>(row))) return;
        }
    }

    /// True when the statement finds `constant` by an index seek, so that its rows come in index order.
    bool seeks(const Value& constant) const { return !indexRank.empty() && indexKey(constant, type); }
};

RowsByField::RowsByField() = default;

std::vector<RowSpan> RowsByField::find(const Value& constant) const {
    std::vector<RowSpan> found;
    if (isNull(constant)) return found;
    std::vector<uint32_t> rows;
    m_groups->forEachEqual(m_rows.rows, constant, [&](uint32_t row) {
        rows.push_back(row);
        return true;
    });
    if (m_groups->seeks(constant)) {
        const std::vector<uint32_t>& rank = m_groups->indexRank;
        std::erase_if(rows, [&](uint32_t row) { return rank[row] == kNotInIndex; });
        std::sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) { return rank[a] < rank[b]; });
    }
    for (uint32_t row : rows) found.push_back(m_rows.rows[row]);
    return found;
}

RowSpan RowsByField::first(const Value& constant) const {
    if (isNull(constant)) return {};
    const bool seeks = m_groups->seeks(constant);
    const std::vector<uint32_t>& rank = m_groups->indexRank;
    uint32_t best = kNotInIndex;
    m_groups->forEachEqual(m_rows.rows, constant, [&](uint32_t row) {
        if (!seeks) {
            best = row;
            return false;  // physical order: the first equal row is the first
        }
        if (rank[row] != kNotInIndex && (best == kNotInIndex || rank[row] < rank[best])) best = row;
        return true;
    });
    if (best == kNotInIndex) return {};
    return m_rows.rows[best];
}

namespace {

// Every row of `table` in physical order, decoded into `into`.
Status readAllRows(Database& db, const std::shared_ptr<const TableDef>& table, ResultSet& into) {
    into.table = table->name;
    into.columns.clear();
    for (const ColumnDef& c : table->columns) into.columns.push_back(c.name);
    into.wholeRows = !table->system;
    into.rows.reset(table->columns.size());
    JET_ASSIGN_OR_RETURN(RowCursor cursor, db.scan(table));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return {};
        JET_RETURN_IF_ERROR(cursor.readValues(into.rows.append()));
        into.rowIds.push_back(cursor.rowId());
    }
}

// Each row's place in the walk of `index`.
Result<std::vector<uint32_t>> indexRanks(Database& db, const std::shared_ptr<const TableDef>& table,
                                         const IndexDef& index, const std::vector<RowId>& rowIds) {
    // Where each row lies among those read, found by its packed location.
    std::vector<std::pair<uint32_t, uint32_t>> positions;
    positions.reserve(rowIds.size());
    for (size_t i = 0; i < rowIds.size(); ++i)
        positions.emplace_back(rowIds[i].packed(), static_cast<uint32_t>(i));
    std::sort(positions.begin(), positions.end());
    std::vector<uint32_t> rank(rowIds.size(), kNotInIndex);
    JET_ASSIGN_OR_RETURN(IndexCursor cursor, db.indexCursor(table, index.name));
    if (!cursor.seekable()) return std::vector<uint32_t>();
    uint32_t next = 0;
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return rank;
        const uint32_t packed = cursor.rowId().packed();
        auto it = std::lower_bound(positions.begin(), positions.end(), std::make_pair(packed, uint32_t{0}));
        if (it == positions.end() || it->first != packed)
            return Status::Corruption("index " + index.name + " of table " + table->name +
                                      " lists a row its table does not hold, on page " +
                                      std::to_string(cursor.rowId().page));
        rank[it->second] = next++;
    }
}

}  // namespace

Result<std::shared_ptr<const RowsByField>> Connection::rowsByField(std::string_view tableName,
                                                                   std::string_view field) {
    return withinMemory(tableName, [&]() -> Result<std::shared_ptr<const RowsByField>> {
        JET_ASSIGN_OR_RETURN(ReadLock lock, m_db.lockForReading());
        auto table = m_db.table(tableName);
        if (!table.ok()) return table.status();
        const int column = (*table)->columnIndex(field);
        if (column < 0)
            return Status::NotFound("unknown field '" + messageExcerpt(field) + "' in table " +
                                    (*table)->name);
        const ColumnType type = (*table)->columns[static_cast<size_t>(column)].type;
        if (!isTextType(type) && !isHashedAsNumber(type))
            return Status::NotSupported("rows cannot be grouped by field " + std::string(field) +
                                        " of type " + std::string(columnTypeName(type)));
        std::shared_ptr<RowsByField> rows(new RowsByField());
        JET_RETURN_IF_ERROR(readAllRows(m_db, *table, rows->m_rows));
        auto groups = std::make_shared<RowsByField::Groups>();
        groups->column = static_cast<size_t>(column);
        groups->type = type;
        const ResultRows& all = rows->m_rows.rows;
        for (size_t row = 0; row < all.size(); ++row) {
            const Value& v = all[row][groups->column];
            const auto position = static_cast<uint32_t>(row);
            if (const auto* text = std::get_if<std::string>(&v))
                groups->texts.emplace_back(foldText(*text), position);
            else if (std::optional<double> n = toNumber(v); n && !isTextType(type) && !std::isnan(*n))
                groups->numbers.emplace_back(*n, position);
        }
        std::sort(groups->numbers.begin(), groups->numbers.end());
        std::sort(groups->texts.begin(), groups->texts.end());
        if (const IndexDef* index = equalityIndex(**table, column)) {
            JET_ASSIGN_OR_RETURN(groups->indexRank, indexRanks(m_db, *table, *index, rows->m_rows.rowIds));
        }
        rows->m_groups = std::move(groups);
        return std::shared_ptr<const RowsByField>(std::move(rows));
    });
}

}  // namespace jet::sql

// Index B-trees: page decoding, ordered walks and seeks by encoded key.
#include <algorithm>
#include <optional>
#include <unordered_set>

#include "codec/index_key.h"
#include "codec/index_page.h"
#include "jet/format_value.h"
#include "table/engine.h"

namespace jet {
namespace {

constexpr int kMaxTreeDepth = 32;

/// True when `key` begins with `prefix`.
bool startsWith(const std::string& key, const std::string& prefix) {
    return key.size() >= prefix.size() && key.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

struct IndexCursor::State {
    const RealIndexDef* real = nullptr;
    bool encodable = true;  // every key column's keys can be built
    // Current leaf and position in it.
    std::shared_ptr<const IndexPage> leaf;
    size_t position = 0;
    bool started = false;
    bool finished = false;
    // The current leaf's page, and the leaf pages this walk visited once it left its first leaf (a seek
    // that stays on one leaf keeps no set), to stop a loop of links.
    uint32_t leafPage = 0;
    bool chainTracked = false;
    std::unordered_set<uint32_t> leavesSeen;
    // Bounds as encoded keys (when encodable) or as values (fallback).
    std::optional<std::string> lowerKey, upperKey;
    bool lowerInclusive = true, upperInclusive = true;
    IndexBound lowerValues, upperValues;
};

IndexCursor::IndexCursor(Engine& engine, std::shared_ptr<const TableDef> table, std::unique_ptr<State> state)
    : m_state(std::move(state)) {
    m_engine = &engine;
    m_table = std::move(table);
    m_image = std::make_unique<RowImage>();
}
IndexCursor::IndexCursor(IndexCursor&&) noexcept = default;
IndexCursor& IndexCursor::operator=(IndexCursor&&) noexcept = default;
IndexCursor::~IndexCursor() = default;

bool IndexCursor::seekable() const {
    return m_state->encodable;
}

namespace {

TextKeyCollation collationOf(const Engine& engine, const ColumnDef& c) {
    return textKeyCollation(engine.layout().jet3, c.sortOrder.id, c.sortOrder.version);
}

// Encodes `values` as the key of the leading index columns.
Result<std::string> encodeKey(const Engine& engine, const TableDef& table, const RealIndexDef& real,
                              const std::vector<Value>& values) {
    if (values.size() > real.columns.size())
        return Status::InvalidArgument("more key values than index columns");
    std::string key;
    for (size_t i = 0; i < values.size(); ++i) {
        const ColumnDef& c = table.columns[real.columns[i].column];
        JET_RETURN_IF_ERROR(
            appendIndexKey(key, values[i], c.type, real.columns[i].ascending, collationOf(engine, c)));
    }
    return key;
}

// Compares the row's key columns with bound values (fallback for keys that cannot be encoded), honouring
// each column's direction.
int compareRowWithBound(const RowReader& row, const TableDef& table, const RealIndexDef& real,
                        const std::vector<Value>& bound, Status& error) {
    for (size_t i = 0; i < bound.size() && i < real.columns.size(); ++i) {
        auto v = row.value(real.columns[i].column);
        if (!v.ok()) {
            error = v.status();
            return 0;
        }
        int c = compareValues(*v, bound[i]);
        if (c != 0) return real.columns[i].ascending ? c : -c;
    }
    (void)table;
    return 0;
}

}  // namespace

// The key bytes every key of a text beginning with `prefix` begins with: the weights of its characters,
// which come before a key's trailing sections. The keys of the prefix followed by two characters of
// different weights agree exactly that far, as long as each character's weight does not depend on its
// neighbours, which holds for the General orders.
Result<std::string> textPrefixKey(std::string_view prefix, TextKeyCollation collation) {
    // Trailing spaces are not keyed: a text that is the prefix itself keeps none of them.
    while (!prefix.empty() && prefix.back() == ' ') prefix.remove_suffix(1);
    std::string a, b;
    JET_RETURN_IF_ERROR(
        appendIndexKey(a, Value(std::string(prefix) + "0"), ColumnType::Text, true, collation));
    JET_RETURN_IF_ERROR(
        appendIndexKey(b, Value(std::string(prefix) + "a"), ColumnType::Text, true, collation));
    size_t common = 0;
    while (common < a.size() && common < b.size() && a[common] == b[common]) ++common;
    return a.substr(0, common);
}

Status IndexCursor::seekTextPrefix(std::string_view prefix) {
    State& s = *m_state;
    constexpr size_t kLongestPrefix = 200;  // well inside the 255 characters a key holds
    if (!s.encodable || s.real->columns.empty() || !s.real->columns[0].ascending ||
        prefix.size() > kLongestPrefix)
        return Status::NotSupported("this index cannot be sought by a text prefix");
    const ColumnDef& column = m_table->columns[s.real->columns[0].column];
    if (!isTextType(column.type)) return Status::NotSupported("the index does not begin with a text column");
    JET_ASSIGN_OR_RETURN(std::string key, textPrefixKey(prefix, collationOf(*m_engine, column)));
    JET_RETURN_IF_ERROR(seekRange({}, {}));
    // Both bounds the prefix, inclusive: keys from it on, and no further than those that begin with it.
    s.lowerKey = key;
    s.upperKey = std::move(key);
    return {};
}

Status IndexCursor::seekEqual(const std::vector<Value>& values) {
    return setBounds(values, true, values, true);
}

Status IndexCursor::seekRange(const IndexBound& lower, const IndexBound& upper) {
    return setBounds(lower.values, lower.inclusive, upper.values, upper.inclusive);
}

Status IndexCursor::setBounds(const std::vector<Value>& lower, bool lowerInclusive,
                              const std::vector<Value>& upper, bool upperInclusive) {
    State& s = *m_state;
    s.started = false;
    s.finished = false;
    s.lowerKey.reset();
    s.upperKey.reset();
    s.lowerInclusive = lowerInclusive;
    s.upperInclusive = upperInclusive;
    // Bounds are kept as values only for keys this engine cannot encode, which rows are compared with.
    auto keepValues = [&] {
        s.encodable = false;
        s.lowerKey.reset();
        s.upperKey.reset();
        s.lowerValues = IndexBound{lower, lowerInclusive};
        s.upperValues = IndexBound{upper, upperInclusive};
        return Status();
    };
    if (!s.encodable) return keepValues();
    if (!lower.empty()) {
        auto key = encodeKey(*m_engine, *m_table, *s.real, lower);
        if (key.status().isNotSupported()) return keepValues();
        if (!key.ok()) return key.status();
        s.lowerKey = std::move(key).value();
    }
    if (&upper == &lower) {
        // A seek for one key: both bounds are its encoding.
        s.upperKey = s.lowerKey;
        return {};
    }
    if (!upper.empty()) {
        auto key = encodeKey(*m_engine, *m_table, *s.real, upper);
        if (key.status().isNotSupported()) return keepValues();
        if (!key.ok()) return key.status();
        s.upperKey = std::move(key).value();
    }
    return {};
}

Result<bool> IndexCursor::next() {
    State& s = *m_state;
    Engine& engine = *m_engine;
    if (s.finished) return false;
    if (!s.started) {
        // Descend to the leaf that may hold the first key not below the lower bound.
        s.started = true;
        uint32_t pageNumber = s.real->rootPage;
        for (int depth = 0;; ++depth) {
            if (depth > kMaxTreeDepth) {
                return Status::Corruption("index tree deeper than any real index at page " +
                                          std::to_string(pageNumber));
            }
            JET_ASSIGN_OR_RETURN(std::shared_ptr<const IndexPage> page,
                                 engine.indexPages().page(pageNumber, m_table->definitionPage));
            if (page->leaf) {
                s.leafPage = pageNumber;
                s.chainTracked = false;
                s.leaf = std::move(page);
                break;
            }
            const std::vector<IndexEntry>& entries = page->entries;
            if (entries.empty())
                return Status::Corruption("empty index node page " + std::to_string(pageNumber));
            size_t i = 0;
            if (s.lowerKey) {
                // Node entries carry the last key of their child; the first not below the bound leads down.
                auto it =
                    std::lower_bound(entries.begin(), entries.end() - 1, *s.lowerKey,
                                     [](const IndexEntry& e, const std::string& k) { return e.key < k; });
                i = static_cast<size_t>(it - entries.begin());
            }
            pageNumber = entries[i].child;
        }
        s.position = 0;
        if (s.lowerKey) {
            auto& entries = s.leaf->entries;
            auto it = std::lower_bound(entries.begin(), entries.end(), *s.lowerKey,
                                       [](const IndexEntry& e, const std::string& k) { return e.key < k; });
            s.position = static_cast<size_t>(it - entries.begin());
        }
    }
    while (true) {
        while (s.position >= s.leaf->entries.size()) {
            if (s.leaf->next == 0) {
                s.finished = true;
                return false;
            }
            uint32_t nextPage = s.leaf->next;
            if (!s.chainTracked) {
                s.leavesSeen.clear();
                s.leavesSeen.insert(s.leafPage);
                s.chainTracked = true;
            }
            if (!s.leavesSeen.insert(nextPage).second)
                return Status::Corruption("index leaf pages form a loop at page " + std::to_string(nextPage));
            s.leafPage = nextPage;
            JET_ASSIGN_OR_RETURN(s.leaf, engine.indexPages().page(nextPage, m_table->definitionPage));
            if (!s.leaf->leaf)
                return Status::Corruption("index leaf chain reaches node page " + std::to_string(nextPage));
            s.position = 0;
        }
        const IndexEntry& e = s.leaf->entries[s.position++];
        if (s.lowerKey && !s.lowerInclusive && startsWith(e.key, *s.lowerKey)) continue;
        if (s.lowerKey && e.key < *s.lowerKey) continue;
        if (s.upperKey) {
            bool within = startsWith(e.key, *s.upperKey) ? s.upperInclusive : e.key < *s.upperKey;
            if (!within) {
                s.finished = true;
                return false;
            }
        }
        JET_ASSIGN_OR_RETURN(bool live, engine.loadRow(*this, m_table, e.row));
        if (!live)
            return Status::Corruption("index entry points at a deleted row on page " +
                                      std::to_string(e.row.page));
        if (!s.encodable) {
            Status error;
            if (!s.lowerValues.values.empty()) {
                int c = compareRowWithBound(*this, *m_table, *s.real, s.lowerValues.values, error);
                JET_RETURN_IF_ERROR(error);
                if (c < 0 || (c == 0 && !s.lowerValues.inclusive)) continue;
            }
            if (!s.upperValues.values.empty()) {
                int c = compareRowWithBound(*this, *m_table, *s.real, s.upperValues.values, error);
                JET_RETURN_IF_ERROR(error);
                if (c > 0 || (c == 0 && !s.upperValues.inclusive)) continue;
            }
        }
        return true;
    }
}

Result<IndexCursor> Engine::indexCursor(std::shared_ptr<const TableDef> table, std::string_view indexName) {
    const IndexDef* index = table->findIndex(indexName);
    if (index == nullptr)
        return Status::NotFound("table " + table->name + " has no index " + std::string(indexName));
    auto state = std::make_unique<IndexCursor::State>();
    state->real = &table->realIndexes[index->realIndex];
    for (const IndexColumn& col : state->real->columns) {
        const ColumnDef& c = table->columns[col.column];
        if (isTextType(c.type) && collationOf(*this, c) == TextKeyCollation::Unsupported)
            state->encodable = false;
    }
    return IndexCursor(*this, std::move(table), std::move(state));
}

}  // namespace jet

// Index cursors over real files: every index of every user table of the index samples is walked and sought,
// and the results are checked against a physical scan of the same table and against the key encoder.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "codec/index_key.h"
#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/format_value.h"
#include "test_support.h"

namespace jet {
namespace {

/// Files whose indexes are walked and sought.
const char* const kIndexSamples[] = {
    "jackcess_V1997_testIndexCodesV1997.mdb", "jackcess_hist_testIndexCodes_jet4.mdb",
    "jackcess_V1997_indexTestV1997.mdb",      "jackcess_V2000_indexTestV2000.mdb",
    "jackcess_V2007_indexTestV2007.accdb",    "jackcess_V1997_compIndexTestV1997.mdb",
    "jackcess_V2000_compIndexTestV2000.mdb",
};

/// The files whose text indexes hold every 8-bit character: all their keys must be encodable.
bool isIndexCodeSample(const std::string& file) {
    return file.find("IndexCodes") != std::string::npos;
}

/// A row as a cursor returned it.
struct Row {
    RowId id;
    std::vector<Value> values;
};

/// The row's values as CSV, for comparing rows read through different cursors.
std::string rowText(const std::vector<Value>& values) {
    std::string s;
    for (const Value& v : values) {
        appendCsvField(s, v);
        s.push_back(',');
    }
    return s;
}

template <typename Cursor>
Result<std::vector<Row>> drain(Cursor& cursor) {
    std::vector<Row> rows;
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return rows;
        JET_ASSIGN_OR_RETURN(std::vector<Value> values, cursor.values());
        rows.push_back({cursor.rowId(), std::move(values)});
    }
}

/// One logical index of a sample table, with the table scanned and the index walked without bounds.
struct IndexUnderTest {
    std::string file;
    std::shared_ptr<Database> db;
    std::shared_ptr<const TableDef> def;
    const IndexDef* index = nullptr;
    const RealIndexDef* real = nullptr;
    std::vector<Row> scan;  // physical order
    std::vector<Row> walk;  // index order

    std::string label() const { return file + " " + def->name + "." + index->name; }
    bool jet3() const { return db->version() == Version::Jet3; }
};

/// The encoded key of the first `columns` index columns of `values` (NotSupported when a column's key
/// cannot be built).
Result<std::string> keyOf(const IndexUnderTest& t, const std::vector<Value>& values, size_t columns) {
    std::string key;
    for (size_t i = 0; i < columns; ++i) {
        const ColumnDef& c = t.def->columns[t.real->columns[i].column];
        TextKeyCollation coll = textKeyCollation(t.jet3(), c.sortOrder.id, c.sortOrder.version);
        JET_RETURN_IF_ERROR(appendIndexKey(key, values[t.real->columns[i].column], c.type,
                                           t.real->columns[i].ascending, coll));
    }
    return key;
}

/// The values of the first `columns` index columns of a row.
std::vector<Value> keyValues(const IndexUnderTest& t, const Row& row, size_t columns) {
    std::vector<Value> out;
    for (size_t i = 0; i < columns; ++i) out.push_back(row.values[t.real->columns[i].column]);
    return out;
}

/// Row ids of `rows`, in order.
std::vector<RowId> idsOf(const std::vector<Row>& rows) {
    std::vector<RowId> ids;
    for (const Row& r : rows) ids.push_back(r.id);
    return ids;
}

/// The walk's rows that satisfy `keep`, in index order.
template <typename Pred>
std::vector<RowId> walkWhere(const IndexUnderTest& t, Pred keep) {
    std::vector<RowId> ids;
    for (const Row& r : t.walk) {
        if (keep(r)) ids.push_back(r.id);
    }
    return ids;
}

/// Runs `seek` on a fresh cursor over the index and returns the rows it yields.
template <typename Seek>
Result<std::vector<Row>> seekRows(const IndexUnderTest& t, Seek seek, bool* seekable = nullptr) {
    JET_ASSIGN_OR_RETURN(IndexCursor cursor, t.db->indexCursor(t.def, t.index->name));
    JET_RETURN_IF_ERROR(seek(cursor));
    auto rows = drain(cursor);
    if (seekable != nullptr) *seekable = cursor.seekable();
    return rows;
}

/// Every logical index of every user table of `files`, scanned and walked.
std::vector<IndexUnderTest> loadIndexes(const std::vector<std::string>& files) {
    std::vector<IndexUnderTest> out;
    std::string dir = test::samplesDir();
    if (dir.empty()) return out;
    for (const std::string& name : files) {
        std::string path = dir + "/" + name;
        auto opened = Database::open(path, test::optionsFor(path));
        EXPECT_TRUE(opened.ok()) << path << ": " << opened.status().toString();
        if (!opened.ok()) continue;
        std::shared_ptr<Database> db = std::move(opened).value();
        for (const std::string& tableName : db->tableNames(false)) {
            auto def = db->table(tableName);
            EXPECT_TRUE(def.ok()) << def.status().toString();
            if (!def.ok()) continue;
            auto scanCursor = db->scan(*def);
            EXPECT_TRUE(scanCursor.ok()) << scanCursor.status().toString();
            if (!scanCursor.ok()) continue;
            auto scanned = drain(*scanCursor);
            EXPECT_TRUE(scanned.ok()) << name << " " << tableName << ": " << scanned.status().toString();
            if (!scanned.ok()) continue;
            for (const IndexDef& index : (*def)->indexes) {
                IndexUnderTest t{name, db, *def, &index, &(*def)->realIndexes[index.realIndex], *scanned, {}};
                auto cursor = db->indexCursor(*def, index.name);
                EXPECT_TRUE(cursor.ok()) << t.label() << ": " << cursor.status().toString();
                if (!cursor.ok()) continue;
                auto walked = drain(*cursor);
                EXPECT_TRUE(walked.ok()) << t.label() << ": " << walked.status().toString();
                if (!walked.ok()) continue;
                t.walk = std::move(walked).value();
                out.push_back(std::move(t));
            }
        }
    }
    return out;
}

std::vector<IndexUnderTest> sampleIndexes() {
    return loadIndexes(std::vector<std::string>(std::begin(kIndexSamples), std::end(kIndexSamples)));
}

/// Rows an index holds: all of them, except that an ignore-nulls index leaves out rows whose key is all Null.
std::vector<RowId> rowsIndexed(const IndexUnderTest& t) {
    std::vector<RowId> ids;
    for (const Row& r : t.scan) {
        bool allNull = true;
        for (const IndexColumn& c : t.real->columns) allNull = allNull && isNull(r.values[c.column]);
        if (allNull && (t.real->flags & IndexFlag::IgnoreNulls) != 0) continue;
        ids.push_back(r.id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

/// At most `limit` positions spread evenly over [0, n).
std::vector<size_t> samplePositions(size_t n, size_t limit) {
    std::vector<size_t> out;
    size_t step = std::max<size_t>(1, n / limit);
    for (size_t i = 0; i < n; i += step) out.push_back(i);
    return out;
}

// ---------------------------------------------------------------------------------------------------------

TEST(IndexWalk, EveryIndexReturnsEveryRowOnceInKeyOrder) {
    std::vector<IndexUnderTest> indexes = sampleIndexes();
    ASSERT_GE(indexes.size(), 80u);
    size_t rowsWalked = 0, keysChecked = 0, unencodable = 0;
    std::map<std::string, size_t> textIndexesCovered;  // per file: text indexes whose keys all encode
    for (const IndexUnderTest& t : indexes) {
        SCOPED_TRACE(t.label());
        // Every indexed row exactly once, with the same values as the scan.
        std::vector<RowId> walked = idsOf(t.walk);
        std::sort(walked.begin(), walked.end());
        EXPECT_EQ(walked, rowsIndexed(t));
        std::map<RowId, std::string> scanned;
        for (const Row& r : t.scan) scanned[r.id] = rowText(r.values);
        for (const Row& r : t.walk)
            EXPECT_EQ(rowText(r.values), scanned[r.id]) << "row on page " << r.id.page;
        rowsWalked += t.walk.size();

        // Key order: the encoded keys never decrease.
        std::optional<std::string> previous;
        bool allEncoded = true;
        for (const Row& r : t.walk) {
            auto key = keyOf(t, r.values, t.real->columns.size());
            if (key.status().isNotSupported()) {
                ++unencodable;
                allEncoded = false;
                continue;
            }
            ASSERT_TRUE(key.ok()) << key.status().toString();
            if (previous) {
                EXPECT_LE(*previous, *key) << "entry out of order on page " << r.id.page;
            }
            previous = *key;
            ++keysChecked;
        }
        bool text = false;
        for (const IndexColumn& c : t.real->columns) text = text || isTextType(t.def->columns[c.column].type);
        if (text && isIndexCodeSample(t.file)) {
            EXPECT_TRUE(allEncoded) << "an 8-bit text index has keys the encoder does not cover";
            textIndexesCovered[t.file] += allEncoded ? 1 : 0;
        }
    }
    // Both index-code samples have several text indexes (the 8-bit character tables and the primary keys).
    EXPECT_EQ(textIndexesCovered.size(), 2u);
    for (const auto& [file, count] : textIndexesCovered) EXPECT_GE(count, 4u) << file;
    EXPECT_GT(keysChecked, 3000u);
    RecordProperty("indexes", static_cast<int>(indexes.size()));
    RecordProperty("rowsWalked", static_cast<int>(rowsWalked));
    RecordProperty("unencodableKeys", static_cast<int>(unencodable));
}

TEST(IndexSeek, EqualFindsTheRowAndOnlyRowsWithItsKey) {
    std::vector<IndexUnderTest> indexes = sampleIndexes();
    ASSERT_FALSE(indexes.empty());
    size_t seeks = 0;
    for (const IndexUnderTest& t : indexes) {
        SCOPED_TRACE(t.label());
        // The whole key, and for multi-column indexes the leading column alone.
        std::vector<size_t> widths{t.real->columns.size()};
        if (t.real->columns.size() > 1) widths.push_back(1);
        for (size_t width : widths) {
            // Nearly every row: a seek that descends into the wrong child shows only for keys at leaf edges.
            for (size_t pos : samplePositions(t.walk.size(), 300)) {
                const Row& target = t.walk[pos];
                auto key = keyOf(t, target.values, width);
                if (key.status().isNotSupported()) continue;
                ASSERT_TRUE(key.ok()) << key.status().toString();
                std::vector<Value> values = keyValues(t, target, width);
                bool seekable = false;
                auto found = seekRows(
                    t, [&](IndexCursor& c) { return c.seekEqual(values); }, &seekable);
                ASSERT_TRUE(found.ok()) << found.status().toString();
                ++seeks;
                EXPECT_TRUE(seekable);
                // Exactly the walked rows whose leading key bytes equal the target's, in walk order.
                auto expected = walkWhere(t, [&](const Row& r) {
                    auto k = keyOf(t, r.values, width);
                    return k.ok() && *k == *key;
                });
                EXPECT_EQ(idsOf(*found), expected)
                    << "seek for row " << pos << " of " << t.walk.size() << " over " << width << " column(s)";
            }
        }
    }
    EXPECT_GT(seeks, 1000u);
    RecordProperty("seeks", static_cast<int>(seeks));
}

/// A value the column type can hold that no row of `t` has in index column 0, or Null when none was found.
Value absentValue(const IndexUnderTest& t) {
    const ColumnDef& c = t.def->columns[t.real->columns[0].column];
    std::vector<Value> candidates;
    switch (c.type) {
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::BigInt:
            for (int64_t v : {251, 97, 13, 202, 4, 0, 255}) candidates.emplace_back(v);
            break;
        case ColumnType::Single:
            candidates.emplace_back(123.456f);
            break;
        case ColumnType::Double:
            candidates.emplace_back(123.456);
            break;
        case ColumnType::DateTime:
            candidates.emplace_back(DateTime{12345.5});
            break;
        case ColumnType::Currency:
            candidates.emplace_back(Currency{1234567});
            break;
        case ColumnType::Text:
        case ColumnType::Memo:
            candidates.emplace_back(std::string("no such key"));
            break;
        default:
            break;
    }
    for (const Value& v : candidates) {
        std::vector<Value> probe(t.def->columns.size());
        probe[t.real->columns[0].column] = v;
        auto probeKey = keyOf(t, probe, 1);
        if (!probeKey.ok()) continue;
        bool present = std::any_of(t.walk.begin(), t.walk.end(), [&](const Row& r) {
            auto k = keyOf(t, r.values, 1);
            return !k.ok() || *k == *probeKey;
        });
        if (!present) return v;
    }
    return Value();
}

TEST(IndexSeek, ValueNotPresentFindsNothing) {
    std::vector<IndexUnderTest> indexes = sampleIndexes();
    ASSERT_FALSE(indexes.empty());
    size_t probes = 0;
    for (const IndexUnderTest& t : indexes) {
        SCOPED_TRACE(t.label());
        Value missing = absentValue(t);
        if (isNull(missing)) continue;
        auto found = seekRows(t, [&](IndexCursor& c) { return c.seekEqual({missing}); });
        ASSERT_TRUE(found.ok()) << found.status().toString();
        EXPECT_TRUE(found->empty()) << found->size() << " rows for a value no row holds";
        ++probes;
    }
    EXPECT_GT(probes, 60u);
}

bool isNumericType(ColumnType t) {
    switch (t) {
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
        case ColumnType::BigInt:
        case ColumnType::Currency:
        case ColumnType::Single:
        case ColumnType::Double:
        case ColumnType::DateTime:
        case ColumnType::Numeric:
            return true;
        default:
            return false;
    }
}

TEST(IndexSeek, RangeOverNumericIndexMatchesFilteredScan) {
    std::vector<IndexUnderTest> indexes = sampleIndexes();
    ASSERT_FALSE(indexes.empty());
    size_t ranges = 0;
    for (const IndexUnderTest& t : indexes) {
        const IndexColumn& first = t.real->columns[0];
        ColumnType type = t.def->columns[first.column].type;
        if (!isNumericType(type)) continue;
        // Jet 4 keys descending negative decimals in ascending order among themselves (docs/index-keys.md),
        // so their key ranges are not value ranges.
        if (type == ColumnType::Numeric && !first.ascending) continue;
        SCOPED_TRACE(t.label());
        std::vector<const Row*> present;
        for (const Row& r : t.walk) {
            if (!isNull(r.values[first.column])) present.push_back(&r);
        }
        if (present.size() < 4) continue;
        // Bounds in index order (for a descending index the lower bound is the larger number).
        const Value& low = present[present.size() / 4]->values[first.column];
        const Value& high = present[present.size() * 3 / 4]->values[first.column];
        auto inOrder = [&](const Value& a, const Value& b) {
            int c = compareValues(a, b);
            return first.ascending ? c : -c;
        };
        struct Case {
            bool hasLow, lowInclusive, hasHigh, highInclusive;
        };
        const Case cases[] = {{true, true, true, true},  {true, false, true, true},
                              {true, true, true, false}, {true, false, true, false},
                              {true, true, false, true}, {false, true, true, false}};
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "low " << c.hasLow << "/" << c.lowInclusive << " high "
                                            << c.hasHigh << "/" << c.highInclusive);
            IndexBound lower{c.hasLow ? std::vector<Value>{low} : std::vector<Value>{}, c.lowInclusive};
            IndexBound upper{c.hasHigh ? std::vector<Value>{high} : std::vector<Value>{}, c.highInclusive};
            auto found = seekRows(t, [&](IndexCursor& cur) { return cur.seekRange(lower, upper); });
            ASSERT_TRUE(found.ok()) << found.status().toString();
            ++ranges;
            auto within = [&](const Row& r) {
                // Null sorts below every value, so in index order it falls outside any range with a bound on
                // that side.
                const Value& v = r.values[first.column];
                if (c.hasLow && (c.lowInclusive ? inOrder(v, low) < 0 : inOrder(v, low) <= 0)) return false;
                if (c.hasHigh && (c.highInclusive ? inOrder(v, high) > 0 : inOrder(v, high) >= 0))
                    return false;
                return true;
            };
            // The rows of a filtered scan, yielded in index order.
            std::vector<RowId> fromScan;
            for (const Row& r : t.scan) {
                if (within(r)) fromScan.push_back(r.id);
            }
            std::vector<RowId> got = idsOf(*found);
            EXPECT_EQ(got, walkWhere(t, within));
            std::sort(got.begin(), got.end());
            std::sort(fromScan.begin(), fromScan.end());
            EXPECT_EQ(got, fromScan);
        }
    }
    EXPECT_GT(ranges, 60u);
}

// ---------------------------------------------------------------------------------------------------------
// Indexes whose keys the encoder cannot build: walks still follow the tree, seeks filter a walk.

/// Checks that seekEqual on `t` for sampled rows returns exactly the walked rows whose key values compare
/// equal, and reports whether any of those seeks had to fall back to a filtered walk.
void expectSeeksMatchFilteredWalk(const IndexUnderTest& t, size_t limit, size_t& fallbacks) {
    for (size_t pos : samplePositions(t.walk.size(), limit)) {
        const Row& target = t.walk[pos];
        std::vector<Value> values = keyValues(t, target, t.real->columns.size());
        bool seekable = true;
        auto found = seekRows(
            t, [&](IndexCursor& c) { return c.seekEqual(values); }, &seekable);
        ASSERT_TRUE(found.ok()) << found.status().toString();
        std::vector<RowId> ids = idsOf(*found);
        EXPECT_NE(std::find(ids.begin(), ids.end(), target.id), ids.end()) << "row " << pos << " not found";
        if (seekable) continue;  // a seek through the tree, covered by IndexSeek
        ++fallbacks;
        auto expected = walkWhere(t, [&](const Row& r) {
            for (size_t i = 0; i < values.size(); ++i) {
                if (compareValues(r.values[t.real->columns[i].column], values[i]) != 0) return false;
            }
            return true;
        });
        EXPECT_EQ(ids, expected) << "fallback seek for row " << pos;
    }
}

TEST(IndexSeek, UnicodeTextIndexSeeksThroughTheTree) {
    std::vector<IndexUnderTest> indexes = loadIndexes({"jackcess_V2003_testUnicodeCompV2003.mdb"});
    auto it = std::find_if(indexes.begin(), indexes.end(),
                           [](const IndexUnderTest& t) { return t.index->name == "Unicode"; });
    ASSERT_NE(it, indexes.end());
    const IndexUnderTest& t = *it;
    std::vector<RowId> walked = idsOf(t.walk);
    std::sort(walked.begin(), walked.end());
    EXPECT_EQ(walked, rowsIndexed(t));
    // Cyrillic, Greek, ideographs and kana all have keys, and they keep the walk's order.
    std::optional<std::string> previous;
    for (const Row& r : t.walk) {
        auto key = keyOf(t, r.values, 1);
        ASSERT_TRUE(key.ok()) << key.status().toString();
        if (previous) {
            EXPECT_LE(*previous, *key);
        }
        previous = *key;
    }
    size_t fallbacks = 0;
    expectSeeksMatchFilteredWalk(t, t.walk.size(), fallbacks);
    EXPECT_EQ(fallbacks, 0u);
}

/// The text index over every 8-bit character of the Jet 4 index-code sample, its column given `order`.
IndexUnderTest codesIndexUnder(SortOrder order) {
    std::vector<IndexUnderTest> indexes = loadIndexes({"jackcess_hist_testIndexCodes_jet4.mdb"});
    auto it = std::find_if(indexes.begin(), indexes.end(), [](const IndexUnderTest& t) {
        return t.def->name == "Table1" && t.index->name == "DataIndex";
    });
    if (it == indexes.end()) {
        ADD_FAILURE() << "no Table1.DataIndex";
        return {};
    }
    IndexUnderTest t = *it;
    auto changed = std::make_shared<TableDef>(*t.def);
    changed->columns[t.real->columns[0].column].sortOrder = order;
    t.def = changed;
    t.index = changed->findIndex("DataIndex");
    t.real = &changed->realIndexes[t.index->realIndex];
    return t;
}

TEST(IndexFallback, UnsupportedSortOrderWalksTheTreeAndSeeksByFilter) {
    // A sort order the encoder lacks altogether (Japanese).
    IndexUnderTest t = codesIndexUnder(SortOrder{1041, 0});
    ASSERT_NE(t.def, nullptr);
    auto cursor = t.db->indexCursor(t.def, t.index->name);
    ASSERT_TRUE(cursor.ok()) << cursor.status().toString();
    EXPECT_FALSE(cursor->seekable());
    auto walked = drain(*cursor);
    ASSERT_TRUE(walked.ok()) << walked.status().toString();
    EXPECT_EQ(idsOf(*walked), idsOf(t.walk)) << "the walk must not depend on the sort order";

    size_t fallbacks = 0;
    expectSeeksMatchFilteredWalk(t, 60, fallbacks);
    EXPECT_GE(fallbacks, 50u);

    // A range falls back too: the values between two rows' values, bounds included.
    Value low = t.walk[40].values[t.real->columns[0].column];
    Value high = t.walk[80].values[t.real->columns[0].column];
    if (compareValues(low, high) > 0) std::swap(low, high);
    bool seekable = true;
    auto found = seekRows(
        t,
        [&](IndexCursor& c) {
            return c.seekRange({{low}, true}, {{high}, true});
        },
        &seekable);
    ASSERT_TRUE(found.ok()) << found.status().toString();
    EXPECT_FALSE(seekable);
    EXPECT_EQ(idsOf(*found), walkWhere(t, [&](const Row& r) {
                  const Value& v = r.values[t.real->columns[0].column];
                  return compareValues(v, low) >= 0 && compareValues(v, high) <= 0;
              }));
}

TEST(IndexFallback, ChinesePrcSeeksVerifiedTextThroughTheTreeAndTheRestByFilter) {
    // Under sort order 2052 the keys of "AA<c>AA" are known when c is a letter, digit, space, '.' or '@'.
    IndexUnderTest t = codesIndexUnder(SortOrder{2052, 0});
    ASSERT_NE(t.def, nullptr);
    size_t unverified = 0;
    for (const Row& r : t.walk) {
        auto key = keyOf(t, r.values, 1);
        EXPECT_TRUE(key.ok() || key.status().isNotSupported()) << key.status().toString();
        unverified += key.ok() ? 0 : 1;
    }
    EXPECT_GT(unverified, 150u);
    EXPECT_LT(unverified, t.walk.size() - 60);
    size_t fallbacks = 0;
    expectSeeksMatchFilteredWalk(t, t.walk.size(), fallbacks);
    EXPECT_EQ(fallbacks, unverified);
}

}  // namespace
}  // namespace jet

// Text keys through the writer: tables whose text indexes hold every class of BMP character are written by
// this engine, walked in index order, sought row by row and read by mdbtools; a Chinese PRC (2052) column
// takes verified text and refuses the rest without touching the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "codec/index_key.h"
#include "jet/cursor.h"
#include "jet/writer.h"
#include "storage/format.h"
#include "test_support.h"

namespace jet {
namespace {

// Names as a Chinese price catalogue or a multilingual sheet may hold them, one or more per character class.
const char* const kNames[] = {
    "plain ascii",
    "PLAIN ASCII",                                       // same key as the row above
    "\u0100\u0101 macron, \u01c5 digraph",               // Latin Extended
    "\u03b1\u03b2\u03b3 \u0414\u043e\u043c",             // Greek, Cyrillic
    "\u94a2\u7b4b\uff08\u03a6\uff11\uff12\uff09",        // ideographs with full-width brackets and digits
    "\uff21\uff22\uff23\uff11\uff12\uff13",              // full-width Latin: keyed as "ABC123"
    "ABC123",                                            //
    "\u6750\u6599\uff1a\u6c34\u6ce5\u3001\u7802\u3002",  // CJK punctuation
    "\u300c\u5f15\u7528\u300d \u301c\u6ce2",             // corner brackets, wave dash (unprintable)
    "\u3042\u3044\u3046",                                // hiragana
    "\u30a2\u30a4\u30a6",                                // katakana: same key as hiragana
    "\u3041\u3043\u3045",                                // small kana
    "\u304c\u304e\u3050",                                // voiced kana
    "\uff76\uff9e\uff77\uff9e\uff78\uff9e",              // half-width kana with voiced marks: keyed as above
    "\ud55c\uad6d\uc5b4 \u1100\u3131",                   // Hangul syllables and jamo
    "\u4e00\u4e8c\u4e09 \u9fa5 \uf900",                  // unified and compatibility ideographs
    "\u3400\u9fa6",                                      // ignored ideographs only
    "a\u0301 e\u0308",                                   // combining marks
    "co-op \u2010 x\u200by \ufeff",                      // hyphens, zero-width space, byte order mark
    "\ue000 \u2460\u2461 \u00a5\uffe5",                  // private use, circled digits, yen
    "",                                                  //
};

ColumnSpec column(const char* name, ColumnType type) {
    ColumnSpec c;
    c.name = name;
    c.type = type;
    c.size = 100;
    return c;
}

// A table with an autonumber key, a text column under two indexes (ascending, descending) and a memo.
constexpr size_t kNameColumn = 1;
TableSpec namesTable(const std::string& name) {
    ColumnSpec id = column("Id", ColumnType::Long);
    id.autoNumber = true;
    TableSpec spec;
    spec.name = name;
    spec.columns = {id, column("Name", ColumnType::Text), column("Note", ColumnType::Memo)};
    spec.indexes = {IndexSpec{"PrimaryKey", {"Id"}, {}, true, true}, IndexSpec{"NameUp", {"Name"}, {true}},
                    IndexSpec{"NameDown", {"Name"}, {false}}};
    return spec;
}

std::vector<Row> rowsOf(const std::vector<std::string>& names) {
    std::vector<Row> rows;
    for (const std::string& n : names) rows.push_back({Value(), Value(n), Value(n + " \u5907\u6ce8")});
    return rows;
}

/// The key `db` would store for `name` in the index over column Name of `def`.
std::string nameKey(const TableDef& def, const std::string& name, bool ascending) {
    const SortOrder order = def.columns[kNameColumn].sortOrder;
    std::string key;
    Status s = appendIndexKey(key, Value(name), ColumnType::Text, ascending,
                              textKeyCollation(false, order.id, order.version));
    EXPECT_TRUE(s.ok()) << s.toString();
    return key;
}

/// Walks index `index` of `table`, then seeks every name the table holds: the walk must list every row once
/// in key order, and a seek exactly the rows sharing the name's key.
void expectIndexFindsEveryName(Database& db, const std::string& table, const std::string& index,
                               bool ascending) {
    SCOPED_TRACE(table + "." + index);
    auto def = db.table(table);
    ASSERT_TRUE(def.ok()) << def.status().toString();
    auto cursor = db.indexCursor(*def, index);
    ASSERT_TRUE(cursor.ok()) << cursor.status().toString();
    std::vector<std::pair<std::string, std::string>> walked;  // key, name
    while (true) {
        auto more = cursor->next();
        ASSERT_TRUE(more.ok()) << more.status().toString();
        if (!*more) break;
        auto name = cursor->value(kNameColumn);
        ASSERT_TRUE(name.ok()) << name.status().toString();
        const std::string& text = std::get<std::string>(*name);
        walked.emplace_back(nameKey(**def, text, ascending), text);
    }
    ASSERT_EQ(walked.size(), (*def)->rowCount);
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end(),
                               [](const auto& a, const auto& b) { return a.first < b.first; }));
    for (const auto& [key, name] : walked) {
        auto seek = db.indexCursor(*def, index);
        ASSERT_TRUE(seek.ok()) << seek.status().toString();
        ASSERT_TRUE(seek->seekEqual({Value(name)}).ok());
        EXPECT_TRUE(seek->seekable()) << name;
        size_t found = 0;
        while (true) {
            auto more = seek->next();
            ASSERT_TRUE(more.ok()) << more.status().toString();
            if (!*more) break;
            auto value = seek->value(kNameColumn);
            ASSERT_TRUE(value.ok());
            EXPECT_EQ(nameKey(**def, std::get<std::string>(*value), ascending), key) << name;
            ++found;
        }
        const auto sameKey = std::count_if(walked.begin(), walked.end(),
                                           [&key = key](const auto& w) { return w.first == key; });
        EXPECT_EQ(found, static_cast<size_t>(sameKey)) << name;
    }
}

/// The Name column as mdbtools reads it.
std::vector<std::string> namesByMdbtools(const std::string& path, const std::string& table) {
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> rows = test::mdbExport(path, table);
    for (size_t i = 1; i < rows.size(); ++i) names.push_back(rows[i].at(1));
    return names;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Gives text column `column` of `table` sort order `order` in the file's table definition. The writer makes
/// the definition entries in column-number order, so entry n is column n.
void setSortOrder(const std::string& path, const std::string& table, size_t column, SortOrder order) {
    uint32_t at = 0;
    {
        auto db = Database::open(path);
        ASSERT_TRUE(db.ok()) << db.status().toString();
        auto def = (*db)->table(table);
        ASSERT_TRUE(def.ok()) << def.status().toString();
        const FormatLayout& layout = formatLayout((*db)->version());
        at = (*def)->definitionPage * layout.pageSize + layout.tdefBlockEnd +
             static_cast<uint32_t>((*def)->realIndexes.size()) * layout.realIndexSlotSize +
             (*def)->columns[column].number * layout.columnEntrySize;
        at += layout.columnMiscOffset;
        ASSERT_EQ(layout.columnSortVersionOffset, layout.columnMiscOffset + 3);
    }
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(at);
    const char bytes[] = {static_cast<char>(order.id & 0xFF), static_cast<char>(order.id >> 8), 0,
                          static_cast<char>(order.version)};
    file.write(bytes, sizeof bytes);
    ASSERT_TRUE(file.good());
}

TEST(TextKeyWriter, EveryCharacterClassIsIndexedWalkedAndSought) {
    const std::string path = test::tempDir() + "/classes.mdb";
    ASSERT_TRUE(createDatabase(path).ok());
    const std::vector<std::string> first(std::begin(kNames), std::end(kNames));
    // A second batch, large enough to spread the indexes over several leaf pages under a node page.
    std::vector<std::string> second;
    for (size_t i = 0; i < 1500; ++i)
        second.push_back(kNames[i % std::size(kNames)] + std::to_string(i % 700));
    {
        auto db = test::openForWriting(path);
        ASSERT_NE(db, nullptr);
        Status s = createTable(*db, namesTable("Names"), rowsOf(first));
        ASSERT_TRUE(s.ok()) << s.toString();
        s = insertRows(*db, "Names", rowsOf(second));
        ASSERT_TRUE(s.ok()) << s.toString();
    }
    auto db = Database::open(path);
    ASSERT_TRUE(db.ok()) << db.status().toString();
    expectIndexFindsEveryName(**db, "Names", "NameUp", true);
    expectIndexFindsEveryName(**db, "Names", "NameDown", false);

    std::vector<std::string> all = first;
    all.insert(all.end(), second.begin(), second.end());
    std::vector<std::string> exported = namesByMdbtools(path, "Names");
    std::sort(all.begin(), all.end());
    std::sort(exported.begin(), exported.end());  // rows of the second batch fill the first batch's pages
    EXPECT_EQ(exported, all);
}

TEST(TextKeyWriter, ChinesePrcColumnTakesVerifiedTextAndRefusesTheRest) {
    const std::string path = test::tempDir() + "/prc.mdb";
    ASSERT_TRUE(createDatabase(path).ok());
    {
        auto db = test::openForWriting(path);
        ASSERT_NE(db, nullptr);
        ASSERT_TRUE(createTable(*db, namesTable("Codes")).ok());
    }
    setSortOrder(path, "Codes", kNameColumn, SortOrder{2052, 0});
    // Codes, e-mail addresses, version strings; the memo is not indexed and may hold any text.
    const std::vector<std::string> names = {"GB 50500", "gb 50500", "A1.2", "user@example.com",
                                            "Z",        "",         "0 9"};
    {
        auto db = test::openForWriting(path);
        ASSERT_NE(db, nullptr);
        auto def = db->table("Codes");
        ASSERT_TRUE(def.ok());
        ASSERT_EQ((*def)->columns[kNameColumn].sortOrder.id, 2052);
        Status s = insertRows(*db, "Codes", rowsOf(names));
        ASSERT_TRUE(s.ok()) << s.toString();
    }
    const std::string before = fileBytes(path);
    for (const char* refused : {"\u94a2\u7b4b", "C30\uff08\u6df7\u51dd\u571f\uff09", "a-b", "caf\u00e9"}) {
        auto db = test::openForWriting(path);
        ASSERT_NE(db, nullptr);
        Status s = insertRows(*db, "Codes", rowsOf({"GB", refused}));
        EXPECT_TRUE(s.isNotSupported()) << s.toString();
        EXPECT_NE(s.message().find("2052"), std::string::npos) << s.message();
        EXPECT_NE(s.message().find("U+"), std::string::npos) << s.message();
    }
    EXPECT_TRUE(fileBytes(path) == before) << "a refused insert changed the file";

    auto db = Database::open(path);
    ASSERT_TRUE(db.ok()) << db.status().toString();
    expectIndexFindsEveryName(**db, "Codes", "NameUp", true);
    expectIndexFindsEveryName(**db, "Codes", "NameDown", false);
    EXPECT_EQ(namesByMdbtools(path, "Codes"), names);
}

}  // namespace
}  // namespace jet

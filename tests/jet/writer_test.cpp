// The Jet 4 writer: files it creates must read back, in this engine and in mdbtools, with exactly the
// contents written; refused writes must leave the file untouched.
#include "jet/writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

#include "codec/index_key.h"
#include "jet/cursor.h"
#include "jet/format_value.h"
#include "test_support.h"
#include "write/table_state.h"

namespace jet {
namespace {

using test::mdbExport;
using test::openForWriting;
using test::parseCsv;
using test::runCommand;
using test::shellQuote;

std::string newDatabase(const std::string& name) {
    std::string path = test::tempDir() + "/" + name;
    Status s = createDatabase(path);
    EXPECT_TRUE(s.ok()) << s.toString();
    return path;
}

std::vector<Row> readAll(Database& db, const std::string& table) {
    std::vector<Row> rows;
    for (test::ScannedRow& r : test::scanRows(db, table)) rows.push_back(std::move(r.values));
    return rows;
}

Bytes patternBytes(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return b;
}

std::string repeatText(const std::string& unit, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i) s += unit;
    return s;
}

ColumnSpec column(const char* name, ColumnType type, uint16_t size = 255) {
    ColumnSpec c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

TEST(WriterCreate, EmptyDatabaseOpensHereAndInMdbtools) {
    std::string path = newDatabase("empty.mdb");
    auto db = Database::open(path);
    ASSERT_TRUE(db.ok()) << db.status().toString();
    EXPECT_EQ((*db)->version(), Version::Jet4);
    EXPECT_EQ((*db)->codePage(), 1252);
    EXPECT_EQ((*db)->sortOrder().id, 1033);
    std::vector<std::string> expected{"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"};
    EXPECT_EQ((*db)->tableNames(true), expected);
    EXPECT_TRUE((*db)->tableNames(false).empty());
    EXPECT_EQ(readAll(**db, "MSysObjects").size(), 8u);
    EXPECT_EQ(readAll(**db, "MSysACEs").size(), 16u);
    EXPECT_EQ(runCommand("mdb-tables -S -1 " + shellQuote(path)),
              "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\n");
    EXPECT_FALSE(createDatabase(path).ok()) << "an existing file must not be overwritten";
}

// Every column type, Null in every nullable column, long values of each storage form, CJK text.
class WriterRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = newDatabase("types.mdb");
        TableSpec spec;
        spec.name = "AllTypes";
        ColumnSpec id = column("Id", ColumnType::Long);
        id.autoNumber = true;
        ColumnSpec numeric = column("Amount", ColumnType::Numeric);
        numeric.precision = 18;
        numeric.scale = 2;
        spec.columns = {id,
                        column("Flag", ColumnType::Boolean),
                        column("Small", ColumnType::Byte),
                        column("Mid", ColumnType::Integer),
                        column("Big", ColumnType::Long),
                        column("Money", ColumnType::Currency),
                        column("Ratio", ColumnType::Single),
                        column("Precise", ColumnType::Double),
                        column("At", ColumnType::DateTime),
                        column("Title", ColumnType::Text, 100),
                        column("Body", ColumnType::Memo),
                        column("Blob", ColumnType::Ole),
                        column("Raw", ColumnType::Binary, 16),
                        column("Key", ColumnType::Guid),
                        numeric};
        spec.indexes = {IndexSpec{"PrimaryKey", {"Id"}, {}, true, true}};
        Guid g;
        for (size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i * 17);
        m_rows = {
            {Value(), Value(true), Value(int64_t{255}), Value(int64_t{-32768}), Value(int64_t{2147483647}),
             Value(Currency{-123456789}), Value(1.5f), Value(3.141592653589793), Value(DateTime{45000.5}),
             Value(std::string("plain ascii")), Value(std::string("short memo")), Value(Bytes{1, 2, 3}),
             Value(Bytes{0xde, 0xad}), Value(g), Value(Decimal{true, 0, 12345, 2})},
            {Value(), Value(false), Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(),
             Value(), Value(), Value(), Value(), Value()},
            {Value(), Value(true), Value(int64_t{0}), Value(int64_t{1}), Value(int64_t{-1}),
             Value(Currency{0}), Value(-0.25f), Value(-1e300), Value(DateTime{-1.25}),
             Value(std::string("中文测试 mixed ü")), Value(repeatText("长文本", 900)),
             Value(patternBytes(3000, 5)), Value(Bytes{}), Value(g), Value(Decimal{false, 0, 1, 2})},
            {Value(), Value(false), Value(int64_t{7}), Value(int64_t{7}), Value(int64_t{7}),
             Value(Currency{70000}), Value(7.0f), Value(7.0), Value(DateTime{7}), Value(std::string("")),
             Value(repeatText("memo chain ", 3000)), Value(patternBytes(20000, 9)),
             Value(patternBytes(16, 1)), Value(g), Value(Decimal{false, 0, 700, 2})},
        };
        auto db = openForWriting(m_path);
        ASSERT_TRUE(db);
        Status s = createTable(*db, spec, m_rows);
        ASSERT_TRUE(s.ok()) << s.toString();
        for (size_t r = 0; r < m_rows.size(); ++r) m_rows[r][0] = Value(static_cast<int64_t>(r + 1));
        m_rows[1][1] = Value(false);  // a Boolean has no Null
    }

    std::string m_path;
    std::vector<Row> m_rows;
};

TEST_F(WriterRoundTrip, OurReaderReturnsEveryValue) {
    auto db = Database::open(m_path);
    ASSERT_TRUE(db.ok());
    std::vector<Row> got = readAll(**db, "AllTypes");
    ASSERT_EQ(got.size(), m_rows.size());
    for (size_t r = 0; r < got.size(); ++r) {
        for (size_t c = 0; c < got[r].size(); ++c) {
            EXPECT_TRUE(got[r][c] == m_rows[r][c]) << "row " << r << " column " << c;
        }
    }
    auto def = (*db)->table("AllTypes");
    ASSERT_TRUE(def.ok());
    EXPECT_EQ((*def)->rowCount, 4u);
    EXPECT_EQ((*def)->autoNumber, 4u);
}

TEST_F(WriterRoundTrip, MdbtoolsReadsTheSameRows) {
    EXPECT_EQ(runCommand("mdb-count " + shellQuote(m_path) + " AllTypes"), "4\n");
    std::string schema = runCommand("mdb-schema -T AllTypes " + shellQuote(m_path));
    EXPECT_NE(schema.find("[Title]\t\t\tText (100)"), std::string::npos) << schema;
    auto rows = mdbExport(m_path, "AllTypes");
    ASSERT_EQ(rows.size(), 5u);
    std::map<std::string, size_t> col;
    for (size_t i = 0; i < rows[0].size(); ++i) col[rows[0][i]] = i;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const auto& line = rows[r + 1];
        EXPECT_EQ(line[col["Id"]], std::to_string(r + 1));
        auto text = [](const Value& v) { return isNull(v) ? std::string() : std::get<std::string>(v); };
        EXPECT_EQ(line[col["Title"]], text(m_rows[r][9])) << "row " << r;
        EXPECT_EQ(line[col["Body"]], text(m_rows[r][10])) << "row " << r;
        std::string big = isNull(m_rows[r][4]) ? "" : std::to_string(std::get<int64_t>(m_rows[r][4]));
        EXPECT_EQ(line[col["Big"]], big);
    }
    // mdbtools writes OLE bytes raw (-b raw); compare the longest value's size through its hex form.
    std::string hex = runCommand("mdb-export -b hex " + shellQuote(m_path) + " AllTypes");
    std::string expected;
    appendCsvField(expected, m_rows[3][11]);
    for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_NE(hex.find(expected), std::string::npos);
}

TEST_F(WriterRoundTrip, AppendedRowsContinueTheAutonumberAndKeepTheIndex) {
    auto db = openForWriting(m_path);
    ASSERT_TRUE(db);
    Row extra(15);
    extra[1] = Value(true);
    Status s = insertRows(*db, "AllTypes", {extra, extra});
    ASSERT_TRUE(s.ok()) << s.toString();
    auto def = db->table("AllTypes");
    ASSERT_TRUE(def.ok());
    auto cursor = db->indexCursor(*def, "PrimaryKey");
    ASSERT_TRUE(cursor.ok());
    std::vector<int64_t> ids;
    while (true) {
        auto more = cursor->next();
        ASSERT_TRUE(more.ok()) << more.status().toString();
        if (!*more) break;
        ids.push_back(std::get<int64_t>(*cursor->value(0)));
    }
    EXPECT_EQ(ids, (std::vector<int64_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(runCommand("mdb-count " + shellQuote(m_path) + " AllTypes"), "6\n");
}

// Enough rows for multi-level index trees and for page maps in their page-list form.
TEST(WriterIndexes, ThousandsOfRowsWalkInKeyOrderAndSeek) {
    std::string path = newDatabase("many.mdb");
    auto db = openForWriting(path);
    ASSERT_TRUE(db);
    TableSpec spec;
    spec.name = "Many";
    spec.columns = {column("N", ColumnType::Long), column("Name", ColumnType::Text, 255),
                    column("Group", ColumnType::Integer), column("Wide", ColumnType::Text, 255)};
    spec.indexes = {IndexSpec{"PrimaryKey", {"N"}, {}, true, true},
                    IndexSpec{"ByName", {"Name"}, {}, false, false},
                    IndexSpec{"GroupDesc", {"Group", "N"}, {false, true}, false, true}};
    const int kRows = 3000;
    std::vector<Row> rows;
    for (int i = 0; i < kRows; ++i) {
        int n = (i * 7919) % kRows;  // a permutation, so rows arrive out of key order
        rows.push_back({Value(int64_t{n}), Value("name " + std::to_string(n % 997) + " 名"),
                        Value(int64_t{n % 13}), Value(repeatText("宽", 250))});
    }
    ASSERT_TRUE(createTable(*db, spec, rows).ok());
    auto def = db->table("Many");
    ASSERT_TRUE(def.ok());

    struct Case {
        const char* index;
        std::function<bool(const Row&, const Row&)> inOrder;
    };
    std::vector<Case> cases = {
        {"PrimaryKey",
         [](const Row& a, const Row& b) { return std::get<int64_t>(a[0]) < std::get<int64_t>(b[0]); }},
        {"GroupDesc",
         [](const Row& a, const Row& b) {
             int64_t ga = std::get<int64_t>(a[2]), gb = std::get<int64_t>(b[2]);
             return ga != gb ? ga > gb : std::get<int64_t>(a[0]) < std::get<int64_t>(b[0]);
         }},
        {"ByName", [](const Row& a, const Row& b) {
             // Text orders by its General-order key, which the key encoder gives.
             std::string ka, kb;
             EXPECT_TRUE(
                 appendIndexKey(ka, a[1], ColumnType::Text, true, TextKeyCollation::GeneralLegacy).ok());
             EXPECT_TRUE(
                 appendIndexKey(kb, b[1], ColumnType::Text, true, TextKeyCollation::GeneralLegacy).ok());
             return ka < kb;
         }}};

    for (const Case& c : cases) {
        auto cursor = db->indexCursor(*def, c.index);
        ASSERT_TRUE(cursor.ok());
        std::vector<Row> walked;
        while (true) {
            auto more = cursor->next();
            ASSERT_TRUE(more.ok()) << c.index << ": " << more.status().toString();
            if (!*more) break;
            walked.push_back(*cursor->values());
        }
        ASSERT_EQ(walked.size(), static_cast<size_t>(kRows)) << c.index;
        for (size_t i = 1; i < walked.size(); ++i)
            ASSERT_FALSE(c.inOrder(walked[i], walked[i - 1])) << c.index << " out of order at " << i;
    }
    for (int64_t key : {0, 1, 1499, 2999}) {
        auto cursor = db->indexCursor(*def, "PrimaryKey");
        ASSERT_TRUE(cursor->seekEqual({Value(key)}).ok());
        ASSERT_TRUE(*cursor->next());
        EXPECT_EQ(std::get<int64_t>(*cursor->value(0)), key);
        EXPECT_FALSE(*cursor->next());
    }
    auto byName = db->indexCursor(*def, "ByName");
    ASSERT_TRUE(byName->seekEqual({Value(std::string("NAME 5 名"))}).ok());  // General order ignores case
    int found = 0;
    while (*byName->next()) ++found;
    EXPECT_EQ(found, 4);  // n = 5, 1002, 1999, 2996
    EXPECT_EQ(runCommand("mdb-count " + shellQuote(path) + " Many"), std::to_string(kRows) + "\n");
    EXPECT_EQ(mdbExport(path, "Many").size(), static_cast<size_t>(kRows + 1));
}

struct RefusedCase {
    const char* what;
    std::vector<Row> rows;
};

// Refused writes change nothing: every case leaves the file byte for byte as it was.
TEST(WriterRefusals, RefusedWritesLeaveTheFileIdentical) {
    std::string path = newDatabase("refuse.mdb");
    {
        auto db = openForWriting(path);
        ASSERT_TRUE(db);
        TableSpec spec{
            "T",
            {column("K", ColumnType::Long), column("Name", ColumnType::Text, 5)},
            {IndexSpec{"PrimaryKey", {"K"}, {}, true, true}, IndexSpec{"UName", {"Name"}, {}, false, true}}};
        ASSERT_TRUE(createTable(*db, spec, {{Value(int64_t{1}), Value(std::string("a"))}}).ok());
    }
    auto before = readWholeFile(path);
    ASSERT_TRUE(before.ok());
    std::vector<RefusedCase> cases = {
        {"duplicate primary key", {{Value(int64_t{2}), Value()}, {Value(int64_t{1}), Value()}}},
        {"duplicate of a stored key", {{Value(int64_t{9}), Value(std::string("A"))}}},
        {"text too long", {{Value(int64_t{3}), Value(std::string("toolong"))}}},
        {"wrong value kind", {{Value(std::string("x")), Value()}}},
        {"Null primary key", {{Value(), Value(std::string("b"))}}},
        {"too few values", {{Value(int64_t{4})}}},
        {"out of range", {{Value(int64_t{1} << 40), Value()}}},
    };
    for (const RefusedCase& c : cases) {
        auto db = openForWriting(path);
        ASSERT_TRUE(db);
        Status s = insertRows(*db, "T", c.rows);
        EXPECT_FALSE(s.ok()) << c.what;
        db.reset();
        EXPECT_EQ(*readWholeFile(path), *before) << c.what;
    }
    auto readOnly = Database::open(path);
    ASSERT_TRUE(readOnly.ok());
    Status s = insertRows(**readOnly, "T", {{Value(int64_t{5}), Value()}});
    EXPECT_TRUE(s.isInvalidArgument()) << s.toString();
    auto db = openForWriting(path);
    TableSpec duplicate{"t", {column("X", ColumnType::Long)}, {}};
    EXPECT_FALSE(createTable(*db, duplicate).ok()) << "table names compare without case";
    EXPECT_EQ(*readWholeFile(path), *before);
}

TEST(WriterText, CompressionOnlyWhereItShortens) {
    struct Case {
        std::string text;
        bool compress;
        std::string expectedHex;
    };
    std::vector<Case> cases = {
        {"abc", true, "fffe616263"},
        {"abc", false, "610062006300"},
        {"ab", true, "61006200"},  // compressed would be no shorter
        {"abcd中", true, "fffe61626364002d4e"},
        {"中文", true, "2d4e8765"},      // compressed would be longer
        {"\xe4\xb8\x80", true, "004e"},  // U+4E00 has a zero low byte: never compressed
    };
    for (const Case& c : cases) {
        auto got = writer::encodeJet4Text(c.text, c.compress);
        ASSERT_TRUE(got.ok());
        std::string hex;
        for (unsigned char ch : *got) {
            char buf[3];
            std::snprintf(buf, sizeof buf, "%02x", ch);
            hex += buf;
        }
        EXPECT_EQ(hex, c.expectedHex) << c.text;
    }
}

std::string writeFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
}

TEST(WriterTool, ImportThenExportGivesBackTheRows) {
    std::string dir = test::tempDir();
    std::string db = dir + "/tool.mdb";
    std::string tool = shellQuote(JET_TOOL);
    std::string body =
        "1,-5,\"x\",2,123.4500,1.5,0.1,2021-03-04 05:06:07,1,{00112233-4455-6677-8899-AABBCCDDEEFF},\"memo\","
        "0a0b,beef,\"plain\"\r\n"
        ",,\"\",,,,,,0,,,,,\r\n"
        "3,7,\"\"\"quoted\"\", 中文\",200,-0.0100,-2,1e+300,1899-12-29 06:00:00,0,,\"" +
        repeatText("long ", 2000) + "\",,00,\r\n";
    std::string csv =
        writeFile(dir + "/in.csv",
                  "Id:autonumber,I:int,T:text(20),B:byte,C:currency,S:single,D:double,W:datetime,F:bool,"
                  "G:guid,M:memo,O:ole,R:binary(4),Plain\r\n" +
                      body);
    int code = 0;
    runCommand(tool + " create " + shellQuote(db), &code);
    ASSERT_EQ(code, 0);
    std::string out = runCommand(tool + " import " + shellQuote(db) + " Imported " + shellQuote(csv) +
                                     " --primary-key Id --index T 2>&1",
                                 &code);
    ASSERT_EQ(code, 0) << out;
    std::string exported = runCommand(tool + " export " + shellQuote(db) + " Imported", &code);
    ASSERT_EQ(code, 0);
    std::string expectedBody = body;
    expectedBody.replace(expectedBody.find("\r\n,,"), 4, "\r\n2,,");  // the autonumber filled the Null id
    EXPECT_EQ(exported.substr(exported.find("\r\n") + 2), expectedBody);
    EXPECT_EQ(runCommand("mdb-count " + shellQuote(db) + " Imported"), "3\n");

    // A bad row or a duplicate key: an error, and the file keeps no trace of the table.
    auto before = readWholeFile(db);
    for (const char* bad : {"K:byte\r\n300\r\n", "K:long\r\n1\r\n1\r\n", "K:datetime\r\nnot a date\r\n"}) {
        std::string badCsv = writeFile(dir + "/bad.csv", bad);
        out = runCommand(
            tool + " import " + shellQuote(db) + " Bad " + shellQuote(badCsv) + " --primary-key K 2>&1",
            &code);
        EXPECT_NE(code, 0) << bad;
        EXPECT_FALSE(out.empty());
        EXPECT_EQ(*readWholeFile(db), *before) << bad;
    }
}

}  // namespace
}  // namespace jet

// A table read once and grouped by a field must answer every lookup cell for cell as the statement
// "SELECT * FROM t WHERE field = constant" does: the same rows in the same order, duplicates, Nulls and
// missing keys included, whichever path the statement takes (index seek, hash, scan); and the file's stamp
// must tell a caller who keeps such a table that the file changed.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "jet/dao.h"
#include "jet/format_value.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

using sqltest::column;

/// R(ID pk, K long, X long, S text, U long, P double): K leads a two-column index (K, X descending), so
/// that rows of one K come in index order, not physical order; S has an index of its own and texts that
/// differ in case, width, accents and trailing spaces; U has no index. Rows are stored shuffled, some K, S
/// and U values Null, duplicates everywhere.
class RowsByFieldTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_path = test::tempDir() + "/rows-by-field.mdb";
        ASSERT_TRUE(createDatabase(s_path).ok());
        OpenOptions options;
        options.mode = OpenMode::ReadWrite;
        auto db = Database::open(s_path, options);
        ASSERT_TRUE(db.ok());
        IndexSpec kx{"KX", {"K", "X"}, {true, false}, false, false};
        IndexSpec primary{"PrimaryKey", {"ID"}, {}, true, true};
        IndexSpec s{"S", {"S"}, {}, false, false};
        TableSpec spec{"R",
                       {column("ID", ColumnType::Long), column("K", ColumnType::Long),
                        column("X", ColumnType::Long), column("S", ColumnType::Text, 20),
                        column("U", ColumnType::Long), column("P", ColumnType::Double)},
                       {primary, kx, s}};
        const char* texts[] = {"abc", "ABC",  "Abc", "ａｂｃ", "ÄBC", "abc ",
                               "10",  " 10 ", "1e1", "土方",   "x"};
        std::mt19937 random(19);
        std::vector<Row> rows;
        for (int64_t id = 1; id <= 240; ++id) {
            Row row{
                id,
                int64_t{std::uniform_int_distribution<int>(1, 30)(random)},
                int64_t{std::uniform_int_distribution<int>(0, 9)(random)},
                std::string(texts[std::uniform_int_distribution<size_t>(0, std::size(texts) - 1)(random)]),
                int64_t{std::uniform_int_distribution<int>(-3, 12)(random)},
                id % 7 == 0 ? Value() : Value(static_cast<double>(id) / 4)};
            if (id % 11 == 0) row[1] = Value();
            if (id % 13 == 0) row[3] = Value();
            if (id % 17 == 0) row[4] = Value();
            rows.push_back(std::move(row));
        }
        std::shuffle(rows.begin(), rows.end(), random);
        ASSERT_TRUE(createTable(**db, spec, rows).ok());
        s_db = std::move(db).value().release();
        s_sql = new sql::Connection(*s_db);
    }
    static void TearDownTestSuite() {
        delete s_sql;
        delete s_db;
    }

    static std::string s_path;
    static Database* s_db;
    static sql::Connection* s_sql;
};

std::string RowsByFieldTest::s_path;
Database* RowsByFieldTest::s_db = nullptr;
sql::Connection* RowsByFieldTest::s_sql = nullptr;

/// A constant as the SQL text a caller writes for it.
std::string sqlText(const Value& v) {
    if (const auto* text = std::get_if<std::string>(&v)) {
        std::string quoted = "'";
        for (char c : *text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        return quoted + "'";
    }
    if (isNull(v)) return "Null";
    std::string out;
    appendCsvField(out, v);
    return out;
}

/// Rows as CSV lines, for messages that show what differs.
std::vector<std::string> lines(const std::vector<sql::RowSpan>& rows) {
    std::vector<std::string> out;
    for (sql::RowSpan row : rows) {
        std::string line;
        for (const Value& v : row) {
            appendCsvField(line, v);
            line += ',';
        }
        out.push_back(line);
    }
    return out;
}

std::vector<sql::RowSpan> spans(const sql::ResultSet& rs) {
    std::vector<sql::RowSpan> out;
    for (sql::RowSpan row : rs.rows) out.push_back(row);
    return out;
}

// Every field and every kind of constant: numbers present, absent and fractional, texts that are numbers,
// texts in every case and width, and Null.
TEST_F(RowsByFieldTest, EveryLookupGivesTheStatementsRowsInItsOrder) {
    std::vector<Value> constants = {Value(),
                                    Value(2.5),
                                    Value(std::string("x")),
                                    Value(std::string("5")),
                                    Value(std::string(" 7 ")),
                                    Value(int64_t{1000})};
    for (int64_t n = -4; n <= 32; ++n) constants.emplace_back(n);
    for (const char* text : {"abc", "ABC", "ａｂｃ", "ＡＢＣ", "äbc", "abc ", "ab", "10", "1e1", "土方", "X"})
        constants.emplace_back(std::string(text));
    size_t found = 0;
    for (const char* field : {"K", "S", "U", "P", "ID"}) {
        auto byField = s_sql->rowsByField("R", field);
        ASSERT_TRUE(byField.ok()) << byField.status().toString();
        EXPECT_EQ((*byField)->rowCount(), 240u);
        for (const Value& constant : constants) {
            const std::string statement =
                "SELECT * FROM R WHERE " + std::string(field) + " = " + sqlText(constant);
            SCOPED_TRACE(statement + " (" + s_sql->plan(statement).value() + ")");
            auto expected = s_sql->query(statement);
            ASSERT_TRUE(expected.ok()) << expected.status().toString();
            const std::vector<sql::RowSpan> got = (*byField)->find(constant);
            EXPECT_EQ(lines(got), lines(spans(*expected)));
            const sql::RowSpan first = (*byField)->first(constant);
            EXPECT_EQ(lines({first}), lines({expected->rows.empty() ? sql::RowSpan() : expected->rows[0]}));
            found += got.size();
        }
    }
    EXPECT_GT(found, 500u);  // the constants find rows, duplicates among them
}

// The lookups answer from the values read: a change to the file after the read is not seen, and the
// file's stamp tells that it happened, through another database too.
TEST_F(RowsByFieldTest, TheStampMovesWithEveryCommitAndOnlyThen) {
    const std::string path = test::tempDir() + "/stamped.mdb";
    ASSERT_TRUE(sqltest::buildSampleDatabase(path).ok());
    OpenOptions options;
    options.mode = OpenMode::ReadWrite;
    auto reader = dao::DBEngine().OpenDatabase(path, options);
    ASSERT_TRUE(reader.ok());
    auto before = (*reader)->ChangeStamp();
    ASSERT_TRUE(before.ok());
    auto edits = (*reader)->ReadRowsByField("EditRecord", "DMID");
    ASSERT_TRUE(edits.ok()) << edits.status().toString();
    EXPECT_EQ((*edits)->find(Value(int64_t{2})).size(), 2u);
    {
        // Opening the file again, or reading it, changes nothing.
        auto again = dao::DBEngine().OpenDatabase(path, options);
        ASSERT_TRUE(again.ok());
        ASSERT_TRUE((*again)->OpenRecordset("SELECT * FROM EditRecord").ok());
        EXPECT_EQ((*again)->ChangeStamp().value(), *before);
    }
    EXPECT_EQ((*reader)->ChangeStamp().value(), *before);
    {
        auto writer = dao::DBEngine().OpenDatabase(path, options);
        ASSERT_TRUE(writer.ok());
        ASSERT_EQ((*writer)->Execute("DELETE FROM EditRecord WHERE ID = 4").value(), 1u);
    }
    auto after = (*reader)->ChangeStamp();
    ASSERT_TRUE(after.ok());
    EXPECT_NE(*after, *before);
    EXPECT_EQ((*edits)->find(Value(int64_t{2})).size(), 2u);  // as read
    auto fresh = (*reader)->ReadRowsByField("EditRecord", "DMID");
    ASSERT_TRUE(fresh.ok());
    EXPECT_EQ((*fresh)->find(Value(int64_t{2})).size(), 1u);
    // A write through the same database moves it as well.
    ASSERT_EQ((*reader)->Execute("DELETE FROM EditRecord WHERE ID = 5").value(), 1u);
    EXPECT_NE((*reader)->ChangeStamp().value(), *after);
}

TEST_F(RowsByFieldTest, UnknownTablesAndFieldsAreNamed) {
    struct Case {
        const char* table;
        const char* field;
        Status::Code code;
        const char* fragment;
    };
    const Case cases[] = {
        {"Nope", "K", Status::Code::NotFound, "Nope"},
        {"R", "Nope", Status::Code::NotFound, "'Nope'"},
    };
    for (const Case& c : cases) {
        auto rows = s_sql->rowsByField(c.table, c.field);
        ASSERT_FALSE(rows.ok()) << c.table << "." << c.field;
        EXPECT_EQ(rows.status().code(), c.code) << rows.status().toString();
        EXPECT_NE(rows.status().message().find(c.fragment), std::string::npos) << rows.status().toString();
    }
}

}  // namespace
}  // namespace jet

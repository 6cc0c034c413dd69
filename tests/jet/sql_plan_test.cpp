// How statements reach their rows must never change what they return: a prefix seek finds exactly the rows
// a scan finds, an ORDER BY answered by an index walk gives the order a sort gives, and statements that
// share a parse keep their own literals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "jet/format_value.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

using sqltest::column;
using sqltest::index;

/// A table P(ID, T text indexed, U text indexed descending, N long indexed, D double) with texts chosen
/// to trip a prefix seek: letter case, accents, ignored and full-width characters, spaces, digits, Nulls.
class SqlPlanTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string path = test::tempDir() + "/plan.mdb";
        ASSERT_TRUE(createDatabase(path).ok());
        OpenOptions options;
        options.mode = OpenMode::ReadWrite;
        auto db = Database::open(path, options);
        ASSERT_TRUE(db.ok());
        IndexSpec descending{"U", {"U"}, {false}, false, false};
        TableSpec spec{"P",
                       {column("ID", ColumnType::Long), column("T", ColumnType::Text, 40),
                        column("U", ColumnType::Text, 40), column("N", ColumnType::Long),
                        column("D", ColumnType::Double)},
                       {index("PrimaryKey", "ID", true), index("T", "T"), descending, index("N", "N")}};
        const char* texts[] = {"0101",  "01010", "0101A", "0102",     "010",     "01 01", "01-01",  "0101 ",
                               "abc",   "ABC",   "Abcd",  "äbc",      "ab",      "a",     "",       "b",
                               "ABCDE", "a'b",   "a*b",   "土方工程", "土方",    "土",    "（甲）", "Ａbc",
                               "abc ",  " abc",  "a bc",  "ÄBC",      "0101001", "01011", "1",      "10"};
        std::vector<Row> rows;
        std::mt19937 random(5);
        int64_t id = 1;
        for (const char* t : texts) {
            for (int copy = 0; copy < 3; ++copy) {
                Row row = {id, std::string(t), std::string(t), Value(), static_cast<double>(id % 4)};
                if (copy != 2) row[3] = int64_t{std::uniform_int_distribution<int>(-5, 5)(random)};
                rows.push_back(std::move(row));
                ++id;
            }
        }
        rows.push_back({id++, Value(), Value(), int64_t{0}, 0.0});
        // Stored out of order, so physical order is not the order of any key.
        std::shuffle(rows.begin(), rows.end(), random);
        ASSERT_TRUE(createTable(**db, spec, rows).ok());
        s_db = std::move(db).value().release();
        s_sql = new sql::Connection(*s_db);
    }
    static void TearDownTestSuite() {
        delete s_sql;
        delete s_db;
    }

    /// The IDs a SELECT returns, in its order.
    static std::vector<int64_t> ids(const std::string& statement) {
        auto rs = s_sql->query(statement);
        EXPECT_TRUE(rs.ok()) << statement << ": " << rs.status().toString();
        std::vector<int64_t> out;
        if (!rs.ok()) return out;
        for (const auto& row : rs->rows) out.push_back(std::get<int64_t>(row[0]));
        return out;
    }
    static std::vector<int64_t> sorted(std::vector<int64_t> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    static Database* s_db;
    static sql::Connection* s_sql;
};

Database* SqlPlanTest::s_db = nullptr;
sql::Connection* SqlPlanTest::s_sql = nullptr;

// Each condition is run as it stands (an index may seek its prefix) and inside an OR with a false
// condition, which no seek can use: both must find the same rows.
TEST_F(SqlPlanTest, PrefixSeeksFindExactlyTheRowsAScanFinds) {
    const char* conditions[] = {
        "Mid(T,1,4)='0101'",
        "Mid(P.T,1,4)='0101'",
        "Left(T,4)='0101'",
        "Mid(T,1,2)='01'",
        "Mid(T,1,3)='abc'",
        "Mid(T,1,3)='ABC'",
        "Mid(T,1,3)='äbc'",
        "Mid(T,1,1)='a'",
        "Mid(T,1,5)='01 01'",
        "Mid(T,1,3)='01 '",
        "Mid(T,1,4)='abc '",
        "Mid(T,1,2)='土方'",
        "Mid(T,1,1)='（'",
        "Mid(T,1,6)='0101'",
        "Mid(T,1,0)=''",
        "Mid(T,1,2)=''",
        "T Like '0101*'",
        "T Like 'ab*'",
        "T Like 'AB*'",
        "T Like '土*'",
        "T Like 'abc'",
        "T Like '*'",
        "Left(T,2)='a''' ",
        "Mid(T,1,4)='0101' AND N > 0",
        "N > -10 AND Mid(T,1,1)='0'",
        "Mid(U,1,2)='01'",
        "T Like 'a*' AND T Like 'ab*'",
        "Mid(T,1,2)='1'",
        // Statements of one shape whose literals make the condition no prefix, or not all of one.
        "Mid(T,3,2)='01'",
        "Mid(T,2,1)='1'",
        "Left(T,3)='01'",
        "Left(T,1)='01'",
        "T Like 'a*c'",
        "T Like '*bc'",
        "T Like 'ab'",
        "T Like 'a?c*'",
        "T Like '01#*'",
        // Texts an index keys alike though they differ: width, accents, hyphens, trailing spaces.
        "Mid(T,1,3)='ＡＢＣ'",
        "Left(T,2)='äb'",
        "Mid(T,1,4)='01-0'",
        "Left(T,4)='abc '",
        "Left(T,3)='abc' AND N > 0",
        "N > 0 AND T Like '0*'",
        "T Like '0*' AND N Is Null",
    };
    for (const char* condition : conditions) {
        std::string sought = "SELECT ID FROM P WHERE " + std::string(condition);
        std::string scanned = "SELECT ID FROM P WHERE (" + std::string(condition) + ") OR 1=0";
        EXPECT_EQ(s_sql->plan(scanned).value(), "scan") << scanned;
        EXPECT_EQ(sorted(ids(sought)), sorted(ids(scanned))) << condition;
    }
}

// An equality on an indexed text field is answered by a seek whose keys ignore case, width and trailing
// spaces; the rows found must still be exactly those the comparison accepts. Numbers are decided by the seek.
TEST_F(SqlPlanTest, EqualitySeeksFindExactlyTheRowsAScanFinds) {
    struct Case {
        const char* condition;
        const char* plan;
    };
    const Case cases[] = {
        {"T = 'abc'", "seek index T"},   {"T = 'ABC'", "seek index T"},
        {"T = 'abc '", "seek index T"},  {"T = 'ab'", "seek index T"},
        {"T = '01 01'", "seek index T"}, {"T = 'a''b'", "seek index T"},
        {"T = ''", "seek index T"},      {"T = 'Ａbc'", "hash of T"},
        {"T = 'äbc'", "hash of T"},      {"T = 10", "scan"},
        {"N = 3", "seek index N"},       {"N = -5", "seek index N"},
        {"N = 2.5", "hash of N"},        {"N = '4'", "seek index N"},
        {"N = 'x'", "hash of N"},        {"N = 3 AND T = 'abc'", "seek index N"},
    };
    for (const Case& c : cases) {
        std::string sought = "SELECT ID FROM P WHERE " + std::string(c.condition);
        std::string scanned = "SELECT ID FROM P WHERE (" + std::string(c.condition) + ") OR 1=0";
        EXPECT_EQ(s_sql->plan(sought).value(), c.plan) << sought;
        EXPECT_EQ(sorted(ids(sought)), sorted(ids(scanned))) << c.condition;
    }
}

// An ORDER BY that an index gives is answered by walking it; an ORDER BY of an expression of the same
// column is sorted. Both orders must agree, ties included (physical order).
TEST_F(SqlPlanTest, OrderByAnIndexGivesTheOrderASortGives) {
    struct Case {
        const char* byIndex;
        const char* bySort;
        const char* plan;
    };
    const Case cases[] = {
        {"SELECT ID FROM P ORDER BY T", "SELECT ID FROM P ORDER BY Mid(T,1,100)", "walk index T"},
        {"SELECT ID FROM P ORDER BY N DESC", "SELECT ID FROM P ORDER BY N + 0 DESC", "scan, sorted"},
        {"SELECT ID FROM P ORDER BY N", "SELECT ID FROM P ORDER BY N + 0", "walk index N"},
        {"SELECT ID FROM P ORDER BY ID", "SELECT ID FROM P ORDER BY ID + 0", "walk index PrimaryKey"},
        {"SELECT ID FROM P WHERE D = 1 ORDER BY T", "SELECT ID FROM P WHERE D = 1 ORDER BY Mid(T,1,100)",
         "hash of D, sorted"},
        {"SELECT ID FROM P WHERE D + 0 = 1 ORDER BY T", "SELECT ID FROM P WHERE D = 1 ORDER BY Mid(T,1,100)",
         "walk index T"},
        {"SELECT ID FROM P WHERE Mid(T,1,2)='01' ORDER BY T",
         "SELECT ID FROM P WHERE Mid(T,1,2)='01' ORDER BY Mid(T,1,100)", "seek index T for a prefix"},
        {"SELECT ID FROM P ORDER BY U DESC", "SELECT ID FROM P ORDER BY Mid(U,1,100) DESC", "scan, sorted"},
        {"SELECT ID FROM P WHERE T Like 'a*' ORDER BY N", "SELECT ID FROM P WHERE T Like 'a*' ORDER BY N + 0",
         "seek index T for a prefix, sorted"},
        {"SELECT ID FROM P WHERE N = 3 ORDER BY ID", "SELECT ID FROM P WHERE N = 3 ORDER BY ID + 0",
         "seek index N, sorted"},
        {"SELECT ID FROM P WHERE N = 3 ORDER BY N", "SELECT ID FROM P WHERE N = 3 ORDER BY N + 0",
         "seek index N"},
        {"SELECT ID FROM P WHERE D = 3 ORDER BY D", "SELECT ID FROM P WHERE D = 3 ORDER BY D + 0",
         "hash of D, sorted"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(s_sql->plan(c.byIndex).value(), c.plan) << c.byIndex;
        std::vector<int64_t> walked = ids(c.byIndex);
        EXPECT_FALSE(walked.empty()) << c.byIndex;
        EXPECT_EQ(walked, ids(c.bySort)) << c.byIndex;
    }
}

// Whole-number sort keys are sorted by a combined number when their ranges fit 64 bits together, by each
// key in turn when they do not; either way the order must be the one the general sort gives the same keys
// as fractions (ties in the order the rows were read).
TEST_F(SqlPlanTest, WholeNumberSortKeysSortAsTheGeneralSortDoes) {
    const char* orders[] = {
        "N DESC, ID",
        "ID * 3 - 100 DESC",
        "N DESC",
        "N, ID * 10000000000000000 DESC",  // wider than 64 bits together
        "N * -1, ID DESC",
    };
    for (const char* order : orders) {
        std::string fractions = order;
        for (const char* key : {"ID", "N"}) {
            for (size_t at = 0; (at = fractions.find(key, at)) != std::string::npos; at += 8) {
                fractions.replace(at, std::strlen(key), std::string("(") + key + " + 0.5)");
            }
        }
        const std::string where = "SELECT ID FROM P WHERE N Is Not Null ORDER BY ";
        EXPECT_EQ(ids(where + order), ids(where + fractions)) << order;
        EXPECT_GT(ids(where + order).size(), 50u);
    }
}

// Statements of one shape share a parse: each still runs with its own literals, negative numbers and
// quoted strings included, and a literal of another kind makes another shape.
TEST_F(SqlPlanTest, StatementsOfOneShapeKeepTheirOwnLiterals) {
    for (int64_t n = -6; n <= 6; ++n) {
        std::string statement = "SELECT ID FROM P WHERE N = " + std::to_string(n) + " ORDER BY ID";
        std::string scanned = "SELECT ID FROM P WHERE N + 0 = " + std::to_string(n) + " ORDER BY ID";
        EXPECT_EQ(ids(statement), ids(scanned)) << statement;
    }
    EXPECT_EQ(ids("SELECT ID FROM P WHERE T = 'abc' AND N = -1").size(),
              ids("SELECT ID FROM P WHERE T & '' = 'abc' AND N + 0 = -1").size());
    EXPECT_EQ(sorted(ids("SELECT ID FROM P WHERE T = 'a''b'")).size(), 3u);
    EXPECT_EQ(sorted(ids("SELECT ID FROM P WHERE T = 'ab'")).size(), 3u);
    EXPECT_EQ(ids("SELECT ID FROM P WHERE T = '1'"), ids("SELECT ID FROM P WHERE T & '' = '1'"));
    // A number where a string stood is compared as a number (text "1" and "01..." do not equal 1 as text).
    EXPECT_EQ(sorted(ids("SELECT ID FROM P WHERE T = 1")), sorted(ids("SELECT ID FROM P WHERE T & '' = 1")));
}

// A connection keeps the parse, the analysis and the cursor of each statement shape and runs the next
// statement of that shape with its own literals: whatever those literals are, it must answer exactly as a
// fresh connection answers the same text.
TEST_F(SqlPlanTest, StatementsOfAKnownShapeAnswerAsAFreshConnectionDoes) {
    const char* shapes[] = {
        "SELECT ID FROM P WHERE Mid(T,{n},{n})='{s}'",
        "SELECT ID FROM P WHERE Left(T,{n})='{s}' ORDER BY ID",
        "SELECT ID FROM P WHERE T Like '{p}'",
        "SELECT * FROM P WHERE T Like '{p}' AND N > {m}",
        "SELECT ID FROM P WHERE N = {m}",
        "SELECT ID, T FROM P WHERE N = {m} ORDER BY T, ID",
        "SELECT ID FROM P WHERE T = '{s}' AND N <> {m}",
        "SELECT * FROM P WHERE D = {n} ORDER BY N DESC, ID",
        "SELECT ID FROM P WHERE Mid(T,1,{n})='{s}' ORDER BY T",
        "SELECT COUNT(*) AS c FROM P WHERE N = {m} OR T = '{s}'",
        // Literals in the middle, symbols that a next character could join, quotes inside texts.
        "SELECT ID FROM P WHERE N < {m} AND T = '{s}' ORDER BY ID",
        "SELECT ID FROM P WHERE N <{m}",
        "SELECT ID FROM P WHERE N <> {m}",
        "SELECT ID FROM P WHERE N <= {m} OR D = {n}.5",
        "SELECT ID FROM P WHERE T = '{s}' OR T = \"{s}\"",
    };
    const char* texts[] = {"01",   "0101", "a", "ab", "abc",  "ABC", "äbc",
                           "土方", "01-0", "",  "x",  "a''b", "''"};
    const char* patterns[] = {"0*", "ab*", "a*c", "*bc", "ab", "a?c*", "01#*", "*", "土*", "[a-b]*"};
    std::mt19937 random(77);
    auto pick = [&](const auto& pool) { return std::string(pool[random() % std::size(pool)]); };
    auto fill = [&](std::string shape) {
        for (auto [mark, value] :
             {std::pair<std::string, std::function<std::string()>>{
                  "{n}", [&] { return std::to_string(random() % 5); }},
              {"{m}", [&] { return std::to_string(static_cast<int>(random() % 13) - 6); }},
              {"{s}", [&] { return pick(texts); }},
              {"{p}", [&] { return pick(patterns); }}}) {
            for (size_t at; (at = shape.find(mark)) != std::string::npos;)
                shape.replace(at, mark.size(), value());
        }
        return shape;
    };
    auto csv = [](const Result<sql::ResultSet>& rs) {
        if (!rs.ok()) return rs.status().toString();
        std::string out;
        for (sql::RowSpan row : rs->rows) {
            for (const Value& v : row) appendCsvField(out, v);
            out += '\n';
        }
        return out;
    };
    // Pairs whose texts part inside a literal while the rest differs too, or whose texts part before one.
    const std::pair<const char*, const char*> pairs[] = {
        {"SELECT ID FROM P WHERE ID = 10", "SELECT ID FROM P WHERE ID =110"},
        {"SELECT ID FROM P WHERE N = 1 AND T = 'abc'", "SELECT ID FROM P WHERE N = 2 OR T = 'abc'"},
        {"SELECT ID FROM P WHERE N < 3", "SELECT ID FROM P WHERE N <> 3"},
        {"SELECT ID FROM P WHERE T = 'a''b'", "SELECT ID FROM P WHERE T = 'ab'"},
        {"SELECT ID FROM P WHERE T Like 'ab*'", "SELECT ID FROM P WHERE T Like 'a*c'"},
        {"SELECT ID FROM P WHERE N = 3", "SELECT ID FROM P WHERE N = 3"},
    };
    for (const auto& [first, second] : pairs) {
        ASSERT_TRUE(s_sql->query(first).ok()) << first;
        sql::Connection fresh(*s_db);
        EXPECT_EQ(csv(s_sql->query(second)), csv(fresh.query(second))) << first << " then " << second;
    }
    // Each shape a few times in a row, as callers issue them, then another.
    for (int i = 0; i < 1000; ++i) {
        const std::string shape = pick(shapes);
        for (int again = 1 + static_cast<int>(random() % 4); again > 0; --again) {
            const std::string statement = fill(shape);
            sql::Connection fresh(*s_db);
            ASSERT_EQ(csv(s_sql->query(statement)), csv(fresh.query(statement))) << statement;
        }
    }
}

}  // namespace
}  // namespace jet

// SQL conformance: SELECT statements in Access's dialect against a database built with the writer.
// Each row of a table is a statement and what it must produce: the IDs of the rows (in order when the
// statement orders them), an aggregate's value, or an error's kind and a fragment of its message.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/format_value.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

class SqlSelectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_path = test::tempDir() + "/select.mdb";
        ASSERT_TRUE(sqltest::buildSampleDatabase(s_path).ok());
        auto db = Database::open(s_path);
        ASSERT_TRUE(db.ok()) << db.status().toString();
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

std::string SqlSelectTest::s_path;
Database* SqlSelectTest::s_db = nullptr;
sql::Connection* SqlSelectTest::s_sql = nullptr;

/// A statement and the IDs of the rows it selects.
struct RowsCase {
    const char* sql;
    std::vector<int64_t> ids;
    bool ordered;  // false: compare as a set, the statement has no ORDER BY
};

const RowsCase kRowsCases[] = {
    // Shapes the component builds, keyword case and name forms.
    {"SELECT * FROM DM", {1, 2, 3, 4, 5, 6}, false},
    {"select * from dm where id=3", {3}, false},
    {"SELECT * FROM [DM] WHERE [DM].[ID] = 3;", {3}, false},
    {"SELECT * FROM DM WHERE Mid(DM.Class,1,4)='0101' Order BY Code1,ID", {2, 4, 1}, true},
    {"SELECT * FROM DM ORDER BY Code1", {5, 2, 4, 1, 6, 3}, true},
    {"SELECT * FROM DM ORDER BY Code1 DESC, ID", {3, 1, 6, 2, 4, 5}, true},
    {"SELECT * FROM DM ORDER BY Qty, Price DESC", {2, 6, 3, 4, 1, 5}, true},
    {"SELECT * FROM DM WHERE ID <> 2 AND ID <> 4 ORDER BY Name", {1, 3, 5, 6}, true},
    // Sort keys among the chosen columns, not among them, and both mixed.
    {"SELECT Price, ID FROM DM ORDER BY Qty, Price DESC", {2, 6, 3, 4, 1, 5}, true},
    {"SELECT Name, ID FROM DM WHERE ID <> 2 AND ID <> 4 ORDER BY Name", {1, 3, 5, 6}, true},
    {"SELECT ID, Code1 FROM DM ORDER BY Code1 DESC, ID + 0", {3, 1, 6, 2, 4, 5}, true},
    // Text equality ignores case, through the index on Code1 and without one on Name.
    {"SELECT * FROM DM WHERE Code1 = 'a'", {2, 4}, false},
    {"SELECT * FROM DM WHERE Code1 = 'A' AND ID > 3", {4}, false},
    {"SELECT * FROM DM WHERE Name = 'APPLE'", {1}, false},
    {"SELECT * FROM DM WHERE Name = \"apple\"", {1}, false},
    {"SELECT * FROM DM WHERE Name = 'ａｂｃ'", {4}, false},
    {"SELECT * FROM DM WHERE Name = 'éclair'", {5}, false},
    {"SELECT * FROM DM WHERE Name = '土方工程'", {2}, false},
    // Like with every Jet wildcard.
    {"SELECT * FROM DM WHERE Name Like '*土方*'", {2}, false},
    {"SELECT * FROM DM WHERE Name Like 'apple*'", {1, 3}, false},
    {"SELECT * FROM DM WHERE Name Like '*O''Brien*'", {6}, false},
    {"SELECT * FROM DM WHERE Name Like 'ａ*'", {4}, false},
    {"SELECT * FROM DM WHERE Name Like '[a-b]*'", {1, 3}, false},
    {"SELECT * FROM DM WHERE Name Like '[!a]*'", {2, 4, 5, 6}, false},
    {"SELECT * FROM DM WHERE Name Like '[eo]*'", {6}, false},
    {"SELECT * FROM DM WHERE Code1 Like '?'", {1, 2, 3, 4, 6}, false},
    {"SELECT * FROM DM WHERE Class Like '0101###'", {1, 2, 4}, false},
    {"SELECT * FROM DM WHERE Class Like '0101#'", {}, false},
    {"SELECT * FROM DM WHERE Name Not Like '*e*'", {2, 4, 5}, false},
    // Null is unknown: never equal, never unequal, NOT keeps it unknown.
    {"SELECT * FROM DM WHERE Qty Is Null", {2}, false},
    {"SELECT * FROM DM WHERE Qty Is Not Null", {1, 3, 4, 5, 6}, false},
    {"SELECT * FROM DM WHERE Qty = 10", {1, 5}, false},
    {"SELECT * FROM DM WHERE Qty <> 10", {3, 4, 6}, false},
    {"SELECT * FROM DM WHERE NOT Qty = 10", {3, 4, 6}, false},
    {"SELECT * FROM DM WHERE NOT (Qty = 10 OR Price > 1)", {6}, false},
    {"SELECT * FROM DM WHERE Qty = 10 OR Price > 1", {1, 2, 4, 5}, false},
    {"SELECT * FROM DM WHERE (Qty = 10 AND Flag = True) OR Code1 = 'C'", {1, 3, 5}, false},
    {"SELECT * FROM DM WHERE Code1 Like '*'", {1, 2, 3, 4, 6}, false},
    // Arithmetic, concatenation and functions.
    {"SELECT * FROM DM WHERE Qty + 1 = 11", {1, 5}, false},
    {"SELECT * FROM DM WHERE Qty - 1 > 5", {1, 4, 5}, false},
    {"SELECT * FROM DM WHERE -Qty = 3", {6}, false},
    {"SELECT * FROM DM WHERE Qty = -3", {6}, false},
    {"SELECT * FROM DM WHERE Code1 & Class = 'B0101001'", {1}, false},
    {"SELECT * FROM DM WHERE Mid(Name,1,2) = '土方'", {2}, false},
    {"SELECT * FROM DM WHERE Mid(Name,3) = '工程'", {2}, false},
    {"SELECT * FROM DM WHERE Mid(Qty,1,1) = '1'", {1, 5}, false},
    {"SELECT * FROM DM WHERE Mid(Code1,1,1) Is Null", {5}, false},
    // Numbers, booleans, and text compared with numbers (numerically when the text is a number).
    {"SELECT * FROM DM WHERE Price >= 2", {2, 4}, false},
    {"SELECT * FROM DM WHERE Price < 0.75", {5, 6}, false},
    {"SELECT * FROM DM WHERE Flag = True", {1, 3, 5}, false},
    {"SELECT * FROM DM WHERE Flag = false", {2, 4, 6}, false},
    {"SELECT * FROM DM WHERE Flag = -1", {1, 3, 5}, false},
    {"SELECT * FROM DM WHERE Flag", {1, 3, 5}, false},
    {"SELECT * FROM DM WHERE NumText = 10", {1, 5, 6}, false},
    {"SELECT * FROM DM WHERE NumText = '10'", {1}, false},
    {"SELECT * FROM DM WHERE NumText > 9", {1, 5, 6}, false},
    {"SELECT * FROM DM WHERE Qty = '10'", {1, 5}, false},
    {"SELECT * FROM DM WHERE ID = 99", {}, false},
    {"SELECT * FROM DM WHERE ID = 2.5", {}, false},
    // A table called Index, bracketed or not, and a field-equals-constant on an unindexed Long.
    {"SELECT * FROM [Index] WHERE ParentID=3", {1, 2, 3, 5}, false},
    {"SELECT * FROM Index WHERE ParentID=3 ORDER BY OCode DESC", {3, 5, 2, 1}, true},
    {"SELECT * FROM EditRecord WHERE DMID=2", {2, 4}, false},
    {"SELECT * FROM EditRecord WHERE DMID=2 AND Note Like 'second*'", {4}, false},
    {"SELECT * FROM EditRecord WHERE DMID=7", {}, false},
};

std::vector<int64_t> idsOf(const sql::ResultSet& rs) {
    auto at = std::find(rs.columns.begin(), rs.columns.end(), "ID");
    std::vector<int64_t> ids;
    if (at == rs.columns.end()) return ids;
    auto column = static_cast<size_t>(at - rs.columns.begin());
    for (const auto& row : rs.rows) {
        auto* id = std::get_if<int64_t>(&row[column]);
        ids.push_back(id ? *id : -1);
    }
    return ids;
}

TEST_F(SqlSelectTest, StatementsSelectTheRowsJetWould) {
    for (const RowsCase& c : kRowsCases) {
        SCOPED_TRACE(c.sql);
        auto rs = s_sql->query(c.sql);
        ASSERT_TRUE(rs.ok()) << rs.status().toString();
        std::vector<int64_t> ids = idsOf(*rs), expected = c.ids;
        if (!c.ordered) {
            std::sort(ids.begin(), ids.end());
            std::sort(expected.begin(), expected.end());
        }
        EXPECT_EQ(ids, expected);
        EXPECT_EQ(rs->rowIds.size(), rs->rows.size());
    }
}

// The same statements answer the same when run again (cached parse, built hashes reused).
TEST_F(SqlSelectTest, RepeatedStatementsAnswerTheSame) {
    for (const RowsCase& c : kRowsCases) {
        SCOPED_TRACE(c.sql);
        auto first = s_sql->query(c.sql);
        auto second = s_sql->query(c.sql);
        ASSERT_TRUE(first.ok() && second.ok());
        EXPECT_EQ(idsOf(*first), idsOf(*second));
    }
}

/// A statement whose single result row is checked as CSV text, with its column names.
struct ValueCase {
    const char* sql;
    const char* columns;
    const char* row;
};

const ValueCase kValueCases[] = {
    {"SELECT MAX(OCode) AS a FROM [Index] WHERE ParentID=3", "a", "5"},
    {"select max(ocode) as a from Index where ParentID=4", "a", "9"},
    {"SELECT MAX(OCode) AS a FROM [Index] WHERE ParentID=99", "a", ""},
    {"SELECT MIN(OCode) AS lo, MAX(OCode) AS hi FROM [Index]", "lo,hi", "1,9"},
    {"SELECT COUNT(*) FROM DM", "Expr1000", "6"},
    {"SELECT COUNT(Qty) AS n FROM DM", "n", "5"},
    {"SELECT COUNT(*) AS n FROM DM WHERE Qty = 10", "n", "2"},
    {"SELECT SUM(Qty) AS s FROM DM", "s", "29"},
    {"SELECT MAX(OCode) + 1 AS a FROM [Index] WHERE ParentID=3", "a", "6"},
    {"SELECT MIN(Name) AS m FROM DM", "m", "\"Apple\""},
    {"SELECT MAX(Code1) AS m FROM DM", "m", "\"C\""},
    {"SELECT Name, ID FROM DM WHERE ID = 2", "Name,ID", "\"土方工程\",2"},
    {"SELECT Mid(Name, 2, 3) AS part, Qty FROM DM WHERE ID = 1", "part,Qty", "\"ppl\",10"},
    {"SELECT Name & '/' & Code1 FROM DM WHERE ID = 5", "Expr1000", "\"Éclair/\""},
    {"SELECT Price FROM DM WHERE ID = 3", "Price", ""},
    // Counts and positions of any size: past the end of the text means all of it, or nothing.
    {"SELECT Right(Name, 9223372036854775807) AS r FROM DM WHERE ID = 1", "r", "\"Apple\""},
    {"SELECT Left(Name, 1e300) AS l FROM DM WHERE ID = 1", "l", "\"Apple\""},
    {"SELECT Right(Name, 1e300) AS r FROM DM WHERE ID = 1", "r", "\"Apple\""},
    {"SELECT Mid(Name, 2, 1e300) AS m FROM DM WHERE ID = 1", "m", "\"pple\""},
    {"SELECT Mid(Name, 9223372036854775807, 2) AS m FROM DM WHERE ID = 1", "m", "\"\""},
    {"SELECT Mid(Name, 1e19) AS m FROM DM WHERE ID = 1", "m", "\"\""},
    {"SELECT Right(Name, 2.5) AS r FROM DM WHERE ID = 1", "r", "\"le\""},
    {"SELECT Left(Name, '3') AS l FROM DM WHERE ID = 1", "l", "\"App\""},
};

TEST_F(SqlSelectTest, ValuesAndColumnNamesOfComputedResults) {
    for (const ValueCase& c : kValueCases) {
        SCOPED_TRACE(c.sql);
        auto rs = s_sql->query(c.sql);
        ASSERT_TRUE(rs.ok()) << rs.status().toString();
        std::string columns;
        for (const std::string& name : rs->columns) columns += (columns.empty() ? "" : ",") + name;
        EXPECT_EQ(columns, c.columns);
        ASSERT_EQ(rs->rows.size(), 1u);
        std::string row;
        for (size_t i = 0; i < rs->rows[0].size(); ++i) {
            if (i) row += ",";
            appendCsvField(row, rs->rows[0][i]);
        }
        EXPECT_EQ(row, c.row);
    }
}

/// A statement that must fail, and how.
struct ErrorCase {
    const char* sql;
    Status::Code code;
    const char* fragment;
};

const ErrorCase kErrorCases[] = {
    {"SELECT * FROM Nope", Status::Code::NotFound, "'Nope'"},
    {"SELECT * FROM DM WHERE Nope = 1", Status::Code::NotFound, "'Nope'"},
    {"SELECT * FROM DM WHERE Other.ID = 1", Status::Code::NotFound, "'Other.ID'"},
    {"SELECT * FROM DM ORDER BY Missing", Status::Code::NotFound, "'Missing'"},
    {"SELECT * FROM DM WHERE DMID=abc", Status::Code::NotFound, "'DMID'"},
    {"SELECT * FORM DM", Status::Code::InvalidArgument,
     "Syntax error in query expression near 'FORM DM' at 10"},
    {"SELECT * FROM DM WHERE Name Like '*O'Brien*'", Status::Code::InvalidArgument, "near 'Brien*'' at 38"},
    {"SELECT * FROM DM WHERE Name = '土方' AND", Status::Code::InvalidArgument, "near '' at 39"},
    {"SELECT * FROM DM WHERE ID = ", Status::Code::InvalidArgument, "Syntax error"},
    {"SELECT * FROM DM WHERE Name = 'open", Status::Code::InvalidArgument, "near ''open' at 31"},
    {"SELECT * FROM DM WHERE ID = 1 1", Status::Code::InvalidArgument, "near '1' at 31"},
    {"SELECT * FROM DM WHERE (ID = 1", Status::Code::InvalidArgument, "Syntax error"},
    {"SELECT * FROM DM WHERE ID = 1 ? 2", Status::Code::InvalidArgument, "near '? 2' at 31"},
    {"DROP TABLE DM", Status::Code::InvalidArgument, "near 'DROP TABLE DM' at 1"},
    {"", Status::Code::InvalidArgument, "Syntax error"},
    {"SELECT * FROM DM WHERE Frob(ID) = 1", Status::Code::InvalidArgument, "Undefined function 'Frob'"},
    {"SELECT * FROM DM WHERE Mid(Name) = 1", Status::Code::InvalidArgument, "Wrong number of arguments"},
    {"SELECT * FROM DM WHERE Name Like '[ab'", Status::Code::InvalidArgument, "Invalid pattern string"},
    {"SELECT * FROM DM WHERE Mid(Name, 0, 1) = 'a'", Status::Code::InvalidArgument, "Invalid procedure call"},
    {"SELECT * FROM DM WHERE Left(Name, -1e300) = 'a'", Status::Code::InvalidArgument,
     "Invalid procedure call"},
    {"SELECT * FROM DM WHERE Right(Name, -9223372036854775807 - 2) = 'a'", Status::Code::InvalidArgument,
     "Invalid procedure call"},
    {"SELECT * FROM DM WHERE Mid(Name, -1e300, 2) = 'a'", Status::Code::InvalidArgument,
     "Invalid procedure call"},
    {"SELECT * FROM DM WHERE Mid(Name, 1, -9223372036854775807) = 'a'", Status::Code::InvalidArgument,
     "Invalid procedure call"},
    {"SELECT * FROM DM WHERE Left(Name, 'inf') = 'a'", Status::Code::InvalidArgument, "Data type mismatch"},
    {"SELECT * FROM DM WHERE Right(Name, 'nan') = 'a'", Status::Code::InvalidArgument, "Data type mismatch"},
    {"SELECT * FROM DM WHERE Name + 1 = 2", Status::Code::InvalidArgument, "Data type mismatch"},
    {"SELECT MAX(ID), Name FROM DM", Status::Code::InvalidArgument, "aggregate function"},
    {"SELECT * FROM DM WHERE MAX(ID) = 1", Status::Code::InvalidArgument, "aggregate function in WHERE"},
    {"DELETE FROM DM", Status::Code::InvalidArgument, "not a SELECT"},
};

TEST_F(SqlSelectTest, FaultyStatementsFailNamingTheFault) {
    for (const ErrorCase& c : kErrorCases) {
        SCOPED_TRACE(c.sql);
        auto rs = s_sql->query(c.sql);
        ASSERT_FALSE(rs.ok());
        EXPECT_EQ(rs.status().code(), c.code) << rs.status().toString();
        EXPECT_NE(rs.status().message().find(c.fragment), std::string::npos) << rs.status().toString();
    }
}

}  // namespace
}  // namespace jet

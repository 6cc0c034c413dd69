// SQL conformance for UPDATE and DELETE: each row runs a statement on a fresh copy of the test database,
// checks the number of rows changed, then checks the table through a SELECT on the same connection
// (whose field lookups were built before the write) and again after re-opening the file.
#include <gtest/gtest.h>

#include <string>

#include "jet/database.h"
#include "jet/format_value.h"
#include "jet/sql.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

/// The rows of a SELECT as CSV, rows separated by ';'.
std::string selectText(sql::Connection& sql, const std::string& statement) {
    auto rs = sql.query(statement);
    if (!rs.ok()) return "error: " + rs.status().toString();
    std::string out;
    for (const auto& row : rs->rows) {
        if (!out.empty()) out += ";";
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) out += ",";
            appendCsvField(out, row[i]);
        }
    }
    return out;
}

Result<std::unique_ptr<Database>> openWritable(const std::string& path) {
    OpenOptions rw;
    rw.mode = OpenMode::ReadWrite;
    return Database::open(path, rw);
}

struct WriteCase {
    const char* statement;
    uint64_t changed;
    const char* check;     // a SELECT run before and after the statement
    const char* expected;  // its rows afterwards
};

const WriteCase kWriteCases[] = {
    {"Update Index set OCode=OCode+1 where OCode>3", 3, "SELECT ID, OCode FROM [Index] ORDER BY ID",
     "1,1;2,2;3,6;4,10;5,5"},
    {"UPDATE DM SET Name='x''y', Qty=Null WHERE ID=1", 1,
     "SELECT ID, Name FROM DM WHERE Qty Is Null ORDER BY ID", "1,\"x'y\";2,\"土方工程\""},
    {"update dm set Qty = Qty * 2, Price = Qty", 6, "SELECT SUM(Qty) AS q, SUM(Price) AS p FROM DM", "58,29"},
    {"UPDATE DM SET Code1 = 'Z' WHERE Code1 = 'a'", 2, "SELECT ID FROM DM WHERE Code1 = 'z'", "2;4"},
    {"UPDATE EditRecord SET DMID = 9 WHERE DMID = 2", 2,
     "SELECT ID FROM EditRecord WHERE DMID = 9 ORDER BY ID", "2;4"},
    {"UPDATE EditRecord SET DMID = 9 WHERE DMID = 2", 2, "SELECT COUNT(*) AS n FROM EditRecord WHERE DMID=2",
     "0"},
    {"UPDATE DM SET Name = Name & '!' WHERE Name Like '*土方*'", 1, "SELECT Name FROM DM WHERE ID = 2",
     "\"土方工程!\""},
    {"DELETE * FROM EditRecord", 5, "SELECT COUNT(*) AS n FROM EditRecord", "0"},
    {"DELETE FROM DM WHERE Qty Is Null", 1, "SELECT ID FROM DM WHERE Qty Is Null", ""},
    {"delete from EditRecord where DMID=2", 2, "SELECT ID FROM EditRecord WHERE DMID=2", ""},
    {"DELETE EditRecord.* FROM EditRecord WHERE DMID=2", 2, "SELECT COUNT(*) AS n FROM EditRecord", "3"},
    {"DELETE FROM DM WHERE ID = 99", 0, "SELECT COUNT(*) AS n FROM DM", "6"},
};

TEST(SqlWriteTest, StatementsChangeTheRowsJetWould) {
    for (const WriteCase& c : kWriteCases) {
        SCOPED_TRACE(c.statement);
        std::string path = test::tempDir() + "/write.mdb";
        ASSERT_TRUE(sqltest::buildSampleDatabase(path).ok());
        {
            auto db = openWritable(path);
            ASSERT_TRUE(db.ok());
            sql::Connection sql(**db);
            selectText(sql, c.check);  // builds the lookups the write must invalidate
            auto changed = sql.execute(c.statement);
            ASSERT_TRUE(changed.ok()) << changed.status().toString();
            EXPECT_EQ(*changed, c.changed);
            EXPECT_EQ(selectText(sql, c.check), c.expected);
        }
        auto reopened = Database::open(path);
        ASSERT_TRUE(reopened.ok());
        sql::Connection fresh(**reopened);
        EXPECT_EQ(selectText(fresh, c.check), c.expected);
    }
}

struct WriteErrorCase {
    const char* statement;
    Status::Code code;
    const char* fragment;
};

const WriteErrorCase kWriteErrors[] = {
    {"UPDATE DM SET Qty = 'abc' WHERE ID=1", Status::Code::InvalidArgument, "Data type mismatch"},
    {"UPDATE DM SET Qty = 99999999999 WHERE ID=1", Status::Code::InvalidArgument, "Overflow"},
    {"UPDATE DM SET Nope = 1", Status::Code::NotFound, "'Nope'"},
    {"UPDATE Nope SET A = 1", Status::Code::NotFound, "'Nope'"},
    {"UPDATE DM SET Qty = MAX(Qty)", Status::Code::InvalidArgument, "aggregate"},
    {"UPDATE DM Qty = 1", Status::Code::InvalidArgument, "near 'Qty = 1' at 11"},
    {"DELETE * FROM DM WHERE Name Like '*O'Brien*'", Status::Code::InvalidArgument, "near 'Brien*'' at 38"},
    {"UPDATE MSysObjects SET Name = 'x'", Status::Code::InvalidArgument, "system table"},
    {"SELECT * FROM DM", Status::Code::InvalidArgument, "Cannot execute a select query"},
};

TEST(SqlWriteTest, FaultyStatementsChangeNothing) {
    std::string path = test::tempDir() + "/errors.mdb";
    ASSERT_TRUE(sqltest::buildSampleDatabase(path).ok());
    auto db = openWritable(path);
    ASSERT_TRUE(db.ok());
    sql::Connection sql(**db);
    std::string before = selectText(sql, "SELECT * FROM DM");
    for (const WriteErrorCase& c : kWriteErrors) {
        SCOPED_TRACE(c.statement);
        auto changed = sql.execute(c.statement);
        ASSERT_FALSE(changed.ok());
        EXPECT_EQ(changed.status().code(), c.code) << changed.status().toString();
        EXPECT_NE(changed.status().message().find(c.fragment), std::string::npos)
            << changed.status().toString();
    }
    EXPECT_EQ(selectText(sql, "SELECT * FROM DM"), before);
}

TEST(SqlWriteTest, ReadOnlyDatabaseRefusesWrites) {
    std::string path = test::tempDir() + "/readonly.mdb";
    ASSERT_TRUE(sqltest::buildSampleDatabase(path).ok());
    auto db = Database::open(path);
    ASSERT_TRUE(db.ok());
    sql::Connection sql(**db);
    auto changed = sql.execute("Update Index set OCode=OCode+1 where OCode>3");
    ASSERT_FALSE(changed.ok());
    EXPECT_NE(changed.status().message().find("read-only"), std::string::npos) << changed.status().toString();
}

}  // namespace
}  // namespace jet

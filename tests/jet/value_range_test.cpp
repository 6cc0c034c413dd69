// Values a column cannot hold are refused as Jet refuses them, by SQL, by DAO and by the writer, and the
// file stays as it was; every value at the edge of a range is stored, exported and imported back.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <string>

#include "jet/dao.h"
#include "jet/format_value.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

using sqltest::column;
using T = ColumnType;

/// A database with one row in Ranges(ID, C currency, D double, S single, W datetime, B byte, I integer,
/// L long) and the file's bytes before any test write.
struct RangeDatabase {
    std::string path;
    std::vector<uint8_t> before;
};

RangeDatabase rangeDatabase() {
    RangeDatabase r;
    r.path = test::tempDir() + "/ranges.mdb";
    EXPECT_TRUE(createDatabase(r.path).ok());
    OpenOptions rw;
    rw.mode = OpenMode::ReadWrite;
    auto db = Database::open(r.path, rw);
    EXPECT_TRUE(db.ok());
    TableSpec spec{
        "Ranges",
        {column("ID", T::Long), column("C", T::Currency), column("D", T::Double), column("S", T::Single),
         column("W", T::DateTime), column("B", T::Byte), column("I", T::Integer), column("L", T::Long)},
        {sqltest::index("PrimaryKey", "ID", true)}};
    Row row = {int64_t{1}, Currency{10000}, 1.0, 1.0f, DateTime{1.0}, int64_t{1}, int64_t{1}, int64_t{1}};
    Status s = createTable(**db, spec, {row});
    EXPECT_TRUE(s.ok()) << s.toString();
    r.before = readWholeFile(r.path).value();
    return r;
}

TEST(ValueRanges, SqlRefusesValuesTheColumnCannotHoldAndChangesNothing) {
    const char* statements[] = {
        "UPDATE Ranges SET C = 1e20",
        "UPDATE Ranges SET C = -1e15",
        "UPDATE Ranges SET C = 922337203685477.6",
        "UPDATE Ranges SET D = 1e308 * 10",
        "UPDATE Ranges SET D = -1e308 - 1e308",
        "UPDATE Ranges SET S = 1e39",
        "UPDATE Ranges SET W = 1e300",
        "UPDATE Ranges SET W = 2958466",
        "UPDATE Ranges SET W = -657435",
        "UPDATE Ranges SET B = 256",
        "UPDATE Ranges SET B = -1",
        "UPDATE Ranges SET I = 32768",
        "UPDATE Ranges SET L = 2147483648",
        "UPDATE Ranges SET L = 1e300",
        "UPDATE Ranges SET C = 1, L = -2147483649",
    };
    RangeDatabase r = rangeDatabase();
    OpenOptions rw;
    rw.mode = OpenMode::ReadWrite;
    auto db = Database::open(r.path, rw);
    ASSERT_TRUE(db.ok());
    sql::Connection connection(**db);
    for (const char* statement : statements) {
        auto changed = connection.execute(statement);
        EXPECT_TRUE(changed.status().isInvalidArgument()) << statement << ": " << changed.status().toString();
    }
    EXPECT_TRUE(readWholeFile(r.path).value() == r.before);
}

TEST(ValueRanges, TheWriterRefusesNonFiniteNumbersAndDatesOutsideJetsCalendar) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        size_t column;
        Value value;
    };
    const Case cases[] = {
        {2, inf},
        {2, -inf},
        {2, std::nan("")},
        {3, inf},
        {3, 1e39},
        {4, DateTime{1e300}},
        {4, DateTime{std::nan("")}},
        {4, DateTime{2958466.0}},
        {4, DateTime{-657435.0}},
    };
    RangeDatabase r = rangeDatabase();
    OpenOptions rw;
    rw.mode = OpenMode::ReadWrite;
    auto db = Database::open(r.path, rw);
    ASSERT_TRUE(db.ok());
    for (const Case& c : cases) {
        Row row = {int64_t{2}, Value(), Value(), Value(), Value(), Value(), Value(), Value()};
        row[c.column] = c.value;
        Status s = insertRows(**db, "Ranges", {row});
        EXPECT_TRUE(s.isInvalidArgument()) << "column " << c.column << ": " << s.toString();
    }
    EXPECT_TRUE(readWholeFile(r.path).value() == r.before);
}

TEST(ValueRanges, DaoRefusesAnOverflowingFieldAndKeepsTheRecord) {
    RangeDatabase r = rangeDatabase();
    auto db = dao::DBEngine().OpenDatabase(r.path);
    ASSERT_TRUE(db.ok());
    auto rs = (*db)->OpenRecordset("Ranges");
    ASSERT_TRUE(rs.ok());
    ASSERT_TRUE((*rs)->Edit().ok());
    ASSERT_TRUE((*rs)->Fields("C")->SetValue(1e300).ok());
    EXPECT_TRUE((*rs)->Update().isInvalidArgument());
    (*rs)->CancelUpdate();
    EXPECT_TRUE(readWholeFile(r.path).value() == r.before);
}

// The extremes of every range go in through SQL, come out of export and go back in through import.
TEST(ValueRanges, EveryValueAtTheEdgeOfItsRangeRoundTripsThroughExportAndImport) {
    RangeDatabase r = rangeDatabase();
    OpenOptions rw;
    rw.mode = OpenMode::ReadWrite;
    auto db = Database::open(r.path, rw);
    ASSERT_TRUE(db.ok());
    std::vector<Row> extremes = {
        {int64_t{2}, Currency{std::numeric_limits<int64_t>::min()}, std::numeric_limits<double>::max(),
         std::numeric_limits<float>::max(), DateTime{-657434.0}, int64_t{0}, int64_t{-32768},
         int64_t{std::numeric_limits<int32_t>::min()}},
        {int64_t{3}, Currency{std::numeric_limits<int64_t>::max()}, -std::numeric_limits<double>::max(),
         -std::numeric_limits<float>::max(), DateTime{2958465.0 + 86399.0 / 86400.0}, int64_t{255},
         int64_t{32767}, int64_t{std::numeric_limits<int32_t>::max()}},
        {int64_t{4}, Currency{-1}, std::numeric_limits<double>::denorm_min(),
         std::numeric_limits<float>::min(), DateTime{-657434.0 - 86399.0 / 86400.0}, Value(), Value(),
         Value()},
    };
    Status s = insertRows(**db, "Ranges", extremes);
    ASSERT_TRUE(s.ok()) << s.toString();
    db->reset();
    int code = 0;
    std::string tool = test::shellQuote(JET_TOOL);
    std::string csv = test::tempDir() + "/ranges.csv";
    test::runCommand(tool + " export " + test::shellQuote(r.path) + " Ranges > " + test::shellQuote(csv),
                     &code);
    ASSERT_EQ(code, 0);
    // The export's header names the columns; import wants their types too.
    std::ifstream in(csv);
    std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    body = body.substr(body.find('\n') + 1);
    std::string typed = test::tempDir() + "/typed.csv";
    std::ofstream(typed) << "ID:long,C:currency,D:double,S:single,W:datetime,B:byte,I:int,L:long\r\n" << body;
    std::string copy = test::tempDir() + "/copy.mdb";
    ASSERT_TRUE(createDatabase(copy).ok());
    std::string out = test::runCommand(
        tool + " import " + test::shellQuote(copy) + " Ranges " + test::shellQuote(typed) + " 2>&1", &code);
    ASSERT_EQ(code, 0) << out;
    std::string again = test::runCommand(tool + " export " + test::shellQuote(copy) + " Ranges", &code);
    std::ifstream first(csv);
    std::string original((std::istreambuf_iterator<char>(first)), std::istreambuf_iterator<char>());
    EXPECT_EQ(again, original);
}

}  // namespace
}  // namespace jet

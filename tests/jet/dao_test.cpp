// The DAO-shaped API as callers use it: record counts, walking records, Null fields, Execute counts,
// edits and additions that persist (checked by re-opening and with mdb-export), and TableDefs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "jet/dao.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

using dao::DBEngine;

/// A fresh copy of the test database, opened through DBEngine.
struct OpenedSample {
    std::string path;
    std::unique_ptr<dao::Database> db;
};

OpenedSample openSample(bool readOnly = false) {
    OpenedSample s;
    s.path = test::tempDir() + "/dao.mdb";
    Status built = sqltest::buildSampleDatabase(s.path);
    EXPECT_TRUE(built.ok()) << built.toString();
    OpenOptions options;
    options.mode = readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite;
    auto db = DBEngine().OpenDatabase(s.path, options);
    EXPECT_TRUE(db.ok()) << db.status().toString();
    if (db.ok()) s.db = std::move(db).value();
    return s;
}

/// The values of field `name` over every record from the current one on.
std::vector<std::string> walk(dao::Recordset& rs, const char* name) {
    std::vector<std::string> out;
    while (!rs.Eof()) {
        auto f = rs.Fields(name);
        EXPECT_TRUE(f.ok()) << f.status().toString();
        if (!f.ok()) break;
        const Value& v = f->Value();
        if (isNull(v))
            out.push_back("<null>");
        else if (auto* s = std::get_if<std::string>(&v))
            out.push_back(*s);
        else if (auto* n = std::get_if<int64_t>(&v))
            out.push_back(std::to_string(*n));
        else
            out.push_back("?");
        EXPECT_TRUE(rs.MoveNext().ok());
    }
    return out;
}

TEST(DaoTest, RecordCountIsZeroOnlyForEmptyResults) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    struct Case {
        const char* source;
        bool empty;
    } cases[] = {
        {"SELECT * FROM DM", false},
        {"SELECT * FROM DM WHERE ID = 99", true},
        {"SELECT * FROM EditRecord WHERE DMID=2", false},
        {"SELECT * FROM EditRecord WHERE DMID=42", true},
        {"SELECT MAX(OCode) AS a FROM [Index] WHERE ParentID=99", false},  // one row holding Null
        {"DM", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        auto rs = s.db->OpenRecordset(c.source);
        ASSERT_TRUE(rs.ok()) << rs.status().toString();
        EXPECT_EQ((*rs)->RecordCount() == 0, c.empty);
        EXPECT_EQ((*rs)->Eof(), c.empty);
    }
}

TEST(DaoTest, MoveNextWalksInStatementOrderAndStopsAtEof) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    auto rs = s.db->OpenRecordset("SELECT * FROM DM WHERE Mid(DM.Class,1,4)='0101' Order BY Code1 DESC, ID");
    ASSERT_TRUE(rs.ok());
    EXPECT_EQ(walk(**rs, "ID"), (std::vector<std::string>{"1", "2", "4"}));
    EXPECT_TRUE((*rs)->Eof());
    EXPECT_FALSE((*rs)->MoveNext().ok());
    EXPECT_FALSE((*rs)->Fields("ID").ok());
    ASSERT_TRUE((*rs)->MoveFirst().ok());
    EXPECT_EQ(walk(**rs, "Code1"), (std::vector<std::string>{"B", "a", "A"}));
}

// FieldValue is the field-less read of Fields(i)->Value(): the same value on every record of a sorted
// result (read as MoveNext goes ahead of the reader), the edit buffer while editing, the same refusals.
TEST(DaoTest, FieldValueReadsAsTheFieldsDo) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    auto rs = s.db->OpenRecordset("SELECT * FROM DM ORDER BY Name DESC, ID");
    ASSERT_TRUE(rs.ok());
    dao::Recordset& r = **rs;
    while (!r.Eof()) {
        for (size_t i = 0; i < r.FieldCount(); ++i) {
            auto value = r.FieldValue(i);
            ASSERT_TRUE(value.ok()) << value.status().toString();
            EXPECT_EQ(**value, r.Fields(i)->Value()) << "field " << i;
        }
        ASSERT_TRUE(r.MoveNext().ok());
    }
    EXPECT_EQ(r.FieldValue(0).status().message(), r.Fields(0).status().message());
    ASSERT_TRUE(r.MoveFirst().ok());
    EXPECT_EQ(r.FieldValue(r.FieldCount()).status().message(), r.Fields(r.FieldCount()).status().message());
    ASSERT_TRUE(r.Edit().ok());
    const size_t name = *r.FieldIndex("Name");
    ASSERT_TRUE(r.Fields(name)->SetValue(Value(std::string("改名"))).ok());
    EXPECT_EQ(**r.FieldValue(name), Value(std::string("改名")));
    r.CancelUpdate();
    r.Close();
    EXPECT_FALSE(r.FieldValue(0).ok());
}

TEST(DaoTest, FieldsGiveNullsAndNameErrors) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    auto rs = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = 2");
    ASSERT_TRUE(rs.ok());
    auto qty = (*rs)->Fields("qty");
    ASSERT_TRUE(qty.ok());
    EXPECT_TRUE(isNull(qty->Value()));
    EXPECT_EQ(qty->Name(), "Qty");
    EXPECT_EQ(std::get<std::string>((*rs)->Fields("Name")->Value()), "土方工程");
    auto missing = (*rs)->Fields("Nope");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.status().message().find("Nope"), std::string::npos);
    EXPECT_FALSE(qty->SetValue(Value(int64_t{1})).ok());  // not editing
}

TEST(DaoTest, TableDefsListEveryTableInCatalogueOrder) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    auto names = s.db->TableDefNames();
    auto count = s.db->TableDefCount();
    ASSERT_TRUE(names.ok() && count.ok());
    EXPECT_EQ(names->size(), *count);
    std::vector<std::string> user;
    bool sawSystem = false;
    for (const std::string& n : *names) {
        if (n.rfind("MSys", 0) == 0)
            sawSystem = true;
        else
            user.push_back(n);
    }
    EXPECT_TRUE(sawSystem);
    EXPECT_EQ(user, (std::vector<std::string>{"DM", "Index", "EditRecord"}));
}

TEST(DaoTest, AddNewPersistsAndMdbExportAgrees) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    ASSERT_FALSE(s.db->ReadOnly());
    auto before = s.db->OpenRecordset("SELECT * FROM EditRecord WHERE DMID=42");  // builds the DMID lookup
    ASSERT_TRUE(before.ok());
    EXPECT_EQ((*before)->RecordCount(), 0);
    {
        auto rs = s.db->OpenRecordset("EditRecord");
        ASSERT_TRUE(rs.ok());
        ASSERT_TRUE((*rs)->AddNew().ok());
        ASSERT_TRUE((*rs)->Fields("ID")->SetValue(Value(int64_t{6})).ok());
        ASSERT_TRUE((*rs)->Fields("DMID")->SetValue(Value(std::string("42"))).ok());  // converted to Long
        ASSERT_TRUE((*rs)->Fields("Note")->SetValue(Value(std::string("添加 O'Brien"))).ok());
        Status st = (*rs)->Update();
        ASSERT_TRUE(st.ok()) << st.toString();
    }
    // The DMID lookup built before the write sees the new row.
    auto same = s.db->OpenRecordset("SELECT * FROM EditRecord WHERE DMID=42");
    ASSERT_TRUE(same.ok());
    EXPECT_EQ((*same)->RecordCount(), 1);
    s.db->Close();
    auto again = DBEngine().OpenDatabase(s.path);
    ASSERT_TRUE(again.ok());
    auto rs = (*again)->OpenRecordset("SELECT * FROM EditRecord WHERE DMID=42");
    ASSERT_TRUE(rs.ok());
    EXPECT_EQ(walk(**rs, "Note"), (std::vector<std::string>{"添加 O'Brien"}));
    std::string csv = test::runCommand("mdb-export " + test::shellQuote(s.path) + " EditRecord");
    EXPECT_NE(csv.find("6,42,\"添加 O'Brien\""), std::string::npos) << csv;
}

TEST(DaoTest, EditPersistsAndMdbExportAgrees) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    auto rs = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = 4");
    ASSERT_TRUE(rs.ok());
    ASSERT_TRUE((*rs)->Edit().ok());
    ASSERT_TRUE((*rs)->Fields("Name")->SetValue(Value(std::string("改名"))).ok());
    ASSERT_TRUE((*rs)->Fields("Qty")->SetValue(Value()).ok());
    Status st = (*rs)->Update();
    ASSERT_TRUE(st.ok()) << st.toString();
    EXPECT_TRUE(isNull((*rs)->Fields("Qty")->Value()));
    s.db->Close();
    auto again = DBEngine().OpenDatabase(s.path);
    ASSERT_TRUE(again.ok());
    auto check = (*again)->OpenRecordset("SELECT * FROM DM WHERE Qty Is Null ORDER BY ID");
    ASSERT_TRUE(check.ok());
    EXPECT_EQ(walk(**check, "Name"), (std::vector<std::string>{"土方工程", "改名"}));
    std::string csv = test::runCommand("mdb-export " + test::shellQuote(s.path) + " DM");
    EXPECT_NE(csv.find("4,\"A\",\"0101003\",\"改名\""), std::string::npos) << csv;
}

// Held reads keep another party's commits out until released, statements meanwhile see one state of the
// file, and closing the database lets go of what it held.
TEST(DaoTest, HeldReadsKeepCommitsOutUntilReleasedOrClosed) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    OpenOptions impatient;
    impatient.mode = OpenMode::ReadWrite;
    impatient.lockWait = std::chrono::milliseconds(50);
    auto writer = DBEngine().OpenDatabase(s.path, impatient);
    ASSERT_TRUE(writer.ok()) << writer.status().toString();
    auto names = [&] {
        auto rs = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = 1");
        EXPECT_TRUE(rs.ok());
        return rs.ok() ? walk(**rs, "Name") : std::vector<std::string>();
    };
    const std::vector<std::string> before = names();

    ASSERT_TRUE(s.db->HoldReads().ok());
    ASSERT_TRUE(s.db->HoldReads().ok());  // nested
    auto blocked = (*writer)->Execute("UPDATE DM SET Name = 'held' WHERE ID = 1");
    ASSERT_FALSE(blocked.ok());
    EXPECT_NE(blocked.status().message().find("another process"), std::string::npos)
        << blocked.status().toString();
    EXPECT_EQ(names(), before);
    s.db->ReleaseReads();
    EXPECT_FALSE((*writer)->Execute("UPDATE DM SET Name = 'held' WHERE ID = 1").ok()) << "still held once";
    s.db->ReleaseReads();
    s.db->ReleaseReads();  // one too many does nothing
    auto changed = (*writer)->Execute("UPDATE DM SET Name = 'after' WHERE ID = 1");
    ASSERT_TRUE(changed.ok()) << changed.status().toString();
    EXPECT_EQ(names(), std::vector<std::string>{"after"});

    ASSERT_TRUE(s.db->HoldReads().ok());
    s.db->Close();
    EXPECT_TRUE((*writer)->Execute("UPDATE DM SET Name = 'closed' WHERE ID = 1").ok());
    EXPECT_FALSE(s.db->HoldReads().ok());
}

TEST(DaoTest, WritesToAReadOnlyDatabaseFailClearly) {
    OpenedSample s = openSample(/*readOnly=*/true);
    ASSERT_TRUE(s.db);
    EXPECT_TRUE(s.db->ReadOnly());
    auto rs = s.db->OpenRecordset("DM");
    ASSERT_TRUE(rs.ok());
    Status add = (*rs)->AddNew();
    EXPECT_FALSE(add.ok());
    EXPECT_NE(add.message().find("read-only"), std::string::npos) << add.toString();
    auto changed = s.db->Execute("DELETE * FROM DM");
    ASSERT_FALSE(changed.ok());
    EXPECT_NE(changed.status().message().find("read-only"), std::string::npos);
}

// A file that cannot be written fails to open for writing, or opens read-only only when the caller
// asked for that, and then every write says why.
TEST(DaoTest, AFileThatCannotBeWrittenOpensReadOnlyOnlyWhenAskedTo) {
    std::string path = test::tempDir() + "/locked.mdb";
    ASSERT_TRUE(sqltest::buildSampleDatabase(path).ok());
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    // Exit codes of the child: 0 as expected, else the step that went wrong. Root too must respect a
    // file without any write permission.
    for (bool asRoot : {false, true}) {
        auto body = [&path] {
            auto refused = DBEngine().OpenDatabase(path);
            if (refused.ok() || refused.status().message().find(path) == std::string::npos) return 1;
            OpenOptions options;
            options.mode = OpenMode::ReadWriteIfPermitted;
            auto db = DBEngine().OpenDatabase(path, options);
            if (!db.ok()) return 2;
            if (!(*db)->ReadOnly() || (*db)->ReadOnlyReason().find("read-only") == std::string::npos)
                return 3;
            auto rs = (*db)->OpenRecordset("SELECT * FROM DM WHERE ID = 1");
            if (!rs.ok() || (*rs)->RecordCount() == 0) return 4;
            Status edit = (*rs)->Edit();
            return !edit.ok() && edit.message().find("read-only") != std::string::npos ? 0 : 5;
        };
        EXPECT_EQ(asRoot ? body() : test::runWithoutRootRights(body), 0)
            << (asRoot ? "as root" : "as a user");
    }
}

// A field handed out for one record may be kept while the recordset moves past its end, closes or is
// destroyed; it then reads Null instead of memory that is gone.
TEST(DaoTest, AFieldKeptPastTheLastRecordCloseOrTheRecordsetReadsNull) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    auto rs = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = 1");
    ASSERT_TRUE(rs.ok());
    auto field = (*rs)->Fields("Name");
    ASSERT_TRUE(field.ok());
    EXPECT_EQ(std::get<std::string>(field->Value()), "Apple");
    ASSERT_TRUE((*rs)->MoveNext().ok());
    ASSERT_TRUE((*rs)->Eof());
    EXPECT_TRUE(isNull(field->Value()));
    ASSERT_TRUE((*rs)->MoveFirst().ok());
    (*rs)->Close();
    EXPECT_TRUE(isNull(field->Value()));
    EXPECT_FALSE(field->SetValue(Value(std::string("x"))).ok());
    rs->reset();
    EXPECT_TRUE(isNull(field->Value()));
    EXPECT_EQ(field->Name(), "Name");
    s.db->Close();
    EXPECT_TRUE(isNull(field->Value()));
}

// Recordsets no longer used lend their storage to the next ones. Each recordset still answers with its own
// record, a field kept from a destroyed recordset reads the record it was taken from, and an edit through
// a recordset opened after others writes its own row.
TEST(DaoTest, RecordsetsOpenedOneAfterAnotherKeepTheirOwnRecords) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    const char* names[] = {"", "Apple", "土方工程", "apple pie", "ＡＢＣ", "Éclair", "O'Brien"};
    auto name = [&](dao::Recordset& rs) { return std::get<std::string>(rs.Fields("Name")->Value()); };
    auto kept = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = 1");
    ASSERT_TRUE(kept.ok());
    auto field = (*kept)->Fields("Name");
    ASSERT_TRUE(field.ok());
    kept->reset();
    auto open = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = 6");
    ASSERT_TRUE(open.ok());
    for (int64_t id : {2, 3, 4, 5, 99, 2, 1, 6, 3}) {
        auto rs = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = " + std::to_string(id));
        ASSERT_TRUE(rs.ok()) << rs.status().toString();
        if (id == 99) {
            EXPECT_TRUE((*rs)->Eof());
            continue;
        }
        EXPECT_EQ(name(**rs), names[id]);
        EXPECT_EQ(std::get<std::string>(field->Value()), "Apple");
        EXPECT_EQ(name(**open), "O'Brien");
    }
    {
        auto rs = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = 4");
        ASSERT_TRUE(rs.ok());
        ASSERT_TRUE((*rs)->Edit().ok());
        ASSERT_TRUE((*rs)->Fields("Name")->SetValue(Value(std::string("four"))).ok());
        ASSERT_TRUE((*rs)->Update().ok());
    }
    for (int64_t id = 1; id <= 6; ++id) {
        auto rs = s.db->OpenRecordset("SELECT * FROM DM WHERE ID = " + std::to_string(id));
        ASSERT_TRUE(rs.ok());
        EXPECT_EQ(name(**rs), id == 4 ? "four" : names[id]);
    }
}

TEST(DaoTest, ComputedAndClosedRecordsetsRefuseWork) {
    OpenedSample s = openSample();
    ASSERT_TRUE(s.db);
    auto aggregate = s.db->OpenRecordset("SELECT MAX(OCode) AS a FROM [Index]");
    ASSERT_TRUE(aggregate.ok());
    EXPECT_TRUE((*aggregate)->Edit().isNotSupported());
    EXPECT_TRUE((*aggregate)->AddNew().isNotSupported());
    auto select = s.db->Execute("SELECT * FROM DM");
    ASSERT_FALSE(select.ok());
    EXPECT_NE(select.status().message().find("Cannot execute a select query"), std::string::npos);
    auto rs = s.db->OpenRecordset("DM");
    ASSERT_TRUE(rs.ok());
    s.db->Close();
    EXPECT_FALSE((*rs)->MoveNext().ok());
    EXPECT_FALSE(s.db->OpenRecordset("DM").ok());
    EXPECT_FALSE(s.db->TableDefCount().ok());
}

}  // namespace
}  // namespace jet

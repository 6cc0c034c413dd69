// Several databases on one file, in one process and in several: what one commits, the others see at
// their next statement; no write is lost, none is seen half done, and imports change the file in place.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jet/dao.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "sql_test_data.h"
#include "test_support.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using test::runCommand;
using test::shellQuote;

OpenOptions withMode(OpenMode mode) {
    OpenOptions options;
    options.mode = mode;
    return options;
}

std::unique_ptr<dao::Database> openDao(const std::string& path) {
    OpenOptions options;
    options.mode = OpenMode::ReadWrite;
    auto db = dao::DBEngine().OpenDatabase(path, options);
    EXPECT_TRUE(db.ok()) << db.status().toString();
    return db.ok() ? std::move(db).value() : nullptr;
}

/// The sample database opened twice, as two parts of one program (a tree and a catalogue) open it.
struct TwoDatabases {
    std::string path;
    std::unique_ptr<dao::Database> a;
    std::unique_ptr<dao::Database> b;
};

TwoDatabases openTwice() {
    TwoDatabases t;
    t.path = test::tempDir() + "/shared.mdb";
    Status built = sqltest::buildSampleDatabase(t.path);
    EXPECT_TRUE(built.ok()) << built.toString();
    t.a = openDao(t.path);
    t.b = openDao(t.path);
    return t;
}

/// The values of `field` in the rows `sql` selects, as text ("" for Null).
std::vector<std::string> column(dao::Database& db, const std::string& sql, const char* field) {
    std::vector<std::string> out;
    auto rs = db.OpenRecordset(sql);
    EXPECT_TRUE(rs.ok()) << sql << ": " << rs.status().toString();
    if (!rs.ok()) return out;
    while (!(*rs)->Eof()) {
        const Value& v = (*rs)->Fields(field)->Value();
        if (auto* s = std::get_if<std::string>(&v))
            out.push_back(*s);
        else if (auto* n = std::get_if<int64_t>(&v))
            out.push_back(std::to_string(*n));
        else
            out.push_back("");
        EXPECT_TRUE((*rs)->MoveNext().ok());
    }
    return out;
}

uint64_t execute(dao::Database& db, const std::string& sql) {
    auto n = db.Execute(sql);
    EXPECT_TRUE(n.ok()) << sql << ": " << n.status().toString();
    return n.ok() ? *n : 0;
}

/// Adds a row through a recordset, as a tree control adds a node.
void addRow(dao::Database& db, const std::string& table,
            const std::vector<std::pair<const char*, Value>>& values) {
    auto rs = db.OpenRecordset(table);
    ASSERT_TRUE(rs.ok()) << rs.status().toString();
    ASSERT_TRUE((*rs)->AddNew().ok());
    for (const auto& [name, value] : values) ASSERT_TRUE((*rs)->Fields(name)->SetValue(value).ok()) << name;
    Status s = (*rs)->Update();
    ASSERT_TRUE(s.ok()) << s.toString();
}

// ---------------------------------------------------------------------------------------------------------
// Two databases in one process.

TEST(OneProcess, StatementsSeeRowsAnotherDatabaseAddedAfterTheirLookupsWereBuilt) {
    TwoDatabases t = openTwice();
    ASSERT_TRUE(t.a && t.b);
    // DMID has no index: the first lookup builds a hash of the field, the PK seek caches index pages.
    EXPECT_EQ(column(*t.a, "SELECT * FROM EditRecord WHERE DMID=2", "ID").size(), 2u);
    EXPECT_EQ(column(*t.a, "SELECT * FROM EditRecord WHERE ID=5", "ID").size(), 1u);
    addRow(*t.b, "EditRecord",
           {{"ID", int64_t{6}}, {"DMID", int64_t{2}}, {"Note", std::string("third of 2")}});
    EXPECT_EQ(column(*t.a, "SELECT * FROM EditRecord WHERE DMID=2", "ID"),
              (std::vector<std::string>{"2", "4", "6"}));
    EXPECT_EQ(execute(*t.a, "UPDATE EditRecord SET Note='seen' WHERE ID=6"), 1u);
    EXPECT_EQ(column(*t.b, "SELECT * FROM EditRecord WHERE ID=6", "Note"), std::vector<std::string>{"seen"});
    EXPECT_EQ(execute(*t.a, "DELETE FROM EditRecord WHERE DMID=2"), 3u);
    EXPECT_TRUE(column(*t.b, "SELECT * FROM EditRecord WHERE DMID=2", "ID").empty());
    // A table another database created is there at the next look.
    auto db = Database::open(t.path, withMode(OpenMode::ReadWrite));
    ASSERT_TRUE(db.ok());
    ASSERT_TRUE(createTable(**db, TableSpec{"Later", {sqltest::column("ID", ColumnType::Long)}, {}}).ok());
    auto names = t.a->TableDefNames();
    ASSERT_TRUE(names.ok());
    EXPECT_NE(std::find(names->begin(), names->end(), "Later"), names->end());
}

TEST(OneProcess, AnEditWritesOnlyItsFieldsOverAnotherDatabasesChange) {
    TwoDatabases t = openTwice();
    ASSERT_TRUE(t.a && t.b);
    auto rs = t.a->OpenRecordset("SELECT * FROM [Index] WHERE ID=2");
    ASSERT_TRUE(rs.ok());
    EXPECT_EQ(execute(*t.b, "UPDATE [Index] SET Name='renamed' WHERE ID=2"), 1u);
    ASSERT_TRUE((*rs)->Edit().ok());
    ASSERT_TRUE((*rs)->Fields("OCode")->SetValue(int64_t{7}).ok());
    Status s = (*rs)->Update();
    ASSERT_TRUE(s.ok()) << s.toString();
    EXPECT_EQ(column(*t.b, "SELECT * FROM [Index] WHERE ID=2", "Name"), std::vector<std::string>{"renamed"});
    EXPECT_EQ(column(*t.b, "SELECT * FROM [Index] WHERE ID=2", "OCode"), std::vector<std::string>{"7"});
    // The recordset now holds what it wrote.
    EXPECT_EQ(std::get<std::string>((*rs)->Fields("Name")->Value()), "renamed");
}

// Changing a field another database changed since the snapshot, or a row it deleted, is refused and
// writes nothing: the other change survives.
TEST(OneProcess, AnEditThatWouldUndoAnotherDatabasesChangeIsAConflict) {
    struct Case {
        const char* name;
        const char* otherChange;
        const char* expectedMessage;
    };
    for (const Case& c : {Case{"same field", "UPDATE [Index] SET OCode=20 WHERE ID=2", "changed field OCode"},
                          Case{"deleted", "DELETE FROM [Index] WHERE ID=2", "deleted"}}) {
        SCOPED_TRACE(c.name);
        TwoDatabases t = openTwice();
        ASSERT_TRUE(t.a && t.b);
        auto rs = t.a->OpenRecordset("SELECT * FROM [Index] WHERE ID=2");
        ASSERT_TRUE(rs.ok());
        ASSERT_TRUE((*rs)->Edit().ok());
        ASSERT_TRUE((*rs)->Fields("OCode")->SetValue(int64_t{3}).ok());
        EXPECT_EQ(execute(*t.b, c.otherChange), 1u);
        const std::vector<uint8_t> before = readWholeFile(t.path).value();
        Status s = (*rs)->Update();
        EXPECT_FALSE(s.ok());
        EXPECT_NE(s.message().find(c.expectedMessage), std::string::npos) << s.toString();
        EXPECT_TRUE(readWholeFile(t.path).value() == before);
    }
}

// The order in which a price file is put into its catalogue after a reference entry: a tree adds the
// row, then the catalogue moves later entries on and completes the new row. With the reference entry
// last, nothing moves and the new row takes the next place.
TEST(OneProcess, ACatalogueEntryInsertedAfterTheLastOneInTheImportOrder) {
    TwoDatabases t = openTwice();
    ASSERT_TRUE(t.a && t.b);
    dao::Database& tree = *t.a;
    dao::Database& catalogue = *t.b;
    EXPECT_EQ(column(catalogue, "SELECT * FROM [Index] WHERE ID=4", "OCode"), std::vector<std::string>{"9"});
    addRow(tree, "Index", {{"ID", int64_t{6}}, {"ParentID", int64_t{0}}, {"Name", std::string("new")}});
    EXPECT_EQ(execute(catalogue, "Update Index set OCode=OCode+1 where OCode>9"), 0u);
    EXPECT_EQ(execute(catalogue, "Update Index set Name='f.QTJG',OCode=10,ParentID=4 where id=6"), 1u);
    EXPECT_EQ(column(tree, "SELECT * FROM [Index] WHERE ID=6", "OCode"), std::vector<std::string>{"10"});
    EXPECT_EQ(column(tree, "SELECT * FROM [Index] WHERE ID=6", "Name"), std::vector<std::string>{"f.QTJG"});
    EXPECT_EQ(column(tree, "SELECT * FROM [Index] WHERE ID=6", "ParentID"), std::vector<std::string>{"4"});
}

// A write kept out says by whom: another database reading (a statement, a held read) or writing.
TEST(OneProcess, AWriteKeptOutSaysWhetherAReaderOrAWriterHoldsTheFile) {
    struct Case {
        const char* name;
        bool holderReads;
        const char* said;
        const char* notSaid;
    };
    for (const Case& c : {Case{"held by a reader", true, "is reading", "is writing"},
                          Case{"held by a writer", false, "is writing", "is reading"}}) {
        SCOPED_TRACE(c.name);
        std::string path = test::tempDir() + "/held.mdb";
        ASSERT_TRUE(sqltest::buildSampleDatabase(path).ok());
        std::unique_ptr<Database> holder = test::openForWriting(path);
        std::optional<ReadLock> reading;
        std::optional<WriteLock> writing;
        if (c.holderReads)
            reading.emplace(holder->lockForReading().value());
        else
            writing.emplace(holder->lockForWriting().value());
        OpenOptions impatient = withMode(OpenMode::ReadWrite);
        impatient.lockWait = std::chrono::milliseconds(100);
        auto writer = Database::open(path, impatient);
        ASSERT_TRUE(writer.ok());
        Status s = insertRows(**writer, "EditRecord", {{int64_t{9}, int64_t{1}, std::string("late")}});
        ASSERT_TRUE(s.isIOError()) << s.toString();
        EXPECT_NE(s.message().find(c.said), std::string::npos) << s.toString();
        EXPECT_EQ(s.message().find(c.notSaid), std::string::npos) << s.toString();
        EXPECT_NE(s.message().find(path), std::string::npos) << s.toString();
    }
}

// A scan walked under one lock per batch of rows (as an export walks) while another database changes the
// table between batches: each row comes once at most, rows nobody touched all come, and rows changed or
// added ahead of the walk come as changed, also on pages the table gained.
TEST(OneProcess, AScanWalkedAcrossLocksGoesOnOverTheTableAsEachLockFindsIt) {
    std::string path = test::tempDir() + "/walked.mdb";
    ASSERT_TRUE(createDatabase(path).ok());
    std::unique_ptr<Database> writer = test::openForWriting(path);
    TableSpec spec{"T",
                   {sqltest::column("ID", ColumnType::Long), sqltest::column("V", ColumnType::Text, 60)},
                   {sqltest::index("PrimaryKey", "ID", true)}};
    std::vector<Row> rows;
    for (int64_t i = 1; i <= 3000; ++i) rows.push_back({i, "row " + std::to_string(i)});
    ASSERT_TRUE(createTable(*writer, spec, rows).ok());
    auto reader = Database::open(path);
    ASSERT_TRUE(reader.ok());
    sql::Connection change(*writer);
    std::optional<RowCursor> cursor;
    std::map<int64_t, std::string> seen;
    int batch = 0;
    for (bool more = true; more; ++batch) {
        {
            ReadLock lock = (*reader)->lockForReading().value();
            if (!cursor) cursor.emplace((*reader)->scan((*reader)->table("T").value()).value());
            for (int n = 0; n < 100; ++n) {
                Result<bool> next = cursor->next();
                ASSERT_TRUE(next.ok()) << next.status().toString();
                if (!(more = *next)) break;
                int64_t id = std::get<int64_t>(cursor->value(0).value());
                EXPECT_TRUE(seen.emplace(id, std::get<std::string>(cursor->value(1).value())).second)
                    << "row " << id << " came twice";
            }
        }
        // Between batches: rows far ahead change (some grow, so they move to other pages), some go, some
        // come.
        if (batch == 3) {
            ASSERT_TRUE(change
                            .execute("UPDATE T SET V = 'changed, and a good deal longer than before' "
                                     "WHERE ID > 2500 AND ID <= 2600")
                            .ok());
            ASSERT_TRUE(change.execute("DELETE FROM T WHERE ID > 2900").ok());
            // Enough new rows to need new pages, which the table's list of pages did not hold before.
            std::vector<Row> added;
            for (int64_t id = 5001; id <= 5500; ++id) added.push_back({id, "new row " + std::to_string(id)});
            ASSERT_TRUE(insertRows(*writer, "T", added).ok());
        }
    }
    for (int64_t id = 1; id <= 2900; ++id) EXPECT_EQ(seen.count(id), 1u) << "row " << id;
    for (int64_t id = 2901; id <= 3000; ++id) EXPECT_EQ(seen.count(id), 0u) << "deleted row " << id;
    for (int64_t id = 5001; id <= 5500; ++id) EXPECT_EQ(seen.count(id), 1u) << "new row " << id;
    EXPECT_EQ(seen[2550], "changed, and a good deal longer than before");
    EXPECT_EQ(seen[2400], "row 2400");
}

// ---------------------------------------------------------------------------------------------------------
// Several processes.

std::string tool() {
    return shellQuote(JET_TOOL);
}

/// Runs each command list in its own process, all at once; true when every command exited 0.
bool runAtOnce(const std::vector<std::vector<std::string>>& scripts) {
    std::vector<pid_t> children;
    std::fflush(nullptr);
    for (const auto& script : scripts) {
        pid_t pid = ::fork();
        if (pid == 0) {
            for (const std::string& command : script) {
                if (std::system(command.c_str()) != 0) ::_exit(1);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    bool ok = true;
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return ok;
}

std::vector<std::string> repeated(const std::string& command, int times) {
    return std::vector<std::string>(static_cast<size_t>(times), command);
}

/// A CSV of `rows` rows for `jet import`: ID (primary key) and a text V.
std::string csvFile(const std::string& dir, const std::string& name, int rows) {
    std::string path = dir + "/" + name + ".csv";
    std::ofstream out(path);
    out << "ID:long,V:text(20)\r\n";
    for (int i = 1; i <= rows; ++i) out << i << ",\"v" << i << "\"\r\n";
    return path;
}

/// A database with Counter(ID, N) holding one row with N = 0, and Other(ID, V) with `otherRows` rows.
std::string counterDatabase(const std::string& dir, int otherRows) {
    std::string path = dir + "/counted.mdb";
    EXPECT_TRUE(createDatabase(path).ok());
    int code = 0;
    std::string csv = dir + "/counter.csv";
    std::ofstream(csv) << "ID:long,N:long\r\n1,0\r\n";
    runCommand(tool() + " import " + shellQuote(path) + " Counter " + shellQuote(csv) + " --primary-key ID",
               &code);
    EXPECT_EQ(code, 0);
    runCommand(tool() + " import " + shellQuote(path) + " Other " +
                   shellQuote(csvFile(dir, "other", otherRows)) + " --primary-key ID",
               &code);
    EXPECT_EQ(code, 0);
    return path;
}

std::string sql(const std::string& path, const std::string& statement) {
    return tool() + " sql " + shellQuote(path) + " " + shellQuote(statement) + " >/dev/null";
}

/// The single value `statement` selects, read by this engine.
std::string selectOne(const std::string& path, const std::string& statement) {
    int code = 0;
    std::string out = runCommand(tool() + " sql " + shellQuote(path) + " " + shellQuote(statement), &code);
    EXPECT_EQ(code, 0) << statement;
    std::vector<std::vector<std::string>> rows = test::parseCsv(out);
    return rows.size() == 2 && rows[1].size() == 1 ? rows[1][0] : "?";
}

/// mdbtools reads `table` without a word on stderr; its row count.
int mdbCountQuietly(const std::string& path, const std::string& table) {
    int code = 0;
    std::string err = test::tempDir() + "/stderr";
    std::string out = runCommand(
        "mdb-count " + shellQuote(path) + " " + shellQuote(table) + " 2>" + shellQuote(err), &code);
    EXPECT_EQ(code, 0);
    std::ifstream in(err);
    std::string warnings((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(warnings, "") << "mdbtools on " << table;
    return std::atoi(out.c_str());
}

TEST(Processes, UpdatesFromTwoProcessesAtOnceAllSurvive) {
    std::string dir = test::tempDir();
    std::string path = counterDatabase(dir, 2000);
    constexpr int kEach = 25;
    std::string increment = sql(path, "UPDATE Counter SET N = N + 1 WHERE ID = 1");
    std::string prefix = sql(path, "UPDATE Other SET V = 'w' & V");
    std::vector<std::string> first = repeated(increment, kEach), second = repeated(increment, kEach);
    first.insert(first.begin() + kEach / 2, prefix);
    second.insert(second.begin() + kEach / 3, prefix);
    ASSERT_TRUE(runAtOnce({first, second}));
    EXPECT_EQ(selectOne(path, "SELECT N FROM Counter WHERE ID = 1"), std::to_string(2 * kEach));
    EXPECT_EQ(selectOne(path, "SELECT Count(*) AS n FROM Other WHERE V Like 'wwv*'"), "2000");
    EXPECT_EQ(mdbCountQuietly(path, "Other"), 2000);
}

TEST(Processes, ImportsAndUpdatesAtOnceLoseNothing) {
    std::string dir = test::tempDir();
    std::string path = counterDatabase(dir, 10);
    std::string big = csvFile(dir, "big", 20000), small = csvFile(dir, "small", 300);
    std::string import1 =
        tool() + " import " + shellQuote(path) + " Big " + shellQuote(big) + " --primary-key ID";
    std::string import2 =
        tool() + " import " + shellQuote(path) + " Small " + shellQuote(small) + " --index V";
    std::string increment = sql(path, "UPDATE Counter SET N = N + 1 WHERE ID = 1");
    ASSERT_TRUE(runAtOnce({{import1}, {import2}, repeated(increment, 10)}));
    EXPECT_EQ(selectOne(path, "SELECT Count(*) AS n FROM Big"), "20000");
    EXPECT_EQ(selectOne(path, "SELECT Count(*) AS n FROM Small"), "300");
    EXPECT_EQ(selectOne(path, "SELECT N FROM Counter WHERE ID = 1"), "10");
    EXPECT_EQ(mdbCountQuietly(path, "Big"), 20000);
    EXPECT_EQ(mdbCountQuietly(path, "Small"), 300);
    EXPECT_EQ(mdbCountQuietly(path, "Other"), 10);
}

// A writer adds rows two at a time in one commit; a reader in another process counting them at the same
// time must always find an even number.
TEST(Processes, ReadersNeverSeeACommitHalfDone) {
    std::string dir = test::tempDir();
    std::string path = counterDatabase(dir, 0);
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::fflush(nullptr);
    pid_t writer = ::fork();
    if (writer == 0) {
        auto db = Database::open(path, withMode(OpenMode::ReadWrite));
        char start = 0;
        if (!db.ok() || ::read(go[0], &start, 1) != 1) ::_exit(1);
        for (int64_t i = 1; i <= 300; ++i) {
            std::vector<Row> pair = {{2 * i, std::string("a")}, {2 * i + 1, std::string("b")}};
            if (!insertRows(**db, "Other", pair).ok()) ::_exit(2);
        }
        ::_exit(0);
    }
    auto db = Database::open(path);
    ASSERT_TRUE(db.ok());
    sql::Connection connection(**db);
    int reads = 0, odd = 0, failed = 0;
    int status = 0;
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    do {
        auto rs = connection.query("SELECT Count(*) AS n FROM Other");
        ++reads;
        if (!rs.ok()) {
            ++failed;
            ADD_FAILURE() << rs.status().toString();
            continue;
        }
        odd += std::get<int64_t>(rs->rows[0][0]) % 2 != 0;
    } while (::waitpid(writer, &status, WNOHANG) == 0);
    ::close(go[0]);
    ::close(go[1]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(reads, 10);
    EXPECT_EQ(odd, 0);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(selectOne(path, "SELECT Count(*) AS n FROM Other"), "600");
}

// `jet export` into a pipe nobody reads for now: the export waits on its output holding no lock, so a
// write by another process goes through at once (it would fail after its wait if the export kept the
// file locked); the rows come out whole afterwards, each once.
TEST(Processes, AnExportToASlowReaderKeepsNoWriterWaiting) {
    std::string dir = test::tempDir();
    std::string path = counterDatabase(dir, 150000);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::fflush(nullptr);
    pid_t exporter = ::fork();
    if (exporter == 0) {
        ::dup2(pipeEnds[1], 1);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::execl(JET_TOOL, JET_TOOL, "export", path.c_str(), "Other", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    // Wait until the export has filled the pipe and waits on its output.
    const int capacity = ::fcntl(pipeEnds[0], F_GETPIPE_SZ);
    int queued = 0;
    for (int tries = 0; tries < 2000 && queued < capacity; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(::ioctl(pipeEnds[0], FIONREAD, &queued), 0);
    }
    ASSERT_EQ(queued, capacity) << "the export never filled the pipe";
    int code = 0;
    std::string out = runCommand(tool() + " sql " + shellQuote(path) + " " +
                                     shellQuote("UPDATE Other SET V = 'late' WHERE ID > 149000") + " 2>&1",
                                 &code);
    EXPECT_EQ(code, 0) << out;
    std::string exported;
    char buffer[65536];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        exported.append(buffer, static_cast<size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(exporter, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::vector<std::string>> rows = test::parseCsv(exported);
    ASSERT_EQ(rows.size(), 150001u);
    std::set<std::string> ids;
    for (size_t i = 1; i < rows.size(); ++i) ids.insert(rows[i][0]);
    EXPECT_EQ(ids.size(), 150000u);
    // The rows the later batches read were exported as changed.
    EXPECT_EQ(rows.back()[1], "late");
}

// ---------------------------------------------------------------------------------------------------------
// Imports change the file in place.

struct stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

TEST(ImportInPlace, KeepsInodeModeAndLinksAndLeavesNothingBeside) {
    std::string dir = test::tempDir();
    std::string path = dir + "/linked.mdb", link = dir + "/link.mdb";
    ASSERT_TRUE(createDatabase(path).ok());
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    std::string csv = csvFile(dir, "rows", 500);
    struct stat before = statOf(path);
    int code = 0;
    runCommand(tool() + " import " + shellQuote(path) + " T " + shellQuote(csv) + " --primary-key ID", &code);
    ASSERT_EQ(code, 0);
    struct stat after = statOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(selectOne(link, "SELECT Count(*) AS n FROM T"), "500");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"link.mdb", "linked.mdb", "rows.csv"}));
}

TEST(ImportInPlace, AFileMarkedReadOnlyIsRefusedBeforeAnythingChanges) {
    std::string dir = test::tempDir();
    std::string path = dir + "/readonly.mdb";
    ASSERT_TRUE(createDatabase(path).ok());
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    std::string csv = csvFile(dir, "rows", 10);
    const std::vector<uint8_t> before = readWholeFile(path).value();
    std::string command = tool() + " import " + shellQuote(path) + " T " + shellQuote(csv) + " 2>&1";
    for (bool asRoot : {true, false}) {
        auto attempt = [&] {
            int code = 0;
            std::string out = runCommand(command, &code);
            bool said = out.find("read-only") != std::string::npos ||
                        out.find("Permission denied") != std::string::npos;
            return code == 1 && said ? 0 : 1;
        };
        EXPECT_EQ(asRoot ? attempt() : test::runWithoutRootRights(attempt), 0) << (asRoot ? "root" : "user");
    }
    EXPECT_TRUE(readWholeFile(path).value() == before);
    EXPECT_EQ(statOf(path).st_mode & 07777, 0444u);
}

// ---------------------------------------------------------------------------------------------------------
// Opening.

// Runs `body` in a child that is killed when it takes longer than `seconds`; its exit status, or -1.
int withinSeconds(unsigned seconds, const std::function<int()>& body) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(seconds);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OpenFile, WhatIsNotARegularFileFailsAtOnce) {
    std::string dir = test::tempDir();
    std::string fifo = dir + "/pipe.mdb";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& path : {fifo, dir}) {
        for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite, OpenMode::ReadWriteIfPermitted}) {
            int result = withinSeconds(5, [&] {
                auto db = Database::open(path, withMode(mode));
                return !db.ok() && db.status().message().find(path) != std::string::npos ? 0 : 1;
            });
            EXPECT_EQ(result, 0) << path << " mode " << static_cast<int>(mode);
        }
    }
    int code = 0;
    runCommand("timeout 5 " + tool() + " tables " + shellQuote(fifo) + " 2>/dev/null", &code);
    EXPECT_EQ(code, 1);
}

}  // namespace
}  // namespace jet

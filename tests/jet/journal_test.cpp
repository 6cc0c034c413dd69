// Commits are atomic: a commit cut short at any write leaves the file as it was before once the next
// database opens it, a commit that ends stands, and a killed process never leaves a half-written file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "jet/format_value.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "storage/pager.h"
#include "test_support.h"

namespace jet {
namespace {

using test::shellQuote;

ColumnSpec column(const char* name, ColumnType type, uint16_t size = 255) {
    ColumnSpec c;
    c.name = name;
    c.type = type;
    c.size = size;
    return c;
}

/// A writer-made file with a keyed table of 200 rows holding memos.
std::vector<uint8_t> keyedFile() {
    std::string path = test::tempDir() + "/keyed.mdb";
    EXPECT_TRUE(createDatabase(path).ok());
    std::unique_ptr<Database> db = test::openForWriting(path);
    TableSpec spec{
        "T",
        {column("ID", ColumnType::Long), column("Code", ColumnType::Text, 20),
         column("Note", ColumnType::Memo)},
        {IndexSpec{"PrimaryKey", {"ID"}, {}, true, true}, IndexSpec{"Code", {"Code"}, {}, false, false}}};
    std::vector<Row> rows;
    for (int64_t i = 1; i <= 200; ++i)
        rows.push_back({i, "C" + std::to_string(i), std::string(100 + 50 * (i % 90), 'n')});
    EXPECT_TRUE(createTable(*db, spec, rows).ok());
    db.reset();
    return readWholeFile(path).value();
}

struct InMemory {
    std::unique_ptr<Database> db;
    MemoryFile* file = nullptr;
};

InMemory openCopy(std::vector<uint8_t> bytes, std::optional<std::vector<uint8_t>> journal = std::nullopt,
                  OpenMode mode = OpenMode::ReadWrite) {
    auto file = std::make_unique<MemoryFile>(std::move(bytes), mode == OpenMode::ReadOnly);
    if (journal) file->setJournal(std::move(*journal));
    InMemory m;
    m.file = file.get();
    OpenOptions options;
    options.mode = mode;
    auto db = Database::open(std::move(file), options);
    EXPECT_TRUE(db.ok()) << db.status().toString();
    if (db.ok()) m.db = std::move(db).value();
    return m;
}

/// The writes whose commits are cut short: each touches data pages, long values, indexes and maps.
std::vector<std::pair<const char*, std::function<Status(Database&)>>> writes() {
    auto run = [](const char* statement) {
        return [statement](Database& db) { return sql::Connection(db).execute(statement).status(); };
    };
    return {
        {"insert",
         [](Database& db) {
             std::vector<Row> rows;
             for (int64_t i = 1000; i < 1040; ++i)
                 rows.push_back({i, "N" + std::to_string(i), std::string(5000, 'x')});
             return insertRows(db, "T", rows);
         }},
        {"update keys and memos", run("UPDATE T SET Code = 'U' & Code, Note = Note & 'more' WHERE ID < 40")},
        {"delete", run("DELETE FROM T WHERE ID > 160")},
        {"new table",
         [](Database& db) {
             return createTable(db, TableSpec{"New", {column("A", ColumnType::Long)}, {}}, {{int64_t{1}}});
         }},
    };
}

/// Every user table's rows as CSV, for comparing what two files hold (a new table's catalogue row carries
/// the time it was made, so the bytes of two such files differ).
std::string contents(const std::vector<uint8_t>& bytes) {
    InMemory m = openCopy(bytes, std::nullopt, OpenMode::ReadOnly);
    std::string out;
    if (!m.db) return out;
    for (const std::string& name : m.db->tableNames()) {
        out += name + "\n";
        for (const test::ScannedRow& row : test::scanRows(*m.db, name)) {
            for (const Value& v : row.values) appendCsvField(out, v);
            out += "\n";
        }
    }
    return out;
}

TEST(Journal, ACommitCutShortAtAnyWriteIsUndoneByTheNextOpen) {
    const std::vector<uint8_t> clean = keyedFile();
    for (const auto& [name, write] : writes()) {
        SCOPED_TRACE(name);
        // The file as the write leaves it when nothing stops it.
        InMemory whole = openCopy(clean);
        ASSERT_TRUE(write(*whole.db).ok());
        const std::string committed = contents(whole.file->bytes());
        int cutPoints = 0;
        for (int64_t allowed = 0;; ++allowed) {
            InMemory m = openCopy(clean);
            m.file->limitWrites(allowed);
            Status s = write(*m.db);
            if (s.ok()) {
                EXPECT_FALSE(m.file->journalExists());
                EXPECT_EQ(contents(m.file->bytes()), committed);
                break;
            }
            ++cutPoints;
            ASSERT_TRUE(s.isIOError()) << s.toString();
            // What a crash at this point leaves, found by the next database to open the file.
            InMemory next = openCopy(m.file->bytes(), m.file->journalBytes());
            ASSERT_TRUE(next.db);
            EXPECT_TRUE(next.file->bytes() == clean) << "cut after " << allowed << " writes";
            // A journal cut short itself changed nothing; the next writer clears it away.
            ASSERT_TRUE(next.db->lockForWriting().ok());
            EXPECT_FALSE(next.file->journalExists());
        }
        EXPECT_GT(cutPoints, 3);
    }
}

TEST(Journal, ARepairCutShortIsFinishedByTheNextOpen) {
    const std::vector<uint8_t> clean = keyedFile();
    InMemory m = openCopy(clean);
    m.file->limitWrites(8);
    ASSERT_FALSE(writes()[1].second(*m.db).ok());
    std::vector<uint8_t> crashed = m.file->bytes();
    std::optional<std::vector<uint8_t>> journal = m.file->journalBytes();
    ASSERT_TRUE(journal);
    for (int64_t allowed = 0; allowed < 4; ++allowed) {
        auto file = std::make_unique<MemoryFile>(crashed);
        file->setJournal(*journal);
        file->limitWrites(allowed);
        OpenOptions options;
        options.mode = OpenMode::ReadWrite;
        EXPECT_FALSE(Database::open(std::move(file), options).ok())
            << "repair allowed " << allowed << " writes";
    }
    InMemory next = openCopy(crashed, journal);
    EXPECT_TRUE(next.file->bytes() == clean);
}

TEST(Journal, AReadOnlyOpenOfAFileLeftHalfWrittenSaysSo) {
    const std::vector<uint8_t> clean = keyedFile();
    InMemory m = openCopy(clean);
    m.file->limitWrites(5);
    ASSERT_FALSE(writes()[0].second(*m.db).ok());
    auto file = std::make_unique<MemoryFile>(m.file->bytes(), true);
    file->setJournal(*m.file->journalBytes());
    auto db = Database::open(std::move(file), OpenOptions{});
    ASSERT_FALSE(db.ok());
    EXPECT_NE(db.status().message().find("half written"), std::string::npos) << db.status().toString();
}

// A write larger than memory puts its new pages in the file ahead of its commit: they must read back,
// reach the file whole at commit, and be cut off again when the write does not commit or its process dies.
TEST(Journal, NewPagesWrittenAheadOfTheCommitAreKeptOrCutOff) {
    const std::vector<uint8_t> clean = keyedFile();
    auto pageWithMark = [](uint32_t number, uint8_t mark) {
        Page page(4096, mark);
        store32(page.data(), number);
        return page;
    };
    struct Case {
        const char* name;
        bool commit;
        int64_t writesBeforeCrash;  // negative: no crash
    };
    for (const Case& c :
         {Case{"committed", true, -1}, Case{"abandoned", false, -1}, Case{"process died", false, 30}}) {
        SCOPED_TRACE(c.name);
        MemoryFile file(clean);
        std::optional<std::vector<uint8_t>> journalAfterCrash;
        std::vector<uint8_t> bytesAfterCrash;
        {
            Pager pager(file, 4096, 64);
            auto tx = std::make_unique<PageTransaction>(pager);
            tx->setSpillLimit(4);
            std::vector<uint32_t> numbers;
            if (c.writesBeforeCrash >= 0) file.limitWrites(c.writesBeforeCrash);
            for (uint8_t mark = 1; mark <= 40; ++mark) {
                uint32_t number = tx->allocate();
                *tx->edit(number).value() = pageWithMark(number, mark);
                numbers.push_back(number);
                (void)tx->spillIfFull();
            }
            // A page that already went to the file is read back and changed again.
            ASSERT_EQ((*tx->read(numbers[1]).value())[4], 2);
            (*tx->edit(numbers[1]).value())[4] = 99;
            EXPECT_GT(file.size(), clean.size()) << "pages went ahead of the commit";
            if (c.commit) {
                ASSERT_TRUE(tx->commit().ok());
                EXPECT_FALSE(file.journalExists());
                for (size_t i = 0; i < numbers.size(); ++i) {
                    uint8_t expected = i == 1 ? 99 : static_cast<uint8_t>(i + 1);
                    EXPECT_EQ(file.bytes()[size_t{numbers[i]} * 4096 + 4], expected) << "page " << numbers[i];
                }
                continue;
            }
            if (c.writesBeforeCrash >= 0) {
                // The process dies here: what is on disk stays as it is.
                bytesAfterCrash = file.bytes();
                journalAfterCrash = file.journalBytes();
                file.limitWrites(0);
            }
        }
        if (c.writesBeforeCrash < 0) {
            EXPECT_TRUE(file.bytes() == clean);
            EXPECT_FALSE(file.journalExists());
            continue;
        }
        ASSERT_TRUE(journalAfterCrash);
        InMemory next = openCopy(bytesAfterCrash, journalAfterCrash);
        ASSERT_TRUE(next.db);
        EXPECT_EQ(test::scanRows(*next.db, "T").size(), 200u)
            << "readers read on while pages hang beyond the end";
        ASSERT_TRUE(next.db->lockForWriting().ok());
        EXPECT_TRUE(next.file->bytes() == clean);
        EXPECT_FALSE(next.file->journalExists());
    }
}

// A process killed at random moments of an import: whoever opens the file next finds it as it was or
// with the whole table, and no journal beside it.
TEST(Journal, AnImportKilledAtAnyMomentLeavesTheFileWholeOrUnchanged) {
    std::string dir = test::tempDir();
    std::string csv = dir + "/rows.csv";
    {
        std::ofstream out(csv);
        out << "ID:long,Code:text(20),Note:memo\r\n";
        for (int i = 1; i <= 30000; ++i)
            out << i << ",\"C" << i << "\",\"" << std::string(i % 7 == 0 ? 3000 : 40, 'm') << "\"\r\n";
    }
    std::string path = dir + "/killed.mdb";
    ASSERT_TRUE(createDatabase(path).ok());
    const std::vector<uint8_t> empty = readWholeFile(path).value();
    std::mt19937 random(3);
    int whole = 0, unchanged = 0;
    for (int round = 0; round < 6; ++round) {
        std::fflush(nullptr);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(JET_TOOL, JET_TOOL, "import", path.c_str(), "T", csv.c_str(), "--primary-key", "ID",
                    "--index", "Code", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(50, 1500)(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::unique_ptr<Database> db = test::openForWriting(path);
        ASSERT_TRUE(db);
        ASSERT_TRUE(db->lockForWriting().ok());
        EXPECT_FALSE(std::ifstream(path + "-journal").good());
        auto table = db->table("T");
        if (!table.ok()) {
            ++unchanged;
            db.reset();
            EXPECT_TRUE(readWholeFile(path).value() == empty);
            continue;
        }
        ++whole;
        EXPECT_EQ(test::scanRows(*db, "T").size(), 30000u);
        // Start the next round from the empty file again.
        db.reset();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(empty.data()), static_cast<std::streamsize>(empty.size()));
    }
    EXPECT_GT(unchanged, 0);
    SUCCEED() << whole << " imports had finished, " << unchanged << " were undone";
}

}  // namespace
}  // namespace jet

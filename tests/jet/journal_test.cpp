// Commits are atomic: a commit cut short at any write leaves the file as it was before once the next
// database opens it, a commit that ends stands, and a killed process never leaves a half-written file.
// A reader that may not write the file reads it as it was before the commit cut short.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "jet/format_value.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "storage/journal.h"
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

InMemory openCopy(std::vector<uint8_t> bytes, OpenMode mode = OpenMode::ReadWrite) {
    auto file = std::make_unique<MemoryFile>(std::move(bytes), mode == OpenMode::ReadOnly);
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
    InMemory m = openCopy(bytes, OpenMode::ReadOnly);
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

/// True when nothing follows the file's last page: no journal, nothing appended ahead of a commit.
bool wholePages(const std::vector<uint8_t>& bytes) {
    return bytes.size() % 4096 == 0;
}

/// The file as a commit of `write` left it when cut `pagesWritten` writes after its journal was complete:
/// only the journal can undo it.
std::vector<uint8_t> cutAfterJournal(const std::vector<uint8_t>& clean, size_t write, int64_t pagesWritten) {
    for (int64_t allowed = 0; allowed < 100000; ++allowed) {
        InMemory m = openCopy(clean);
        m.file->limitWrites(allowed);
        if (writes()[write].second(*m.db).ok()) break;
        if (readJournal(*m.file).value().state != JournalState::Complete) continue;
        InMemory cut = openCopy(clean);
        cut.file->limitWrites(allowed + pagesWritten);
        EXPECT_FALSE(writes()[write].second(*cut.db).ok());
        return cut.file->bytes();
    }
    ADD_FAILURE() << "the journal was never complete";
    return clean;
}

TEST(Journal, ACommitCutShortAtAnyWriteIsUndoneByTheNextOpen) {
    const std::vector<uint8_t> clean = keyedFile();
    const std::string cleanContents = contents(clean);
    for (const auto& [name, write] : writes()) {
        SCOPED_TRACE(name);
        // The file as the write leaves it when nothing stops it.
        InMemory whole = openCopy(clean);
        ASSERT_TRUE(write(*whole.db).ok());
        const std::string committed = contents(whole.file->bytes());
        int cutPoints = 0, afterJournal = 0;
        for (int64_t allowed = 0;; ++allowed) {
            InMemory m = openCopy(clean);
            m.file->limitWrites(allowed);
            Status s = write(*m.db);
            if (s.ok()) {
                EXPECT_TRUE(wholePages(m.file->bytes()));
                EXPECT_EQ(contents(m.file->bytes()), committed);
                break;
            }
            ++cutPoints;
            ASSERT_TRUE(s.isIOError()) << s.toString();
            const std::vector<uint8_t> crashed = m.file->bytes();
            afterJournal += readJournal(MemoryFile(crashed)).value().state == JournalState::Complete;
            // A reader that may not write the file reads it as it was, and changes nothing.
            EXPECT_EQ(contents(crashed), cleanContents) << "cut after " << allowed << " writes";
            // The next database that may write it finds it as it was before.
            InMemory next = openCopy(crashed);
            ASSERT_TRUE(next.db);
            EXPECT_TRUE(next.file->bytes() == clean) << "cut after " << allowed << " writes";
            ASSERT_TRUE(next.db->lockForWriting().ok());
        }
        EXPECT_GT(cutPoints, 3);
        EXPECT_GT(afterJournal, 1) << "no cut fell between the journal and the end of the commit";
    }
}

TEST(Journal, ARepairCutShortIsFinishedByTheNextOpen) {
    const std::vector<uint8_t> clean = keyedFile();
    // Cut after the journal is complete and some pages are written: the repair has pages to put back.
    MemoryFile file(cutAfterJournal(clean, 1, 3));
    ASSERT_EQ(readJournal(file).value().state, JournalState::Complete);
    for (int64_t allowed = 0; allowed < 4; ++allowed) {
        file.limitWrites(allowed);
        EXPECT_FALSE(rollBack(file).ok()) << "repair allowed " << allowed << " writes";
        // What a repair cut short left, the next one finishes: the journal is still whole.
        ASSERT_EQ(readJournal(file).value().state, JournalState::Complete);
    }
    InMemory next = openCopy(file.bytes());
    EXPECT_TRUE(next.file->bytes() == clean);
}

// A repair that cannot be done (the file refuses to be written back) refuses nothing but writes: the
// database opens and reads as it was before the commit cut short, a write fails saying why, and once the
// file can be written the next write repairs it first.
TEST(Journal, AFileWhoseRepairFailsStillOpensAndReadsAsBefore) {
    const std::vector<uint8_t> clean = keyedFile();
    const std::vector<uint8_t> crashed = cutAfterJournal(clean, 1, 3);
    auto owned = std::make_unique<MemoryFile>(crashed);
    MemoryFile& file = *owned;
    file.limitWrites(0);
    OpenOptions options;
    options.mode = OpenMode::ReadWrite;
    auto db = Database::open(std::move(owned), options);
    ASSERT_TRUE(db.ok()) << db.status().toString();
    std::string read;
    for (const test::ScannedRow& row : test::scanRows(**db, "T")) {
        for (const Value& v : row.values) appendCsvField(read, v);
        read += "\n";
    }
    EXPECT_EQ("T\n" + read, contents(clean));
    Status refused = insertRows(**db, "T", {{int64_t{5000}, std::string("N"), std::string("n")}});
    EXPECT_TRUE(refused.isIOError()) << refused.toString();
    EXPECT_NE(refused.message().find("undoing the write a crash cut short"), std::string::npos)
        << refused.toString();
    EXPECT_TRUE(file.bytes() == crashed);
    file.limitWrites(-1);
    ASSERT_TRUE(insertRows(**db, "T", {{int64_t{5000}, std::string("N"), std::string("n")}}).ok());
    EXPECT_TRUE(wholePages(file.bytes()));
    EXPECT_EQ(test::scanRows(**db, "T").size(), 201u);
}

// The trailer is checked whole: with any byte of it damaged the file has no journal that could cut it or
// write pages over it (a writer then refuses a length that is not a whole number of pages). The body is
// checked by its checksum: damaged, the commit counts as not begun on the file's pages, which are only cut
// back to their old length.
TEST(Journal, ADamagedJournalIsNeverPlayedBack) {
    const std::vector<uint8_t> clean = keyedFile();
    const std::vector<uint8_t> crashed = cutAfterJournal(clean, 1, 3);
    ASSERT_EQ(readJournal(MemoryFile(crashed)).value().state, JournalState::Complete);
    for (size_t back = 1; back <= 64; ++back) {
        std::vector<uint8_t> damaged = crashed;
        damaged[damaged.size() - back] ^= 0x10;
        Result<Journal> journal = readJournal(MemoryFile(damaged));
        ASSERT_TRUE(journal.ok());
        EXPECT_EQ(journal->state, JournalState::None) << "trailer byte " << 64 - back;
        EXPECT_EQ(journal->oldLength, damaged.size());
        OpenOptions options;
        options.mode = OpenMode::ReadWrite;
        auto db = Database::open(std::make_unique<MemoryFile>(damaged), options);
        ASSERT_TRUE(db.ok()) << db.status().toString();
        Status refused = (*db)->lockForWriting().status();
        EXPECT_NE(refused.message().find("not a whole number of pages"), std::string::npos)
            << refused.toString();
    }
    std::vector<uint8_t> damagedBody = crashed;
    uint64_t bodyStart = ByteView::load64(crashed.data() + crashed.size() - 64 + 24);
    damagedBody[bodyStart + 4096 + 100] ^= 0x10;  // inside the first page the journal keeps
    MemoryFile file(damagedBody);
    Result<Journal> journal = readJournal(file);
    ASSERT_TRUE(journal.ok());
    EXPECT_EQ(journal->state, JournalState::Pending);
    EXPECT_EQ(journal->oldLength, clean.size());
    ASSERT_TRUE(rollBack(file).ok());
    EXPECT_EQ(file.bytes().size(), clean.size());
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
                EXPECT_EQ(file.size(), clean.size() + numbers.size() * 4096);
                for (size_t i = 0; i < numbers.size(); ++i) {
                    uint8_t expected = i == 1 ? 99 : static_cast<uint8_t>(i + 1);
                    EXPECT_EQ(file.bytes()[size_t{numbers[i]} * 4096 + 4], expected) << "page " << numbers[i];
                }
                continue;
            }
            if (c.writesBeforeCrash >= 0) {
                // The process dies here: what is on disk stays as it is.
                bytesAfterCrash = file.bytes();
                file.limitWrites(0);
            }
        }
        if (c.writesBeforeCrash < 0) {
            EXPECT_TRUE(file.bytes() == clean);
            continue;
        }
        ASSERT_GT(bytesAfterCrash.size(), clean.size()) << "pages went ahead of the crash";
        InMemory reader = openCopy(bytesAfterCrash, OpenMode::ReadOnly);
        ASSERT_TRUE(reader.db);
        EXPECT_EQ(test::scanRows(*reader.db, "T").size(), 200u)
            << "readers read on while pages hang beyond the end";
        InMemory next = openCopy(bytesAfterCrash);
        ASSERT_TRUE(next.db);
        ASSERT_TRUE(next.db->lockForWriting().ok());
        EXPECT_TRUE(next.file->bytes() == clean);
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
        EXPECT_EQ(std::filesystem::file_size(path) % 4096, 0u) << "something is left after the last page";
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

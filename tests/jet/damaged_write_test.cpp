// Writes into damaged files: a write that meets damage is refused and leaves every byte as it was; a
// write that succeeds never hides damage by dropping rows the reader would have reported or read.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "jet/cursor.h"
#include "jet/sql.h"
#include "jet/writer.h"
#include "storage/format.h"
#include "table/engine.h"
#include "test_support.h"

namespace jet {
namespace {

constexpr uint32_t kPage = 4096;

/// A database in memory with a handle on its bytes.
struct Opened {
    std::unique_ptr<Database> db;
    MemoryFile* file = nullptr;
};

Opened openInMemory(std::vector<uint8_t> bytes) {
    auto file = std::make_unique<MemoryFile>(std::move(bytes));
    Opened o;
    o.file = file.get();
    OpenOptions options;
    options.mode = OpenMode::ReadWrite;
    auto db = Database::open(std::move(file), options);
    if (db.ok()) o.db = std::move(db).value();
    return o;
}

/// Rows of `table` read by a full scan, every value decoded.
Result<size_t> countRows(Database& db, const std::string& table) {
    JET_ASSIGN_OR_RETURN(auto def, db.table(table));
    JET_ASSIGN_OR_RETURN(RowCursor cursor, db.scan(def));
    size_t n = 0;
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return n;
        JET_RETURN_IF_ERROR(cursor.values().status());
        ++n;
    }
}

/// A file made by the writer with every structure a write touches: a primary key and a text index,
/// memos inline, on their own page and in chains, rows moved to overflow rows, deleted rows, and a second
/// table.
std::vector<uint8_t> writerMadeFile() {
    std::string path = test::tempDir() + "/damaged.mdb";
    EXPECT_TRUE(createDatabase(path).ok());
    {
        std::unique_ptr<Database> db = test::openForWriting(path);
        auto column = [](const char* name, ColumnType type, uint16_t size = 255) {
            ColumnSpec c;
            c.name = name;
            c.type = type;
            c.size = size;
            return c;
        };
        TableSpec items{
            "Items",
            {column("ID", ColumnType::Long), column("Code", ColumnType::Text, 20),
             column("Note", ColumnType::Memo), column("N", ColumnType::Double)},
            {IndexSpec{"PrimaryKey", {"ID"}, {}, true, true}, IndexSpec{"Code", {"Code"}, {}, false, false}}};
        std::vector<Row> rows;
        for (int64_t i = 1; i <= 300; ++i) {
            size_t noteLength = i % 3 == 0 ? 10 : i % 3 == 1 ? 500 : 6000;
            rows.push_back({i, "C" + std::to_string(i),
                            std::string(noteLength, static_cast<char>('a' + i % 26)),
                            static_cast<double>(i)});
        }
        EXPECT_TRUE(createTable(*db, items, rows).ok());
        TableSpec other{"Other", {column("ID", ColumnType::Long)}, {}};
        EXPECT_TRUE(createTable(*db, other, {{int64_t{1}}, {int64_t{2}}}).ok());
        sql::Connection connection(*db);
        EXPECT_TRUE(connection.execute("UPDATE Items SET Code = Code & '-longer-code' WHERE ID < 60").ok());
        EXPECT_TRUE(connection.execute("DELETE FROM Items WHERE ID > 290").ok());
    }
    return readWholeFile(path).value();
}

/// One write and the change it makes to the number of rows of its table.
struct Write {
    const char* name;
    std::string table;
    std::function<Status(Database&)> run;
    long delta;
};

std::vector<Write> writesOnItems() {
    auto sqlWrite = [](std::string statement) {
        return [statement](Database& db) { return sql::Connection(db).execute(statement).status(); };
    };
    Row fresh = {int64_t{1000}, std::string("NEW"), std::string(3000, 'z'), 1.5};
    return {
        {"insert", "Items", [fresh](Database& db) { return insertRows(db, "Items", {fresh}); }, 1},
        {"update a memo", "Items", sqlWrite("UPDATE Items SET Note = Note & 'more' WHERE ID = 2"), 0},
        {"update a key", "Items", sqlWrite("UPDATE Items SET Code = 'X' & Code WHERE ID = 5"), 0},
        {"delete", "Items", sqlWrite("DELETE FROM Items WHERE ID = 7"), -1},
    };
}

/// Runs `write` on a copy of `bytes`; checks that a refused write left the bytes alone and that a
/// successful one left the table readable with the expected rows, or still reporting its damage.
void checkWrite(const std::vector<uint8_t>& bytes, const Write& write, const std::string& damage) {
    SCOPED_TRACE(damage + ", " + write.name);
    Opened o = openInMemory(bytes);
    if (!o.db) return;  // damage found at open: nothing to write
    Result<size_t> before = countRows(*o.db, write.table);
    Status s = write.run(*o.db);
    if (!s.ok()) {
        EXPECT_TRUE(o.file->bytes() == bytes) << "a refused write changed the file: " << s.toString();
        return;
    }
    Opened again = openInMemory(o.file->bytes());
    ASSERT_TRUE(again.db) << "the file no longer opens after a write that succeeded";
    Result<size_t> after = countRows(*again.db, write.table);
    if (!after.ok()) return;  // the damage is still there for the reader to report
    ASSERT_TRUE(before.ok()) << "the write hid damage the reader reported: " << before.status().toString();
    EXPECT_EQ(static_cast<long>(*after), static_cast<long>(*before) + write.delta);
}

/// Where the structures of table Items lie in the file.
struct Layout {
    uint32_t definition = 0;
    RowId usedMap, freeMap;
    std::vector<uint32_t> dataPages;
    std::vector<uint32_t> indexRoots;
    std::vector<uint32_t> longValuePages;
    uint32_t otherTablePage = 0;
};

Layout layoutOf(const std::vector<uint8_t>& bytes) {
    Layout l;
    Opened o = openInMemory(bytes);
    auto def = o.db->table("Items");
    l.definition = (*def)->definitionPage;
    l.usedMap = RowId::fromPacked((*def)->usedPagesRef);
    l.freeMap = RowId::fromPacked((*def)->freePagesRef);
    l.dataPages = engineOf(*o.db).rows().dataPages(**def).value();
    for (const RealIndexDef& real : (*def)->realIndexes) l.indexRoots.push_back(real.rootPage);
    l.otherTablePage = (*o.db->table("Other"))->definitionPage;
    for (uint32_t p = 1; p < bytes.size() / kPage; ++p) {
        if (bytes[p * kPage] == PageType::Data && ByteView::load32(&bytes[p * kPage + 4]) == 0x4C41564C)
            l.longValuePages.push_back(p);
    }
    return l;
}

/// The byte offset of row `id`.
size_t rowOffset(const std::vector<uint8_t>& bytes, RowId id) {
    return id.page * kPage + (ByteView::load16(&bytes[id.page * kPage + 14 + 2 * id.row]) & kRowOffsetMask);
}

struct Damage {
    const char* name;
    std::function<void(std::vector<uint8_t>&, const Layout&)> apply;
};

std::vector<Damage> targetedDamage() {
    return {
        {"owned-pages map made a page list naming a data page",
         [](std::vector<uint8_t>& b, const Layout& l) {
             size_t at = rowOffset(b, l.usedMap);
             b[at] = 1;
             store32(&b[at + 1], l.dataPages.front());
         }},
        {"free-space map made a page list naming a data page",
         [](std::vector<uint8_t>& b, const Layout& l) {
             size_t at = rowOffset(b, l.freeMap);
             b[at] = 1;
             store32(&b[at + 1], l.dataPages.back());
         }},
        {"owned-pages map lists the other table's definition",
         [](std::vector<uint8_t>& b, const Layout& l) {
             size_t at = rowOffset(b, l.usedMap);
             uint32_t start = ByteView::load32(&b[at + 1]);
             uint32_t bit = l.otherTablePage - start;
             b[at + 5 + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
         }},
        {"last data page owned by the other table",
         [](std::vector<uint8_t>& b, const Layout& l) {
             store32(&b[l.dataPages.back() * kPage + 4], l.otherTablePage);
         }},
        {"first data page made an index page",
         [](std::vector<uint8_t>& b, const Layout& l) {
             b[l.dataPages.front() * kPage] = PageType::IndexLeaf;
         }},
        {"row count beyond the page",
         [](std::vector<uint8_t>& b, const Layout& l) {
             store16(&b[l.dataPages.back() * kPage + 12], 0xFFFF);
         }},
        {"row count beyond the page on the first page",
         [](std::vector<uint8_t>& b, const Layout& l) {
             store16(&b[l.dataPages.front() * kPage + 12], 3000);
         }},
        {"row offsets swapped",
         [](std::vector<uint8_t>& b, const Layout& l) {
             uint8_t* table = &b[l.dataPages.front() * kPage + 14];
             std::swap_ranges(table, table + 2, table + 2);
         }},
        {"index root owned by the other table",
         [](std::vector<uint8_t>& b, const Layout& l) {
             store32(&b[l.indexRoots.back() * kPage + 4], l.otherTablePage);
         }},
        {"index root made a data page",
         [](std::vector<uint8_t>& b, const Layout& l) { b[l.indexRoots.front() * kPage] = PageType::Data; }},
        {"long-value page owned by the table",
         [](std::vector<uint8_t>& b, const Layout& l) {
             store32(&b[l.longValuePages.front() * kPage + 4], l.definition);
         }},
        {"long-value page row count beyond the page",
         [](std::vector<uint8_t>& b, const Layout& l) {
             store16(&b[l.longValuePages.front() * kPage + 12], 0x7FFF);
         }},
    };
}

TEST(DamagedWrites, TargetedDamageIsRefusedWithTheFileUnchangedOrReadsCorrectly) {
    const std::vector<uint8_t> clean = writerMadeFile();
    const Layout layout = layoutOf(clean);
    ASSERT_GE(layout.dataPages.size(), 3u);
    ASSERT_FALSE(layout.longValuePages.empty());
    for (const Write& w : writesOnItems()) checkWrite(clean, w, "no damage");
    for (const Damage& d : targetedDamage()) {
        std::vector<uint8_t> damaged = clean;
        d.apply(damaged, layout);
        for (const Write& w : writesOnItems()) checkWrite(damaged, w, d.name);
    }
}

// The case once seen: a usage map pointed at a page that is no usage map read as an empty table to the
// writer, which then "inserted" into it and lost its rows.
TEST(DamagedWrites, AnInsertNeverTurnsADamagedMapIntoAnEmptyTable) {
    std::vector<uint8_t> damaged = writerMadeFile();
    Layout layout = layoutOf(damaged);
    targetedDamage()[0].apply(damaged, layout);
    Opened o = openInMemory(damaged);
    ASSERT_TRUE(o.db);
    EXPECT_TRUE(countRows(*o.db, "Items").status().isCorruption());
    Status s = writesOnItems()[0].run(*o.db);
    EXPECT_TRUE(s.isCorruption()) << s.toString();
    EXPECT_TRUE(o.file->bytes() == damaged);
}

TEST(DamagedWrites, RandomFlipsNeverLeadToAHalfChangedFileOrHiddenLoss) {
    const std::vector<uint8_t> clean = writerMadeFile();
    const size_t pages = clean.size() / kPage;
    std::mt19937 random(7);
    const std::vector<Write> writes = writesOnItems();
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> damaged = clean;
        int flips = std::uniform_int_distribution<int>(1, 6)(random);
        for (int i = 0; i < flips; ++i) {
            // Page 0 holds the header, whose damage the header tests cover.
            size_t at = std::uniform_int_distribution<size_t>(kPage, pages * kPage - 1)(random);
            damaged[at] =
                static_cast<uint8_t>(damaged[at] ^ (1u << std::uniform_int_distribution<int>(0, 7)(random)));
        }
        checkWrite(damaged, writes[static_cast<size_t>(round) % writes.size()],
                   "round " + std::to_string(round));
    }
}

// Writes into damaged copies of files Access made.
TEST(DamagedWrites, DamagedAccessFilesAreRefusedOrReadCorrectly) {
    struct Sample {
        const char* file;
        const char* table;
        const char* column;  // a text column updated in place
    };
    for (const Sample& sample : {Sample{"jackcess_V2003_overflowTestV2003.mdb", "Table1", "data1"},
                                 Sample{"jackcess_V2000_testV2000.mdb", "Table1", "A"}}) {
        auto bytes = readWholeFile(test::samplesDir() + "/" + sample.file);
        ASSERT_TRUE(bytes.ok());
        std::string t = sample.table, c = sample.column;
        std::vector<Write> writes = {
            {"update", t,
             [t, c](Database& db) {
                 return sql::Connection(db)
                     .execute("UPDATE [" + t + "] SET [" + c + "] = [" + c + "] & 'x'")
                     .status();
             },
             0},
            {"delete", t,
             [t](Database& db) { return sql::Connection(db).execute("DELETE FROM [" + t + "]").status(); },
             0},
        };
        std::mt19937 random(11);
        const size_t pages = bytes->size() / kPage;
        for (int round = 0; round < 150; ++round) {
            std::vector<uint8_t> damaged = *bytes;
            size_t at = std::uniform_int_distribution<size_t>(kPage, pages * kPage - 1)(random);
            damaged[at] = static_cast<uint8_t>(std::uniform_int_distribution<int>(0, 255)(random));
            Write w = writes[static_cast<size_t>(round) % writes.size()];
            if (std::string(w.name) == "delete") {
                Opened o = openInMemory(damaged);
                auto n = o.db ? countRows(*o.db, t) : Result<size_t>(Status::Corruption("no open"));
                w.delta = n.ok() ? -static_cast<long>(*n) : 0;
            }
            checkWrite(damaged, w, std::string(sample.file) + " round " + std::to_string(round));
        }
    }
}

}  // namespace
}  // namespace jet

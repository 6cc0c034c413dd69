// Damaged files: copies of real samples, held in memory and damaged on purpose, must read to the end or fail
// with a clean Corruption, IOError or NotSupported status. Never a crash, a hang or a huge allocation; and
// where the reader can tell that a structure is wrong, the message names the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/format_value.h"
#include "table/engine.h"
#include "test_support.h"

namespace jet {
namespace {

constexpr size_t kMaxCursorSteps = 200000;  // far above any sample's rows or index entries

// Samples: Jet 3 with indexes; Jet 3 and Jet 4 with overflow rows (and system tables with long values);
// Jet 4 with a 512-row index spread over several leaves.
constexpr const char* kJet3 = "jackcess_V1997_testV1997.mdb";
constexpr const char* kJet3Overflow = "jackcess_V1997_overflowTestV1997.mdb";
constexpr const char* kJet4Overflow = "jackcess_V2003_overflowTestV2003.mdb";
constexpr const char* kJet4Index = "jackcess_V2000_compIndexTestV2000.mdb";
constexpr const char* kAllSamples[] = {kJet3, kJet3Overflow, kJet4Overflow, kJet4Index};

/// What reading a whole database produced.
struct Outcome {
    Status status;       // the first failure, OK when everything read
    std::string digest;  // every value of every table and index walk, as CSV
    size_t rows = 0;     // rows read by scans and index walks
};

std::string pathOf(const char* sample) {
    return test::samplesDir() + "/" + sample;
}

std::vector<uint8_t> loadSample(const char* sample) {
    auto bytes = readWholeFile(pathOf(sample));
    EXPECT_TRUE(bytes.ok()) << sample << ": " << bytes.status().toString();
    return bytes.ok() ? std::move(bytes).value() : std::vector<uint8_t>{};
}

// Appends the current row's values as one CSV line; fails when a value cannot be decoded or is larger
// than the file could hold.
Status appendRow(const RowReader& row, size_t fileSize, std::string& digest) {
    JET_ASSIGN_OR_RETURN(std::vector<Value> values, row.values());
    for (const Value& v : values) {
        size_t size = 0;
        if (auto* s = std::get_if<std::string>(&v)) size = s->size();
        if (auto* b = std::get_if<Bytes>(&v)) size = b->size();
        // UTF-8 needs at most 4 bytes per stored byte.
        if (size > 4 * fileSize) return Status::InvalidArgument("a value larger than the file");
        appendCsvField(digest, v);
        digest.push_back(',');
    }
    digest.push_back('\n');
    return {};
}

// Walks a cursor to its end, appending every row; a walk longer than any sample's is reported as a hang.
template <typename Cursor>
Status walk(Cursor& cursor, size_t fileSize, Outcome& out) {
    for (size_t steps = 0;; ++steps) {
        if (steps > kMaxCursorSteps) return Status::InvalidArgument("cursor did not end: a hang");
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) return {};
        ++out.rows;
        JET_RETURN_IF_ERROR(appendRow(cursor, fileSize, out.digest));
    }
}

Status readTable(Database& db, const TableEntry& entry, size_t fileSize, Outcome& out) {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<const TableDef> def, db.table(entry.name));
    out.digest += "table " + entry.name + "\n";
    JET_ASSIGN_OR_RETURN(RowCursor scan, db.scan(def));
    JET_RETURN_IF_ERROR(walk(scan, fileSize, out));
    for (const IndexDef& index : def->indexes) {
        out.digest += "index " + index.name + "\n";
        JET_ASSIGN_OR_RETURN(IndexCursor cursor, db.indexCursor(def, index.name));
        JET_RETURN_IF_ERROR(walk(cursor, fileSize, out));
    }
    return {};
}

/// Opens `bytes` and reads every table, every value and every index walk. Keeps going after a table
/// fails (so damage to one table does not hide faults in the others) and reports the first failure.
Outcome readEverything(std::vector<uint8_t> bytes, const OpenOptions& options = {}) {
    Outcome out;
    size_t fileSize = bytes.size();
    auto db = Database::open(std::make_unique<MemoryFile>(std::move(bytes), true), options);
    if (!db.ok()) {
        out.status = db.status();
        return out;
    }
    for (const TableEntry& entry : (*db)->tables()) {
        Status s = readTable(**db, entry, fileSize, out).withContext("reading " + entry.name);
        if (!s.ok() && out.status.ok()) out.status = s;
    }
    return out;
}

/// The checks every damaged read must pass: a clean outcome of an expected kind with a message.
void expectClean(const Outcome& o, const std::string& what) {
    const Status& s = o.status;
    EXPECT_TRUE(s.ok() || s.isCorruption() || s.isIOError() || s.isNotSupported())
        << what << ": unexpected " << s.toString();
    if (!s.ok()) {
        EXPECT_FALSE(s.message().empty()) << what;
    }
}

/// True when `message` names page `page` ("page 12", not "page 123").
bool namesPage(const std::string& message, uint32_t page) {
    std::string needle = "page " + std::to_string(page);
    for (size_t at = message.find(needle); at != std::string::npos; at = message.find(needle, at + 1)) {
        size_t after = at + needle.size();
        if (after == message.size() || !std::isdigit(static_cast<unsigned char>(message[after]))) return true;
    }
    return false;
}

void expectCorruptionAt(const Outcome& o, uint32_t page, const std::string& what) {
    EXPECT_TRUE(o.status.isCorruption()) << what << ": " << o.status.toString();
    EXPECT_TRUE(namesPage(o.status.message(), page))
        << what << ": message does not name page " << page << ": " << o.status.toString();
}

// ---------------------------------------------------------------------------------------------------------
// Where the structures of a sample lie, found through the engine on the undamaged file.

struct LongValueRef {
    size_t offset = 0;  // file offset of the 12-byte descriptor
    uint8_t kind = 0;   // 0x80 inline, 0x40 one row, 0x00 a chain of rows
    uint32_t length = 0;
    RowId pointer;
};

struct IndexRef {
    std::string table, name;
    uint32_t root = 0;
    std::vector<uint32_t> leaves;  // in walk order
    std::vector<uint32_t> nodes;   // the pages above them (first descent only)
};

struct Survey {
    FormatLayout layout{};
    uint32_t pageCount = 0;
    uint32_t catalogPage = 2;
    std::vector<std::pair<std::string, uint32_t>> tdefs;  // user tables: name, first page
    std::vector<uint32_t> dataPages;                      // data pages holding live rows of user tables
    std::vector<RowId> usageMaps;                         // owned-page maps of user tables
    std::vector<RowId> rows;                              // live rows of user tables (not overflow)
    std::vector<RowId> overflowSlots;                     // slots holding an overflow pointer
    std::vector<LongValueRef> longValues;                 // descriptors of Memo and OLE values
    std::vector<IndexRef> indexes;
};

uint16_t slotWord(const std::vector<uint8_t>& f, const Survey& s, uint32_t page, uint32_t slot) {
    return ByteView::load16(f.data() + size_t{page} * s.layout.pageSize + s.layout.dataRowTableOffset +
                            2 * slot);
}

void storeSlotWord(std::vector<uint8_t>& f, const Survey& s, uint32_t page, uint32_t slot, uint16_t v) {
    store16(f.data() + size_t{page} * s.layout.pageSize + s.layout.dataRowTableOffset + 2 * slot, v);
}

uint8_t* pageAt(std::vector<uint8_t>& f, const Survey& s, uint32_t page) {
    return f.data() + size_t{page} * s.layout.pageSize;
}

// The first entry of an index node page: its child pointer (the last 4 bytes, big-endian).
uint32_t firstChild(const uint8_t* p, const FormatLayout& L) {
    size_t end = 0;
    for (size_t byte = L.indexBitmaskOffset; byte < L.indexFirstEntryOffset && end == 0; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            if ((p[byte] >> bit) & 1) {
                end = L.indexFirstEntryOffset + (byte - L.indexBitmaskOffset) * 8 + bit;
                break;
            }
        }
    }
    if (end < 4) return 0;
    return (uint32_t{p[end - 4]} << 24) | (uint32_t{p[end - 3]} << 16) | (uint32_t{p[end - 2]} << 8) |
           p[end - 1];
}

Survey survey(const std::vector<uint8_t>& bytes, const OpenOptions& options = {}) {
    Survey s;
    auto opened = Database::open(std::make_unique<MemoryFile>(bytes, true), options);
    EXPECT_TRUE(opened.ok()) << opened.status().toString();
    if (!opened.ok()) return s;
    Database& db = **opened;
    Engine& engine = engineOf(db);
    s.layout = engine.layout();
    s.pageCount = engine.pager().pageCount();
    std::set<uint32_t> dataPages;
    for (const TableEntry& entry : db.tables()) {
        auto def = db.table(entry.name);
        EXPECT_TRUE(def.ok()) << def.status().toString();
        if (!def.ok()) continue;
        if (!entry.system) {
            s.tdefs.emplace_back(entry.name, entry.definitionPage);
            s.usageMaps.push_back(RowId::fromPacked((*def)->usedPagesRef));
        }
        auto cursor = db.scan(*def);
        EXPECT_TRUE(cursor.ok());
        while (cursor.ok()) {
            auto more = cursor->next();
            EXPECT_TRUE(more.ok()) << more.status().toString();
            if (!more.ok() || !*more) break;
            RowId id = cursor->rowId();
            bool overflow = (slotWord(bytes, s, id.page, id.row) & 0x4000) != 0;
            if (overflow) s.overflowSlots.push_back(id);
            if (!entry.system && !overflow) {
                s.rows.push_back(id);
                dataPages.insert(id.page);
            }
            if (overflow) continue;
            // Long value descriptors, found through the row's parsed layout.
            RowImage image;
            if (!engine.rows().rowAt(id.page, id.row, false, image).ok() ||
                !engine.values().parseRow(**def, image).ok())
                continue;
            for (const ColumnDef& c : (*def)->columns) {
                if (c.type != ColumnType::Memo && c.type != ColumnType::Ole) continue;
                const RowLayout& L = image.layout;
                if (c.varIndex + 1u >= L.varOffsets.size()) continue;
                uint32_t start = L.varOffsets[c.varIndex], end = L.varOffsets[c.varIndex + 1];
                if (end - start < 12) continue;
                LongValueRef lv;
                lv.offset = size_t{id.page} * s.layout.pageSize +
                            static_cast<size_t>(image.bytes.data() - image.page->data()) + start;
                uint32_t word = ByteView::load32(bytes.data() + lv.offset);
                lv.kind = static_cast<uint8_t>((word >> 24) & 0xC0);
                lv.length = word & 0x3FFFFFFF;
                lv.pointer = RowId::fromPacked(ByteView::load32(bytes.data() + lv.offset + 4));
                s.longValues.push_back(lv);
            }
        }
        if (entry.system) continue;
        for (const IndexDef& index : (*def)->indexes) {
            const RealIndexDef& real = (*def)->realIndexes[index.realIndex];
            IndexRef ref{entry.name, index.name, real.rootPage, {}, {}};
            uint32_t page = real.rootPage;
            for (int depth = 0; depth < 8 && page != 0 && page < s.pageCount; ++depth) {
                const uint8_t* p = bytes.data() + size_t{page} * s.layout.pageSize;
                if (p[0] == 0x04) break;
                ref.nodes.push_back(page);
                page = firstChild(p, s.layout);
            }
            std::set<uint32_t> seen;
            while (page != 0 && page < s.pageCount && seen.insert(page).second) {
                const uint8_t* p = bytes.data() + size_t{page} * s.layout.pageSize;
                if (p[0] != 0x04) break;
                ref.leaves.push_back(page);
                page = ByteView::load32(p + s.layout.indexNextPageOffset);
            }
            s.indexes.push_back(std::move(ref));
        }
    }
    s.dataPages.assign(dataPages.begin(), dataPages.end());
    return s;
}

/// One targeted damage: what it does, how, and the page a Corruption must name (none: may read cleanly).
struct Damage {
    std::string name;
    std::function<void(std::vector<uint8_t>&)> apply;
    std::optional<uint32_t> expectPage;
};

void runDamages(const char* sample, const std::vector<Damage>& damages) {
    std::vector<uint8_t> original = loadSample(sample);
    ASSERT_FALSE(original.empty());
    OpenOptions options = test::optionsFor(sample);
    for (const Damage& d : damages) {
        SCOPED_TRACE(std::string(sample) + ": " + d.name);
        std::vector<uint8_t> bytes = original;
        d.apply(bytes);
        ASSERT_NE(bytes, original) << "the damage changed nothing";
        Outcome o = readEverything(std::move(bytes), options);
        expectClean(o, d.name);
        if (d.expectPage) expectCorruptionAt(o, *d.expectPage, d.name);
    }
}

// ---------------------------------------------------------------------------------------------------------

TEST(CorruptionBaseline, SamplesReadCleanlyAndSurveysFindTheirStructures) {
    for (const char* sample : kAllSamples) {
        SCOPED_TRACE(sample);
        std::vector<uint8_t> bytes = loadSample(sample);
        ASSERT_FALSE(bytes.empty());
        Outcome o = readEverything(bytes, test::optionsFor(sample));
        ASSERT_TRUE(o.status.ok()) << o.status.toString();
        EXPECT_GT(o.rows, 0u);
        Survey s = survey(bytes);
        EXPECT_FALSE(s.tdefs.empty());
        EXPECT_FALSE(s.dataPages.empty());
    }
    // The structures the targeted damages below rely on exist in these samples.
    EXPECT_FALSE(survey(loadSample(kJet4Overflow)).overflowSlots.empty());
    // Long values stored in other rows (one row, or a chain of rows in the Jet 3 samples).
    for (const char* sample : kAllSamples) {
        Survey s = survey(loadSample(sample));
        EXPECT_TRUE(std::any_of(s.longValues.begin(), s.longValues.end(), [](const LongValueRef& lv) {
            return lv.kind != 0x80;
        })) << sample;
    }
    Survey jet3 = survey(loadSample(kJet3));
    EXPECT_TRUE(std::any_of(jet3.longValues.begin(), jet3.longValues.end(),
                            [](const LongValueRef& lv) { return lv.kind == 0x00; }));
    Survey index = survey(loadSample(kJet4Index));
    ASSERT_FALSE(index.indexes.empty());
    EXPECT_GE(index.indexes[0].leaves.size(), 2u);
}

TEST(CorruptionNotADatabase, FailsAtOpenWithCorruptionOrNotSupported) {
    std::vector<uint8_t> jet4 = loadSample(kJet4Overflow);
    ASSERT_GE(jet4.size(), 3u * 4096);
    std::mt19937 rng(7);
    std::vector<uint8_t> noise(3 * 4096);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
    std::vector<uint8_t> headerOnly(jet4.begin(), jet4.begin() + 4096);
    std::vector<uint8_t> headerThenZeros = headerOnly;
    headerThenZeros.resize(8 * 4096);
    std::vector<uint8_t> badVersion = jet4;
    badVersion[0x14] = 0x7F;
    std::vector<uint8_t> badSignature = jet4;
    badSignature[4] = 'X';

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        Status::Code expected;
    };
    const Case cases[] = {
        {"empty file", {}, Status::Code::Corruption},
        {"random bytes", noise, Status::Code::Corruption},
        {"header page only", headerOnly, Status::Code::Corruption},
        {"header then zero pages", headerThenZeros, Status::Code::Corruption},
        {"unknown version byte", badVersion, Status::Code::NotSupported},
        {"damaged signature", badSignature, Status::Code::Corruption},
    };
    for (const Case& c : cases) {
        auto db = Database::open(std::make_unique<MemoryFile>(c.bytes, true));
        ASSERT_FALSE(db.ok()) << c.name;
        EXPECT_EQ(db.status().code(), c.expected) << c.name << ": " << db.status().toString();
    }
}

TEST(CorruptionHeader, EveryHeaderByteDamagedFailsCleanlyOrReadsTheSame) {
    // The header's scrambled region holds the code page, sort order and encryption key; damage to any
    // byte must fail cleanly (an unknown code page is NotSupported, not an argument error) or not matter.
    for (const char* sample : {kJet3, kJet4Overflow}) {
        SCOPED_TRACE(sample);
        std::vector<uint8_t> original = loadSample(sample);
        ASSERT_FALSE(original.empty());
        Outcome full = readEverything(original);
        ASSERT_TRUE(full.status.ok());
        for (size_t at = 0; at < 0x18 + 128; ++at) {
            for (uint8_t x : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
                std::vector<uint8_t> bytes = original;
                bytes[at] ^= x;
                Outcome o = readEverything(std::move(bytes));
                expectClean(o, "header byte " + std::to_string(at) + " ^ " + std::to_string(x));
            }
        }
    }
    // The scrambling is a stream cipher, so flipping bits of the stored code page flips the same bits of
    // the value read: 1252 ^ 0xFF00 names no code page.
    std::vector<uint8_t> bytes = loadSample(kJet3);
    bytes[0x3D] ^= 0xFF;
    Outcome o = readEverything(std::move(bytes));
    EXPECT_TRUE(o.status.isNotSupported()) << o.status.toString();
    EXPECT_NE(o.status.message().find("code page"), std::string::npos) << o.status.toString();
}

TEST(CorruptionTruncation, EveryPageBoundaryAndInPageOffsetsFailCleanlyOrReadTheSame) {
    for (const char* sample : kAllSamples) {
        SCOPED_TRACE(sample);
        std::vector<uint8_t> original = loadSample(sample);
        ASSERT_FALSE(original.empty());
        OpenOptions options = test::optionsFor(sample);
        Outcome full = readEverything(original, options);
        ASSERT_TRUE(full.status.ok());
        uint32_t pageSize = survey(original).layout.pageSize;
        std::mt19937 rng(11);
        std::vector<size_t> cuts;
        for (size_t page = 0; page * pageSize < original.size(); ++page) {
            size_t base = page * pageSize;
            for (size_t in : {size_t{0}, size_t{1}, size_t{rng() % pageSize}, size_t{pageSize - 1}}) {
                if (base + in < original.size()) cuts.push_back(base + in);
            }
        }
        for (size_t cut : cuts) {
            std::vector<uint8_t> bytes(original.begin(), original.begin() + static_cast<long>(cut));
            Outcome o = readEverything(std::move(bytes), options);
            expectClean(o, "cut at " + std::to_string(cut));
            // Losing pages the database uses must be noticed: a clean read has to be the full read.
            if (o.status.ok()) {
                EXPECT_EQ(o.digest, full.digest) << "cut at " << cut << " changed results silently";
            }
        }
    }
}

// Page headers: the type byte, the owning-table pointer and the row count of each kind of page.
std::vector<Damage> pageHeaderDamages(const Survey& s) {
    std::vector<Damage> d;
    const Survey* sp = &s;
    auto setByte = [sp](uint32_t page, size_t offset, uint8_t v) {
        return [sp, page, offset, v](std::vector<uint8_t>& f) { pageAt(f, *sp, page)[offset] = v; };
    };
    auto set16 = [sp](uint32_t page, size_t offset, uint16_t v) {
        return [sp, page, offset, v](std::vector<uint8_t>& f) { store16(pageAt(f, *sp, page) + offset, v); };
    };
    auto set32 = [sp](uint32_t page, size_t offset, uint32_t v) {
        return [sp, page, offset, v](std::vector<uint8_t>& f) { store32(pageAt(f, *sp, page) + offset, v); };
    };
    const uint32_t tdef = s.tdefs[0].second;
    d.push_back({"catalogue definition page type", setByte(s.catalogPage, 0, 0x01), s.catalogPage});
    d.push_back({"table definition page type", setByte(tdef, 0, 0x04), tdef});
    d.push_back({"table definition row count", set32(tdef, s.layout.tdefRowCountOffset, 0xFFFFFFFF), {}});
    const uint32_t data = s.dataPages[0];
    // A page in a usage map that is not a data page of the table is skipped (maps may list freed pages),
    // so these may lose rows but must not fail uncleanly.
    d.push_back({"data page type", setByte(data, 0, 0x07), {}});
    d.push_back({"data page owner", set32(data, 4, 0x00FFFFFF), {}});
    d.push_back(
        {"data page row count overruns the page", set16(data, s.layout.dataRowCountOffset, 0xFFFF), data});
    d.push_back({"data page row count one more",
                 [sp, data](std::vector<uint8_t>& f) {
                     uint8_t* p = pageAt(f, *sp, data) + sp->layout.dataRowCountOffset;
                     store16(p, static_cast<uint16_t>(ByteView::load16(p) + 1));
                 },
                 {}});
    d.push_back({"data page row count zero", set16(data, s.layout.dataRowCountOffset, 0), {}});
    const RowId map = s.usageMaps[0];
    if (map.page != data) d.push_back({"usage map page type", setByte(map.page, 0, 0x04), map.page});
    for (const IndexRef& index : s.indexes) {
        if (index.leaves.empty()) continue;
        uint32_t leaf = index.leaves[0];
        d.push_back({"index leaf type " + index.name, setByte(leaf, 0, 0x09), leaf});
        d.push_back({"index leaf becomes a node " + index.name, setByte(leaf, 0, 0x03), {}});
        d.push_back({"index leaf owner " + index.name, set32(leaf, 4, 0x00FFFFFF), {}});
        d.push_back({"index root page type " + index.name, setByte(index.root, 0, 0x01), index.root});
        break;  // one index per sample is enough for header damage
    }
    return d;
}

TEST(CorruptionPageHeaders, DataDefinitionIndexAndUsageMapPages) {
    for (const char* sample : kAllSamples) {
        std::vector<uint8_t> bytes = loadSample(sample);
        Survey s = survey(bytes);
        ASSERT_FALSE(s.tdefs.empty() || s.dataPages.empty() || s.usageMaps.empty());
        runDamages(sample, pageHeaderDamages(s));
    }
}

TEST(CorruptionPageHeaders, IndexEntryOnAnotherTablesPageIsCaught) {
    // A scan skips pages of other tables (usage maps may list freed pages), but an index entry must point
    // at a page of its own table: Table1 of the Jet 3 sample is indexed, so its walk notices.
    std::vector<uint8_t> bytes = loadSample(kJet3);
    Survey s = survey(bytes);
    ASSERT_FALSE(s.rows.empty());
    uint32_t page = s.rows[0].page;
    store32(pageAt(bytes, s, page) + 4, s.catalogPage);
    Outcome o = readEverything(bytes);
    expectCorruptionAt(o, page, "data page claims to belong to the catalogue");
}

TEST(CorruptionValues, ImpossibleDatesReadAndFormatAsNumbers) {
    // Found by the fuzzer: a date of 1e300 days (or NaN) used to overflow the conversion to seconds.
    std::vector<uint8_t> original = loadSample(kJet3);
    auto db = Database::open(std::make_unique<MemoryFile>(original, true));
    ASSERT_TRUE(db.ok());
    auto def = (*db)->table("Table1");
    ASSERT_TRUE(def.ok());
    int column = (*def)->columnIndex("G");
    ASSERT_GE(column, 0);
    const ColumnDef& g = (*def)->columns[static_cast<size_t>(column)];
    ASSERT_EQ(g.type, ColumnType::DateTime);
    auto cursor = (*db)->scan(*def);
    ASSERT_TRUE(cursor.ok());
    auto more = cursor->next();
    ASSERT_TRUE(more.ok() && *more);
    RowImage image;
    Engine& engine = engineOf(**db);
    ASSERT_TRUE(engine.rows().rowAt(cursor->rowId().page, cursor->rowId().row, false, image).ok());
    ASSERT_TRUE(engine.values().parseRow(**def, image).ok());
    size_t at = size_t{cursor->rowId().page} * engine.layout().pageSize +
                static_cast<size_t>(image.bytes.data() - image.page->data()) + image.layout.fixedStart +
                g.fixedOffset;

    const struct {
        double days;
        const char* text;
    } cases[] = {{1e300, "1e+300"}, {-1e300, "-1e+300"}, {std::numeric_limits<double>::infinity(), "inf"}};
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = original;
        std::memcpy(bytes.data() + at, &c.days, sizeof c.days);
        Outcome o = readEverything(bytes);
        ASSERT_TRUE(o.status.ok()) << o.status.toString();
        EXPECT_NE(o.digest.find(std::string(",") + c.text + ","), std::string::npos) << c.text;
    }
}

// Row offset tables: order, bounds, overlap with the table itself, and overflow pointers.
std::vector<Damage> rowTableDamages(const Survey& s, const std::vector<uint8_t>& original) {
    std::vector<Damage> d;
    const Survey* sp = &s;
    const uint32_t page = s.dataPages[0];
    RowId first{};
    for (RowId r : s.rows) {
        if (r.page == page) {
            first = r;
            break;
        }
    }
    const uint32_t slot = first.row;
    d.push_back({"row offset past the page",
                 [sp, page, slot](std::vector<uint8_t>& f) { storeSlotWord(f, *sp, page, slot, 0x1FFF); },
                 page});
    d.push_back({"row offset inside the offset table",
                 [sp, page, slot](std::vector<uint8_t>& f) {
                     storeSlotWord(f, *sp, page, slot, static_cast<uint16_t>(sp->layout.dataRowTableOffset));
                 },
                 page});
    d.push_back({"row offset zero-length row",
                 [sp, page, slot](std::vector<uint8_t>& f) {
                     uint16_t end = slot == 0 ? static_cast<uint16_t>(sp->layout.pageSize)
                                              : slotWord(f, *sp, page, slot - 1) & 0x1FFF;
                     storeSlotWord(f, *sp, page, slot, end);
                 },
                 page});
    d.push_back({"row offset one byte long",
                 [sp, page, slot](std::vector<uint8_t>& f) {
                     uint16_t end = slot == 0 ? static_cast<uint16_t>(sp->layout.pageSize)
                                              : slotWord(f, *sp, page, slot - 1) & 0x1FFF;
                     storeSlotWord(f, *sp, page, slot, static_cast<uint16_t>(end - 1));
                 },
                 page});
    const uint16_t slotCount =
        ByteView::load16(original.data() + size_t{page} * s.layout.pageSize + s.layout.dataRowCountOffset);
    if (slot + 1u < slotCount) {
        d.push_back({"row offsets out of order (swapped)",
                     [sp, page, slot](std::vector<uint8_t>& f) {
                         uint16_t a = slotWord(f, *sp, page, slot), b = slotWord(f, *sp, page, slot + 1);
                         storeSlotWord(f, *sp, page, slot, b);
                         storeSlotWord(f, *sp, page, slot + 1, a);
                     },
                     {}});
    }
    for (RowId r : s.overflowSlots) {
        auto pointerAt = [sp, r](std::vector<uint8_t>& f) {
            return pageAt(f, *sp, r.page) + (slotWord(f, *sp, r.page, r.row) & 0x1FFF);
        };
        d.push_back({"overflow pointer to a page past the end",
                     [pointerAt, sp](std::vector<uint8_t>& f) {
                         store32(pointerAt(f), RowId{sp->pageCount + 5, 0}.packed());
                     },
                     s.pageCount + 5});
        d.push_back({"overflow pointer to a missing slot",
                     [pointerAt](std::vector<uint8_t>& f) {
                         uint8_t* p = pointerAt(f);
                         p[0] = 250;  // the row byte
                     },
                     {}});
        d.push_back({"overflow pointer to itself",
                     [pointerAt, r](std::vector<uint8_t>& f) { store32(pointerAt(f), r.packed()); }, r.page});
        d.push_back({"overflow pointer to the header page",
                     [pointerAt](std::vector<uint8_t>& f) {
                         store32(pointerAt(f), RowId{0, 0}.packed());
                     },
                     0});
        break;
    }
    return d;
}

TEST(CorruptionRowOffsets, OrderBoundsOverlapAndOverflowPointers) {
    for (const char* sample : kAllSamples) {
        std::vector<uint8_t> bytes = loadSample(sample);
        Survey s = survey(bytes);
        ASSERT_FALSE(s.dataPages.empty());
        runDamages(sample, rowTableDamages(s, bytes));
    }
}

TEST(CorruptionRowOffsets, OverflowPointerLoopBetweenTwoRowsIsCaught) {
    // Two live rows turned into overflow pointers at each other: a loop the reader must stop and name.
    for (const char* sample : {kJet3, kJet4Overflow}) {
        SCOPED_TRACE(sample);
        std::vector<uint8_t> bytes = loadSample(sample);
        Survey s = survey(bytes);
        ASSERT_GE(s.rows.size(), 2u);
        RowId a = s.rows[0], b = s.rows[1];
        auto link = [&s](std::vector<uint8_t>& f, RowId from, RowId to) {
            uint16_t raw = slotWord(f, s, from.page, from.row);
            storeSlotWord(f, s, from.page, from.row, static_cast<uint16_t>(raw | 0x4000));
            store32(pageAt(f, s, from.page) + (raw & 0x1FFF), to.packed());
        };
        link(bytes, a, b);
        link(bytes, b, a);
        Outcome o = readEverything(bytes, test::optionsFor(sample));
        expectCorruptionAt(o, b.page, "overflow loop");
        EXPECT_NE(o.status.message().find("loop"), std::string::npos) << o.status.toString();
    }
}

// Table definition fields: counts, name lengths and the continuation chain.
std::vector<Damage> tableDefDamages(const Survey& s) {
    std::vector<Damage> d;
    const Survey* sp = &s;
    const FormatLayout& L = s.layout;
    for (const auto& [name, page] : s.tdefs) {
        const uint32_t p = page;
        auto set16 = [sp, p](size_t offset, uint16_t v) {
            return [sp, p, offset, v](std::vector<uint8_t>& f) { store16(pageAt(f, *sp, p) + offset, v); };
        };
        auto set32 = [sp, p](size_t offset, uint32_t v) {
            return [sp, p, offset, v](std::vector<uint8_t>& f) { store32(pageAt(f, *sp, p) + offset, v); };
        };
        auto add16 = [sp, p](size_t offset, int delta) {
            return [sp, p, offset, delta](std::vector<uint8_t>& f) {
                uint8_t* q = pageAt(f, *sp, p) + offset;
                store16(q, static_cast<uint16_t>(ByteView::load16(q) + delta));
            };
        };
        d.push_back({name + " column count huge", set16(L.tdefColumnCountOffset, 0xFFFF), p});
        d.push_back({name + " column count plus one", add16(L.tdefColumnCountOffset, 1), {}});
        d.push_back({name + " column count minus one", add16(L.tdefColumnCountOffset, -1), {}});
        d.push_back({name + " variable column count huge", set16(L.tdefVarColsOffset, 0xFFFF), {}});
        d.push_back({name + " index count huge", set32(L.tdefIndexCountOffset, 0x7FFFFFFF), p});
        d.push_back({name + " physical index count huge", set32(L.tdefRealIndexCountOffset, 0x7FFFFFFF), p});
        d.push_back({name + " physical index count plus one",
                     [sp, p](std::vector<uint8_t>& f) {
                         uint8_t* q = pageAt(f, *sp, p) + sp->layout.tdefRealIndexCountOffset;
                         store32(q, ByteView::load32(q) + 1);
                     },
                     {}});
        d.push_back({name + " continuation loops to itself", set32(4, p), p});
        d.push_back({name + " continuation past the end", set32(4, s.pageCount + 3), s.pageCount + 3});
        d.push_back({name + " continuation to the header page", set32(4, 0xFFFFFF00u), {}});
        // The first column name's length: the names follow the real-index slots and the column entries.
        d.push_back({name + " first column name length",
                     [sp, p](std::vector<uint8_t>& f) {
                         const FormatLayout& L2 = sp->layout;
                         uint8_t* q = pageAt(f, *sp, p);
                         size_t columns = ByteView::load16(q + L2.tdefColumnCountOffset);
                         size_t reals = ByteView::load32(q + L2.tdefRealIndexCountOffset);
                         size_t at =
                             L2.tdefBlockEnd + reals * L2.realIndexSlotSize + columns * L2.columnEntrySize;
                         if (L2.nameLengthSize == 1)
                             q[at] = 0xFF;
                         else
                             store16(q + at, 0xFFFF);
                     },
                     {}});
        d.push_back({name + " first column type unknown",
                     [sp, p](std::vector<uint8_t>& f) {
                         const FormatLayout& L2 = sp->layout;
                         uint8_t* q = pageAt(f, *sp, p);
                         size_t reals = ByteView::load32(q + L2.tdefRealIndexCountOffset);
                         q[L2.tdefBlockEnd + reals * L2.realIndexSlotSize] = 0x7E;
                     },
                     {}});
        d.push_back({name + " first column number huge",
                     [sp, p](std::vector<uint8_t>& f) {
                         const FormatLayout& L2 = sp->layout;
                         uint8_t* q = pageAt(f, *sp, p);
                         size_t reals = ByteView::load32(q + L2.tdefRealIndexCountOffset);
                         store16(q + L2.tdefBlockEnd + reals * L2.realIndexSlotSize + L2.columnNumberOffset,
                                 0xFFF0);
                     },
                     {}});
        d.push_back({name + " first column fixed offset huge",
                     [sp, p](std::vector<uint8_t>& f) {
                         const FormatLayout& L2 = sp->layout;
                         uint8_t* q = pageAt(f, *sp, p);
                         size_t reals = ByteView::load32(q + L2.tdefRealIndexCountOffset);
                         store16(
                             q + L2.tdefBlockEnd + reals * L2.realIndexSlotSize + L2.columnFixedOffsetOffset,
                             0xFFF0);
                     },
                     {}});
        d.push_back({name + " every column swaps fixed and variable",
                     [sp, p](std::vector<uint8_t>& f) {
                         const FormatLayout& L2 = sp->layout;
                         uint8_t* q = pageAt(f, *sp, p);
                         size_t columns = ByteView::load16(q + L2.tdefColumnCountOffset);
                         size_t reals = ByteView::load32(q + L2.tdefRealIndexCountOffset);
                         for (size_t i = 0; i < columns; ++i) {
                             q[L2.tdefBlockEnd + reals * L2.realIndexSlotSize + i * L2.columnEntrySize +
                               L2.columnFlagsOffset] ^= ColumnFlag::Fixed;
                         }
                     },
                     {}});
    }
    // The catalogue's own definition: failures surface at open.
    const uint32_t cat = s.catalogPage;
    d.push_back({"catalogue continuation loops",
                 [sp, cat](std::vector<uint8_t>& f) { store32(pageAt(f, *sp, cat) + 4, cat); }, cat});
    d.push_back({"catalogue column count huge",
                 [sp, cat](std::vector<uint8_t>& f) {
                     store16(pageAt(f, *sp, cat) + sp->layout.tdefColumnCountOffset, 0xFFFF);
                 },
                 cat});
    return d;
}

TEST(CorruptionTableDefinitions, CountsNamesAndContinuationPages) {
    for (const char* sample : kAllSamples) {
        std::vector<uint8_t> bytes = loadSample(sample);
        Survey s = survey(bytes);
        ASSERT_FALSE(s.tdefs.empty());
        runDamages(sample, tableDefDamages(s));
    }
}

// Long values: chains that loop or run off the file, and lengths beyond the file.
TEST(CorruptionLongValues, ChainsPointersAndLengths) {
    for (const char* sample : kAllSamples) {
        std::vector<uint8_t> bytes = loadSample(sample);
        Survey s = survey(bytes);
        const Survey* sp = &s;
        std::vector<Damage> d;
        for (const LongValueRef& lv : s.longValues) {
            if (lv.kind == 0x80) continue;  // inline values have no links
            const size_t at = lv.offset;
            const uint32_t owner = static_cast<uint32_t>(at / s.layout.pageSize);
            d.push_back({"long value length beyond the file",
                         [at](std::vector<uint8_t>& f) {
                             uint32_t word = ByteView::load32(f.data() + at);
                             store32(f.data() + at, (word & 0xC0000000u) | 0x3FFFFFF0u);
                         },
                         owner});
            d.push_back({"long value pointer past the end",
                         [at, sp](std::vector<uint8_t>& f) {
                             store32(f.data() + at + 4, RowId{sp->pageCount + 9, 0}.packed());
                         },
                         owner});
            d.push_back({"long value pointer to a missing slot",
                         [at, lv](std::vector<uint8_t>& f) {
                             store32(f.data() + at + 4, RowId{lv.pointer.page, 255}.packed());
                         },
                         owner});
            if (lv.kind == 0x40) {
                d.push_back({"one-row long value read as a chain",
                             [at, lv](std::vector<uint8_t>& f) { store32(f.data() + at, lv.length); },
                             {}});
            }
            // A chain's first row: make its next link point at itself.
            d.push_back({"long value chain loops",
                         [at, lv, sp](std::vector<uint8_t>& f) {
                             store32(f.data() + at,
                                     (lv.length + 64 * 1024) & 0x3FFFFFFF);  // chain kind, longer
                             uint8_t* p = pageAt(f, *sp, lv.pointer.page);
                             uint16_t raw = slotWord(f, *sp, lv.pointer.page, lv.pointer.row);
                             store32(p + (raw & 0x1FFF), lv.pointer.packed());
                         },
                         owner});
            if (d.size() >= 15) break;
        }
        if (d.empty()) continue;
        runDamages(sample, d);
    }
}

// Index pages: next-page loops, bitmasks and prefix lengths.
TEST(CorruptionIndexPages, LinksBitmasksPrefixesAndUsageMaps) {
    for (const char* sample : kAllSamples) {
        std::vector<uint8_t> original = loadSample(sample);
        Survey s = survey(original);
        const Survey* sp = &s;
        std::vector<Damage> d;
        const FormatLayout& L = s.layout;
        for (const IndexRef& index : s.indexes) {
            if (index.leaves.empty()) continue;
            const uint32_t leaf = index.leaves.back();
            const uint32_t first = index.leaves.front();
            d.push_back({index.name + " last leaf links to the first (a loop)",
                         [sp, leaf, first](std::vector<uint8_t>& f) {
                             store32(pageAt(f, *sp, leaf) + sp->layout.indexNextPageOffset, first);
                         },
                         first});
            d.push_back({index.name + " leaf links to itself",
                         [sp, leaf](std::vector<uint8_t>& f) {
                             store32(pageAt(f, *sp, leaf) + sp->layout.indexNextPageOffset, leaf);
                         },
                         leaf});
            d.push_back({index.name + " leaf links past the end",
                         [sp, leaf](std::vector<uint8_t>& f) {
                             store32(pageAt(f, *sp, leaf) + sp->layout.indexNextPageOffset,
                                     sp->pageCount + 2);
                         },
                         s.pageCount + 2});
            d.push_back({index.name + " leaf links to a data page",
                         [sp, leaf](std::vector<uint8_t>& f) {
                             store32(pageAt(f, *sp, leaf) + sp->layout.indexNextPageOffset, sp->dataPages[0]);
                         },
                         s.dataPages[0]});
            d.push_back({index.name + " bitmask all set",
                         [sp, first, L](std::vector<uint8_t>& f) {
                             uint8_t* p = pageAt(f, *sp, first);
                             std::fill(p + L.indexBitmaskOffset, p + L.indexFirstEntryOffset, 0xFF);
                         },
                         first});
            const uint8_t* firstBytes = original.data() + size_t{first} * L.pageSize;
            bool hasEntries =
                std::any_of(firstBytes + L.indexBitmaskOffset, firstBytes + L.indexFirstEntryOffset,
                            [](uint8_t b) { return b != 0; });
            if (hasEntries) {
                d.push_back({index.name + " prefix longer than the first entry",
                             [sp, first, L](std::vector<uint8_t>& f) {
                                 store16(pageAt(f, *sp, first) + L.indexPrefixLengthOffset, 0xFFFF);
                             },
                             first});
            }
            if (hasEntries)
                d.push_back({index.name + " bitmask cleared",
                             [sp, first, L](std::vector<uint8_t>& f) {
                                 uint8_t* p = pageAt(f, *sp, first);
                                 std::fill(p + L.indexBitmaskOffset, p + L.indexFirstEntryOffset, 0x00);
                             },
                             {}});
            d.push_back({index.name + " bitmask's last byte set",
                         [sp, first, L](std::vector<uint8_t>& f) {
                             pageAt(f, *sp, first)[L.indexFirstEntryOffset - 1] = 0x80;
                         },
                         {}});
            if (hasEntries)
                d.push_back(
                    {index.name + " entry row pointers to a missing page",
                     [sp, first, L](std::vector<uint8_t>& f) {
                         // The first entry's row pointer: the 4 bytes before the first bitmask bit.
                         uint8_t* p = pageAt(f, *sp, first);
                         for (size_t byte = L.indexBitmaskOffset; byte < L.indexFirstEntryOffset; ++byte) {
                             if (p[byte] == 0) continue;
                             int bit = __builtin_ctz(p[byte]);
                             size_t end = L.indexFirstEntryOffset + (byte - L.indexBitmaskOffset) * 8 + bit;
                             p[end - 4] = 0x7F;  // page high byte (big-endian)
                             break;
                         }
                     },
                     {}});
            for (uint32_t node : index.nodes) {
                d.push_back(
                    {index.name + " node's child is itself",
                     [sp, node, L](std::vector<uint8_t>& f) {
                         uint8_t* p = pageAt(f, *sp, node);
                         for (size_t byte = L.indexBitmaskOffset; byte < L.indexFirstEntryOffset; ++byte) {
                             if (p[byte] == 0) continue;
                             int bit = __builtin_ctz(p[byte]);
                             size_t end = L.indexFirstEntryOffset + (byte - L.indexBitmaskOffset) * 8 + bit;
                             p[end - 4] = static_cast<uint8_t>(node >> 24);
                             p[end - 3] = static_cast<uint8_t>(node >> 16);
                             p[end - 2] = static_cast<uint8_t>(node >> 8);
                             p[end - 1] = static_cast<uint8_t>(node);
                             break;
                         }
                     },
                     {}});
            }
        }
        // Usage maps: unknown type, pages beyond the file, map pages that are not map pages.
        for (RowId map : s.usageMaps) {
            auto mapBytes = [sp, map](std::vector<uint8_t>& f) {
                return pageAt(f, *sp, map.page) + (slotWord(f, *sp, map.page, map.row) & 0x1FFF);
            };
            d.push_back({"usage map type unknown",
                         [mapBytes](std::vector<uint8_t>& f) { mapBytes(f)[0] = 0x07; }, map.page});
            d.push_back({"usage map as a map of map pages",
                         [mapBytes](std::vector<uint8_t>& f) {
                             uint8_t* m = mapBytes(f);
                             m[0] = 0x01;
                         },
                         {}});
            d.push_back({"usage map start beyond the file",
                         [mapBytes](std::vector<uint8_t>& f) {
                             uint8_t* m = mapBytes(f);
                             if (m[0] == 0)
                                 store32(m + 1, 0x00FFFFF0);
                             else
                                 store32(m + 1, 0x00FFFFF0);  // a map page past the end
                         },
                         map.page});
            d.push_back({"usage map of map pages pointing at a data page",
                         [mapBytes, sp](std::vector<uint8_t>& f) {
                             uint8_t* m = mapBytes(f);
                             m[0] = 0x01;
                             store32(m + 1, sp->dataPages[0]);
                         },
                         map.page});
            break;
        }
        if (!d.empty()) runDamages(sample, d);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Damage that reads as plausible data unless the reader checks what it can check cheaply.

// Every single-bit flip of a user table's pointer to its list of pages: the table reads as before, or the
// read fails with a Corruption that names a page. Pointing at another map, one that lists no page or too
// few, must not turn the table into an empty or shorter one without a word.
TEST(CorruptionCheapChecks, AFlippedPointerToATablesPagesNeverLosesRowsSilently) {
    for (const char* sample : kAllSamples) {
        std::vector<uint8_t> original = loadSample(sample);
        Survey s = survey(original);
        OpenOptions options = test::optionsFor(sample);
        const Outcome clean = readEverything(original, options);
        ASSERT_TRUE(clean.status.ok());
        int caught = 0;
        for (const auto& [table, page] : s.tdefs) {
            for (int bit = 0; bit < 32; ++bit) {
                SCOPED_TRACE(std::string(sample) + " table " + table + " bit " + std::to_string(bit));
                std::vector<uint8_t> bytes = original;
                bytes[size_t{page} * s.layout.pageSize + s.layout.tdefUsedPagesOffset + bit / 8] ^=
                    static_cast<uint8_t>(1u << (bit % 8));
                Outcome o = readEverything(std::move(bytes), options);
                expectClean(o, "flipped pointer");
                if (o.status.ok()) {
                    EXPECT_EQ(o.digest, clean.digest) << "rows changed without an error";
                } else {
                    ++caught;
                    EXPECT_NE(o.status.message().find("page "), std::string::npos) << o.status.toString();
                }
            }
        }
        EXPECT_GT(caught, 0) << sample;
    }
}

// A fixed-width column whose definition lost its Fixed flag would be read out of another column's bytes:
// the definition is refused, naming its page.
TEST(CorruptionCheapChecks, AFixedWidthColumnWithoutItsFixedFlagIsRefused) {
    size_t damaged = 0;
    for (const std::string& path : test::sampleFiles()) {
        std::string name = path.substr(path.rfind('/') + 1);
        const char* sample = name.c_str();
        std::vector<uint8_t> original = loadSample(sample);
        Survey s = survey(original);
        auto db = Database::open(std::make_unique<MemoryFile>(original, true), test::optionsFor(sample));
        ASSERT_TRUE(db.ok());
        std::vector<Damage> damages;
        const Survey* sp = &s;
        for (const auto& [table, page] : s.tdefs) {
            auto def = (*db)->table(table);
            ASSERT_TRUE(def.ok());
            const uint32_t p = page;
            const size_t reals = (*def)->realIndexes.size();
            // Column entries are stored in the order of their names, which the definition keeps apart from
            // the column numbers: find each entry by its number.
            for (const ColumnDef& c : (*def)->columns) {
                if (!c.isFixed() || c.type == ColumnType::Boolean) continue;
                const uint16_t number = c.number;
                damages.push_back({table + " column " + c.name + " without its Fixed flag",
                                   [sp, p, reals, number](std::vector<uint8_t>& f) {
                                       const FormatLayout& L = sp->layout;
                                       uint8_t* q = pageAt(f, *sp, p);
                                       size_t columns = ByteView::load16(q + L.tdefColumnCountOffset);
                                       uint8_t* entries = q + L.tdefBlockEnd + reals * L.realIndexSlotSize;
                                       for (size_t i = 0; i < columns; ++i) {
                                           uint8_t* e = entries + i * L.columnEntrySize;
                                           if (ByteView::load16(e + L.columnNumberOffset) == number)
                                               e[L.columnFlagsOffset] &=
                                                   static_cast<uint8_t>(~ColumnFlag::Fixed);
                                       }
                                   },
                                   p});
            }
        }
        damaged += damages.size();
        runDamages(sample, damages);
    }
    EXPECT_GT(damaged, 50u);
}

// A row offset moved into the row stored after it (lower on the page): the row's bytes would begin with
// the other row's. A scan meets the damage at the next row anyway; a row read alone (an index seek, a
// lookup by position) must meet it at the row itself, whose own parse may not notice (a Jet 3 row carries
// little else to check).
TEST(CorruptionCheapChecks, ARowOffsetInsideAnotherRowIsRefused) {
    for (const char* sample : {kJet3, kJet3Overflow, kJet4Overflow}) {
        std::vector<uint8_t> original = loadSample(sample);
        Survey s = survey(original);
        auto source = Database::open(std::make_unique<MemoryFile>(original, true), test::optionsFor(sample));
        ASSERT_TRUE(source.ok());
        // Each live row with a slot after it, and its table.
        std::vector<std::pair<RowId, std::string>> targets;
        for (const auto& [table, page] : s.tdefs) {
            auto def = (*source)->table(table);
            auto cursor = (*source)->scan(*def);
            while (cursor.ok() && cursor->next().value()) {
                RowId r = cursor->rowId();
                uint16_t count = ByteView::load16(pageAt(original, s, r.page) + s.layout.dataRowCountOffset);
                if (r.row + 1u < count) targets.emplace_back(r, table);
            }
        }
        ASSERT_FALSE(targets.empty()) << sample;
        for (const auto& [r, table] : targets) {
            for (uint16_t into : {1, 2, 7}) {
                SCOPED_TRACE(std::string(sample) + " page " + std::to_string(r.page) + " row " +
                             std::to_string(r.row) + ", " + std::to_string(into) +
                             " bytes into the next row");
                std::vector<uint8_t> bytes = original;
                uint16_t raw = slotWord(bytes, s, r.page, r.row);
                uint16_t next = slotWord(bytes, s, r.page, r.row + 1) & kRowOffsetMask;
                storeSlotWord(bytes, s, r.page, r.row,
                              static_cast<uint16_t>((raw & ~kRowOffsetMask) | (next - into)));
                auto db = Database::open(std::make_unique<MemoryFile>(bytes, true), test::optionsFor(sample));
                ASSERT_TRUE(db.ok());
                auto def = (*db)->table(table);
                ASSERT_TRUE(def.ok());
                RowCursor reader = (*db)->scan(*def).value();
                Result<bool> found = (*db)->readRow(reader, *def, r);
                Outcome o;
                o.status = found.status();
                expectCorruptionAt(o, r.page, "row read alone");
            }
        }
    }
}

// Random damage with a fixed seed, biased towards the pages that hold structure.
TEST(CorruptionRandomFlips, FixedSeedManyIterations) {
    for (const char* sample : kAllSamples) {
        std::vector<uint8_t> original = loadSample(sample);
        ASSERT_FALSE(original.empty());
        Survey s = survey(original);
        std::vector<uint32_t> hot{s.catalogPage};
        for (const auto& t : s.tdefs) hot.push_back(t.second);
        hot.insert(hot.end(), s.dataPages.begin(), s.dataPages.end());
        for (const IndexRef& i : s.indexes) {
            hot.insert(hot.end(), i.leaves.begin(), i.leaves.end());
            hot.insert(hot.end(), i.nodes.begin(), i.nodes.end());
        }
        for (RowId m : s.usageMaps) hot.push_back(m.page);
        OpenOptions options = test::optionsFor(sample);
        std::mt19937 rng(20240601);
        for (int iteration = 0; iteration < 1500; ++iteration) {
            std::vector<uint8_t> bytes = original;
            int flips = 1 + static_cast<int>(rng() % 6);
            for (int k = 0; k < flips; ++k) {
                size_t at;
                if (rng() % 4 != 0) {
                    // A structural page, mostly its header and row or entry tables (the first 512 bytes).
                    uint32_t page = hot[rng() % hot.size()];
                    size_t in = rng() % 2 == 0 ? rng() % 512 : rng() % s.layout.pageSize;
                    at = size_t{page} * s.layout.pageSize + in;
                } else {
                    at = rng() % bytes.size();
                }
                switch (rng() % 3) {
                    case 0:
                        bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
                        break;
                    case 1:
                        bytes[at] = static_cast<uint8_t>(rng());
                        break;
                    default:
                        bytes[at] = rng() % 2 ? 0xFF : 0x00;
                        break;
                }
            }
            Outcome o = readEverything(std::move(bytes), options);
            expectClean(o, std::string(sample) + " iteration " + std::to_string(iteration));
            if (HasFailure()) return;
        }
    }
}

}  // namespace
}  // namespace jet

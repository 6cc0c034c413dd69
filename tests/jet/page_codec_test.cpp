// Header pages, data pages, long values and table definitions: what the writer encodes the reader decodes,
// packing keeps slot numbers, and damaged pages and descriptors are refused with a reason instead of read out
// of bounds.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "codec/data_page.h"
#include "codec/header.h"
#include "codec/long_value.h"
#include "codec/table_definition.h"
#include "core/text.h"
#include "storage/format.h"

namespace jet {
namespace {

const FormatLayout& L = formatLayout(Version::Jet4);

ByteView viewOf(const std::vector<uint8_t>& page) {
    return ByteView(page.data(), page.size());
}

std::string rowText(const std::vector<uint8_t>& page, uint16_t slot) {
    auto data = DataPage::open(viewOf(page), L, 7);
    EXPECT_TRUE(data.ok()) << data.status().message();
    auto span = data->slot(slot);
    EXPECT_TRUE(span.ok()) << span.status().message();
    return std::string(reinterpret_cast<const char*>(page.data()) + span->start, span->end - span->start);
}

TEST(DataPageCodec, RowsReadBackAndKeepTheirSlotsThroughPacking) {
    std::vector<uint8_t> page;
    datapage::init(page, L, 42);
    const uint32_t empty = datapage::freeSpace(page);
    EXPECT_EQ(datapage::addRow(page, L, "first"), 0);
    EXPECT_EQ(datapage::addRow(page, L, "second", kOverflowRowFlag), 1);
    EXPECT_EQ(datapage::addRow(page, L, "third"), 2);
    EXPECT_EQ(datapage::freeSpace(page), empty - (5 + 6 + 5) - 3 * 2);

    ASSERT_TRUE(datapage::rewriteRow(page, L, 0, {}, kFreedRowFlags));
    ASSERT_TRUE(datapage::rewriteRow(page, L, 2, "a longer third row", 0));
    auto data = DataPage::open(viewOf(page), L, 7);
    ASSERT_TRUE(data.ok());
    EXPECT_EQ(data->owner(), 42u);
    EXPECT_EQ(data->rowCount(), 3);
    EXPECT_EQ(data->flags(0), kFreedRowFlags);
    EXPECT_EQ(data->flags(1), kOverflowRowFlag) << "packing keeps the flags of rows it moves";
    EXPECT_EQ(rowText(page, 1), "second");
    EXPECT_EQ(rowText(page, 2), "a longer third row");
    EXPECT_EQ(datapage::packedFree(page, L), datapage::freeSpace(page));
    EXPECT_TRUE(data->checkForWriting(42).ok());
    EXPECT_FALSE(data->checkForWriting(43).ok()) << "a page of another table";
}

TEST(DataPageCodec, FullPagesRefuseRowsAndLeaveThePageAlone) {
    std::vector<uint8_t> page;
    datapage::init(page, L, 1);
    const std::string largest(datapage::largestRow(L), 'x');
    EXPECT_EQ(datapage::addRow(page, L, largest), 0);
    EXPECT_EQ(datapage::addRow(page, L, "y"), -1);
    const std::vector<uint8_t> before = page;
    EXPECT_FALSE(datapage::rewriteRow(page, L, 0, largest + "z", 0));
    EXPECT_EQ(page, before);

    std::vector<uint8_t> many;
    datapage::init(many, L, 1);
    int slot = 0;
    while (slot >= 0 && slot < 1000) slot = datapage::addRow(many, L, "");
    EXPECT_EQ(DataPage::open(viewOf(many), L, 1)->rowCount(), 255)
        << "a row pointer holds the slot in a byte";
}

TEST(DataPageCodec, DamagedPagesAreRefused) {
    std::vector<uint8_t> good;
    datapage::init(good, L, 5);
    datapage::addRow(good, L, "row zero");
    datapage::addRow(good, L, "row one");
    struct Case {
        const char* name;
        uint32_t offset;
        uint16_t value;
        bool opens;  // the damage shows once a row is read
    };
    const Case cases[] = {
        {"another page type", 0, 0x0102, false},
        {"a row count past the page", L.dataRowCountOffset, 0x0900, false},
        {"a row starting inside the row table", L.dataRowTableOffset + 2, 4, true},
        {"a row ending past the next one", L.dataRowTableOffset, 0x0FF0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> page = good;
        store16(page.data() + c.offset, c.value);
        auto data = DataPage::open(viewOf(page), L, 9);
        ASSERT_EQ(data.ok(), c.opens);
        if (!c.opens) continue;
        EXPECT_FALSE(data->slot(0).ok() && data->slot(1).ok());
        EXPECT_FALSE(data->checkForWriting(5).ok());
    }
}

// Long-value rows by id, as a page of them would hand them out.
struct RowStore {
    std::map<uint32_t, std::string> rows;
    LongValueRowFetch fetch() {
        return [this](RowId id) -> Result<ByteView> {
            auto it = rows.find(id.packed());
            if (it == rows.end()) return Status::Corruption("no such row");
            return ByteView(reinterpret_cast<const uint8_t*>(it->second.data()), it->second.size());
        };
    }
    Result<std::string> read(const std::string& field) {
        auto value = decodeLongValue(ByteView(reinterpret_cast<const uint8_t*>(field.data()), field.size()));
        if (!value.ok()) return value.status();
        if (value->kind == LongValueKind::Inline)
            return std::string(reinterpret_cast<const char*>(value->inlineBytes.data()), value->length);
        std::string out;
        Status walked = walkLongValue(*value, fetch(), [&out](RowId, ByteView piece) {
            out.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        });
        if (!walked.ok()) return walked;
        return out;
    }
};

TEST(LongValueCodec, EveryKindReadsBack) {
    RowStore store;
    EXPECT_EQ(*store.read(encodeInlineLongValue("short memo")), "short memo");
    EXPECT_EQ(*store.read(encodeInlineLongValue("")), "");

    store.rows[RowId{3, 1}.packed()] = "one row of text, and bytes past the length";
    EXPECT_EQ(*store.read(encodeLongValueDescriptor(LongValueKind::Single, 16, RowId{3, 1})),
              "one row of text,");

    store.rows[RowId{4, 0}.packed()] = encodeChainRow(RowId{5, 2}, "first half ");
    store.rows[RowId{5, 2}.packed()] = encodeChainRow(RowId{}, "second half");
    EXPECT_EQ(*store.read(encodeLongValueDescriptor(LongValueKind::Chain, 22, RowId{4, 0})),
              "first half second half");
}

TEST(LongValueCodec, DamagedValuesAreRefused) {
    RowStore store;
    store.rows[RowId{3, 0}.packed()] = "tiny";
    store.rows[RowId{4, 0}.packed()] = encodeChainRow(RowId{4, 1}, "ab");
    store.rows[RowId{4, 1}.packed()] = encodeChainRow(RowId{4, 0}, "cd");  // back to the start
    store.rows[RowId{6, 0}.packed()] = encodeChainRow(RowId{}, "ab");
    store.rows[RowId{7, 0}.packed()] = "xy";
    struct Case {
        const char* name;
        std::string field;
        const char* reason;
    };
    const Case cases[] = {
        {"a descriptor cut short", encodeInlineLongValue("abc").substr(0, 8), "shorter than 12 bytes"},
        {"an inline value past its field", encodeInlineLongValue("abc").substr(0, 13), "overruns"},
        {"a row shorter than the value", encodeLongValueDescriptor(LongValueKind::Single, 10, RowId{3, 0}),
         "shorter than its length"},
        {"a missing row", encodeLongValueDescriptor(LongValueKind::Single, 1, RowId{9, 9}), "no such row"},
        {"a chain that loops", encodeLongValueDescriptor(LongValueKind::Chain, 100, RowId{4, 0}), "loops"},
        {"a chain that ends early", encodeLongValueDescriptor(LongValueKind::Chain, 5, RowId{6, 0}),
         "ends early"},
        {"a chain row without its pointer", encodeLongValueDescriptor(LongValueKind::Chain, 5, RowId{7, 0}),
         "too short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto read = store.read(c.field);
        ASSERT_FALSE(read.ok());
        EXPECT_NE(read.status().message().find(c.reason), std::string::npos) << read.status().message();
    }
}

TEST(HeaderCodec, NewHeadersDecodeAndDamagedOnesAreRefused) {
    const std::vector<uint8_t> page = encodeJet4Header(45000.5);
    auto header = decodeHeader(viewOf(page));
    ASSERT_TRUE(header.ok()) << header.status().message();
    EXPECT_EQ(header->version, Version::Jet4);
    EXPECT_EQ(header->codePage, 1252);
    EXPECT_EQ(header->sortOrder.id, kGeneralSortOrder);

    struct Case {
        const char* name;
        uint32_t offset;
        uint8_t value;
        Status::Code code;
    };
    const Case cases[] = {
        {"another signature", 4, 'X', Status::Code::Corruption},
        {"not a header page", 0, 1, Status::Code::Corruption},
        {"an unknown version", 0x14, 0x09, Status::Code::NotSupported},
        {"encrypted pages", 0x3E, 0x5A, Status::Code::NotSupported},  // scrambled, so any change sets a key
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> damaged = page;
        damaged[c.offset] ^= c.value;
        auto decoded = decodeHeader(viewOf(damaged));
        ASSERT_FALSE(decoded.ok());
        EXPECT_EQ(decoded.status().code(), c.code) << decoded.status().message();
    }
    EXPECT_FALSE(decodeHeader(ByteView(page.data(), 100)).ok()) << "a file cut short";
}

TableDef sampleDefinition() {
    TableDef def;
    def.name = "Items";
    def.rowCount = 1234;
    def.autoNumber = 99;
    def.maxColumns = 3;
    def.variableColumns = 2;
    def.usedPagesRef = RowId{1, 4}.packed();
    def.freePagesRef = RowId{1, 5}.packed();
    ColumnDef id;
    id.name = "ID";
    id.type = ColumnType::Long;
    id.length = 4;
    id.flags = ColumnFlag::Fixed | ColumnFlag::AutoLong;
    ColumnDef name;
    name.name = "名称";
    name.number = 1;
    name.length = 100;
    name.compressedUnicode = true;
    name.sortOrder = {kGeneralSortOrder, 1};
    ColumnDef price;
    price.name = "Price";
    price.type = ColumnType::Numeric;
    price.number = 2;
    price.varIndex = 1;
    price.precision = 18;
    price.scale = 4;
    def.columns = {id, name, price};
    def.realIndexes = {RealIndexDef{{{0, true}}, RowId{1, 6}.packed(), 7, IndexFlag::Unique, 1234},
                       RealIndexDef{{{1, true}, {2, false}}, RowId{1, 7}.packed(), 8, 0, 1200}};
    def.indexes = {IndexDef{"PrimaryKey", 0, 0, IndexDef::Kind::Primary}, IndexDef{"ByName", 1, 1}};
    return def;
}

Result<DecodedDefinition> decode(const std::vector<uint8_t>& bytes) {
    return decodeTableDefinition(viewOf(bytes), L, decodeJet4Text);
}

TEST(TableDefinitionCodec, EncodedDefinitionsDecodeToTheSameTable) {
    const TableDef def = sampleDefinition();
    const std::vector<LongValueMaps> maps = {{2, RowId{1, 8}.packed(), RowId{1, 9}.packed()}};
    auto page = encodeTableDefinition(def, maps, false, L);
    ASSERT_TRUE(page.ok()) << page.status().message();
    ASSERT_EQ(page->size(), L.pageSize);

    TableDef counted = def;
    counted.rowCount = 5000;
    counted.autoNumber = 6000;
    counted.realIndexes[1].entryCount = 4999;
    encodeTableCounters(*page, counted, L);

    auto decoded = decode(*page);
    ASSERT_TRUE(decoded.ok()) << decoded.status().message();
    const TableDef& got = decoded->def;
    EXPECT_EQ(got.rowCount, 5000u);
    EXPECT_EQ(got.autoNumber, 6000u);
    EXPECT_EQ(got.usedPagesRef, def.usedPagesRef);
    EXPECT_EQ(got.freePagesRef, def.freePagesRef);
    ASSERT_EQ(got.columns.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(def.columns[i].name);
        const ColumnDef& a = def.columns[i];
        const ColumnDef& b = got.columns[i];
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.type, a.type);
        EXPECT_EQ(std::tie(b.number, b.varIndex, b.length, b.flags, b.compressedUnicode),
                  std::tie(a.number, a.varIndex, a.length, a.flags, a.compressedUnicode));
        EXPECT_EQ(std::tie(b.precision, b.scale), std::tie(a.precision, a.scale));
    }
    EXPECT_EQ(got.columns[1].sortOrder.version, 1);
    ASSERT_EQ(got.realIndexes.size(), 2u);
    EXPECT_EQ(got.realIndexes[1].entryCount, 4999u);
    EXPECT_EQ(got.realIndexes[1].rootPage, 8u);
    ASSERT_EQ(got.realIndexes[1].columns.size(), 2u);
    EXPECT_FALSE(got.realIndexes[1].columns[1].ascending);
    EXPECT_TRUE(got.realIndexes[0].unique());
    ASSERT_EQ(got.indexes.size(), 2u);
    EXPECT_EQ(got.indexes[0].name, "PrimaryKey");
    EXPECT_EQ(got.indexes[0].kind, IndexDef::Kind::Primary);
    EXPECT_EQ(got.indexes[1].realIndex, 1u);

    auto lvMaps = decodeLongValueMaps(viewOf(*page), decoded->tail);
    ASSERT_TRUE(lvMaps.ok()) << lvMaps.status().message();
    ASSERT_EQ(lvMaps->size(), 1u);
    EXPECT_EQ((*lvMaps)[0].usedRef, maps[0].usedRef);
}

TEST(TableDefinitionCodec, DamagedDefinitionsAreRefused) {
    auto good = encodeTableDefinition(sampleDefinition(), {}, false, L);
    ASSERT_TRUE(good.ok());
    // Column names "ID", "名称" and "Price" in UCS-2, each after a 2-byte length.
    const uint32_t realIndexes =
        L.tdefBlockEnd + 2 * L.realIndexSlotSize + 3 * L.columnEntrySize + (2 + 4) + (2 + 4) + (2 + 10);
    const uint32_t firstIndexColumn = realIndexes + L.realIndexColumnsOffset;
    const uint32_t firstLogicalTarget =
        realIndexes + 2 * L.realIndexEntrySize + L.logicalIndexNumberOffset + 4;
    struct Case {
        const char* name;
        uint32_t offset;
        uint32_t value;
        const char* reason;
    };
    const Case cases[] = {
        {"a column count no page holds", L.tdefColumnCountOffset, 0xFFFF, "exceeds"},
        {"an index count no page holds", L.tdefRealIndexCountOffset, 0x00FFFFFF, "exceeds"},
        {"an index on a missing column", firstIndexColumn, 0x0042, "missing column"},
        {"an index on a missing physical index", firstLogicalTarget, 5, "missing physical index 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> page = *good;
        store32(page.data() + c.offset, c.value);
        if (c.offset == firstIndexColumn) store16(page.data() + c.offset, static_cast<uint16_t>(c.value));
        auto decoded = decode(page);
        ASSERT_FALSE(decoded.ok());
        EXPECT_NE(decoded.status().message().find(c.reason), std::string::npos) << decoded.status().message();
    }

    std::vector<uint8_t> looping = *good;
    store32(looping.data() + 4, 3);  // continues on itself
    auto gathered =
        gatherTableDefinition(3, [&looping](uint32_t) -> Result<ByteView> { return viewOf(looping); });
    ASSERT_FALSE(gathered.ok());
    EXPECT_NE(gathered.status().message().find("loops"), std::string::npos);
}

}  // namespace
}  // namespace jet

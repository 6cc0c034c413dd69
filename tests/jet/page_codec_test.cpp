// Data pages and long values: what the writer encodes the reader decodes, packing keeps slot numbers,
// and damaged pages and descriptors are refused with a reason instead of read out of bounds.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "codec/data_page.h"
#include "codec/long_value.h"
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

}  // namespace
}  // namespace jet

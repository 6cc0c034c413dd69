// Usage maps as the writer writes them, read back through the reader's decoder: the pages on either side
// of a bitmap's boundary (the last page an inline bitmap holds, a reference map's page (j+1)·32,736) land
// in exactly the bitmap that owns them, and nothing of the page around the map changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/usage_map.h"
#include "jet/writer.h"
#include "table/engine.h"
#include "test_support.h"
#include "write/internal.h"

namespace jet {
namespace {

using writer::kLayout;
const uint32_t kPerBitmap = pagesPerBitmapPage(kLayout);  // 32,736

/// A writer-made file with one table T, in memory, and the reference of T's owned-pages map.
struct MapFile {
    std::vector<uint8_t> bytes;
    uint32_t mapRef = 0;
};

MapFile mapFile() {
    std::string path = test::tempDir() + "/maps.mdb";
    EXPECT_TRUE(createDatabase(path).ok());
    std::unique_ptr<Database> db = test::openForWriting(path);
    ColumnSpec id;
    id.name = "ID";
    id.type = ColumnType::Long;
    EXPECT_TRUE(createTable(*db, TableSpec{"T", {id}, {}}, {{int64_t{1}}}).ok());
    MapFile f;
    f.mapRef = db->table("T").value()->usedPagesRef;
    db.reset();
    f.bytes = readWholeFile(path).value();
    return f;
}

/// Writes `listed` into the map at `ref` of `file` in one transaction; the pages the map lists, read back
/// by the reader's decoder as if the file held `pageCount` pages, and the transaction's bytes.
struct Written {
    std::vector<uint32_t> decoded;
    std::vector<uint8_t> mapPageBefore, mapPageAfter;
    RowSlot row;
};

Written writeAndDecode(MemoryFile& file, uint32_t ref, const std::vector<uint32_t>& listed,
                       uint32_t pageCount) {
    Written w;
    Pager pager(file, kLayout.pageSize, 64);
    PageTransaction pages(pager);
    RowId id = RowId::fromPacked(ref);
    w.mapPageBefore = *pages.read(id.page).value();
    EXPECT_TRUE(writer::writePageList(pages, ref, listed).ok());
    w.mapPageAfter = *pages.read(id.page).value();
    DataPage page = writer::readDataPage(pages, id.page).value();
    w.row = page.slot(id.row).value();
    auto fetch = [&pages](uint32_t number) -> Result<ByteView> {
        JET_ASSIGN_OR_RETURN(const Page* bitmap, pages.read(number));
        return ByteView(bitmap->data(), bitmap->size());
    };
    ByteView row(w.mapPageAfter.data() + w.row.start, w.row.end - w.row.start);
    auto decoded = decodeUsageMap(row, kLayout, pageCount, fetch, "map");
    EXPECT_TRUE(decoded.ok()) << decoded.status().toString();
    if (decoded.ok()) w.decoded = *decoded;
    return w;
}

void expectOnlyTheRowChanged(const Written& w) {
    for (size_t i = 0; i < w.mapPageAfter.size(); ++i) {
        if (i >= w.row.start && i < w.row.end) continue;
        ASSERT_EQ(w.mapPageAfter[i], w.mapPageBefore[i]) << "byte " << i << " outside the map row changed";
    }
}

TEST(UsageMaps, PagesOnEitherSideOfABitmapBoundaryLandInTheirOwnBitmap) {
    const MapFile f = mapFile();
    MemoryFile probe(f.bytes);
    const uint32_t inlineCapacity = [&] {
        Written w = writeAndDecode(probe, f.mapRef, {}, 10);
        return (w.row.end - w.row.start - 5) * 8;
    }();
    ASSERT_GT(inlineCapacity, 64u);
    struct Case {
        const char* name;
        std::vector<uint32_t> listed;
    };
    const uint32_t K = kPerBitmap;
    const std::vector<Case> cases = {
        {"inline, first and last page it holds", {0, inlineCapacity - 1}},
        {"inline from a later start, up to its last page", {800, 800 + inlineCapacity - 8 - 1}},
        {"reference, last page of the first bitmap", {K - 1}},
        {"reference, first page of the second bitmap", {K}},
        {"reference, both sides of the first boundary", {K - 2, K - 1, K, K + 1}},
        {"reference, both sides of the second boundary", {3, 2 * K - 1, 2 * K}},
        {"reference, each boundary of four bitmaps",
         {0, K - 1, K, 2 * K - 1, 2 * K, 3 * K - 1, 3 * K, 4 * K - 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFile file(f.bytes);
        Written w = writeAndDecode(file, f.mapRef, c.listed, 5 * K);
        EXPECT_EQ(w.decoded, c.listed);
        expectOnlyTheRowChanged(w);
    }
}

// The global map marks free pages, and every page past the end of the file is free: written for a file of
// a given length, it lists exactly the pages from that length to the end of its bitmap, and keeps to its row.
TEST(UsageMaps, TheGlobalMapMarksEveryPagePastTheEndAndKeepsToItsRow) {
    const MapFile f = mapFile();
    MemoryFile file(f.bytes);
    Pager pager(file, kLayout.pageSize, 64);
    PageTransaction pages(pager);
    for (int i = 0; i < 5; ++i) pages.allocate();
    RowId id = RowId::fromPacked(writer::kGlobalMapRef);
    const Page before = *pages.read(id.page).value();
    ASSERT_TRUE(writer::writeGlobalMap(pages).ok());
    const Page after = *pages.read(id.page).value();
    RowSlot row = writer::readDataPage(pages, id.page).value().slot(id.row).value();
    ByteView bytes(after.data() + row.start, row.end - row.start);
    ASSERT_EQ(bytes.data()[0], 0) << "an inline map";
    uint32_t start = ByteView::load32(bytes.data() + 1);
    uint32_t end = start + (row.end - row.start - 5) * 8;
    auto decoded = decodeUsageMap(bytes, kLayout, end, nullptr, "global map");
    ASSERT_TRUE(decoded.ok()) << decoded.status().toString();
    std::vector<uint32_t> free;
    for (uint32_t p = pages.pageCount(); p < end; ++p) free.push_back(p);
    EXPECT_EQ(*decoded, free);
    for (size_t i = 0; i < after.size(); ++i) {
        if (i >= row.start && i < row.end) continue;
        ASSERT_EQ(after[i], before[i]) << "byte " << i << " outside the global map's row changed";
    }
}

}  // namespace
}  // namespace jet

// The writer's data pages and usage maps, read and written through their codecs inside a page transaction.
#include <algorithm>
#include <optional>

#include "codec/usage_map.h"
#include "write/internal.h"

namespace jet::writer {
namespace {

constexpr uint32_t kMapPageHeader = 4;
const uint32_t kPagesPerMapPage = pagesPerBitmapPage(kLayout);

void setBit(uint8_t* bits, uint32_t index) {
    bits[index / 8] = static_cast<uint8_t>(bits[index / 8] | (1u << (index % 8)));
}

}  // namespace

Result<DataPage> readDataPage(PageTransaction& pages, uint32_t number) {
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(number));
    return DataPage::open(ByteView(page->data(), page->size()), kLayout, number);
}

Result<Page*> editDataPage(PageTransaction& pages, uint32_t number, uint32_t owner) {
    JET_ASSIGN_OR_RETURN(DataPage page, readDataPage(pages, number));
    JET_RETURN_IF_ERROR(page.checkForWriting(owner));
    return pages.edit(number);
}

// The page holding the usage map `ref` and where its row lies.
Result<std::pair<const Page*, RowSlot>> mapRow(PageTransaction& pages, uint32_t ref) {
    RowId id = RowId::fromPacked(ref);
    std::string where = "usage map at page " + std::to_string(id.page) + " row " + std::to_string(id.row);
    auto page = readDataPage(pages, id.page);
    if (!page.ok()) return page.status().withContext(where);
    auto span = page->slot(id.row);
    if (!span.ok()) return span.status().withContext(where);
    if (span->end - span->start < 5) return Status::Corruption(where + ": row too short");
    JET_ASSIGN_OR_RETURN(const Page* bytes, pages.read(id.page));
    return std::make_pair(bytes, *span);
}

Result<std::vector<uint32_t>> readUsageMap(PageTransaction& pages, uint32_t ref) {
    JET_ASSIGN_OR_RETURN(auto located, mapRow(pages, ref));
    auto [page, span] = located;
    RowId id = RowId::fromPacked(ref);
    auto fetch = [&pages](uint32_t number) -> Result<ByteView> {
        JET_ASSIGN_OR_RETURN(const Page* bitmap, pages.read(number));
        return ByteView(bitmap->data(), bitmap->size());
    };
    return decodeUsageMap(ByteView(page->data() + span.start, span.end - span.start), kLayout,
                          pages.pageCount(), fetch,
                          "usage map at page " + std::to_string(id.page) + " row " + std::to_string(id.row));
}

namespace {

/// What a usage map is to list: the pages of `sorted` (ascending) and, when `allFrom` is set, every page
/// from it on.
struct MapContent {
    const std::vector<uint32_t>& sorted;
    std::optional<uint32_t> allFrom;
};

// Sets the bits of `bits`, which describe the pages [base, base + count), for the pages `content` lists.
void fillBits(uint8_t* bits, uint32_t base, uint32_t count, const MapContent& content) {
    const uint64_t end = uint64_t{base} + count;
    for (auto p = std::lower_bound(content.sorted.begin(), content.sorted.end(), base);
         p != content.sorted.end() && *p < end; ++p)
        setBit(bits, *p - base);
    if (!content.allFrom) return;
    for (uint64_t p = std::max(*content.allFrom, base); p < end; ++p)
        setBit(bits, static_cast<uint32_t>(p - base));
}

// Fills the reference form of a usage map: one bitmap page per 32,736 pages.
Status writeReferenceMap(PageTransaction& pages, RowId id, uint32_t start, uint32_t length, uint32_t end,
                         const MapContent& content) {
    uint32_t needed = (end + kPagesPerMapPage - 1) / kPagesPerMapPage;
    uint32_t slots = (length - 1) / 4;
    if (needed > slots) return Status::NotSupported("file too large for a usage map");
    std::vector<uint32_t> mapPages(slots, 0);
    {
        JET_ASSIGN_OR_RETURN(const Page* page, pages.read(id.page));
        if ((*page)[start] == 1) {
            for (uint32_t j = 0; j < slots; ++j)
                mapPages[j] = ByteView::load32(page->data() + start + 1 + 4 * j);
        }
    }
    for (uint32_t j = 0; j < needed; ++j) {
        if (mapPages[j] == 0) mapPages[j] = pages.allocate();
    }
    for (uint32_t j = 0; j < needed; ++j) {
        JET_ASSIGN_OR_RETURN(Page * map, pages.edit(mapPages[j]));
        std::fill(map->begin(), map->end(), 0);
        (*map)[0] = PageType::UsageMap;
        (*map)[1] = 0x01;
        fillBits(map->data() + kMapPageHeader, j * kPagesPerMapPage, kPagesPerMapPage, content);
    }
    JET_ASSIGN_OR_RETURN(Page * page, pages.edit(id.page));
    uint8_t* row = page->data() + start;
    std::fill(row, row + length, 0);
    row[0] = 1;
    for (uint32_t j = 0; j < slots; ++j) store32(row + 1 + 4 * j, mapPages[j]);
    return {};
}

// Rewrites the usage map at `ref` in place to list `content` from page `first` on: inline when
// [first, end) fits its bitmap, else as a list of bitmap pages.
Status writeUsageMap(PageTransaction& pages, uint32_t ref, uint32_t first, uint32_t end,
                     const MapContent& content) {
    RowId id = RowId::fromPacked(ref);
    JET_ASSIGN_OR_RETURN(auto located, mapRow(pages, ref));
    auto span = located.second;
    uint32_t length = span.end - span.start;
    uint32_t capacity = (length - 5) * 8;
    uint32_t start = first & ~7u;
    if (end > start + capacity) return writeReferenceMap(pages, id, span.start, length, end, content);
    JET_ASSIGN_OR_RETURN(Page * page, pages.edit(id.page));
    uint8_t* row = page->data() + span.start;
    std::fill(row, row + length, 0);
    store32(row + 1, start);
    fillBits(row + 5, start, capacity, content);
    return {};
}

}  // namespace

Status writePageList(PageTransaction& pages, uint32_t ref, const std::vector<uint32_t>& sorted) {
    uint32_t first = sorted.empty() ? 0 : sorted.front();
    uint32_t end = sorted.empty() ? 0 : sorted.back() + 1;
    return writeUsageMap(pages, ref, first, end, MapContent{sorted, std::nullopt});
}

Status writeGlobalMap(PageTransaction& pages) {
    // A set bit marks a page that is free; pages past the end of the file count as free.
    const std::vector<uint32_t> none;
    return writeUsageMap(pages, kGlobalMapRef, 0, pages.pageCount() + 1, MapContent{none, pages.pageCount()});
}

Result<uint32_t> addMapRow(PageTransaction& pages, uint32_t& mapPage) {
    const std::string empty(kMapRowSize, '\0');
    if (mapPage != 0) {
        JET_ASSIGN_OR_RETURN(Page * page, pages.edit(mapPage));
        int slot = datapage::addRow(*page, kLayout, empty);
        if (slot >= 0) return (mapPage << 8) | static_cast<uint32_t>(slot);
    }
    mapPage = pages.allocate();
    JET_ASSIGN_OR_RETURN(Page * page, pages.edit(mapPage));
    datapage::init(*page, kLayout, 0);
    int slot = datapage::addRow(*page, kLayout, empty);
    return (mapPage << 8) | static_cast<uint32_t>(slot);
}

}  // namespace jet::writer

// The writer's page transaction, data pages and usage maps.
#include <algorithm>

#include "codec/usage_map.h"
#include "storage/journal.h"
#include "write/internal.h"

namespace jet::writer {
namespace {

constexpr uint32_t kMapPageHeader = 4;
constexpr uint32_t kPagesPerMapPage = (kPageSize - kMapPageHeader) * 8;
constexpr uint32_t kMaxRowsPerPage = 255;  // a row pointer keeps the slot in one byte

void setBit(uint8_t* bits, uint32_t index) {
    bits[index / 8] = static_cast<uint8_t>(bits[index / 8] | (1u << (index % 8)));
}

}  // namespace

Result<std::pair<uint32_t, uint32_t>> rowSpan(const Page& page, uint32_t slot) {
    uint16_t count = ByteView::load16(page.data() + 12);
    uint32_t tableEnd = kDataRowTable + 2u * count;
    if (tableEnd > kPageSize) return Status::Corruption("data page row table overruns the page");
    if (slot >= count) return Status::Corruption("data page has no row " + std::to_string(slot));
    uint32_t start = ByteView::load16(page.data() + kDataRowTable + 2 * slot) & kRowOffsetMask;
    uint32_t end = slot == 0
                       ? kPageSize
                       : ByteView::load16(page.data() + kDataRowTable + 2 * (slot - 1)) & kRowOffsetMask;
    if (start < tableEnd || start > end || end > kPageSize)
        return Status::Corruption("data page row outside the page");
    return std::make_pair(start, end);
}

Status checkDataPage(const Page& page, uint32_t number, uint32_t owner) {
    std::string where = "page " + std::to_string(number);
    if (page[0] != PageType::Data) return Status::Corruption(where + " is not a data page");
    if (ByteView::load32(page.data() + 4) != owner)
        return Status::Corruption(where + " belongs to another table than the one being written");
    uint16_t count = ByteView::load16(page.data() + 12);
    if (kDataRowTable + 2u * count > kPageSize)
        return Status::Corruption(where + ": row table overruns the page");
    // Every row the writer may keep or move must lie inside the page; freed rows are dropped.
    for (uint32_t slot = 0; slot < count; ++slot) {
        if (rowFlags(page, slot) == kFreedRowFlags) continue;
        auto span = rowSpan(page, slot);
        if (!span.ok()) return span.status().withContext(where);
    }
    if (dataPageFree(page) > kPageSize)
        return Status::Corruption(where + ": free space larger than the page");
    return {};
}

Result<Page*> editDataPage(PageTransaction& pages, uint32_t number, uint32_t owner) {
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(number));
    JET_RETURN_IF_ERROR(checkDataPage(*page, number, owner));
    return pages.edit(number);
}

void initDataPage(Page& page, uint32_t owner) {
    std::fill(page.begin(), page.end(), 0);
    page[0] = PageType::Data;
    page[1] = 0x01;
    store16(page.data() + 2, static_cast<uint16_t>(kPageSize - kDataRowTable));
    store32(page.data() + 4, owner);
}

uint32_t dataPageFree(const Page& page) {
    return ByteView::load16(page.data() + 2);
}

int addRow(Page& page, const std::string& row, uint16_t flags) {
    uint16_t count = ByteView::load16(page.data() + 12);
    if (count >= kMaxRowsPerPage) return -1;
    uint32_t top = count == 0
                       ? kPageSize
                       : ByteView::load16(page.data() + kDataRowTable + 2 * (count - 1)) & kRowOffsetMask;
    uint32_t tableEnd = kDataRowTable + 2u * (count + 1u);
    if (row.size() + tableEnd > top) return -1;
    uint32_t start = top - static_cast<uint32_t>(row.size());
    std::copy(row.begin(), row.end(), page.begin() + start);
    store16(page.data() + kDataRowTable + 2 * count, static_cast<uint16_t>(start | flags));
    store16(page.data() + 12, static_cast<uint16_t>(count + 1));
    store16(page.data() + 2, static_cast<uint16_t>(start - tableEnd));
    return count;
}

uint16_t rowFlags(const Page& page, uint32_t slot) {
    return ByteView::load16(page.data() + kDataRowTable + 2 * slot) & kRowFlagMask;
}

namespace {

// The bytes each slot keeps once packed: deleted rows keep nothing, `slot` gets `row`.
std::vector<std::string_view> packedRows(const Page& page, int slot, std::string_view row, uint32_t& total) {
    uint16_t count = ByteView::load16(page.data() + 12);
    std::vector<std::string_view> rows(count);
    total = 0;
    uint32_t end = kPageSize;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t raw = ByteView::load16(page.data() + kDataRowTable + 2 * i);
        uint32_t start = std::min<uint32_t>(raw & kRowOffsetMask, end);
        if (static_cast<int>(i) == slot)
            rows[i] = row;
        else if ((raw & kRowFlagMask) != kFreedRowFlags)
            rows[i] = std::string_view(reinterpret_cast<const char*>(page.data()) + start, end - start);
        total += static_cast<uint32_t>(rows[i].size());
        end = start;
    }
    return rows;
}

}  // namespace

uint32_t packedFree(const Page& page) {
    uint32_t total = 0;
    std::vector<std::string_view> rows = packedRows(page, -1, {}, total);
    uint32_t tableEnd = kDataRowTable + 2u * static_cast<uint32_t>(rows.size());
    return total + tableEnd > kPageSize ? 0 : kPageSize - tableEnd - total;
}

bool rewriteRow(Page& page, int slot, std::string_view row, uint16_t flags) {
    uint32_t total = 0;
    std::vector<std::string_view> rows = packedRows(page, slot, row, total);
    uint32_t tableEnd = kDataRowTable + 2u * static_cast<uint32_t>(rows.size());
    if (total + tableEnd > kPageSize) return false;
    // Rows are copied out first: packing moves them over each other's old places.
    Page packed(page.begin(), page.begin() + kDataRowTable);
    packed.resize(kPageSize, 0);
    uint32_t pos = kPageSize;
    for (size_t i = 0; i < rows.size(); ++i) {
        pos -= static_cast<uint32_t>(rows[i].size());
        std::copy(rows[i].begin(), rows[i].end(), packed.begin() + pos);
        uint16_t keep = static_cast<int>(i) == slot ? flags : rowFlags(page, static_cast<uint32_t>(i));
        store16(packed.data() + kDataRowTable + 2 * i, static_cast<uint16_t>(pos | keep));
    }
    store16(packed.data() + 2, static_cast<uint16_t>(pos - tableEnd));
    page = std::move(packed);
    return true;
}

Result<std::pair<const Page*, std::pair<uint32_t, uint32_t>>> mapRow(PageTransaction& pages, uint32_t ref) {
    RowId id = RowId::fromPacked(ref);
    std::string where = "usage map at page " + std::to_string(id.page) + " row " + std::to_string(id.row);
    JET_ASSIGN_OR_RETURN(const Page* page, pages.read(id.page));
    if ((*page)[0] != PageType::Data) return Status::Corruption(where + ": not on a data page");
    auto span = rowSpan(*page, id.row);
    if (!span.ok()) return span.status().withContext(where);
    if (span->second - span->first < 5) return Status::Corruption(where + ": row too short");
    return std::make_pair(page, *span);
}

Result<std::vector<uint32_t>> readUsageMap(PageTransaction& pages, uint32_t ref) {
    JET_ASSIGN_OR_RETURN(auto located, mapRow(pages, ref));
    auto [page, span] = located;
    RowId id = RowId::fromPacked(ref);
    auto fetch = [&pages](uint32_t number) -> Result<ByteView> {
        JET_ASSIGN_OR_RETURN(const Page* bitmap, pages.read(number));
        return ByteView(bitmap->data(), bitmap->size());
    };
    return decodeUsageMap(ByteView(page->data() + span.first, span.second - span.first),
                          formatLayout(Version::Jet4), pages.pageCount(), fetch,
                          "usage map at page " + std::to_string(id.page) + " row " + std::to_string(id.row));
}

namespace {

// Fills the reference form of a usage map: one bitmap page per 32,736 pages.
Status writeReferenceMap(PageTransaction& pages, RowId id, uint32_t start, uint32_t length, uint32_t end,
                         const std::function<bool(uint32_t)>& bit) {
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
        for (uint32_t i = 0; i < kPagesPerMapPage; ++i) {
            if (bit(j * kPagesPerMapPage + i)) setBit(map->data() + kMapPageHeader, i);
        }
    }
    JET_ASSIGN_OR_RETURN(Page * page, pages.edit(id.page));
    uint8_t* row = page->data() + start;
    std::fill(row, row + length, 0);
    row[0] = 1;
    for (uint32_t j = 0; j < slots; ++j) store32(row + 1 + 4 * j, mapPages[j]);
    return {};
}

}  // namespace

Status writeUsageMap(PageTransaction& pages, uint32_t ref, uint32_t first, uint32_t end,
                     const std::function<bool(uint32_t)>& bit) {
    RowId id = RowId::fromPacked(ref);
    JET_ASSIGN_OR_RETURN(auto located, mapRow(pages, ref));
    auto span = located.second;
    uint32_t length = span.second - span.first;
    uint32_t capacity = (length - 5) * 8;
    uint32_t start = first & ~7u;
    if (end > start + capacity) return writeReferenceMap(pages, id, span.first, length, end, bit);
    JET_ASSIGN_OR_RETURN(Page * page, pages.edit(id.page));
    uint8_t* row = page->data() + span.first;
    std::fill(row, row + length, 0);
    store32(row + 1, start);
    for (uint32_t i = 0; i < capacity; ++i) {
        if (bit(start + i)) setBit(row + 5, i);
    }
    return {};
}

Status writePageList(PageTransaction& pages, uint32_t ref, const std::vector<uint32_t>& sorted) {
    uint32_t first = sorted.empty() ? 0 : sorted.front();
    uint32_t end = sorted.empty() ? 0 : sorted.back() + 1;
    return writeUsageMap(pages, ref, first, end, [&sorted](uint32_t p) {
        return std::binary_search(sorted.begin(), sorted.end(), p);
    });
}

Status writeGlobalMap(PageTransaction& pages) {
    // A set bit marks a page that is free; pages past the end of the file count as free.
    return writeUsageMap(pages, kGlobalMapRef, 0, pages.pageCount() + 1,
                         [&pages](uint32_t p) { return p >= pages.pageCount(); });
}

Result<uint32_t> addMapRow(PageTransaction& pages, uint32_t& mapPage) {
    const std::string empty(kMapRowSize, '\0');
    if (mapPage != 0) {
        JET_ASSIGN_OR_RETURN(Page * page, pages.edit(mapPage));
        int slot = addRow(*page, empty);
        if (slot >= 0) return (mapPage << 8) | static_cast<uint32_t>(slot);
    }
    mapPage = pages.allocate();
    JET_ASSIGN_OR_RETURN(Page * page, pages.edit(mapPage));
    initDataPage(*page, 0);
    int slot = addRow(*page, empty);
    return (mapPage << 8) | static_cast<uint32_t>(slot);
}

}  // namespace jet::writer

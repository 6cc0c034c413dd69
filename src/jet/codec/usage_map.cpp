#include "codec/usage_map.h"

namespace jet {
namespace {

constexpr uint8_t kInlineMap = 0;
constexpr uint8_t kReferenceMap = 1;
constexpr size_t kInlineHeader = 5;  // type, then the first page the bitmap describes
constexpr size_t kBitmapPageHeader = 4;

// Adds the page of every set bit of `bits`, the first bit standing for `firstPage`.
Status addBits(ByteView bits, uint64_t firstPage, uint32_t pageCount, std::vector<uint32_t>& pages,
               const std::string& context) {
    for (size_t i = 0; i < bits.size(); ++i) {
        uint8_t b = bits.data()[i];
        for (int bit = 0; b != 0 && bit < 8; ++bit) {
            if ((b & (1u << bit)) == 0) continue;
            uint64_t page = firstPage + i * 8 + static_cast<uint64_t>(bit);
            if (page >= pageCount)
                return Status::Corruption(context + " lists page " + std::to_string(page) +
                                          " beyond the end of the file");
            pages.push_back(static_cast<uint32_t>(page));
        }
    }
    return {};
}

}  // namespace

Result<std::vector<uint32_t>> decodeUsageMap(ByteView row, const FormatLayout& layout, uint32_t pageCount,
                                             const MapPageFetcher& fetch, const std::string& context) {
    if (row.empty()) return Status::Corruption(context + " is empty");
    std::vector<uint32_t> pages;
    uint8_t type = row.data()[0];
    if (type == kInlineMap) {
        JET_ASSIGN_OR_RETURN(uint32_t start, row.u32(1, "usage map start"));
        JET_ASSIGN_OR_RETURN(
            ByteView bits,
            row.slice(kInlineHeader, row.size() - std::min(kInlineHeader, row.size()), "bitmap"));
        JET_RETURN_IF_ERROR(addBits(bits, start, pageCount, pages, context));
        return pages;
    }
    if (type != kReferenceMap)
        return Status::Corruption(context + " has unknown type " + std::to_string(type));
    for (size_t j = 0; 1 + 4 * (j + 1) <= row.size(); ++j) {
        uint32_t mapPage = ByteView::load32(row.data() + 1 + 4 * j);
        if (mapPage == 0) continue;
        if (mapPage >= pageCount)
            return Status::Corruption(context + " names bitmap page " + std::to_string(mapPage) +
                                      " beyond the end of the file");
        auto page = fetch(mapPage);
        if (!page.ok()) return page.status().withContext(context);
        if (page->size() != layout.pageSize || page->data()[0] != PageType::UsageMap)
            return Status::Corruption(context + ": page " + std::to_string(mapPage) +
                                      " is not a usage map page");
        ByteView bits(page->data() + kBitmapPageHeader, layout.pageSize - kBitmapPageHeader);
        JET_RETURN_IF_ERROR(
            addBits(bits, uint64_t{j} * pagesPerBitmapPage(layout), pageCount, pages, context));
    }
    return pages;
}

}  // namespace jet

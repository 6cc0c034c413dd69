#include "table/row_store.h"

#include "codec/data_page.h"
#include "codec/usage_map.h"

namespace jet {
namespace {

constexpr int kMaxOverflowHops = 4;

std::string pageText(uint32_t page) {
    return "page " + std::to_string(page);
}

}  // namespace

Result<std::vector<uint32_t>> RowStore::usageMapPages(uint32_t ref) {
    RowId id = RowId::fromPacked(ref);
    RowImage row;
    JET_ASSIGN_OR_RETURN(bool live, rowAt(id.page, id.row, true, row));
    (void)live;
    PageRef bitmapPage;
    auto fetch = [&](uint32_t number) -> Result<ByteView> {
        JET_ASSIGN_OR_RETURN(bitmapPage, m_pager.page(number));
        return view(bitmapPage);
    };
    return decodeUsageMap(row.bytes, m_layout, m_pager.pageCount(), fetch,
                          "usage map at " + pageText(id.page) + " row " + std::to_string(id.row));
}

Result<std::vector<uint32_t>> RowStore::dataPages(const TableDef& table) {
    auto pages = usageMapPages(table.usedPagesRef);
    if (!pages.ok()) return pages.status().withContext("table " + table.name);
    return pages;
}

Result<int> RowStore::dataPageSlots(const PageRef& page, uint32_t pageNumber, uint32_t tdefPage) const {
    // A table's usage map lists its own data pages only: anything else means the map or the page is
    // damaged, and skipping the page would lose its rows without a word.
    if (uint8_t type = (*page)[0]; type != PageType::Data) {
        return Status::Corruption(pageText(pageNumber) +
                                  ", listed as a data page of the table, has page type " +
                                  std::to_string(type));
    }
    JET_ASSIGN_OR_RETURN(DataPage data, DataPage::open(view(page), m_layout, pageNumber));
    if (data.owner() != tdefPage) {
        return Status::Corruption(pageText(pageNumber) + ", listed as a data page of the table defined on " +
                                  pageText(tdefPage) + ", belongs to the one on " + pageText(data.owner()));
    }
    return static_cast<int>(data.rowCount());
}

Result<bool> RowStore::rowAt(uint32_t pageNumber, int slot, bool includeDeleted, RowImage& row) {
    for (int hop = 0;; ++hop) {
        if (hop > kMaxOverflowHops) {
            return Status::Corruption(pageText(pageNumber) +
                                      ": overflow pointers form a chain too long or a loop");
        }
        JET_ASSIGN_OR_RETURN(PageRef page, m_pager.page(pageNumber));
        JET_ASSIGN_OR_RETURN(DataPage data, DataPage::open(view(page), m_layout, pageNumber));
        if (slot < 0 || slot >= data.rowCount())
            return Status::Corruption(pageText(pageNumber) + " has no row " + std::to_string(slot));
        auto index = static_cast<uint16_t>(slot);
        if (hop == 0) row.id = RowId{pageNumber, static_cast<uint8_t>(slot)};
        uint16_t flags = data.flags(index);
        if ((flags & kDeletedRowFlag) != 0 && !includeDeleted) return false;
        JET_ASSIGN_OR_RETURN(RowSlot span, data.slot(index));
        if (flags == kOverflowRowFlag) {
            if (span.end - span.start < 4)
                return Status::Corruption(pageText(pageNumber) + ": short overflow pointer");
            RowId next = RowId::fromPacked(ByteView::load32(page->data() + span.start));
            pageNumber = next.page;
            slot = next.row;
            includeDeleted = true;  // the target of an overflow pointer is hidden from scans
            continue;
        }
        row.page = std::move(page);
        row.bytes = ByteView(row.page->data() + span.start, span.end - span.start);
        return true;
    }
}

}  // namespace jet

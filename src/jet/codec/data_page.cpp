#include "codec/data_page.h"

#include <algorithm>
#include <string>

namespace jet {
namespace {

constexpr uint32_t kFreeSpaceOffset = 2;
constexpr uint32_t kSlotSize = 2;

std::string pageName(uint32_t number) {
    return "page " + std::to_string(number);
}

uint16_t countOf(const std::vector<uint8_t>& page, const FormatLayout& L) {
    return ByteView::load16(page.data() + L.dataRowCountOffset);
}

uint16_t slotWord(const std::vector<uint8_t>& page, const FormatLayout& L, uint32_t slot) {
    return ByteView::load16(page.data() + L.dataRowTableOffset + kSlotSize * slot);
}

}  // namespace

Result<DataPage> DataPage::open(ByteView page, const FormatLayout& L, uint32_t number) {
    if (page.size() != L.pageSize) return Status::Corruption(pageName(number) + " is not a whole page");
    if (page.data()[0] != PageType::Data) {
        return Status::Corruption(pageName(number) + " is not a data page (type " +
                                  std::to_string(page.data()[0]) + ")");
    }
    uint16_t count = ByteView::load16(page.data() + L.dataRowCountOffset);
    if (L.dataRowTableOffset + kSlotSize * count > L.pageSize) {
        return Status::Corruption(pageName(number) + ": row count " + std::to_string(count) +
                                  " overruns the page");
    }
    return DataPage(page, L, number, count);
}

uint16_t DataPage::rawOffset(uint16_t slot) const {
    return ByteView::load16(m_page.data() + m_layout->dataRowTableOffset + kSlotSize * slot);
}

uint16_t DataPage::flags(uint16_t slot) const {
    return rawOffset(slot) & kFreedRowFlags;
}

Result<RowSlot> DataPage::slot(uint16_t slot) const {
    if (slot >= m_rowCount)
        return Status::Corruption(pageName(m_number) + " has no row " + std::to_string(slot));
    RowSlot s;
    s.flags = flags(slot);
    s.start = rawOffset(slot) & kRowOffsetMask;
    s.end = slot == 0 ? m_layout->pageSize : (rawOffset(static_cast<uint16_t>(slot - 1)) & kRowOffsetMask);
    uint32_t tableEnd = m_layout->dataRowTableOffset + kSlotSize * m_rowCount;
    if (s.start < tableEnd || s.start > s.end || s.end > m_layout->pageSize) {
        return Status::Corruption(pageName(m_number) + " row " + std::to_string(slot) + " spans " +
                                  std::to_string(s.start) + ".." + std::to_string(s.end) +
                                  ", outside the page");
    }
    // Rows lie in slot order from the end of the page down, so a row starting below the next slot's start
    // runs into that row: its offset is damaged.
    if (slot + 1u < m_rowCount) {
        uint32_t next = rawOffset(static_cast<uint16_t>(slot + 1)) & kRowOffsetMask;
        if (s.start < next) {
            return Status::Corruption(pageName(m_number) + " row " + std::to_string(slot) + " starts at " +
                                      std::to_string(s.start) + ", inside row " + std::to_string(slot + 1) +
                                      " (from " + std::to_string(next) + ")");
        }
    }
    return s;
}

Status DataPage::checkForWriting(uint32_t owner) const {
    if (this->owner() != owner)
        return Status::Corruption(pageName(m_number) +
                                  " belongs to another table than the one being written");
    if (ByteView::load16(m_page.data() + kFreeSpaceOffset) > m_layout->pageSize)
        return Status::Corruption(pageName(m_number) + ": free space larger than the page");
    for (uint16_t i = 0; i < m_rowCount; ++i) {
        if (flags(i) == kFreedRowFlags) continue;
        JET_RETURN_IF_ERROR(slot(i).status());
    }
    return {};
}

namespace datapage {

void init(std::vector<uint8_t>& page, const FormatLayout& L, uint32_t owner) {
    page.assign(L.pageSize, 0);
    page[0] = PageType::Data;
    page[1] = 0x01;
    store16(page.data() + kFreeSpaceOffset, static_cast<uint16_t>(L.pageSize - L.dataRowTableOffset));
    store32(page.data() + 4, owner);
}

uint32_t freeSpace(const std::vector<uint8_t>& page) {
    return ByteView::load16(page.data() + kFreeSpaceOffset);
}

int addRow(std::vector<uint8_t>& page, const FormatLayout& L, std::string_view row, uint16_t flags) {
    // A row pointer keeps the slot in one byte.
    constexpr uint16_t kMostRows = 255;
    uint16_t count = countOf(page, L);
    if (count >= kMostRows) return -1;
    uint32_t top = count == 0 ? L.pageSize : (slotWord(page, L, count - 1u) & kRowOffsetMask);
    uint32_t tableEnd = L.dataRowTableOffset + kSlotSize * (count + 1u);
    if (row.size() + tableEnd > top) return -1;
    uint32_t start = top - static_cast<uint32_t>(row.size());
    std::copy(row.begin(), row.end(), page.begin() + start);
    store16(page.data() + L.dataRowTableOffset + kSlotSize * count, static_cast<uint16_t>(start | flags));
    store16(page.data() + L.dataRowCountOffset, static_cast<uint16_t>(count + 1));
    store16(page.data() + kFreeSpaceOffset, static_cast<uint16_t>(start - tableEnd));
    return count;
}

namespace {

// The bytes each slot keeps once packed: freed rows keep nothing, `slot` gets `row`.
std::vector<std::string_view> packedRows(const std::vector<uint8_t>& page, const FormatLayout& L, int slot,
                                         std::string_view row, uint32_t& total) {
    uint16_t count = countOf(page, L);
    std::vector<std::string_view> rows(count);
    total = 0;
    uint32_t end = L.pageSize;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t raw = slotWord(page, L, i);
        uint32_t start = std::min<uint32_t>(raw & kRowOffsetMask, end);
        if (static_cast<int>(i) == slot)
            rows[i] = row;
        else if ((raw & kFreedRowFlags) != kFreedRowFlags)
            rows[i] = std::string_view(reinterpret_cast<const char*>(page.data()) + start, end - start);
        total += static_cast<uint32_t>(rows[i].size());
        end = start;
    }
    return rows;
}

}  // namespace

uint32_t packedFree(const std::vector<uint8_t>& page, const FormatLayout& L) {
    uint32_t total = 0;
    std::vector<std::string_view> rows = packedRows(page, L, -1, {}, total);
    uint32_t tableEnd = L.dataRowTableOffset + kSlotSize * static_cast<uint32_t>(rows.size());
    return total + tableEnd > L.pageSize ? 0 : L.pageSize - tableEnd - total;
}

bool rewriteRow(std::vector<uint8_t>& page, const FormatLayout& L, int slot, std::string_view row,
                uint16_t flags) {
    uint32_t total = 0;
    std::vector<std::string_view> rows = packedRows(page, L, slot, row, total);
    uint32_t tableEnd = L.dataRowTableOffset + kSlotSize * static_cast<uint32_t>(rows.size());
    if (total + tableEnd > L.pageSize) return false;
    // Rows are copied out first: packing moves them over each other's old places.
    std::vector<uint8_t> packed(page.begin(), page.begin() + L.dataRowTableOffset);
    packed.resize(L.pageSize, 0);
    uint32_t pos = L.pageSize;
    for (size_t i = 0; i < rows.size(); ++i) {
        pos -= static_cast<uint32_t>(rows[i].size());
        std::copy(rows[i].begin(), rows[i].end(), packed.begin() + pos);
        uint16_t keep = static_cast<int>(i) == slot
                            ? flags
                            : (slotWord(page, L, static_cast<uint32_t>(i)) & kFreedRowFlags);
        store16(packed.data() + L.dataRowTableOffset + kSlotSize * i, static_cast<uint16_t>(pos | keep));
    }
    store16(packed.data() + kFreeSpaceOffset, static_cast<uint16_t>(pos - tableEnd));
    page = std::move(packed);
    return true;
}

uint32_t largestRow(const FormatLayout& L) {
    return L.pageSize - L.dataRowTableOffset - kSlotSize;
}

}  // namespace datapage
}  // namespace jet

// Data pages: a header (page type, free space, owner, row count), a table of row offsets growing from the
// front, and rows packed against the end, the first row last. A slot's flags mark a deleted row (0x8000
// alone: the hidden target of an overflow pointer; with 0x4000: freed) or a row that moved (0x4000
// alone: the slot holds a pointer to it). One codec for the reader and the writer, both directions here.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "jet/status.h"
#include "storage/format.h"

namespace jet {

/// The owner that marks a page of long values ("LVAL") rather than a table's rows.
inline constexpr uint32_t kLongValueOwner = 0x4C41564C;
/// The flags of a freed row: deleted, and its bytes given up.
inline constexpr uint16_t kFreedRowFlags = kDeletedRowFlag | kOverflowRowFlag;

/// Where one row of a data page lies, and its slot's flags.
struct RowSlot {
    uint32_t start = 0;
    uint32_t end = 0;
    uint16_t flags = 0;
};

/// A data page read through checks: its row table lies inside the page.
class DataPage {
public:
    /// `page` (number `number`) as a data page; Corruption when it is another kind of page or its row
    /// table overruns it.
    static Result<DataPage> open(ByteView page, const FormatLayout& layout, uint32_t number);

    /// The table definition page owning the page, or kLongValueOwner.
    uint32_t owner() const { return ByteView::load32(m_page.data() + kOwnerOffset); }
    /// Number of row slots.
    uint16_t rowCount() const { return m_rowCount; }
    /// The flags of slot `slot` (< rowCount()).
    uint16_t flags(uint16_t slot) const;
    /// Where the row in `slot` lies: after the row table, up to the start of the slot before it.
    /// Corruption, naming the page, when it lies outside that.
    Result<RowSlot> slot(uint16_t slot) const;
    /// Corruption unless the page belongs to `owner` and every row it keeps (all but freed ones) lies
    /// inside it: the checks a page passes before a writer changes it.
    Status checkForWriting(uint32_t owner) const;

private:
    static constexpr uint32_t kOwnerOffset = 4;
    DataPage(ByteView page, const FormatLayout& layout, uint32_t number, uint16_t rowCount)
        : m_page(page), m_layout(&layout), m_number(number), m_rowCount(rowCount) {}
    uint16_t rawOffset(uint16_t slot) const;

    ByteView m_page;
    const FormatLayout* m_layout;
    uint32_t m_number;
    uint16_t m_rowCount;
};

/// The writing side, on whole pages in memory that DataPage::open accepted (or initDataPage made).
namespace datapage {

/// Makes `page` an empty data page owned by `owner` (a table definition page, 0 for pages of usage-map
/// rows, kLongValueOwner for long values).
void init(std::vector<uint8_t>& page, const FormatLayout& layout, uint32_t owner);
/// Bytes the page has free.
uint32_t freeSpace(const std::vector<uint8_t>& page);
/// Appends `row` in a new slot with `flags`; the slot number, or -1 when it does not fit.
int addRow(std::vector<uint8_t>& page, const FormatLayout& layout, std::string_view row, uint16_t flags = 0);
/// Gives slot `slot` the bytes `row` and the flags `flags` and packs every row against the end of the page,
/// freed rows shrinking to nothing; slot numbers stay. With `slot` < 0 it only packs. False (page
/// untouched) when the rows would not fit.
bool rewriteRow(std::vector<uint8_t>& page, const FormatLayout& layout, int slot, std::string_view row,
                uint16_t flags);
/// Bytes the page would have free once packed.
uint32_t packedFree(const std::vector<uint8_t>& page, const FormatLayout& layout);
/// The largest row a data page holds.
uint32_t largestRow(const FormatLayout& layout);

}  // namespace datapage
}  // namespace jet

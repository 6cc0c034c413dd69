// Rows on data pages: the pages a usage map lists, a table's data pages, and one row found through its
// slot, overflow pointers followed.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bytes.h"
#include "jet/status.h"
#include "jet/table.h"
#include "storage/format.h"
#include "storage/pager.h"

namespace jet {

/// Where each stored column of a row lies, parsed once per row.
struct RowLayout {
    uint16_t columnCount = 0;
    const uint8_t* nullMask = nullptr;
    size_t nullMaskSize = 0;
    size_t fixedStart = 0;             // offset of the fixed area in the row
    std::vector<uint32_t> varOffsets;  // one entry per stored variable field plus the end of data
};

/// A row's bytes on its data page, after any overflow pointer has been followed.
struct RowImage {
    RowId id;      // the slot the row was reached through
    PageRef page;  // keeps the bytes alive
    ByteView bytes;
    RowLayout layout;
};

/// Finds rows and the pages that hold them, every page read through the data page codec's checks.
class RowStore {
public:
    RowStore(Pager& pager, const FormatLayout& layout) : m_pager(pager), m_layout(layout) {}

    /// The pages listed by the usage map stored in the row `ref`, in ascending order.
    Result<std::vector<uint32_t>> usageMapPages(uint32_t ref);
    /// The data pages of `table` in physical order.
    Result<std::vector<uint32_t>> dataPages(const TableDef& table);
    /// Number of row slots on `page` (number `pageNumber`); Corruption unless it is a data page of the table
    /// defined on `tdefPage`.
    Result<int> dataPageSlots(const PageRef& page, uint32_t pageNumber, uint32_t tdefPage) const;
    /// Locates the row in `slot` of data page `page` into `row`. Returns false for a deleted slot
    /// (unless `includeDeleted`, used when following overflow pointers to their hidden targets).
    Result<bool> rowAt(uint32_t page, int slot, bool includeDeleted, RowImage& row);

private:
    Pager& m_pager;
    const FormatLayout& m_layout;
};

}  // namespace jet

// Long values (memo and OLE) read from their descriptor and the long-value rows it leads to.
#pragma once

#include "jet/status.h"
#include "jet/value.h"
#include "table/row_store.h"

namespace jet {

/// Reads long values through the rows of a RowStore.
class LongValueReader {
public:
    LongValueReader(RowStore& rows, Pager& pager, const FormatLayout& layout)
        : m_rows(rows), m_pager(pager), m_layout(layout) {}

    /// The bytes of the long value whose 12-byte descriptor (and, for an inline value, the bytes after it)
    /// is `field`: for an inline value a view of `field` itself, else of `storage`, which receives the
    /// pieces. Corruption when the descriptor or its rows are damaged.
    Result<ByteView> read(ByteView field, Bytes& storage);

private:
    RowStore& m_rows;
    Pager& m_pager;
    const FormatLayout& m_layout;
};

}  // namespace jet

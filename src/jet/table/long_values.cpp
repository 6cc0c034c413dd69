#include "table/long_values.h"

#include "codec/long_value.h"

namespace jet {

Result<ByteView> LongValueReader::read(ByteView field, Bytes& out) {
    JET_ASSIGN_OR_RETURN(LongValueDescriptor value, decodeLongValue(field));
    if (value.kind == LongValueKind::Inline) return ByteView(value.inlineBytes.data(), value.length);
    if (value.length > uint64_t{m_pager.pageCount()} * m_layout.pageSize) {
        return Status::Corruption("long value length " + std::to_string(value.length) + " exceeds the file");
    }
    out.clear();
    out.reserve(value.length);
    RowImage row;
    auto fetch = [&](RowId id) -> Result<ByteView> {
        JET_ASSIGN_OR_RETURN(bool live, m_rows.rowAt(id.page, id.row, true, row));
        (void)live;  // long-value rows are read whatever their flags say
        return row.bytes;
    };
    JET_RETURN_IF_ERROR(walkLongValue(value, fetch, [&out](RowId, ByteView piece) {
        out.insert(out.end(), piece.data(), piece.data() + piece.size());
    }));
    return ByteView(out.data(), out.size());
}

}  // namespace jet

// Long values (memo and OLE fields): the 12-byte descriptor a row keeps in the field — a length with the
// kind in its top two bits, a pointer to the first row on a long-value page and 4 unused bytes — and the
// rows it leads to: the value inline after the descriptor, in one row, or in a chain of rows each
// starting with the pointer to the next.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/bytes.h"
#include "jet/status.h"
#include "jet/table.h"

namespace jet {

/// Where a long value's bytes lie.
enum class LongValueKind { Inline, Single, Chain };

/// A decoded long-value descriptor.
struct LongValueDescriptor {
    LongValueKind kind = LongValueKind::Inline;
    uint32_t length = 0;
    RowId first;             ///< the row holding the value, or the first of its chain
    ByteView inlineBytes{};  ///< the value itself, for an inline one
};

/// Bytes of the descriptor in a row's field.
inline constexpr size_t kLongValueDescriptorSize = 12;
/// The longest value a descriptor can describe.
inline constexpr uint32_t kLongValueMaxLength = 0x3FFFFFFF;
/// Bytes a chain row spends on the pointer to the next row.
inline constexpr uint32_t kLongValueChainHeader = 4;

/// The descriptor in `field`; Corruption when the field is too short for it or for its inline value.
Result<LongValueDescriptor> decodeLongValue(ByteView field);

/// The descriptor of a value of `length` bytes kept in the rows from `first` (`kind` Single or Chain).
std::string encodeLongValueDescriptor(LongValueKind kind, uint32_t length, RowId first);
/// The field of a value short enough to stay in its row: the descriptor followed by the bytes.
std::string encodeInlineLongValue(std::string_view bytes);
/// One row of a chain: the pointer to `next` (none for the last piece), then `piece`.
std::string encodeChainRow(RowId next, std::string_view piece);

/// Reads the row `id` of a long-value page.
using LongValueRowFetch = std::function<Result<ByteView>(RowId id)>;
/// Receives each row of a value with the part of it that belongs to the value.
using LongValuePieceVisit = std::function<void(RowId id, ByteView piece)>;

/// Walks the rows of a value kept outside its row in order (none for an inline one); Corruption
/// when a row is shorter than its share, or the chain loops or ends before `value.length` bytes.
Status walkLongValue(const LongValueDescriptor& value, const LongValueRowFetch& fetch,
                     const LongValuePieceVisit& visit);

}  // namespace jet

#include "codec/long_value.h"

#include <algorithm>
#include <unordered_set>

namespace jet {
namespace {

constexpr uint32_t kInlineFlag = 0x80000000u;
constexpr uint32_t kSingleFlag = 0x40000000u;

uint32_t kindFlag(LongValueKind kind) {
    switch (kind) {
        case LongValueKind::Inline:
            return kInlineFlag;
        case LongValueKind::Single:
            return kSingleFlag;
        case LongValueKind::Chain:
            return 0;
    }
    return 0;
}

Status walkChain(const LongValueDescriptor& value, const LongValueRowFetch& fetch,
                 const LongValuePieceVisit& visit) {
    std::unordered_set<uint32_t> visited;
    RowId pointer = value.first;
    uint32_t collected = 0;
    while (collected < value.length) {
        if (pointer.page == 0) return Status::Corruption("long value chain ends early");
        if (!visited.insert(pointer.packed()).second) return Status::Corruption("long value chain loops");
        JET_ASSIGN_OR_RETURN(ByteView row, fetch(pointer));
        if (row.size() < kLongValueChainHeader) return Status::Corruption("long value chain row too short");
        auto take = static_cast<uint32_t>(
            std::min<size_t>(row.size() - kLongValueChainHeader, value.length - collected));
        visit(pointer, ByteView(row.data() + kLongValueChainHeader, take));
        collected += take;
        pointer = RowId::fromPacked(ByteView::load32(row.data()));
    }
    return {};
}

}  // namespace

Result<LongValueDescriptor> decodeLongValue(ByteView field) {
    if (field.size() < kLongValueDescriptorSize)
        return Status::Corruption("long value descriptor shorter than 12 bytes");
    uint32_t word = ByteView::load32(field.data());
    LongValueDescriptor d;
    d.length = word & kLongValueMaxLength;
    d.first = RowId::fromPacked(ByteView::load32(field.data() + 4));
    if ((word & kInlineFlag) != 0) {
        d.kind = LongValueKind::Inline;
        if (field.size() - kLongValueDescriptorSize < d.length)
            return Status::Corruption("inline long value overruns its field");
        d.inlineBytes = ByteView(field.data() + kLongValueDescriptorSize, d.length);
    } else {
        d.kind = (word & kSingleFlag) != 0 ? LongValueKind::Single : LongValueKind::Chain;
    }
    return d;
}

std::string encodeLongValueDescriptor(LongValueKind kind, uint32_t length, RowId first) {
    std::string out;
    appendLittle(out, length | kindFlag(kind), 4);
    appendLittle(out, first.packed(), 4);
    appendLittle(out, 0, 4);
    return out;
}

std::string encodeInlineLongValue(std::string_view bytes) {
    std::string out =
        encodeLongValueDescriptor(LongValueKind::Inline, static_cast<uint32_t>(bytes.size()), {});
    out.append(bytes);
    return out;
}

std::string encodeChainRow(RowId next, std::string_view piece) {
    std::string row;
    appendLittle(row, next.packed(), 4);
    row.append(piece);
    return row;
}

Status walkLongValue(const LongValueDescriptor& value, const LongValueRowFetch& fetch,
                     const LongValuePieceVisit& visit) {
    if (value.kind == LongValueKind::Inline) return {};
    if (value.kind == LongValueKind::Chain) return walkChain(value, fetch, visit);
    JET_ASSIGN_OR_RETURN(ByteView row, fetch(value.first));
    if (row.size() < value.length) return Status::Corruption("long value row shorter than its length");
    visit(value.first, ByteView(row.data(), value.length));
    return {};
}

}  // namespace jet

#include "storage/format.h"

#include <utility>

namespace jet {
namespace {

constexpr FormatLayout kJet3{
    .jet3 = true,
    .pageSize = 2048,
    .headerCryptLength = 126,
    .sortOrderOffset = 0x3A,
    .dataRowCountOffset = 8,
    .dataRowTableOffset = 10,
    .tdefRowCountOffset = 12,
    .tdefAutoNumberOffset = 16,
    .tdefTableTypeOffset = 20,
    .tdefMaxColsOffset = 21,
    .tdefVarColsOffset = 23,
    .tdefColumnCountOffset = 25,
    .tdefIndexCountOffset = 27,
    .tdefRealIndexCountOffset = 31,
    .tdefUsedPagesOffset = 35,
    .tdefFreePagesOffset = 39,
    .tdefBlockEnd = 43,
    .realIndexSlotSize = 8,
    .columnEntrySize = 18,
    .columnNumberOffset = 1,
    .columnVarOffsetOffset = 3,
    .columnMiscOffset = 9,
    .columnSortVersionOffset = 0,
    .columnFlagsOffset = 13,
    .columnCompressedOffset = 0,
    .columnFixedOffsetOffset = 14,
    .columnLengthOffset = 16,
    .nameLengthSize = 1,
    .realIndexEntrySize = 39,
    .realIndexColumnsOffset = 0,
    .realIndexFlagsOffset = 38,
    .logicalIndexTypeOffset = 19,
    .logicalIndexEntrySize = 20,
    .logicalIndexNumberOffset = 0,
    .indexNextPageOffset = 12,
    .indexPrefixLengthOffset = 20,
    .indexBitmaskOffset = 0x16,
    .indexFirstEntryOffset = 0xF8,
    .rowColumnCountSize = 1,
};

constexpr FormatLayout kJet4{
    .jet3 = false,
    .pageSize = 4096,
    .headerCryptLength = 128,
    .sortOrderOffset = 0x6E,
    .dataRowCountOffset = 12,
    .dataRowTableOffset = 14,
    .tdefRowCountOffset = 16,
    .tdefAutoNumberOffset = 20,
    .tdefTableTypeOffset = 40,
    .tdefMaxColsOffset = 41,
    .tdefVarColsOffset = 43,
    .tdefColumnCountOffset = 45,
    .tdefIndexCountOffset = 47,
    .tdefRealIndexCountOffset = 51,
    .tdefUsedPagesOffset = 55,
    .tdefFreePagesOffset = 59,
    .tdefBlockEnd = 63,
    .realIndexSlotSize = 12,
    .columnEntrySize = 25,
    .columnNumberOffset = 5,
    .columnVarOffsetOffset = 7,
    .columnMiscOffset = 11,
    .columnSortVersionOffset = 14,
    .columnFlagsOffset = 15,
    .columnCompressedOffset = 16,
    .columnFixedOffsetOffset = 21,
    .columnLengthOffset = 23,
    .nameLengthSize = 2,
    .realIndexEntrySize = 52,
    .realIndexColumnsOffset = 4,
    .realIndexFlagsOffset = 46,
    .logicalIndexTypeOffset = 23,
    .logicalIndexEntrySize = 28,
    .logicalIndexNumberOffset = 4,
    .indexNextPageOffset = 16,
    .indexPrefixLengthOffset = 24,
    .indexBitmaskOffset = 0x1B,
    .indexFirstEntryOffset = 0x1E0,
    .rowColumnCountSize = 2,
};

constexpr uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

}  // namespace

void scrambleHeader(uint8_t* data, size_t length) {
    uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + kHeaderKey[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (size_t k = 0, i = 0, j = 0; k < length; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

const FormatLayout& formatLayout(Version version) {
    return version == Version::Jet3 ? kJet3 : kJet4;
}

}  // namespace jet

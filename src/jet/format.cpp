#include "format.h"

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
    .logicalIndexEntrySize = 28,
    .logicalIndexNumberOffset = 4,
    .indexNextPageOffset = 16,
    .indexPrefixLengthOffset = 24,
    .indexBitmaskOffset = 0x1B,
    .indexFirstEntryOffset = 0x1E0,
    .rowColumnCountSize = 2,
};

}  // namespace

const FormatLayout& formatLayout(Version version) {
    return version == Version::Jet3 ? kJet3 : kJet4;
}

}  // namespace jet

// Layout constants that differ between Jet 3 (2 KB pages) and Jet 4 / ACE (4 KB pages).
#pragma once

#include <cstdint>

#include "jet/value.h"
#include "jet/version.h"

namespace jet {

/// Offsets and sizes of one format's structures. One instance per generation; see formatLayout().
struct FormatLayout {
    bool jet3;
    uint32_t pageSize;
    // Header page
    uint32_t headerCryptLength;
    uint32_t sortOrderOffset;
    // Data pages
    uint32_t dataRowCountOffset;
    uint32_t dataRowTableOffset;
    // Table definition pages
    uint32_t tdefRowCountOffset;
    uint32_t tdefAutoNumberOffset;
    uint32_t tdefTableTypeOffset;
    uint32_t tdefMaxColsOffset;
    uint32_t tdefVarColsOffset;
    uint32_t tdefColumnCountOffset;
    uint32_t tdefIndexCountOffset;
    uint32_t tdefRealIndexCountOffset;
    uint32_t tdefUsedPagesOffset;
    uint32_t tdefFreePagesOffset;
    uint32_t tdefBlockEnd;  // first real-index slot
    uint32_t realIndexSlotSize;
    uint32_t columnEntrySize;
    uint32_t columnNumberOffset;
    uint32_t columnVarOffsetOffset;
    uint32_t columnMiscOffset;  // sort order id for text, precision for numeric
    uint32_t columnSortVersionOffset;
    uint32_t columnFlagsOffset;
    uint32_t columnCompressedOffset;  // 0 when the format has no compression flag
    uint32_t columnFixedOffsetOffset;
    uint32_t columnLengthOffset;
    uint32_t nameLengthSize;  // 1 (code-page names) or 2 (UCS-2 names)
    uint32_t realIndexEntrySize;
    uint32_t realIndexColumnsOffset;
    uint32_t realIndexFlagsOffset;
    uint32_t logicalIndexTypeOffset;
    uint32_t logicalIndexEntrySize;
    uint32_t logicalIndexNumberOffset;
    // Index pages
    uint32_t indexNextPageOffset;
    uint32_t indexPrefixLengthOffset;
    uint32_t indexBitmaskOffset;
    uint32_t indexFirstEntryOffset;
    // Row layout
    uint32_t rowColumnCountSize;  // 1 or 2 bytes, also the width of variable offsets
};

/// The General text sort order (locale id 1033), the one whose index keys the engine can build.
inline constexpr uint16_t kGeneralSortOrder = 1033;

/// Page types: the first byte of every page.
namespace PageType {
inline constexpr uint8_t Header = 0x00;
inline constexpr uint8_t Data = 0x01;  // rows, long values ("LVAL" pages) and inline usage maps
inline constexpr uint8_t TableDefinition = 0x02;
inline constexpr uint8_t IndexNode = 0x03;
inline constexpr uint8_t IndexLeaf = 0x04;
inline constexpr uint8_t UsageMap = 0x05;  // a bitmap page of a usage map's page list
}  // namespace PageType

/// Flags in the high bits of a data page's row offsets.
inline constexpr uint16_t kDeletedRowFlag = 0x8000;   // alone: an overflow target, hidden from scans
inline constexpr uint16_t kOverflowRowFlag = 0x4000;  // alone: the slot holds a pointer to its row
inline constexpr uint16_t kRowOffsetMask = 0x1FFF;

/// Where the header page's scrambled region starts (its length is FormatLayout::headerCryptLength).
inline constexpr uint32_t kHeaderCryptOffset = 0x18;

/// Scrambles or unscrambles (RC4 under the format's fixed key; the same operation both ways) the
/// header region starting at `data`.
void scrambleHeader(uint8_t* data, size_t length);

/// The layout of `format`.
const FormatLayout& formatLayout(Version version);

}  // namespace jet

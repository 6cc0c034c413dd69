// Table definition pages (type 0x02): counters, column entries and names, the physical and logical index
// entries and names, and in Jet 4 the page maps of each long-value column. A definition may continue over
// a chain of pages; decoding works on the gathered bytes. The reader and the writer share this codec.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "jet/status.h"
#include "jet/table.h"
#include "storage/format.h"

namespace jet {

/// The used and free page maps of one long-value column (packed row references).
struct LongValueMaps {
    uint16_t column = 0;  ///< column number
    uint32_t usedRef = 0;
    uint32_t freeRef = 0;
};

/// Turns a stored name (code-page or UCS-2 bytes) into UTF-8.
using NameDecoder = std::function<std::string(ByteView)>;
/// Fetches page `number` of the file; the view stays valid until the next call.
using DefinitionPageFetch = std::function<Result<ByteView>(uint32_t number)>;

/// A decoded definition and where its long-value maps start.
struct DecodedDefinition {
    TableDef def;     ///< name, definition page and system flag left for the caller
    size_t tail = 0;  ///< offset just past the index names
};

/// The definition starting on `firstPage`: the first page whole and each continuation page without its
/// header, in chain order. Corruption when a page is not a definition page or the chain loops.
Result<std::vector<uint8_t>> gatherTableDefinition(uint32_t firstPage, const DefinitionPageFetch& fetch);

/// Decodes gathered definition bytes; Corruption (naming the part) when an entry overruns them, a count
/// exceeds what they could hold, or an index names a column or physical index that does not exist.
Result<DecodedDefinition> decodeTableDefinition(ByteView tdef, const FormatLayout& layout,
                                                const NameDecoder& decodeName);

/// The long-value maps listed from `tail` (see DecodedDefinition) up to their end mark.
Result<std::vector<LongValueMaps>> decodeLongValueMaps(ByteView tdef, size_t tail);

/// One Jet 4 definition page for `def` with the long-value maps `maps`; `system` marks a system table.
/// NotSupported when it does not fit one page.
Result<std::vector<uint8_t>> encodeTableDefinition(const TableDef& def,
                                                   const std::vector<LongValueMaps>& maps, bool system,
                                                   const FormatLayout& layout);

/// Stores the row count, the autonumber and each physical index's entry count of `def` on its first
/// definition page `page`.
void encodeTableCounters(std::vector<uint8_t>& page, const TableDef& def, const FormatLayout& layout);

}  // namespace jet

// Decoding of index B-tree pages (node and leaf), shared by the reader's cursors and the writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "jet/table.h"
#include "storage/format.h"

namespace jet {

/// One entry of an index page with its shared prefix restored.
struct IndexEntry {
    std::string key;  // the encoded key columns
    RowId row;
    uint32_t child = 0;  // node pages only
};

/// A decoded index page.
struct IndexPage {
    bool leaf = false;
    uint32_t prev = 0;  // the previous page at the same level
    uint32_t next = 0;  // the next page at the same level (leaves: the next leaf, possibly a tail page)
    uint32_t tail = 0;  // a node's leaf that no entry lists yet, in files Access wrote
    std::vector<IndexEntry> entries;
};

/// Decodes index page `number` of the table whose definition starts on page `owner`; Corruption names
/// the page when its bytes cannot be right or it belongs to another table.
Result<IndexPage> decodeIndexPage(ByteView page, const FormatLayout& layout, uint32_t number, uint32_t owner);

/// Bytes `entry` takes on a page written without shared prefixes: its key, the big-endian row pointer,
/// and on node pages the child's page.
size_t encodedEntrySize(const IndexEntry& entry, bool leaf);
/// The room a page has for entries.
size_t indexEntryArea(const FormatLayout& layout);
/// Writes `page` of the table defined on page `owner` into `out`, a whole page, without shared prefixes;
/// InvalidArgument when its entries do not fit.
Status encodeIndexPage(const IndexPage& page, const FormatLayout& layout, uint32_t owner,
                       std::vector<uint8_t>& out);

}  // namespace jet

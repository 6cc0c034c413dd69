// Decoding of index B-tree pages (node and leaf), shared by the reader's cursors and the writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/table.h"
#include "storage/bytes.h"
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
    uint32_t next = 0;  // the next page at the same level (leaves: the next leaf, possibly a tail page)
    std::vector<IndexEntry> entries;
};

/// Decodes index page `number` of the table whose definition starts on page `owner`; Corruption names
/// the page when its bytes cannot be right or it belongs to another table.
Result<IndexPage> decodeIndexPage(ByteView page, const FormatLayout& layout, uint32_t number, uint32_t owner);

}  // namespace jet

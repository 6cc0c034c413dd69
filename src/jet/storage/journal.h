// Atomic commits: the pages a commit overwrites are kept in a rollback journal beside the file until the
// commit is complete, so a commit cut short (a killed process, a full disk, a lost connection) is undone
// by the next one to open the file instead of leaving it half written.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/file.h"

namespace jet {

/// One page a commit writes.
struct PageWrite {
    uint32_t number;
    const std::vector<uint8_t>* bytes;  // a whole page
};

/// Writes `pages` into `file` as one atomic change: journal the pages they overwrite (those below the
/// file's current end), sync it, write and sync the pages, then remove the journal. Before the removal a
/// crash is rolled back; after it the commit stands.
Status commitPages(File& file, const std::vector<PageWrite>& pages, uint32_t pageSize);

/// When `file` has a journal, puts back the pages it holds and the file's old length (a commit cut short
/// after its journal was complete), or drops a journal that is incomplete (the file was not touched
/// yet). The caller holds the writer and the commit lock exclusively.
Status rollBackUnfinishedCommit(File& file);

}  // namespace jet

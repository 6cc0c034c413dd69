// Atomic commits: the pages a commit overwrites are kept in a rollback journal beside the file until the
// commit is complete, so a commit cut short (a killed process, a full disk, a lost connection) is undone
// by the next writer instead of leaving the file half written.
//
// A write too large for memory may append its new pages to the file before it commits; it first starts
// the journal with the file's length alone. Such a journal stays incomplete until the commit writes its
// pages into it: the file's own pages are untouched until then, and undoing the write only cuts the
// appended pages off.
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

/// What the journal beside a file says.
enum class JournalState : uint8_t {
    None,        // no journal: no write is under way or cut short
    Incomplete,  // the file's pages are as the last commit left them; pages may be appended beyond
    Complete,    // a commit may have written part of its pages: only the journal can undo it
};

/// The state of `file`'s journal.
JournalState journalState(File& file);

/// Starts the journal of a write that will append pages before it commits: records the file's length
/// `oldSize` (synced) so that the appended pages can be cut off if the write never commits.
Status startJournal(File& file, uint32_t pageSize, uint64_t oldSize);

/// Writes `pages` into `file` as one atomic change: journal the pages they overwrite (those below
/// `oldSize`, the file's length before the write), sync it, write and sync the pages, then remove the
/// journal. Before the removal a crash is rolled back; after it the commit stands. `started` tells that
/// startJournal was called for this write.
Status commitPages(File& file, const std::vector<PageWrite>& pages, uint32_t pageSize, uint64_t oldSize,
                   bool started);

/// Undoes what a write that never ended left: puts back the pages of a complete journal, cuts the file to
/// the length the journal recorded, and removes the journal. The caller holds the writer and the commit
/// lock exclusively.
Status rollBackUnfinishedCommit(File& file);

}  // namespace jet

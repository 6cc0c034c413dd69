// Atomic commits: the pages a commit overwrites are kept in a rollback journal until the commit is
// complete, so that a commit cut short (a killed process, a full disk, a lost connection) is undone by the
// next program that opens the file, instead of leaving it half written.
//
// The journal lives in the database file itself, appended after its last page: it belongs to the file,
// not to a name, so every path, symbolic link and hard link to the file finds it; it needs no permission
// on the folder; and a copy of the file carries it along. Its fixed-size trailer is always the file's last
// bytes, so a file whose length is a whole number of pages has no journal:
//
//   [database pages .. old length)  [new pages .. new length)  [journal body]  [trailer]
//
// A commit (commitPages):
//   1. writes a Pending trailer at its place, past the body's room: the file's own pages are untouched;
//   2. writes the body (the numbers of the pages it will overwrite, then their present bytes) and turns
//      the trailer Complete, with the body's checksum; syncs;
//   3. writes its pages (new pages included) and syncs;
//   4. cuts the file to its new length and syncs: the journal is gone and the commit stands.
// A write too large for memory appends new pages before it commits (spills): each time, a Pending trailer
// goes past them first (appendAhead), so a crash leaves the file recognisably longer than it was.
//
// After a crash (rollBack, by whoever may write the file): a Complete journal whose body checks out puts
// back the pages it holds; then the file is cut to the old length the trailer records. A program that
// cannot write the file reads it as it was before the commit cut short (ReadView), and changes nothing.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "jet/file.h"

namespace jet {

/// One page a commit writes.
struct PageWrite {
    uint32_t number;
    const std::vector<uint8_t>* bytes;  // a whole page
};

/// What the end of a file says.
enum class JournalState : uint8_t {
    None,      // no journal: the file's length is the database's
    Pending,   // a write appended pages or journals the ones it will overwrite: the database's pages are
               // as the last commit left them, and end at the old length
    Complete,  // a commit may have written part of its pages: only the journal can undo it
};

/// A file's journal as its trailer and body describe it.
struct Journal {
    JournalState state = JournalState::None;
    uint32_t pageSize = 0;
    uint64_t oldLength = 0;  // the database's length before the write; the file's length when None
    /// Complete only: each page the commit overwrites and where the journal keeps its old bytes, by page.
    std::vector<std::pair<uint32_t, uint64_t>> savedPages;
};

/// Reads the end of `file`. A trailer that is damaged, or describes a body that is not all there, counts
/// as no journal; a Complete trailer whose body does not check out counts as Pending (its pages were synced
/// before the trailer could be, so the file's own pages were not yet touched).
Result<Journal> readJournal(const File& file);

/// Before a write appends pages up to `appendEnd` (a page boundary past the file's old length
/// `oldLength`): records the old length behind them, so that a crash leaves the appended pages
/// recognisable and they are cut off again.
Status appendAhead(File& file, uint32_t pageSize, uint64_t oldLength, uint64_t appendEnd);

/// Writes `pages` (ascending, below `newLength`) into `file` as one atomic change: journal the pages
/// below `oldLength` that they overwrite, write the pages, cut the file to `newLength`. A failure part-way
/// leaves a journal that rollBack undoes.
Status commitPages(File& file, const std::vector<PageWrite>& pages, uint32_t pageSize, uint64_t oldLength,
                   uint64_t newLength);

/// Undoes what a write that never ended left: puts back the pages of a Complete journal and cuts the file
/// to its old length. Nothing to do without a journal. The caller holds the writer and the commit lock
/// exclusively.
Status rollBack(File& file);

/// The database a file holds as a reader sees it: the file, or, while a Complete journal is left that this
/// reader may not undo (the file is read-only to it), the file as it was before that commit, each page the
/// commit overwrote read from the journal.
class ReadView {
public:
    /// The view of `file` as if it had no journal, until refresh looks.
    explicit ReadView(const File& file) : m_file(file), m_size(file.size()) {}

    /// Looks at the file's end again (after the file changed).
    Status refresh();
    /// The database's length in bytes.
    uint64_t size() const { return m_size; }
    /// What the file's end holds.
    JournalState journal() const { return m_state; }
    /// Reads `length` bytes at `offset` of the database.
    Status read(uint64_t offset, size_t length, uint8_t* dst) const;

private:
    const File& m_file;
    JournalState m_state = JournalState::None;
    uint64_t m_size;
    uint32_t m_pageSize = 0;
    std::vector<std::pair<uint32_t, uint64_t>> m_saved;  // ascending by page
};

}  // namespace jet

// The engine behind a Database: the file and its header, locks and commits, and the parts that read it
// (catalogue, rows, values, long values, index pages), each in a class of its own.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/bytes.h"
#include "core/text.h"
#include "jet/cursor.h"
#include "jet/database.h"
#include "storage/format.h"
#include "storage/pager.h"
#include "table/catalogue.h"
#include "table/index_page_cache.h"
#include "table/long_values.h"
#include "table/row_decoder.h"
#include "table/row_store.h"

namespace jet {

/// Internal state of an open database; the public classes are thin wrappers around it.
class Engine {
public:
    /// Reads the header and the catalogue of the database in `file`.
    static Result<std::unique_ptr<Engine>> open(std::unique_ptr<File> file, const OpenOptions& options);

    Version version() const { return m_version; }
    const FormatLayout& layout() const { return *m_layout; }
    Pager& pager() { return *m_pager; }
    File& file() { return *m_file; }
    uint16_t codePage() const { return m_codePage; }
    SortOrder sortOrder() const { return m_sortOrder; }

    /// The tables and their definitions.
    Catalogue& catalogue() { return *m_catalogue; }
    /// Rows on data pages.
    RowStore& rows() { return *m_rows; }
    /// Rows split into columns and values decoded.
    const RowDecoder& values() const { return *m_values; }
    /// Decoded index pages.
    IndexPageCache& indexPages() { return *m_indexPages; }

    /// Catches up with the file when its stamp shows that someone wrote it since this engine looked:
    /// cached pages and definitions are dropped and every table's change count moves.
    Status refresh();
    /// The bookkeeping behind ReadLock: the outermost reader takes the shared commit lock (unless this
    /// engine is writing, which keeps every commit out already) and catches up.
    Status acquireRead();
    void releaseRead();
    /// The bookkeeping behind WriteLock: the outermost writer takes the writer lock and catches up.
    Status acquireWrite();
    void releaseWrite();
    /// True while this engine holds the writer lock.
    bool writing() const { return m_writeDepth > 0; }
    /// Commits `pages` (one finished write) under the exclusive commit lock, makes sure the file's stamp
    /// moved, and catches up with what was written: the pages stay cached, the definitions of tables they
    /// changed are read again. Only while writing().
    Status commit(PageTransaction& pages);
    /// Undoes a commit that a crash cut short, when the file's journal shows one (see journal.h) and this
    /// engine may write the file; one that may not reads the file as it was before that commit.
    Status recoverUnfinishedCommit();
    /// Records that this engine wrote (or tried to write) rows of `table`.
    void noteTableWritten(std::string_view table);
    /// See Database::changeCount.
    uint64_t changeCount(std::string_view table) const;
    /// The file's stamp as the cached pages and definitions show it.
    const FileStamp& stamp() const { return m_stamp; }
    /// Why writes are refused; empty when they are not.
    std::string readOnlyReason() const;

    /// Cursors (created here so the public classes stay free of engine details).
    Result<RowCursor> scan(std::shared_ptr<const TableDef> table);
    Result<IndexCursor> indexCursor(std::shared_ptr<const TableDef> table, std::string_view indexName);
    /// Positions `reader` on the row at `id` of `table`; false if the slot holds no live row.
    Result<bool> loadRow(RowReader& reader, const std::shared_ptr<const TableDef>& table, RowId id);

private:
    Engine() = default;
    Status readFirstPages(const OpenOptions& options);
    Status readHeader(const OpenOptions& options);
    // Forgets cached pages and definitions and reads the catalogue again.
    Status reloadCatalog();
    // Refuses writes to a file that is not whole: a length that is not a whole number of pages, or a usage
    // map listing pages beyond the end. Checked once per state of the file (m_wholeAt).
    Status checkWholeForWriting();

    std::unique_ptr<File> m_file;
    std::unique_ptr<Pager> m_pager;
    Version m_version = Version::Jet4;
    const FormatLayout* m_layout = nullptr;
    uint16_t m_codePage = 0;
    SortOrder m_sortOrder;
    std::unique_ptr<CodePageDecoder> m_codePageText;  // Jet 3 only
    std::unique_ptr<RowStore> m_rows;
    std::unique_ptr<LongValueReader> m_longValues;
    std::unique_ptr<RowDecoder> m_values;
    std::unique_ptr<IndexPageCache> m_indexPages;
    std::unique_ptr<Catalogue> m_catalogue;

    std::chrono::milliseconds m_lockWait{5000};
    FileStamp m_stamp;                   // the file as the cached pages and definitions show it
    std::optional<FileStamp> m_wholeAt;  // the file as checkWholeForWriting last found it whole
    int m_readDepth = 0;
    int m_writeDepth = 0;
    bool m_holdsCommitShared = false;
    // Change counts: one clock; a table's count is the later of its last write here and the last
    // catch-up with other writers.
    uint64_t m_changeClock = 0;
    uint64_t m_caughtUpAt = 0;
    std::map<std::string, uint64_t> m_tableWrites;  // key: upper-cased name
};

/// The engine behind `db`, for the engine's own layers (the writer) and white-box tests.
Engine& engineOf(Database& db);

/// Reads the value stored for `ref` (a packed RowId) in a 4-byte pointer.
inline RowId rowIdFromPointer(uint32_t ref) {
    return RowId::fromPacked(ref);
}

}  // namespace jet

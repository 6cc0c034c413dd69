// The engine behind a Database: header, catalogue, table definitions, rows and long values.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "codec/index_page.h"
#include "core/text.h"
#include "jet/cursor.h"
#include "jet/database.h"
#include "storage/bytes.h"
#include "storage/format.h"
#include "storage/pager.h"

namespace jet {

/// Where each stored column of a row lies, parsed once per row.
struct RowLayout {
    uint16_t columnCount = 0;
    const uint8_t* nullMask = nullptr;
    size_t nullMaskSize = 0;
    size_t fixedStart = 0;             // offset of the fixed area in the row
    std::vector<uint32_t> varOffsets;  // one entry per stored variable field plus the end of data
};

/// A row's bytes on its data page, after any overflow pointer has been followed.
struct RowImage {
    RowId id;      // the slot the row was reached through
    PageRef page;  // keeps the bytes alive
    ByteView bytes;
    RowLayout layout;
};

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
    const std::vector<TableEntry>& tables() const { return m_tables; }

    /// The definition of the named table, parsed once and cached.
    Result<std::shared_ptr<const TableDef>> table(std::string_view name);
    /// Parses the table definition that starts on `page`.
    Result<std::shared_ptr<TableDef>> readTableDef(uint32_t page, const std::string& name, bool system);
    /// Drops a cached definition (after a writer changed it).
    void forgetTable(std::string_view name);
    /// Forgets cached pages and definitions and reads the catalogue again (after a writer committed).
    Status reloadCatalog();

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
    /// Undoes a commit that a crash cut short, when the file's journal shows one (see journal.h); an
    /// error when the file cannot be written to repair it.
    Status recoverUnfinishedCommit();
    /// Records that this engine wrote (or tried to write) rows of `table`.
    void noteTableWritten(std::string_view table);
    /// See Database::changeCount.
    uint64_t changeCount(std::string_view table) const;
    /// Why writes are refused; empty when they are not.
    std::string readOnlyReason() const;

    /// The pages listed by the usage map stored in the row `ref`, in ascending order.
    Result<std::vector<uint32_t>> usageMapPages(uint32_t ref);
    /// The data pages of `table` in physical order.
    Result<std::vector<uint32_t>> dataPages(const TableDef& table);

    /// Number of row slots on a data page; 0 when the page is not a data page of `tdefPage`.
    Result<int> dataPageSlots(const PageRef& page, uint32_t pageNumber, uint32_t tdefPage) const;
    /// Locates the row in `slot` of data page `page` into `row`. Returns false for a deleted slot
    /// (unless `includeDeleted`, used when following overflow pointers to their hidden targets).
    Result<bool> rowAt(uint32_t page, int slot, bool includeDeleted, RowImage& row);
    /// Splits a row into its null mask, fixed area and variable fields (fills row.layout).
    Status parseRow(const TableDef& table, RowImage& row) const;
    /// Decodes one column of a parsed row.
    Result<Value> decodeColumn(const ColumnDef& column, const RowImage& row);

    /// The bytes of a long value (memo or OLE) from its 12-byte descriptor and anything after it.
    Result<Bytes> readLongValue(ByteView field);
    /// Text of a Text or Memo value as UTF-8.
    std::string decodeText(ByteView bytes) const;
    /// UTF-8 name from a table definition (UCS-2 in Jet 4, code page in Jet 3).
    std::string decodeName(ByteView bytes) const { return decodeText(bytes); }

    /// Index page `number` of the table defined on page `owner`, decoded; decoded pages are kept while their
    /// bytes stay cached, so repeated seeks descend without decoding again.
    Result<std::shared_ptr<const IndexPage>> indexPage(uint32_t number, uint32_t owner);

    /// Cursors (created here so the public classes stay free of engine details).
    Result<RowCursor> scan(std::shared_ptr<const TableDef> table);
    Result<IndexCursor> indexCursor(std::shared_ptr<const TableDef> table, std::string_view indexName);
    /// Positions `reader` on the row at `id` of `table`; false if the slot holds no live row.
    Result<bool> loadRow(RowReader& reader, const std::shared_ptr<const TableDef>& table, RowId id);

private:
    Engine() = default;
    Status readFirstPages(const OpenOptions& options);
    Status forgetChangedDefinitions(const std::vector<uint32_t>& changedPages);
    Status readHeader(const OpenOptions& options);
    Status readCatalog();

    std::unique_ptr<File> m_file;
    std::unique_ptr<Pager> m_pager;
    Version m_version = Version::Jet4;
    const FormatLayout* m_layout = nullptr;
    uint16_t m_codePage = 0;
    SortOrder m_sortOrder;
    std::unique_ptr<CodePageDecoder> m_codePageText;  // Jet 3 only
    std::vector<TableEntry> m_tables;
    std::map<std::string, std::shared_ptr<const TableDef>> m_tableDefs;  // key: upper-cased name

    /// A decoded index page and the bytes it was decoded from (stale once the pager holds other bytes).
    struct DecodedIndexPage {
        PageRef source;
        uint32_t owner = 0;
        std::shared_ptr<const IndexPage> page;
    };
    std::unordered_map<uint32_t, DecodedIndexPage> m_indexPages;

    std::chrono::milliseconds m_lockWait{5000};
    FileStamp m_stamp;  // the file as the cached pages and definitions show it
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

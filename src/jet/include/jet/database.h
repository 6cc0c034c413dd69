// Opening a database and reading its tables: the reader's public entry point.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/file.h"
#include "jet/status.h"
#include "jet/table.h"
#include "jet/value.h"
#include "jet/version.h"

namespace jet {

class Engine;
class RowReader;
class RowCursor;
class IndexCursor;

/// Held by a reader for one statement: while it lives, no commit changes the file, and the database
/// first caught up with every commit made since it last looked (by this object or anyone else). Locks
/// nest: an inner one costs nothing.
class ReadLock {
public:
    ReadLock(ReadLock&& other) noexcept : m_engine(std::exchange(other.m_engine, nullptr)) {}
    ReadLock& operator=(ReadLock&&) = delete;
    ReadLock(const ReadLock&) = delete;
    ~ReadLock();

private:
    friend class Database;
    explicit ReadLock(Engine* engine) : m_engine(engine) {}
    Engine* m_engine;
};

/// Held by a writer from before it reads the rows it will change until its last commit: while it lives
/// no other writer, in this process or another, can write the file. Taking it catches up with every
/// commit made since the database last looked. Locks nest: an inner one costs nothing.
class WriteLock {
public:
    WriteLock(WriteLock&& other) noexcept : m_engine(std::exchange(other.m_engine, nullptr)) {}
    WriteLock& operator=(WriteLock&&) = delete;
    WriteLock(const WriteLock&) = delete;
    ~WriteLock();

private:
    friend class Database;
    explicit WriteLock(Engine* engine) : m_engine(engine) {}
    Engine* m_engine;
};

/// Settings of Database::open.
struct OpenOptions {
    OpenMode mode = OpenMode::ReadOnly;
    /// The encoding of Jet 3 text ("GB18030", "CP1252", ...). Empty: the header's code page, which
    /// Jet 3 files often state wrongly, so callers that know better should say so.
    std::string jet3CodePage;
    /// Upper bound of the page cache, in pages.
    size_t cachePages = 8192;
    /// How long a statement or a write waits for another process's write or commit before it fails.
    std::chrono::milliseconds lockWait{5000};
};

/// An entry of the system catalogue that describes a table.
struct TableEntry {
    std::string name;
    uint32_t definitionPage = 0;
    bool system = false;
};

/// An open database file.
class Database {
public:
    /// Opens the file at `path`.
    static Result<std::unique_ptr<Database>> open(const std::string& path, const OpenOptions& options = {});
    /// Opens a database held by `file` (a real file or memory).
    static Result<std::unique_ptr<Database>> open(std::unique_ptr<File> file,
                                                  const OpenOptions& options = {});
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    /// The file's generation.
    Version version() const;
    /// Page size in bytes (2048 for Jet 3, 4096 otherwise).
    uint32_t pageSize() const;
    /// The code page the header states.
    uint16_t codePage() const;
    /// The database's default text sort order.
    SortOrder sortOrder() const;
    /// The file's name, for messages.
    std::string fileName() const;
    /// Why writes are refused (the file was opened read-only, or could not be opened for writing);
    /// empty when the database can be written.
    std::string readOnlyReason() const;
    /// An error saying why `what` ("update table DM") cannot be done when writes are refused.
    Status checkWritable(const std::string& what) const;

    /// Waits (up to OpenOptions::lockWait) until no commit is under way, catches up with the file and
    /// keeps commits out until the lock is released. Statements hold one while they run.
    Result<ReadLock> lockForReading();
    /// Waits (up to OpenOptions::lockWait) for other writers, catches up with the file and keeps other
    /// writers out until the lock is released. Every write takes one; callers that read rows to decide
    /// what to write take it first, so that what they read is still true when they write.
    Result<WriteLock> lockForWriting();
    /// A number that changes whenever rows of `table` may have changed: through this database, or
    /// through any other writer once a lock has caught up with it. For caches derived from the rows.
    uint64_t changeCount(std::string_view table) const;
    /// The file's stamp as this database last caught up with it. Taken under a ReadLock it is the file as
    /// it stands, and it differs from a stamp taken earlier, by this or any other Database, whenever a
    /// commit came in between: for caches kept across opens of the file.
    FileStamp fileStamp() const;

    /// Every table in catalogue order, system tables included.
    const std::vector<TableEntry>& tables() const;
    /// Table names in catalogue order; system tables only when asked.
    std::vector<std::string> tableNames(bool includeSystem = false) const;
    /// The definition of the table named `name` (compared without regard to ASCII case).
    Result<std::shared_ptr<const TableDef>> table(std::string_view name);
    /// A number that moves whenever a definition table() handed out may have been replaced (a commit, a
    /// catch-up with other writers): a caller that keeps definitions between statements asks table() again
    /// only then.
    uint64_t definitionsVersion() const;

    /// A cursor over every row of `table` in physical order.
    Result<RowCursor> scan(std::shared_ptr<const TableDef> table);
    /// Positions `reader` on the live row of `table` at `id` (as RowReader::rowId gives it); false
    /// when the slot holds no live row. Corruption when the page is not one of the table's.
    Result<bool> readRow(RowReader& reader, const std::shared_ptr<const TableDef>& table, RowId id);
    /// A cursor over the rows of `table` in the order of its logical index `indexName`.
    Result<IndexCursor> indexCursor(std::shared_ptr<const TableDef> table, std::string_view indexName);

private:
    friend Engine& engineOf(Database& db);
    explicit Database(std::unique_ptr<Engine> engine);
    std::unique_ptr<Engine> m_engine;
};

}  // namespace jet

// Opening a database and reading its tables: the reader's public entry point.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/file.h"
#include "jet/status.h"
#include "jet/table.h"
#include "jet/value.h"
#include "jet/version.h"

namespace jet {

class Engine;
class RowCursor;
class IndexCursor;


/// Settings of Database::open.
struct OpenOptions {
    OpenMode mode = OpenMode::ReadOnly;
    /// The encoding of Jet 3 text ("GB18030", "CP1252", ...). Empty: the header's code page, which
    /// Jet 3 files often state wrongly, so callers that know better should say so.
    std::string jet3CodePage;
    /// Upper bound of the page cache, in pages.
    size_t cachePages = 8192;
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
    static Result<std::unique_ptr<Database>> open(std::unique_ptr<File> file, const OpenOptions& options = {});
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

    /// Every table in catalogue order, system tables included.
    const std::vector<TableEntry>& tables() const;
    /// Table names in catalogue order; system tables only when asked.
    std::vector<std::string> tableNames(bool includeSystem = false) const;
    /// The definition of the table named `name` (compared without regard to ASCII case).
    Result<std::shared_ptr<const TableDef>> table(std::string_view name);

    /// A cursor over every row of `table` in physical order.
    Result<RowCursor> scan(std::shared_ptr<const TableDef> table);
    /// A cursor over the rows of `table` in the order of its logical index `indexName`.
    Result<IndexCursor> indexCursor(std::shared_ptr<const TableDef> table, std::string_view indexName);

    /// The engine behind this database (for the engine's own modules).
    Engine& engine() { return *m_engine; }

private:
    explicit Database(std::unique_ptr<Engine> engine);
    std::unique_ptr<Engine> m_engine;
};

}  // namespace jet

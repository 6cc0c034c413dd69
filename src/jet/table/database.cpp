// The public Database: a thin wrapper that hands its work to the engine.
#include "jet/database.h"

#include "table/engine.h"

namespace jet {

Result<std::unique_ptr<Database>> Database::open(const std::string& path, const OpenOptions& options) {
    JET_ASSIGN_OR_RETURN(std::unique_ptr<File> file, openPosixFile(path, options.mode));
    return open(std::move(file), options);
}

Result<std::unique_ptr<Database>> Database::open(std::unique_ptr<File> file, const OpenOptions& options) {
    std::string name = file->name();
    auto engine = Engine::open(std::move(file), options);
    if (!engine.ok()) return engine.status().withContext(name);
    return std::unique_ptr<Database>(new Database(std::move(engine).value()));
}

Database::Database(std::unique_ptr<Engine> engine) : m_engine(std::move(engine)) {}

Engine& engineOf(Database& db) {
    return *db.m_engine;
}
Database::~Database() = default;

Version Database::version() const {
    return m_engine->version();
}
uint32_t Database::pageSize() const {
    return m_engine->layout().pageSize;
}
uint16_t Database::codePage() const {
    return m_engine->codePage();
}
SortOrder Database::sortOrder() const {
    return m_engine->sortOrder();
}
const std::vector<TableEntry>& Database::tables() const {
    return m_engine->catalogue().entries();
}

std::vector<std::string> Database::tableNames(bool includeSystem) const {
    std::vector<std::string> names;
    for (const TableEntry& t : m_engine->catalogue().entries()) {
        if (includeSystem || !t.system) names.push_back(t.name);
    }
    return names;
}

Result<std::shared_ptr<const TableDef>> Database::table(std::string_view name) {
    return m_engine->catalogue().table(name);
}

uint64_t Database::definitionsVersion() const {
    return m_engine->catalogue().generation();
}

Result<RowCursor> Database::scan(std::shared_ptr<const TableDef> table) {
    return m_engine->scan(std::move(table));
}

std::string Database::fileName() const {
    return m_engine->file().name();
}

Status Database::checkWritable(const std::string& what) const {
    std::string reason = readOnlyReason();
    if (reason.empty()) return {};
    return Status::InvalidArgument("cannot " + what + ": the database " + fileName() + " is " + reason);
}

std::string Database::readOnlyReason() const {
    return m_engine->readOnlyReason();
}

Result<ReadLock> Database::lockForReading() {
    JET_RETURN_IF_ERROR(m_engine->acquireRead());
    return ReadLock(m_engine.get());
}

Result<WriteLock> Database::lockForWriting() {
    JET_RETURN_IF_ERROR(m_engine->acquireWrite());
    return WriteLock(m_engine.get());
}

uint64_t Database::changeCount(std::string_view table) const {
    return m_engine->changeCount(table);
}

FileStamp Database::fileStamp() const {
    return m_engine->stamp();
}

ReadLock::~ReadLock() {
    if (m_engine != nullptr) m_engine->releaseRead();
}

WriteLock::~WriteLock() {
    if (m_engine != nullptr) m_engine->releaseWrite();
}

Result<bool> Database::readRow(RowReader& reader, const std::shared_ptr<const TableDef>& table, RowId id) {
    return m_engine->loadRow(reader, table, id);
}

Result<IndexCursor> Database::indexCursor(std::shared_ptr<const TableDef> table, std::string_view indexName) {
    return m_engine->indexCursor(std::move(table), indexName);
}

std::string_view versionName(Version v) {
    switch (v) {
        case Version::Jet3:
            return "Jet 3";
        case Version::Jet4:
            return "Jet 4";
        case Version::Ace12:
            return "ACE 12";
        case Version::Ace14:
            return "ACE 14";
    }
    return "unknown";
}

}  // namespace jet

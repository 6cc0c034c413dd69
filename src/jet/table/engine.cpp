#include "table/engine.h"

#include "codec/header.h"
#include "storage/journal.h"

#include <algorithm>
#include <cctype>

namespace jet {
namespace {

constexpr uint32_t kCatalogPage = 2;
constexpr uint8_t kObjectTypeTable = 1;
constexpr uint32_t kSystemObjectFlags = 0x80000002;

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

Result<std::unique_ptr<Engine>> Engine::open(std::unique_ptr<File> file, const OpenOptions& options) {
    std::unique_ptr<Engine> engine(new Engine());
    engine->m_file = std::move(file);
    engine->m_lockWait = options.lockWait;
    JET_RETURN_IF_ERROR(engine->recoverUnfinishedCommit());
    // The header and catalogue are read as one commit left them.
    JET_RETURN_IF_ERROR(engine->m_file->lock(LockRange::Commit, LockMode::Shared, options.lockWait));
    Status s = engine->readFirstPages(options);
    engine->m_file->unlock(LockRange::Commit);
    JET_RETURN_IF_ERROR(s);
    return engine;
}

Status Engine::readFirstPages(const OpenOptions& options) {
    JET_ASSIGN_OR_RETURN(m_stamp, m_file->stamp());
    JET_RETURN_IF_ERROR(readHeader(options));
    m_pager = std::make_unique<Pager>(*m_file, m_layout->pageSize, std::max<size_t>(options.cachePages, 16));
    return readCatalog().withContext("system catalogue");
}

Status Engine::reloadCatalog() {
    m_pager->clear();
    m_indexPages.clear();
    m_tables.clear();
    m_tableDefs.clear();
    return readCatalog();
}

Status Engine::refresh() {
    JET_ASSIGN_OR_RETURN(FileStamp now, m_file->stamp());
    if (now == m_stamp) return {};
    // A commit cut short changed the file: the journal it left says how to undo it.
    if (m_file->journalExists()) {
        JET_RETURN_IF_ERROR(recoverUnfinishedCommit());
        JET_ASSIGN_OR_RETURN(now, m_file->stamp());
    }
    m_caughtUpAt = ++m_changeClock;
    JET_RETURN_IF_ERROR(reloadCatalog().withContext("system catalogue"));
    m_stamp = now;
    return {};
}

Status Engine::acquireRead() {
    // A writing engine keeps every commit out already; nested readers share the outer one's lock.
    if (m_readDepth == 0 && m_writeDepth == 0) {
        JET_RETURN_IF_ERROR(m_file->lock(LockRange::Commit, LockMode::Shared, m_lockWait));
        m_holdsCommitShared = true;
        Status s = refresh();
        if (!s.ok()) {
            m_file->unlock(LockRange::Commit);
            m_holdsCommitShared = false;
            return s;
        }
    }
    ++m_readDepth;
    return {};
}

void Engine::releaseRead() {
    if (--m_readDepth > 0 || !m_holdsCommitShared) return;
    m_file->unlock(LockRange::Commit);
    m_holdsCommitShared = false;
}

Status Engine::acquireWrite() {
    if (m_writeDepth > 0) {
        ++m_writeDepth;
        return {};
    }
    if (m_version != Version::Jet4)
        return Status::NotSupported("only Jet 4 files can be written, this one is " +
                                    std::string(versionName(m_version)));
    if (m_file->readOnly())
        return Status::InvalidArgument(m_file->name() + " is " + m_file->readOnlyReason());
    JET_RETURN_IF_ERROR(m_file->lock(LockRange::Writer, LockMode::Exclusive, m_lockWait));
    ++m_writeDepth;
    // Holding the writer lock, any journal is one a write left behind: undo it before writing anew.
    Status s = recoverUnfinishedCommit();
    if (s.ok()) s = refresh();
    if (!s.ok()) {
        --m_writeDepth;
        m_file->unlock(LockRange::Writer);
    }
    return s;
}

void Engine::releaseWrite() {
    if (--m_writeDepth > 0) return;
    m_file->unlock(LockRange::Writer);
}

Status Engine::recoverUnfinishedCommit() {
    if (!m_file->journalExists()) return {};
    if (m_writeDepth == 0) {
        // A writer at work may own the journal: only a complete journal seen while no commit runs says that
        // the file's pages may be half written. An incomplete one leaves them as the last commit did.
        bool locked = !m_holdsCommitShared;
        if (locked) JET_RETURN_IF_ERROR(m_file->lock(LockRange::Commit, LockMode::Shared, m_lockWait));
        JournalState state = journalState(*m_file);
        if (locked) m_file->unlock(LockRange::Commit);
        if (state != JournalState::Complete) return {};
        if (m_file->readOnly()) {
            return Status::IOError(
                m_file->name() +
                " was left half written by a write that did not finish; open it for writing "
                "once to put it back as it was before that write");
        }
    }
    // Writers take the writer lock before the commit lock; so does the repair, letting go of a reader's
    // shared hold first, or it could wait on a writer that waits on it.
    bool holdsWriter = m_writeDepth > 0;
    if (m_holdsCommitShared && !holdsWriter) m_file->unlock(LockRange::Commit);
    Status s = holdsWriter ? Status() : m_file->lock(LockRange::Writer, LockMode::Exclusive, m_lockWait);
    if (s.ok()) s = m_file->lock(LockRange::Commit, LockMode::Exclusive, m_lockWait);
    if (s.ok()) s = rollBackUnfinishedCommit(*m_file).withContext("repairing " + m_file->name());
    // Back to the locks held before: the reader's shared hold, or none.
    if (m_holdsCommitShared) {
        Status back = m_file->lock(LockRange::Commit, LockMode::Shared, m_lockWait);
        if (s.ok()) s = back;
    } else {
        m_file->unlock(LockRange::Commit);
    }
    if (!holdsWriter) m_file->unlock(LockRange::Writer);
    return s;
}

Status Engine::commit(PageTransaction& pages) {
    if (m_writeDepth == 0) return Status::InvalidArgument("a commit needs the write lock");
    std::vector<uint32_t> changed = pages.changedPages();
    // Taking the commit lock exclusively converts a shared hold of this engine's own readers.
    JET_RETURN_IF_ERROR(m_file->lock(LockRange::Commit, LockMode::Exclusive, m_lockWait));
    auto before = m_file->stamp();
    Status s = before.ok() ? pages.commit() : before.status();
    if (s.ok()) s = m_file->markChangedSince(*before);
    if (m_holdsCommitShared) {
        // Back to the shared hold the engine's reader had (no one else can take the range meanwhile:
        // this engine still holds it).
        Status back = m_file->lock(LockRange::Commit, LockMode::Shared, m_lockWait);
        if (s.ok()) s = back;
    } else {
        m_file->unlock(LockRange::Commit);
    }
    // The writer lock keeps others out, so what this engine caches now is the file as committed; after a
    // failure the file may hold part of the change, and everything is read again.
    Status caughtUp = s.ok() ? forgetChangedDefinitions(changed) : reloadCatalog();
    auto after = m_file->stamp();
    if (caughtUp.ok() && after.ok()) m_stamp = *after;
    JET_RETURN_IF_ERROR(s);
    JET_RETURN_IF_ERROR(caughtUp);
    return after.status();
}

Status Engine::forgetChangedDefinitions(const std::vector<uint32_t>& changedPages) {
    auto changed = [&](uint32_t page) {
        return std::binary_search(changedPages.begin(), changedPages.end(), page);
    };
    for (auto it = m_tableDefs.begin(); it != m_tableDefs.end();) {
        it = changed(it->second->definitionPage) ? m_tableDefs.erase(it) : std::next(it);
    }
    // A new table adds a row to the catalogue, whose definition page changes with its row count.
    if (!changed(kCatalogPage)) return {};
    m_tables.clear();
    return readCatalog();
}

void Engine::noteTableWritten(std::string_view table) {
    m_tableWrites[upper(table)] = ++m_changeClock;
}

uint64_t Engine::changeCount(std::string_view table) const {
    auto it = m_tableWrites.find(upper(table));
    return std::max(m_caughtUpAt, it == m_tableWrites.end() ? 0 : it->second);
}

std::string Engine::readOnlyReason() const {
    if (m_version != Version::Jet4)
        return "a " + std::string(versionName(m_version)) + " file, and only Jet 4 files can be written";
    return m_file->readOnlyReason();
}

Status Engine::readHeader(const OpenOptions& options) {
    if (m_file->size() < kHeaderPrefixSize) return Status::Corruption("file too small for a database header");
    std::vector<uint8_t> prefix(kHeaderPrefixSize);
    JET_RETURN_IF_ERROR(m_file->read(0, prefix.size(), prefix.data()));
    JET_ASSIGN_OR_RETURN(DatabaseHeader header, decodeHeader(ByteView(prefix.data(), prefix.size())));
    m_version = header.version;
    m_layout = &formatLayout(m_version);
    if (m_file->size() < uint64_t{m_layout->pageSize} * 3) {
        return Status::Corruption("file too small: " + std::to_string(m_file->size()) + " bytes");
    }
    m_codePage = header.codePage;
    m_sortOrder = header.sortOrder;
    if (m_layout->jet3) {
        std::string name = options.jet3CodePage.empty() ? codePageName(m_codePage ? m_codePage : 1252)
                                                        : options.jet3CodePage;
        auto decoder = CodePageDecoder::create(name);
        // An unknown code page named by the caller is their mistake; one named by the file is not.
        if (!decoder.ok() && options.jet3CodePage.empty())
            return Status::NotSupported("the header's code page " + std::to_string(m_codePage) + " (" + name +
                                        ") is unknown here; name the text encoding to open the file");
        if (!decoder.ok()) return decoder.status();
        m_codePageText = std::move(decoder).value();
    }
    return {};
}

Status Engine::readCatalog() {
    JET_ASSIGN_OR_RETURN(std::shared_ptr<TableDef> catalog, readTableDef(kCatalogPage, "MSysObjects", true));
    int idCol = catalog->columnIndex("Id");
    int nameCol = catalog->columnIndex("Name");
    int typeCol = catalog->columnIndex("Type");
    int flagsCol = catalog->columnIndex("Flags");
    if (idCol < 0 || nameCol < 0 || typeCol < 0 || flagsCol < 0) {
        return Status::Corruption("MSysObjects lacks one of Id, Name, Type, Flags");
    }
    std::shared_ptr<const TableDef> catalogDef = catalog;
    m_tableDefs[upper("MSysObjects")] = catalogDef;
    JET_ASSIGN_OR_RETURN(RowCursor cursor, scan(catalogDef));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) break;
        JET_ASSIGN_OR_RETURN(Value type, cursor.value(static_cast<size_t>(typeCol)));
        auto* typeNumber = std::get_if<int64_t>(&type);
        if (typeNumber == nullptr || (*typeNumber & 0x7F) != kObjectTypeTable) continue;
        JET_ASSIGN_OR_RETURN(Value id, cursor.value(static_cast<size_t>(idCol)));
        JET_ASSIGN_OR_RETURN(Value name, cursor.value(static_cast<size_t>(nameCol)));
        JET_ASSIGN_OR_RETURN(Value flags, cursor.value(static_cast<size_t>(flagsCol)));
        auto* idNumber = std::get_if<int64_t>(&id);
        auto* nameText = std::get_if<std::string>(&name);
        if (idNumber == nullptr || nameText == nullptr) continue;
        auto* flagBits = std::get_if<int64_t>(&flags);
        TableEntry entry;
        entry.name = *nameText;
        entry.definitionPage = static_cast<uint32_t>(*idNumber) & 0x00FFFFFF;
        entry.system = flagBits != nullptr && (static_cast<uint32_t>(*flagBits) & kSystemObjectFlags) != 0;
        m_tables.push_back(std::move(entry));
    }
    return {};
}

Result<std::shared_ptr<const TableDef>> Engine::table(std::string_view name) {
    std::string key = upper(name);
    if (auto it = m_tableDefs.find(key); it != m_tableDefs.end()) return it->second;
    for (const TableEntry& entry : m_tables) {
        if (!equalsIgnoreCase(entry.name, name)) continue;
        JET_ASSIGN_OR_RETURN(std::shared_ptr<TableDef> def,
                             readTableDef(entry.definitionPage, entry.name, entry.system));
        m_tableDefs[key] = def;
        return std::shared_ptr<const TableDef>(def);
    }
    return Status::NotFound("no table named " + std::string(name));
}

void Engine::forgetTable(std::string_view name) {
    m_tableDefs.erase(upper(name));
}

std::string Engine::decodeText(ByteView bytes) const {
    if (m_codePageText) return m_codePageText->decode(bytes);
    return decodeJet4Text(bytes);
}

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
    return m_engine->tables();
}

std::vector<std::string> Database::tableNames(bool includeSystem) const {
    std::vector<std::string> names;
    for (const TableEntry& t : m_engine->tables()) {
        if (includeSystem || !t.system) names.push_back(t.name);
    }
    return names;
}

Result<std::shared_ptr<const TableDef>> Database::table(std::string_view name) {
    return m_engine->table(name);
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

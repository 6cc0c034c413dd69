#include "table/engine.h"

#include "codec/header.h"
#include "storage/journal.h"

#include <algorithm>

namespace jet {
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
    m_rows = std::make_unique<RowStore>(*m_pager, *m_layout);
    m_longValues = std::make_unique<LongValueReader>(*m_rows, *m_pager, *m_layout);
    m_values = std::make_unique<RowDecoder>(*m_layout, m_codePageText.get(), *m_longValues);
    m_indexPages = std::make_unique<IndexPageCache>(*m_pager, *m_layout);
    m_catalogue = std::make_unique<Catalogue>(*this);
    return m_catalogue->load().withContext("system catalogue");
}

Status Engine::reloadCatalog() {
    m_pager->clear();
    m_indexPages->clear();
    m_catalogue->clear();
    return m_catalogue->load();
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
    Status caughtUp = s.ok() ? m_catalogue->forgetChanged(changed) : reloadCatalog();
    auto after = m_file->stamp();
    if (caughtUp.ok() && after.ok()) m_stamp = *after;
    JET_RETURN_IF_ERROR(s);
    JET_RETURN_IF_ERROR(caughtUp);
    return after.status();
}

void Engine::noteTableWritten(std::string_view table) {
    m_tableWrites[upperAscii(table)] = ++m_changeClock;
}

uint64_t Engine::changeCount(std::string_view table) const {
    auto it = m_tableWrites.find(upperAscii(table));
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

}  // namespace jet

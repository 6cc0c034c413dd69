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
    JET_RETURN_IF_ERROR(m_pager->reload());
    m_rows = std::make_unique<RowStore>(*m_pager, *m_layout);
    m_longValues = std::make_unique<LongValueReader>(*m_rows, *m_pager, *m_layout);
    m_values = std::make_unique<RowDecoder>(*m_layout, m_codePageText.get(), *m_longValues);
    m_indexPages = std::make_unique<IndexPageCache>(*m_pager, *m_layout);
    m_catalogue = std::make_unique<Catalogue>(*this);
    return m_catalogue->load().withContext("system catalogue");
}

Status Engine::reloadCatalog() {
    m_indexPages->clear();
    m_catalogue->clear();
    JET_RETURN_IF_ERROR(m_pager->reload());
    return m_catalogue->load();
}

Status Engine::refresh() {
    JET_ASSIGN_OR_RETURN(FileStamp now, m_file->stamp());
    if (now == m_stamp) return {};
    // A commit cut short changed the file: the journal it left says how to undo it.
    JET_RETURN_IF_ERROR(recoverUnfinishedCommit());
    JET_ASSIGN_OR_RETURN(now, m_file->stamp());
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
    if (s.ok()) s = checkWholeForWriting();
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
    bool holdsWriter = m_writeDepth > 0;
    // Without the writer lock the journal is read while no commit runs: a Complete journal seen then was
    // left by a commit that died.
    bool locked = !holdsWriter && !m_holdsCommitShared;
    if (locked) JET_RETURN_IF_ERROR(m_file->lock(LockRange::Commit, LockMode::Shared, m_lockWait));
    Result<Journal> journal = readJournal(*m_file);
    if (locked) m_file->unlock(LockRange::Commit);
    if (!journal.ok()) return journal.status();
    // Who may not write the file reads it as it was before the write cut short (ReadView).
    if (journal->state == JournalState::None || m_file->readOnly()) return {};
    // A Pending journal may be a writer's at work, appending pages ahead of its commit: it is undone only
    // when no writer holds the file; until then readers read below the length it records.
    bool onlyIfFree = !holdsWriter && journal->state == JournalState::Pending;
    // Writers take the writer lock before the commit lock; so does the repair, letting go of a reader's
    // shared hold first, or it could wait on a writer that waits on it.
    if (m_holdsCommitShared && !holdsWriter) m_file->unlock(LockRange::Commit);
    Status s = holdsWriter ? Status()
                           : m_file->lock(LockRange::Writer, LockMode::Exclusive,
                                          onlyIfFree ? std::chrono::milliseconds(0) : m_lockWait);
    bool tookWriter = !holdsWriter && s.ok();
    if (s.ok()) s = m_file->lock(LockRange::Commit, LockMode::Exclusive, m_lockWait);
    // Under both locks the journal is read again: another program may have repaired the file meanwhile.
    if (s.ok()) s = rollBack(*m_file).withContext("undoing the write a crash cut short in " + m_file->name());
    // Back to the locks held before: the reader's shared hold, or none.
    Status back;
    if (m_holdsCommitShared)
        back = m_file->lock(LockRange::Commit, LockMode::Shared, m_lockWait);
    else
        m_file->unlock(LockRange::Commit);
    if (tookWriter) m_file->unlock(LockRange::Writer);
    JET_RETURN_IF_ERROR(back);
    // A reader whose repair failed (the file could not be written back, or another process kept it locked)
    // reads on as one that may not write: the journal is still whole, and the file is read as it was before
    // the commit. Only a write has to fail.
    return holdsWriter ? s : Status();
}

Status Engine::checkWholeForWriting() {
    if (m_wholeAt && *m_wholeAt == m_stamp) return {};
    uint64_t size = m_file->size();
    const uint32_t pageSize = m_layout->pageSize;
    auto refused = [&](const std::string& why) {
        return Status::Corruption(
            "cannot write " + m_file->name() + ": " + why +
            "; it may have been cut short (an interrupted copy or download), and a write "
            "would put new pages where rows belong. Reading goes on; replace the file "
            "with a whole copy to write it");
    };
    if (size % pageSize != 0) {
        return refused("its length, " + std::to_string(size) + " bytes, is not a whole number of pages of " +
                       std::to_string(pageSize) + " bytes");
    }
    for (const TableEntry& entry : m_catalogue->entries()) {
        auto maps = m_catalogue->usageMaps(entry);
        Status s = maps.status();
        // A reference of 0 names no map (real files leave some indexes without one).
        for (size_t i = 0; s.ok() && i < maps->size(); ++i)
            if ((*maps)[i] != 0) s = m_rows->usageMapPages((*maps)[i]).status();
        if (!s.ok()) return refused("table " + entry.name + ": " + s.message());
    }
    m_wholeAt = m_stamp;
    return {};
}

Status Engine::commit(PageTransaction& pages) {
    if (m_writeDepth == 0) return Status::InvalidArgument("a commit needs the write lock");
    std::vector<uint32_t> changed = pages.changedPages();
    // Taking the commit lock exclusively converts a shared hold of this engine's own readers.
    JET_RETURN_IF_ERROR(m_file->lock(LockRange::Commit, LockMode::Exclusive, m_lockWait));
    auto before = m_file->stamp();
    // This engine's commits keep the file whole: a check made before stays true after.
    bool whole = m_wholeAt && *m_wholeAt == m_stamp;
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
    if (caughtUp.ok() && after.ok()) {
        m_stamp = *after;
        if (whole && s.ok()) m_wholeAt = m_stamp;
    }
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
    ReadView database(*m_file);
    JET_RETURN_IF_ERROR(database.refresh());
    if (database.size() < kHeaderPrefixSize)
        return Status::Corruption("file too small for a database header");
    std::vector<uint8_t> prefix(kHeaderPrefixSize);
    JET_RETURN_IF_ERROR(database.read(0, prefix.size(), prefix.data()));
    JET_ASSIGN_OR_RETURN(DatabaseHeader header, decodeHeader(ByteView(prefix.data(), prefix.size())));
    m_version = header.version;
    m_layout = &formatLayout(m_version);
    if (database.size() < uint64_t{m_layout->pageSize} * 3) {
        return Status::Corruption("file too small: " + std::to_string(database.size()) + " bytes");
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

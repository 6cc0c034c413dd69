// The one interface through which the engine touches storage: a real file or a buffer in memory.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/status.h"

namespace jet {

/// What identifies a version of a file's contents: any committed write changes it. Comparing two stamps
/// is how an open database finds out, cheaply, that someone else wrote the file since it last looked.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
    int64_t changedNs = 0;   // status change time
    uint64_t writes = 0;     // writes counted by the file object itself (files in memory)

    bool operator==(const FileStamp&) const = default;
};

/// The two lock ranges of a database file. A writer holds Writer exclusively for a whole write (from
/// before it reads the rows it will change until its commit ends), so writers take turns. Commit is held
/// shared by every reader for one statement and exclusively by a writer while it writes pages, so no
/// reader ever sees a commit half done.
enum class LockRange : uint8_t { Writer, Commit };

/// How a lock range is held.
enum class LockMode : uint8_t { Shared, Exclusive };

/// Random-access storage holding one database. Offsets are absolute byte positions.
class File {
public:
    virtual ~File() = default;

    /// Reads exactly `length` bytes at `offset` into `dst`; a short read is an IOError.
    virtual Status read(uint64_t offset, size_t length, uint8_t* dst) const = 0;
    /// Writes `length` bytes at `offset`, growing the file when needed.
    virtual Status write(uint64_t offset, size_t length, const uint8_t* src) = 0;
    /// The current size in bytes.
    virtual uint64_t size() const = 0;
    /// Makes earlier writes durable.
    virtual Status sync() = 0;
    /// Cuts the file to `size` bytes.
    virtual Status truncate(uint64_t size) = 0;
    /// True when writes are refused.
    virtual bool readOnly() const = 0;
    /// Why writes are refused, for messages ("open read-only", ...); empty
    /// when the file is writable.
    virtual std::string readOnlyReason() const { return readOnly() ? "open read-only" : ""; }
    /// A name for messages (the path, or "<memory>").
    virtual std::string name() const = 0;

    /// The file's current stamp.
    virtual Result<FileStamp> stamp() const = 0;
    /// Makes sure the stamp differs from `before`, a stamp taken before this writer's latest writes: a
    /// file system whose clock did not move between two writes would otherwise hide the second one.
    virtual Status markChangedSince(const FileStamp& before) = 0;

    /// Takes `range` in `mode`, waiting at most `wait`; IOError when another holder keeps it longer,
    /// saying whether a reader or a writer holds it. Locks belong to this File object: a second object on
    /// the same file, in this process or another, contends like any other holder.
    virtual Status lock(LockRange range, LockMode mode, std::chrono::milliseconds wait) = 0;
    /// Releases `range`.
    virtual void unlock(LockRange range) = 0;
};

/// How a file on disk is opened.
enum class OpenMode : uint8_t {
    ReadOnly,
    /// For reading and writing; opening fails when the file cannot be written (permissions, read-only
    /// media, or no write permission bit set at all, which marks a file read-only even for root).
    ReadWrite,
    /// For reading and writing when the file can be written, else for reading only. The caller asked
    /// for this and sees the outcome (Database::readOnlyReason); writes then fail saying why.
    ReadWriteIfPermitted,
};

/// Opens the file at `path`, which must be a regular file. ReadWrite fails with IOError when the file
/// cannot be written. ReadWriteIfPermitted never opens for writing what ReadWrite would refuse.
Result<std::unique_ptr<File>> openPosixFile(const std::string& path, OpenMode mode);

/// Creates the file at `path`, which must not exist yet, for reading and writing.
Result<std::unique_ptr<File>> createPosixFile(const std::string& path);

/// A file held in memory, for tests that damage bytes without touching the disk. Its locks always
/// succeed: nothing else can reach the buffer. A budget of writes lets tests stop a commit at any point,
/// as a crash would.
class MemoryFile : public File {
public:
    /// A file with the given contents; `readOnly` makes writes fail.
    explicit MemoryFile(std::vector<uint8_t> bytes = {}, bool readOnly = false);

    Status read(uint64_t offset, size_t length, uint8_t* dst) const override;
    Status write(uint64_t offset, size_t length, const uint8_t* src) override;
    uint64_t size() const override { return m_bytes.size(); }
    Status sync() override { return {}; }
    Status truncate(uint64_t size) override;
    bool readOnly() const override { return m_readOnly; }
    std::string name() const override { return "<memory>"; }
    Result<FileStamp> stamp() const override;
    Status markChangedSince(const FileStamp&) override { return {}; }
    Status lock(LockRange, LockMode, std::chrono::milliseconds) override { return {}; }
    void unlock(LockRange) override {}

    /// The current contents.
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    /// Lets only `writes` more writes and truncations succeed; later ones fail with IOError. Negative: no
    /// limit.
    void limitWrites(int64_t writes) { m_budget = writes; }

private:
    Status spend();

    std::vector<uint8_t> m_bytes;
    bool m_readOnly;
    uint64_t m_writes = 0;
    int64_t m_budget = -1;
};

/// Reads a whole file from disk into memory (used by tests and tools).
Result<std::vector<uint8_t>> readWholeFile(const std::string& path);

}  // namespace jet

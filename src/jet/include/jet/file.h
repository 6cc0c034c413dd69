// The one interface through which the engine touches storage: a real file or a buffer in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/status.h"

namespace jet {

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
    /// True when writes are refused.
    virtual bool readOnly() const = 0;
    /// A name for messages (the path, or "<memory>").
    virtual std::string name() const = 0;
    /// Takes the exclusive advisory lock a writer holds for a whole write, so two processes never
    /// interleave page writes. Waits a short, bounded time, then fails with IOError.
    virtual Status lockForWriting() { return {}; }
    /// Releases the lock taken by lockForWriting.
    virtual void unlockForWriting() {}
};

/// How a file on disk is opened.
enum class OpenMode : uint8_t { ReadOnly, ReadWrite };

/// Opens the file at `path`. ReadWrite fails with IOError when the file cannot be written.
Result<std::unique_ptr<File>> openPosixFile(const std::string& path, OpenMode mode);

/// Creates (or truncates) the file at `path` for reading and writing.
Result<std::unique_ptr<File>> createPosixFile(const std::string& path);

/// A file held in memory, for tests that damage bytes without touching the disk.
class MemoryFile : public File {
public:
    /// A file with the given contents; `readOnly` makes writes fail.
    explicit MemoryFile(std::vector<uint8_t> bytes = {}, bool readOnly = false);

    Status read(uint64_t offset, size_t length, uint8_t* dst) const override;
    Status write(uint64_t offset, size_t length, const uint8_t* src) override;
    uint64_t size() const override { return m_bytes.size(); }
    Status sync() override { return {}; }
    bool readOnly() const override { return m_readOnly; }
    std::string name() const override { return "<memory>"; }

    /// The current contents.
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    bool m_readOnly;
};

/// Reads a whole file from disk into memory (used by tests and tools).
Result<std::vector<uint8_t>> readWholeFile(const std::string& path);

}  // namespace jet

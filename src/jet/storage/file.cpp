#include "jet/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace jet {
namespace {

// The lock ranges lie far beyond any real file's data, so they never overlap bytes anyone reads.
constexpr off_t kLockBase = off_t{0x7FFFFFFF} << 32;
constexpr auto kLockRetryLongest = std::chrono::milliseconds(8);

std::string errnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

int64_t nanoseconds(const struct timespec& t) {
    return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

FileStamp stampOf(const struct stat& st) {
    FileStamp s;
    s.device = static_cast<uint64_t>(st.st_dev);
    s.inode = static_cast<uint64_t>(st.st_ino);
    s.size = static_cast<uint64_t>(st.st_size);
    s.modifiedNs = nanoseconds(st.st_mtim);
    s.changedNs = nanoseconds(st.st_ctim);
    return s;
}

// True when no write permission bit is set: the file is marked read-only, and the engine honours the
// mark even for a user (root) whom the system would let write.
bool markedReadOnly(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

class PosixFile : public File {
public:
    PosixFile(int fd, std::string path, std::string readOnlyReason)
        : m_fd(fd), m_path(std::move(path)), m_readOnlyReason(std::move(readOnlyReason)) {}
    ~PosixFile() override { ::close(m_fd); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    Status read(uint64_t offset, size_t length, uint8_t* dst) const override {
        size_t done = 0;
        while (done < length) {
            ssize_t n = ::pread(m_fd, dst + done, length - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Status::IOError(errnoText("cannot read", m_path));
            if (n == 0) {
                return Status::IOError("short read in " + m_path + " at offset " +
                                       std::to_string(offset + done));
            }
            done += static_cast<size_t>(n);
        }
        return {};
    }

    Status write(uint64_t offset, size_t length, const uint8_t* src) override {
        if (readOnly()) return Status::InvalidArgument(m_path + " is " + m_readOnlyReason);
        size_t done = 0;
        while (done < length) {
            ssize_t n = ::pwrite(m_fd, src + done, length - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Status::IOError(errnoText("cannot write", m_path));
            done += static_cast<size_t>(n);
        }
        return {};
    }

    uint64_t size() const override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) return 0;
        return static_cast<uint64_t>(st.st_size);
    }

    Status sync() override {
        if (::fdatasync(m_fd) != 0) return Status::IOError(errnoText("cannot sync", m_path));
        return {};
    }

    Status truncate(uint64_t size) override {
        if (readOnly()) return Status::InvalidArgument(m_path + " is " + m_readOnlyReason);
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
            return Status::IOError(errnoText("cannot truncate", m_path));
        return {};
    }

    bool readOnly() const override { return !m_readOnlyReason.empty(); }
    std::string readOnlyReason() const override { return m_readOnlyReason; }
    std::string name() const override { return m_path; }

    Result<FileStamp> stamp() const override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) return Status::IOError(errnoText("cannot examine", m_path));
        return stampOf(st);
    }

    Status markChangedSince(const FileStamp& before) override {
        JET_ASSIGN_OR_RETURN(FileStamp now, stamp());
        if (now != before) return {};
        // The clock has not moved since the earlier stamp: move the modification time on by hand. Setting
        // an explicit time needs ownership; without it, wait for the clock and stamp the time it gives.
        struct timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
        int64_t next = before.modifiedNs + 1;
        times[1].tv_sec = static_cast<time_t>(next / 1000000000);
        times[1].tv_nsec = static_cast<long>(next % 1000000000);
        if (::futimens(m_fd, times) == 0) return {};
        for (int attempt = 0; attempt < 1000; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (::futimens(m_fd, nullptr) != 0) return Status::IOError(errnoText("cannot touch", m_path));
            JET_ASSIGN_OR_RETURN(now, stamp());
            if (now != before) return {};
        }
        return Status::IOError("the clock of the file system holding " + m_path + " does not move");
    }

    Status lock(LockRange range, LockMode mode, std::chrono::milliseconds wait) override {
        if (mode == LockMode::Exclusive && readOnly())
            return Status::InvalidArgument(m_path + " is " + m_readOnlyReason);
        auto deadline = std::chrono::steady_clock::now() + wait;
        auto pause = std::chrono::milliseconds(1);
        while (true) {
            Result<bool> taken = tryLock(range, mode);
            if (!taken.ok()) return taken.status();
            if (*taken) return {};
            if (std::chrono::steady_clock::now() >= deadline) return lockTimeout(range, mode, wait);
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, kLockRetryLongest);
        }
    }

    void unlock(LockRange range) override {
#ifdef F_OFD_SETLK
        struct flock fl = lockRegion(range, F_UNLCK);
        ::fcntl(m_fd, F_OFD_SETLK, &fl);
#else
        if (range == LockRange::Writer) ::flock(m_fd, LOCK_UN);
#endif
    }

private:
#ifdef F_OFD_SETLK
    static struct flock lockRegion(LockRange range, short type) {
        struct flock fl {};
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = kLockBase + (range == LockRange::Writer ? 0 : 1);
        fl.l_len = 1;
        return fl;
    }
#endif

    // The error of a lock that stayed taken for `wait`: it says who holds it, as far as the system tells.
    Status lockTimeout(LockRange range, LockMode mode, std::chrono::milliseconds wait) const {
        std::string waited = std::to_string(wait.count()) + " ms";
        if (range == LockRange::Writer) {
            return Status::IOError("another process is writing " + m_path +
                                   " (it has held the write lock for " + waited + "); try again later");
        }
        switch (commitHolder(mode)) {
            case Holder::Reader:
                return Status::IOError("another process is reading " + m_path +
                                       " (a statement or export has kept commits out for " + waited +
                                       "); try again when it has finished reading");
            case Holder::Writer:
                return Status::IOError("another process is writing " + m_path +
                                       " (its commit has kept the file locked for " + waited +
                                       "); try again later");
            case Holder::Unknown:
                break;
        }
        return Status::IOError("another process is reading or writing " + m_path +
                               " (the commit lock stayed taken for " + waited + "); try again later");
    }

    enum class Holder : uint8_t { Reader, Writer, Unknown };

    // Who holds the commit range against a request in `mode`: readers hold it shared, a committing writer
    // exclusively.
    Holder commitHolder(LockMode mode) const {
#ifdef F_OFD_GETLK
        struct flock fl = lockRegion(LockRange::Commit, mode == LockMode::Exclusive ? F_WRLCK : F_RDLCK);
        if (::fcntl(m_fd, F_OFD_GETLK, &fl) == 0) {
            if (fl.l_type == F_RDLCK) return Holder::Reader;
            if (fl.l_type == F_WRLCK) return Holder::Writer;
        }
#else
        (void)mode;
#endif
        return Holder::Unknown;
    }

    // One attempt: true when taken, false when someone else holds it.
    Result<bool> tryLock(LockRange range, LockMode mode) {
#ifdef F_OFD_SETLK
        // Open-file-description locks: owned by this File object, not by the process, so two databases
        // open on one file in one process exclude each other as two processes do.
        struct flock fl = lockRegion(range, mode == LockMode::Exclusive ? F_WRLCK : F_RDLCK);
        if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0) return true;
        if (errno == EAGAIN || errno == EACCES || errno == EINTR) return false;
        // A file system without locks: readers go on unguarded, writers are refused.
        if ((errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP) && mode == LockMode::Shared)
            return true;
        return Status::IOError(errnoText("cannot lock", m_path));
#else
        // Without byte-range locks that belong to the open file, writers still take turns; readers and
        // commits are not kept apart.
        if (range == LockRange::Commit) return true;
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno == EWOULDBLOCK || errno == EINTR) return false;
        return Status::IOError(errnoText("cannot lock", m_path));
#endif
    }

    int m_fd;
    std::string m_path;
    std::string m_readOnlyReason;
};

// Opens without blocking (a FIFO or device would otherwise wait for a peer) and checks the file type
// before anything reads it.
Result<int> openRegular(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) return Status::IOError(errnoText("cannot open", path));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::IOError("not a regular file: " + path);
    }
    int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

Result<std::unique_ptr<File>> openForWriting(const std::string& path) {
    JET_ASSIGN_OR_RETURN(int fd, openRegular(path, O_RDWR));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && markedReadOnly(st)) {
        ::close(fd);
        return Status::IOError("cannot open " + path + " for writing: the file is marked read-only");
    }
    return std::unique_ptr<File>(new PosixFile(fd, path, ""));
}

Result<std::unique_ptr<File>> openForReading(const std::string& path, std::string reason) {
    JET_ASSIGN_OR_RETURN(int fd, openRegular(path, O_RDONLY));
    return std::unique_ptr<File>(new PosixFile(fd, path, std::move(reason)));
}

}  // namespace

Result<std::unique_ptr<File>> openPosixFile(const std::string& path, OpenMode mode) {
    switch (mode) {
        case OpenMode::ReadOnly:
            return openForReading(path, "open read-only");
        case OpenMode::ReadWrite:
            return openForWriting(path);
        case OpenMode::ReadWriteIfPermitted: {
            auto writable = openForWriting(path);
            if (writable.ok() || !writable.status().isIOError()) return writable;
            // The file exists but cannot be written: say why wherever a write is refused.
            auto readable = openForReading(path, "open read-only (" + writable.status().message() + ")");
            if (readable.ok()) return readable;
            return writable;
        }
    }
    return Status::InvalidArgument("unknown open mode");
}

Result<std::unique_ptr<File>> createPosixFile(const std::string& path) {
    JET_ASSIGN_OR_RETURN(int fd, openRegular(path, O_RDWR | O_CREAT | O_EXCL));
    return std::unique_ptr<File>(new PosixFile(fd, path, ""));
}

MemoryFile::MemoryFile(std::vector<uint8_t> bytes, bool readOnly)
    : m_bytes(std::move(bytes)), m_readOnly(readOnly) {}

Status MemoryFile::read(uint64_t offset, size_t length, uint8_t* dst) const {
    if (offset > m_bytes.size() || length > m_bytes.size() - offset) {
        return Status::IOError("short read in <memory> at offset " + std::to_string(offset));
    }
    std::memcpy(dst, m_bytes.data() + offset, length);
    return {};
}

Status MemoryFile::spend() {
    if (m_budget == 0) return Status::IOError("<memory>: no more writes allowed");
    if (m_budget > 0) --m_budget;
    return {};
}

Status MemoryFile::write(uint64_t offset, size_t length, const uint8_t* src) {
    if (m_readOnly) return Status::InvalidArgument("<memory> is read-only");
    JET_RETURN_IF_ERROR(spend());
    if (offset + length > m_bytes.size()) m_bytes.resize(offset + length);
    std::memcpy(m_bytes.data() + offset, src, length);
    ++m_writes;
    return {};
}

Status MemoryFile::truncate(uint64_t size) {
    if (m_readOnly) return Status::InvalidArgument("<memory> is read-only");
    JET_RETURN_IF_ERROR(spend());
    m_bytes.resize(size);
    ++m_writes;
    return {};
}

Result<FileStamp> MemoryFile::stamp() const {
    FileStamp s;
    s.size = m_bytes.size();
    s.writes = m_writes;
    return s;
}

Result<std::vector<uint8_t>> readWholeFile(const std::string& path) {
    JET_ASSIGN_OR_RETURN(auto file, openPosixFile(path, OpenMode::ReadOnly));
    std::vector<uint8_t> bytes(file->size());
    if (!bytes.empty()) JET_RETURN_IF_ERROR(file->read(0, bytes.size(), bytes.data()));
    return bytes;
}

}  // namespace jet

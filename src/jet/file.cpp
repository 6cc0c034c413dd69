#include "jet/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace jet {
namespace {

constexpr auto kLockWait = std::chrono::seconds(2);
constexpr auto kLockRetry = std::chrono::milliseconds(5);

std::string errnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

class PosixFile : public File {
public:
    PosixFile(int fd, std::string path, bool readOnly)
        : m_fd(fd), m_path(std::move(path)), m_readOnly(readOnly) {}
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
        if (m_readOnly) return Status::InvalidArgument(m_path + " is open read-only");
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

    bool readOnly() const override { return m_readOnly; }
    std::string name() const override { return m_path; }

    Status lockForWriting() override {
        if (m_readOnly) return Status::InvalidArgument(m_path + " is open read-only");
        auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return Status::IOError(errnoText("cannot lock", m_path));
            if (std::chrono::steady_clock::now() >= deadline)
                return Status::IOError("another process is writing " + m_path + "; try again later");
            std::this_thread::sleep_for(kLockRetry);
        }
        return {};
    }

    void unlockForWriting() override { ::flock(m_fd, LOCK_UN); }

private:
    int m_fd;
    std::string m_path;
    bool m_readOnly;
};

Result<std::unique_ptr<File>> openWithFlags(const std::string& path, int flags, bool readOnly) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return Status::IOError(errnoText("cannot open", path));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::IOError("not a regular file: " + path);
    }
    return std::unique_ptr<File>(new PosixFile(fd, path, readOnly));
}

}  // namespace

Result<std::unique_ptr<File>> openPosixFile(const std::string& path, OpenMode mode) {
    bool readOnly = mode == OpenMode::ReadOnly;
    return openWithFlags(path, readOnly ? O_RDONLY : O_RDWR, readOnly);
}

Result<std::unique_ptr<File>> createPosixFile(const std::string& path) {
    return openWithFlags(path, O_RDWR | O_CREAT | O_TRUNC, false);
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

Status MemoryFile::write(uint64_t offset, size_t length, const uint8_t* src) {
    if (m_readOnly) return Status::InvalidArgument("<memory> is read-only");
    if (offset + length > m_bytes.size()) m_bytes.resize(offset + length);
    std::memcpy(m_bytes.data() + offset, src, length);
    return {};
}

Result<std::vector<uint8_t>> readWholeFile(const std::string& path) {
    JET_ASSIGN_OR_RETURN(auto file, openPosixFile(path, OpenMode::ReadOnly));
    std::vector<uint8_t> bytes(file->size());
    if (!bytes.empty()) JET_RETURN_IF_ERROR(file->read(0, bytes.size(), bytes.data()));
    return bytes;
}

}  // namespace jet

#include "core/io/ziparchive.h"

#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "core/io/filesystem.h"
#include "core/services/logging.h"

namespace kx {
namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }  // opened read-only: nothing to save
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct MemberCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using MemberFile = std::unique_ptr<zip_file_t, MemberCloser>;

// Packages unpacking to less than this may compress as well as they like: the ratio is no concern below.
constexpr qint64 kRatioFloorBytes = qint64{64} << 20;

/// One member to extract: its index, its path below the extraction folder ('/'-separated) and the size
/// it declares.
struct Member {
    zip_uint64_t index = 0;
    QString path;
    bool isFolder = false;
    bool encrypted = false;
    qint64 size = 0;
};

QByteArray nameBytes(zip_t* archive, zip_uint64_t index, zip_flags_t flags) {
    const char* name = zip_get_name(archive, index, flags);
    return name ? QByteArray(name) : QByteArray();
}

/// The member's name as text. libzip hands a name back unconverted under ENC_STRICT only when it is ASCII
/// or flagged UTF-8 (bit 11, or an Info-ZIP Unicode path field); any other name was written by a Chinese
/// Windows archiver in its code page.
QString decodedName(zip_t* archive, zip_uint64_t index) {
    const QByteArray raw = nameBytes(archive, index, ZIP_FL_ENC_RAW);
    if (nameBytes(archive, index, ZIP_FL_ENC_STRICT) == raw) return QString::fromUtf8(raw);
    QStringDecoder gb18030("GB18030");
    return gb18030.decode(raw);
}

/// The member's path with '/' separators and "." parts dropped, or nothing when it is absolute, names a
/// drive, holds a NUL or climbs with "..".
std::optional<QString> relativePath(const QString& name) {
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')) || path.contains(QChar(0))) return std::nullopt;
    QStringList kept;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String("..") || part.contains(QLatin1Char(':'))) return std::nullopt;
        if (part != QLatin1String(".")) kept << part;
    }
    if (kept.isEmpty()) return std::nullopt;
    QString result = kept.join(QLatin1Char('/'));
    if (path.endsWith(QLatin1Char('/'))) result += QLatin1Char('/');
    return result;
}

/// The member list, or the reason nothing may be extracted: a name that cannot be extracted safely
/// (Damaged), or more members than the limit.
std::variant<std::vector<Member>, UnzipResult> listMembers(zip_t* archive, const UpdateLimits& limits) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (limits.maxPackageMembers > 0 && count > limits.maxPackageMembers) {
        qCWarning(lcKxView) << "archive holds" << count << "members, more than" << limits.maxPackageMembers;
        return UnzipResult::TooManyMembers;
    }
    std::vector<Member> members;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const QString name = decodedName(archive, index);
        const std::optional<QString> path = relativePath(name);
        if (!path) {
            qCWarning(lcKxView) << "archive member would leave the extraction folder:" << name;
            return UnzipResult::Damaged;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        zip_stat_index(archive, index, 0, &st);
        const bool encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
        const qint64 size =
            (st.valid & ZIP_STAT_SIZE)
                ? static_cast<qint64>(qMin<zip_uint64_t>(st.size, std::numeric_limits<qint64>::max()))
                : 0;
        members.push_back({index, *path, path->endsWith(QLatin1Char('/')), encrypted, size});
    }
    return members;
}

/// Refuses, before anything is written, members that declare more than the limits allow.
UnzipResult checkDeclaredSizes(const std::vector<Member>& members, qint64 archiveBytes,
                               const UpdateLimits& limits) {
    qint64 total = 0;
    for (const Member& m : members)
        total = m.size > std::numeric_limits<qint64>::max() - total ? std::numeric_limits<qint64>::max()
                                                                    : total + m.size;
    if (limits.maxUnpackedBytes > 0 && total > limits.maxUnpackedBytes) {
        qCWarning(lcKxView) << "archive would unpack to" << total << "bytes, more than"
                            << limits.maxUnpackedBytes;
        return UnzipResult::TooLarge;
    }
    if (limits.maxCompressionRatio > 0 && total > kRatioFloorBytes &&
        total / qMax<qint64>(archiveBytes, 1) >= limits.maxCompressionRatio) {
        qCWarning(lcKxView) << "archive of" << archiveBytes << "bytes would unpack to" << total << "bytes";
        return UnzipResult::RatioTooHigh;
    }
    return UnzipResult::Ok;
}

/// One extraction into a folder: what it wrote, so that a failure can take it back.
class Extraction {
public:
    Extraction(zip_t* archive, QString folder, QString realFolder)
        : m_archive(archive), m_folder(std::move(folder)), m_realFolder(std::move(realFolder)) {}

    /// Extracts the listed members; stops at the first damaged member or write failure.
    UnzipResult run(const std::vector<Member>& members, const ReplaceQuestion& ask);
    /// Removes the files written and the folders made, newest first.
    void takeBack();

private:
    bool makeFolder(const QString& path);
    UnzipResult writeMember(const Member& member, const QString& target);

    zip_t* m_archive;
    QString m_folder;
    QString m_realFolder;
    QStringList m_written;
    QStringList m_madeFolders;
};

bool Extraction::makeFolder(const QString& path) {
    QStringList missing;
    for (QFileInfo f(path); !f.exists() && !f.isSymLink(); f = QFileInfo(f.absolutePath()))
        missing.prepend(f.absoluteFilePath());
    if (!QDir().mkpath(path)) return false;
    m_madeFolders << missing;
    return true;
}

/// Streams one member into `target` under a temporary name, never writing more than it declares.
UnzipResult Extraction::writeMember(const Member& member, const QString& target) {
    MemberFile in(zip_fopen_index(m_archive, member.index, 0));
    if (!in) return UnzipResult::Damaged;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        qCWarning(lcKxView) << "cannot write" << target << ":" << out.errorString();
        return UnzipResult::DiskError;
    }
    constexpr zip_uint64_t kChunk = 1 << 20;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    qint64 written = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(in.get(), buffer.data(), kChunk);
        if (n < 0) {
            // A CRC or inflate failure: the member is damaged and its partial file is discarded.
            qCWarning(lcKxView) << "damaged archive member" << member.path << ":"
                                << zip_file_strerror(in.get());
            out.cancelWriting();
            return UnzipResult::Damaged;
        }
        if (n == 0) break;
        written += n;
        if (written > member.size) {
            qCWarning(lcKxView) << "archive member" << member.path << "holds more than the" << member.size
                                << "bytes it declares";
            out.cancelWriting();
            return UnzipResult::Damaged;
        }
        if (out.write(buffer.constData(), n) != n) {
            out.cancelWriting();
            return UnzipResult::DiskError;
        }
    }
    if (!out.commit()) return UnzipResult::DiskError;
    m_written << target;
    return UnzipResult::Ok;
}

UnzipResult Extraction::run(const std::vector<Member>& members, const ReplaceQuestion& ask) {
    bool replaceNone = false;
    int skipped = 0, encrypted = 0;
    for (const Member& member : members) {
        const QString target = fs::resolve(m_realFolder + QLatin1Char('/') + member.path);
        if (!fs::liesWithin(m_realFolder, target) || QFileInfo(target).isSymLink()) {
            qCWarning(lcKxView) << "archive member would be written through a link:" << member.path;
            ++skipped;
            continue;
        }
        if (member.isFolder) {
            if (!makeFolder(target)) return UnzipResult::DiskError;
            continue;
        }
        if (member.encrypted) {
            qCInfo(lcKxView) << "encrypted archive member not extracted:" << member.path;
            ++encrypted;
            continue;
        }
        if (!makeFolder(QFileInfo(target).absolutePath())) return UnzipResult::DiskError;
        if (QFileInfo::exists(target)) {
            const ReplaceAnswer answer = replaceNone
                                             ? ReplaceAnswer::Keep
                                             : (ask ? ask(m_folder + member.path) : ReplaceAnswer::Replace);
            if (answer == ReplaceAnswer::KeepAll) replaceNone = true;
            if (answer != ReplaceAnswer::Replace) continue;
        }
        if (const UnzipResult r = writeMember(member, target); r != UnzipResult::Ok) return r;
    }
    const int files = static_cast<int>(
        std::count_if(members.begin(), members.end(), [](const Member& m) { return !m.isFolder; }));
    if (encrypted > 0 && encrypted == files) return UnzipResult::NothingExtracted;
    return skipped + encrypted > 0 ? UnzipResult::Skipped : UnzipResult::Ok;
}

void Extraction::takeBack() {
    for (const QString& file : std::as_const(m_written)) QFile::remove(file);
    for (auto it = m_madeFolders.crbegin(); it != m_madeFolders.crend(); ++it) QDir().rmdir(*it);
    if (!m_written.isEmpty())
        qCInfo(lcKxView) << "removed" << m_written.size() << "files of a failed extraction";
}

}  // namespace

UnzipResult extractZip(const QString& archive, const QString& folder, const ReplaceQuestion& ask,
                       const UpdateLimits& limits) {
    const QString realArchive = fs::resolve(archive);
    const qint64 archiveBytes = QFileInfo(realArchive).size();
    if (archiveBytes == 0) return UnzipResult::NotZip;  // also a missing file
    int error = 0;
    Archive zip(zip_open(QFile::encodeName(realArchive).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!zip) {
        qCWarning(lcKxView) << "not a ZIP archive:" << realArchive << "libzip error" << error;
        return UnzipResult::NotZip;
    }
    auto listed = listMembers(zip.get(), limits);
    if (const UnzipResult* refused = std::get_if<UnzipResult>(&listed)) return *refused;
    const auto& members = std::get<std::vector<Member>>(listed);
    if (const UnzipResult r = checkDeclaredSizes(members, archiveBytes, limits); r != UnzipResult::Ok)
        return r;
    const QString realFolder = fs::resolve(folder);
    if (!QFileInfo(realFolder).isDir()) return UnzipResult::DiskError;
    Extraction extraction(zip.get(), folder, realFolder);
    const UnzipResult result = extraction.run(members, ask);
    if (static_cast<int>(result) >= static_cast<int>(UnzipResult::Damaged)) extraction.takeBack();
    return result;
}

}  // namespace kx

#include "core/io/ziparchive.h"

#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>
#include <memory>
#include <optional>
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

/// One member to extract: its index and its path below the extraction folder ('/'-separated).
struct Member {
    zip_uint64_t index = 0;
    QString path;
    bool isFolder = false;
    bool encrypted = false;
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

/// Reads the member list; nothing when a name cannot be extracted safely.
std::optional<std::vector<Member>> listMembers(zip_t* archive) {
    std::vector<Member> members;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const QString name = decodedName(archive, index);
        const std::optional<QString> path = relativePath(name);
        if (!path) {
            qCWarning(lcKxView) << "archive member would leave the extraction folder:" << name;
            return std::nullopt;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        zip_stat_index(archive, index, 0, &st);
        const bool encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
        members.push_back({index, *path, path->endsWith(QLatin1Char('/')), encrypted});
    }
    return members;
}

/// True when `path`, or the nearest of its folders that exists, lies inside `rootCanonical` once links
/// are followed: a link already present in the folder cannot carry a member elsewhere.
bool staysInside(const QString& rootCanonical, const QString& path) {
    QFileInfo existing(path);
    while (!existing.exists() && !existing.isSymLink()) existing = QFileInfo(existing.absolutePath());
    const QString real = existing.canonicalFilePath();
    return !real.isEmpty() && (real == rootCanonical || real.startsWith(rootCanonical + QLatin1Char('/')));
}

/// Streams one member into `target` under a temporary name.
UnzipResult writeMember(zip_t* archive, const Member& member, const QString& target) {
    MemberFile in(zip_fopen_index(archive, member.index, 0));
    if (!in) return UnzipResult::Damaged;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        qCWarning(lcKxView) << "cannot write" << target << ":" << out.errorString();
        return UnzipResult::DiskError;
    }
    constexpr zip_uint64_t kChunk = 1 << 20;
    QByteArray buffer(kChunk, Qt::Uninitialized);
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
        if (out.write(buffer.constData(), n) != n) {
            out.cancelWriting();
            return UnzipResult::DiskError;
        }
    }
    return out.commit() ? UnzipResult::Ok : UnzipResult::DiskError;
}

/// Extracts the listed members; stops at the first damaged member or write failure.
UnzipResult extractMembers(zip_t* archive, const std::vector<Member>& members, const QString& folder,
                           const QString& realFolder, const ReplaceQuestion& ask) {
    const QString root = QFileInfo(realFolder).canonicalFilePath();
    bool replaceNone = false;
    int skipped = 0, encrypted = 0;
    for (const Member& member : members) {
        const QString target = fs::resolve(realFolder + QLatin1Char('/') + member.path);
        if (!staysInside(root, target) || QFileInfo(target).isSymLink()) {
            qCWarning(lcKxView) << "archive member would be written through a link:" << member.path;
            ++skipped;
            continue;
        }
        if (member.isFolder) {
            if (!QDir().mkpath(target)) return UnzipResult::DiskError;
            continue;
        }
        if (member.encrypted) {
            qCInfo(lcKxView) << "encrypted archive member not extracted:" << member.path;
            ++encrypted;
            continue;
        }
        if (!QDir().mkpath(QFileInfo(target).absolutePath())) return UnzipResult::DiskError;
        if (QFileInfo::exists(target)) {
            const ReplaceAnswer answer = replaceNone
                                             ? ReplaceAnswer::Keep
                                             : (ask ? ask(folder + member.path) : ReplaceAnswer::Replace);
            if (answer == ReplaceAnswer::KeepAll) replaceNone = true;
            if (answer != ReplaceAnswer::Replace) continue;
        }
        if (const UnzipResult r = writeMember(archive, member, target); r != UnzipResult::Ok) return r;
    }
    const int files = static_cast<int>(
        std::count_if(members.begin(), members.end(), [](const Member& m) { return !m.isFolder; }));
    if (encrypted > 0 && encrypted == files) return UnzipResult::NothingExtracted;
    return skipped + encrypted > 0 ? UnzipResult::Skipped : UnzipResult::Ok;
}

}  // namespace

UnzipResult extractZip(const QString& archive, const QString& folder, const ReplaceQuestion& ask) {
    const QString realArchive = fs::resolve(archive);
    if (QFileInfo(realArchive).size() == 0) return UnzipResult::NotZip;  // also a missing file
    int error = 0;
    Archive zip(zip_open(QFile::encodeName(realArchive).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!zip) {
        qCWarning(lcKxView) << "not a ZIP archive:" << realArchive << "libzip error" << error;
        return UnzipResult::NotZip;
    }
    const std::optional<std::vector<Member>> members = listMembers(zip.get());
    if (!members) return UnzipResult::Damaged;
    const QString realFolder = fs::resolve(folder);
    if (!QFileInfo(realFolder).isDir()) return UnzipResult::DiskError;
    return extractMembers(zip.get(), *members, folder, realFolder, ask);
}

}  // namespace kx

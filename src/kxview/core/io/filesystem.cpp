#include "core/io/filesystem.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <filesystem>
#include <functional>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include "core/services/logging.h"

namespace kx::fs {
namespace {

// The entry of `dir` whose name equals `name` ignoring case (the smallest such name when there are several),
// or `name` itself when there is none.
QString matchEntry(const QString& dir, const QString& name) {
    if (QFileInfo::exists(dir + name)) return name;
    // One pass over the folder, unsorted: this runs for every file looked for that is not there.
    QDirIterator it(dir.isEmpty() ? QStringLiteral(".") : dir,
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QString match;
    while (it.hasNext()) {
        const QString entry = it.nextFileInfo().fileName();
        if (entry.compare(name, Qt::CaseInsensitive) == 0 && (match.isEmpty() || entry < match))
            match = entry;
    }
    return match.isEmpty() ? name : match;
}

// Matches `name` against a pattern of '*' (any run) and '?' (any one character), ignoring case.
bool wildcardMatch(QStringView pattern, QStringView name) {
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == QLatin1Char('?') || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*')) ++p;
    return p == pattern.size();
}

/// Runs `fill` on a QSaveFile for `path` and commits it. Permissions are checked first so that the caller
/// can tell a refused target (a file in use or protected) from other failures.
WriteResult writeInPlace(const QString& path, const std::function<bool(QSaveFile&)>& fill) {
    const QString real = resolve(path);
    const QFileInfo target(real);
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir()) return WriteResult::Failed;
    if (!folder.isWritable() || (target.exists() && !target.isWritable()))
        return WriteResult::PermissionDenied;
    QSaveFile out(real);
    if (!out.open(QIODevice::WriteOnly)) {
        qCWarning(lcKxView) << "cannot write" << real << ":" << out.errorString();
        return WriteResult::Failed;
    }
    if (!fill(out) || !out.commit()) {
        qCWarning(lcKxView) << "writing" << real << "failed:" << out.errorString();
        out.cancelWriting();
        return WriteResult::Failed;
    }
    return WriteResult::Ok;
}

}  // namespace

QString withSlashes(const QString& path) {
    QString out = path;
    out.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return out;
}

QString resolve(const QString& path) {
    const QString slashed = withSlashes(path);
    if (slashed.isEmpty() || QFileInfo::exists(slashed)) return slashed;
    // Mostly only the last component is missing (a file that is not there): then only it is looked up.
    const qsizetype cut = slashed.lastIndexOf(QLatin1Char('/'));
    if (cut > 0 && cut + 1 < slashed.size() && QFileInfo::exists(slashed.left(cut))) {
        const QString dir = slashed.left(cut + 1);
        return dir + matchEntry(dir, slashed.mid(cut + 1));
    }
    const QStringList parts = slashed.split(QLatin1Char('/'));
    QString result;
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (i > 0) result += QLatin1Char('/');
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")) {
            result += part;
            continue;
        }
        const QString dir = i == 0 ? QString() : result;
        result += matchEntry(dir, part);
    }
    return result;
}

bool isDir(const QString& path) {
    return QFileInfo(resolve(path)).isDir();
}

bool isFile(const QString& path) {
    return QFileInfo(resolve(path)).isFile();
}

bool staysInside(const QString& path, const QString& folder) {
    const QFileInfo entry(resolve(path));
    if (!entry.exists() && !entry.isSymLink()) return true;
    const QString real = entry.canonicalFilePath();  // empty for a link whose target is missing
    const QString realFolder = QFileInfo(resolve(folder)).canonicalFilePath();
    return !real.isEmpty() && !realFolder.isEmpty() && real.startsWith(realFolder + QLatin1Char('/'));
}

bool sameFile(const QString& a, const QString& b) {
    const QString realA = QFileInfo(resolve(a)).canonicalFilePath();
    return !realA.isEmpty() && realA == QFileInfo(resolve(b)).canonicalFilePath();
}

QStringList listFiles(const QString& folder, const QString& pattern) {
    QDir dir(resolve(folder));
    if (!dir.exists()) return {};
    QStringList names;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (wildcardMatch(pattern, entry)) names << entry;
    }
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

bool liesWithin(const QString& folder, const QString& path) {
    const QString root = QFileInfo(folder).canonicalFilePath();
    QFileInfo existing(path);
    while (!existing.exists() && !existing.isSymLink()) existing = QFileInfo(existing.absolutePath());
    if (root.isEmpty()) return true;  // the folder does not exist yet, so nothing below it does
    const QString real = existing.canonicalFilePath();  // "" for a link that leads nowhere
    return !real.isEmpty() && (real == root || real.startsWith(root + QLatin1Char('/')));
}

bool makeDir(const QString& path) {
    const QString real = resolve(path);
    if (QFileInfo::exists(real)) return false;
    return QDir().mkdir(real);
}

}  // namespace kx::fs

namespace kx::fs {

WriteResult writeFile(const QString& path, const QByteArray& content) {
    return writeInPlace(path, [&](QSaveFile& out) { return out.write(content) == content.size(); });
}

WriteResult copyFile(const QString& source, const QString& target) {
    QFile in(resolve(source));
    if (!in.open(QIODevice::ReadOnly)) {
        qCWarning(lcKxView) << "cannot read" << in.fileName() << ":" << in.errorString();
        return WriteResult::Failed;
    }
    return writeInPlace(target, [&](QSaveFile& out) {
        constexpr qint64 kChunk = 1 << 20;
        QByteArray buffer(kChunk, Qt::Uninitialized);
        for (;;) {
            const qint64 n = in.read(buffer.data(), kChunk);
            if (n < 0) return false;
            if (n == 0) return true;
            if (out.write(buffer.constData(), n) != n) return false;
        }
    });
}

bool removeFile(const QString& path) {
    const QString real = resolve(path);
    return QFileInfo(real).isFile() && QFile::remove(real);
}

bool renameReplacing(const QString& from, const QString& to) {
    // QFile::rename never replaces; the standard library's rename does, in one step.
    auto native = [](const QString& path) {
#ifdef Q_OS_WIN
        return std::filesystem::path(resolve(path).toStdWString());
#else
        return std::filesystem::path(QFile::encodeName(resolve(path)).toStdString());
#endif
    };
    std::error_code error;
    std::filesystem::rename(native(from), native(to), error);
    if (error) qCWarning(lcKxView) << "cannot rename" << from << "to" << to << ":" << error.message().c_str();
    return !error;
}

QByteArray sha256Of(const QString& path) {
    QFile file(resolve(path));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) return {};
    return hash.result().toHex();
}

bool syncToDisk(QFileDevice& file) {
    if (!file.flush()) return false;
#ifdef Q_OS_WIN
    return ::_commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

}  // namespace kx::fs

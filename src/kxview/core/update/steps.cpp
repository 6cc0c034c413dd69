#include "core/update/steps.h"

#include <QFile>
#include <QRegularExpression>
#include <optional>

#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/services/logging.h"
#include "core/update/download.h"
#include "core/update/modunzip.h"
#include "kxview/updateprompts.h"
#include "kxview/updates.h"

namespace modUpdate::detail {
namespace {

// A checksum file holds one line ("HEX  NAME.rar"); anything longer is not one.
constexpr qint64 kMaxChecksumBytes = 4096;

/// The hex SHA-256 a checksum file starts with (lowercase), or nothing when it starts otherwise.
std::optional<QByteArray> publishedChecksum(const QString& file) {
    QFile in(kx::fs::resolve(file));
    if (!in.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray first = in.read(kMaxChecksumBytes).trimmed().split(' ').value(0).split('\t').value(0);
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    if (!hex.match(QString::fromLatin1(first)).hasMatch()) return std::nullopt;
    return first.toLower();
}

/// What the user reads when a package was refused before extraction, by how the extraction ended.
std::optional<kx::UpdateRefusal> extractionRefusal(kx::UnzipResult result, const QString& archive) {
    const kx::UpdateLimits limits = GetUpdateLimits();
    const QString name = modPub_File::GetFileName(archive);
    using R = kx::UpdateRefusal::Reason;
    switch (result) {
        case kx::UnzipResult::TooManyMembers:
            return kx::UpdateRefusal{R::PackageMembers,
                                     QStringLiteral("更新包 %1 的文件数超过上限 %2，未解压。")
                                         .arg(name)
                                         .arg(limits.maxPackageMembers)};
        case kx::UnzipResult::TooLarge:
            return kx::UpdateRefusal{R::PackageTooLarge,
                                     QStringLiteral("更新包 %1 解压后超过上限 %2 MB，未解压。")
                                         .arg(name)
                                         .arg(limits.maxUnpackedBytes >> 20)};
        case kx::UnzipResult::RatioTooHigh:
            return kx::UpdateRefusal{R::PackageRatio,
                                     QStringLiteral("更新包 %1 解压后超过其大小的 %2 倍，未解压。")
                                         .arg(name)
                                         .arg(limits.maxCompressionRatio)};
        default:
            return std::nullopt;
    }
}

}  // namespace

void ensureFolders(const QString& appPath, const QStringList& levels) {
    for (const QString& level : levels) {
        if (!kx::fs::isDir(appPath + level)) modPub_File::CreateDirs(appPath + level);
    }
}

void tell(kx::UpdatePrompts& prompts, const kx::UpdateRefusal& refusal) {
    qCWarning(lcKxView) << "update refused:" << refusal.text;
    if (GetUpdateLimits().reportRefusals) prompts.refused(refusal);
}

bool verifyChecksum(kx::UpdatePrompts& prompts, const QString& packageUrl, const QString& package) {
    kx::UpdateLimits limits = GetUpdateLimits();
    if (!limits.verifyChecksums) return true;
    const QString checksumFile = package + QStringLiteral(".sha256");
    kx::fs::removeFile(checksumFile);  // never one an earlier update left
    limits.maxDownloadBytes = kMaxChecksumBytes;
    const bool published = kx::fetchQuietly(
        {packageUrl + QStringLiteral(".sha256"), modPub_File::GetFilePath(package), QString()}, limits);
    const QString name = modPub_File::GetFileName(package);
    using R = kx::UpdateRefusal::Reason;
    if (!published) {
        if (!limits.requireChecksums) return true;
        tell(prompts,
             {R::ChecksumMissing, QStringLiteral("更新服务没有提供更新包 %1 的校验值，未安装。").arg(name)});
        return false;
    }
    const std::optional<QByteArray> expected = publishedChecksum(checksumFile);
    kx::fs::removeFile(checksumFile);
    if (!expected) {
        tell(prompts, {R::ChecksumMismatch,
                       QStringLiteral("更新包 %1 的校验文件不是 SHA-256 值，未安装。").arg(name)});
        return false;
    }
    if (kx::fs::sha256Of(package) != *expected) {
        tell(
            prompts,
            {R::ChecksumMismatch,
             QStringLiteral("更新包 %1 与更新服务公布的校验值不符，可能已被篡改或损坏，未安装。").arg(name)});
        return false;
    }
    return true;
}

bool unpack(kx::UpdatePrompts& prompts, const QString& archive, QString& folder) {
    const kx::UnzipResult result = modUnZip::unpackArchive(
        archive, folder, [&prompts](const QString& path) { return prompts.replaceExistingFile(path); });
    if (const std::optional<kx::UpdateRefusal> refusal = extractionRefusal(result, archive))
        tell(prompts, *refusal);
    return result == kx::UnzipResult::Ok;
}

}  // namespace modUpdate::detail

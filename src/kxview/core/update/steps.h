// Steps shared by the update procedures.
#pragma once

#include <QString>
#include <QStringList>

namespace kx {
class UpdatePrompts;
}

namespace modUpdate::detail {

/// Creates each of `levels` below `appPath` that does not exist yet, in order (with any missing parent).
/// Throws kx::FileSystemError when one cannot be created.
void ensureFolders(const QString& appPath, const QStringList& levels);

/// Unpacks the package `archive` into `folder` as modUnZip::UnZipArchive does, asking `prompts` before an
/// existing file is replaced. True when the extraction succeeded.
bool unpack(kx::UpdatePrompts& prompts, const QString& archive, QString& folder);

}  // namespace modUpdate::detail

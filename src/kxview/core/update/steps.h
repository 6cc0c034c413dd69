// Steps shared by the update procedures.
#pragma once

#include <QString>
#include <QStringList>

namespace kx {
class UpdatePrompts;
struct UpdateRefusal;
}  // namespace kx

namespace modUpdate::detail {

/// Creates each of `levels` below `appPath` that does not exist yet, in order (with any missing parent).
/// Throws kx::FileSystemError when one cannot be created.
void ensureFolders(const QString& appPath, const QStringList& levels);

/// Tells the user through `prompts` why something was refused, unless the host switched that off.
void tell(kx::UpdatePrompts& prompts, const kx::UpdateRefusal& refusal);

/// Checks the downloaded `package` against the hex SHA-256 the update service publishes beside it, at
/// `packageUrl` + ".sha256" (fetched without a window). True when it matches, or when the service
/// publishes none and the host does not require one; otherwise the user is told and the package must not
/// be unpacked.
bool verifyChecksum(kx::UpdatePrompts& prompts, const QString& packageUrl, const QString& package);

/// Unpacks the package `archive` into `folder` as modUnZip::UnZipArchive does, asking `prompts` before an
/// existing file is replaced; a package refused for its size, ratio or member count is told to the user.
/// True when the extraction succeeded.
bool unpack(kx::UpdatePrompts& prompts, const QString& archive, QString& folder);

}  // namespace modUpdate::detail

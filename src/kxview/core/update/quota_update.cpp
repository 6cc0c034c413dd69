// The quota-library update: the information file and the user's decision on an installed library, then
// the package's download, extraction and installation.
#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/update/installer.h"
#include "core/update/offers.h"
#include "core/update/steps.h"
#include "core/update/update_session.h"
#include "kxview/updates.h"

namespace modUpdate {
namespace {

/// Installs the unpacked package whose manifest is `manifest`, telling the user what was refused and
/// what was installed.
qint32 installPackage(kx::UpdatePrompts& prompts, const QString& manifest, const QString& appPath) {
    kx::PackageInstaller installer(manifest, appPath);
    const bool installed = installer.readManifest() && installer.install();
    if (installer.refusal()) detail::tell(prompts, *installer.refusal());
    if (installed && !installer.installedFiles().isEmpty()) prompts.installed(installer.installedFiles());
    return installed ? kUpdateFinished : kInstallFailed;
}

/// Downloads the package `title`.rar into `tempDir`, checks it, extracts it beside itself and installs it.
qint32 fetchAndInstallPackage(kx::UpdatePrompts& prompts, const QString& remoteBase, const QString& tempDir,
                              const QString& title, const QString& appPath) {
    if (!prompts.fetch({remoteBase + QStringLiteral(".rar"), tempDir, QStringLiteral("下载更新定额库")}))
        return kDownloadFailed;
    const QString package = tempDir + title + QStringLiteral(".rar");
    if (!kx::fs::isFile(package)) return kUpdateFinished;
    qint32 code = kDownloadFailed;  // a package that is not the one published did not arrive
    if (detail::verifyChecksum(prompts, remoteBase + QStringLiteral(".rar"), package)) {
        QString folder = tempDir + title;
        code = detail::unpack(prompts, package, folder)
                   ? installPackage(prompts, folder + QStringLiteral("Update.xml"), appPath)
                   : kExtractionFailed;
    }
    kx::fs::removeFile(package);
    return code;
}

/// Fetches the information file of an installed library and lets the user decide; false when declined.
bool userWantsOfferedVersion(kx::UpdatePrompts& prompts, const QString& remoteBase, const QString& tempDir,
                             const QString& title, const QString& libName, const QString& appPath) {
    const QString localInfo = tempDir + title + QStringLiteral(".xml");
    if (kx::fs::isFile(localInfo)) kx::fs::removeFile(localInfo);
    // The information file's download keeps the status text of the last one.
    if (!prompts.fetch({remoteBase + QStringLiteral(".xml"), tempDir, QString()}))
        return true;  // no information: the package is fetched without asking
    const QString library =
        appPath + QStringLiteral("造价资料\\定额库\\") + libName + QStringLiteral(".QTDE");
    return prompts.confirmQuotaLibraryOffer(kx::readQuotaLibraryOffer(localInfo, library));
}

}  // namespace

qint32 UpdateDELibrary(kx::UpdatePrompts& prompts, const QString& LibName, const QString& AppPath,
                       const QString& DataRoot) {
    detail::ensureFolders(AppPath, {QStringLiteral("Temp\\升级"), QStringLiteral("Temp\\升级\\定额库")});
    const kx::UpdateSession session(AppPath);
    if (const std::optional<kx::UpdateRefusal> refusal = session.refusal()) {
        detail::tell(prompts, *refusal);
        return kInstallFailed;
    }
    const QString tempDir = AppPath + QStringLiteral("Temp\\升级\\定额库\\");
    const QString title = modPub_File::GetFileTitle(LibName);
    const QString remoteBase = UpdateBaseAddress() + QStringLiteral("更新数据\\定额库\\") + title;
    const bool installed =
        kx::fs::isFile(DataRoot + QStringLiteral("定额库\\") + LibName + QStringLiteral(".QTDE"));
    if (installed && !userWantsOfferedVersion(prompts, remoteBase, tempDir, title, LibName, AppPath))
        return kDeclined;
    return fetchAndInstallPackage(prompts, remoteBase, tempDir, title, AppPath);
}

}  // namespace modUpdate

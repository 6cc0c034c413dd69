// The quota-library update: information file, the user's decision, package download, extraction and
// installation.
#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/update/modunzip.h"
#include "kxview/modupdate.h"
#include "widgets/services/forms.h"
#include "widgets/update/frmnet_updatedeinfo.h"
#include "widgets/update/frmpub_download.h"
#include "widgets/update/update_internal_p.h"

namespace modUpdate {
namespace {

/// Downloads the package `title`.rar into `tempDir`, extracts it beside itself and installs it.
qint32 fetchAndInstallPackage(const QString& remoteBase, const QString& tempDir, const QString& title,
                              const QString& appPath) {
    const frmPub_DownLoad& dialog =
        detail::fetch(remoteBase + QStringLiteral(".rar"), tempDir, QStringLiteral("下载更新定额库"));
    if (dialog.GetUnloadState() != 0) return kDownloadFailed;
    const QString package = tempDir + title + QStringLiteral(".rar");
    if (!kx::fs::isFile(package)) return kUpdateFinished;
    QString folder = tempDir + title;
    qint32 code = kExtractionFailed;
    if (modUnZip::UnZipArchive(package, folder))
        code = InstallUpdatePackage(folder + QStringLiteral("Update.xml"), appPath, false) ? kUpdateFinished
                                                                                           : kInstallFailed;
    kx::fs::removeFile(package);
    return code;
}

/// Fetches the information file of an installed library and asks the user; false when declined.
bool userWantsOfferedVersion(const QString& remoteBase, const QString& tempDir, const QString& title,
                             const QString& libName, const QString& appPath) {
    const QString localInfo = tempDir + title + QStringLiteral(".xml");
    if (kx::fs::isFile(localInfo)) kx::fs::removeFile(localInfo);
    const frmPub_DownLoad& dialog = detail::fetch(remoteBase + QStringLiteral(".xml"), tempDir);
    if (!dialog.GetCompleteDownLoad()) return true;  // no information: the package is fetched without asking
    auto& info = kx::sharedForm<frmNet_UpdateDEInfo>();
    info.SetDBFullName(appPath + QStringLiteral("造价资料\\定额库\\") + libName + QStringLiteral(".QTDE"));
    info.SetUpdateFile(localInfo);
    info.showModal();
    return info.GetUnloadState() != 1;
}

}  // namespace

qint32 UpdateDELibrary(const QString& LibName, const QString& AppPath, const QString& DataRoot) {
    detail::ensureFolders(AppPath, {QStringLiteral("Temp\\升级"), QStringLiteral("Temp\\升级\\定额库")});
    const QString tempDir = AppPath + QStringLiteral("Temp\\升级\\定额库\\");
    const QString title = modPub_File::GetFileTitle(LibName);
    const QString remoteBase = UpdateBaseAddress() + QStringLiteral("更新数据\\定额库\\") + title;
    const bool installed =
        kx::fs::isFile(DataRoot + QStringLiteral("定额库\\") + LibName + QStringLiteral(".QTDE"));
    if (installed && !userWantsOfferedVersion(remoteBase, tempDir, title, LibName, AppPath)) return kDeclined;
    return fetchAndInstallPackage(remoteBase, tempDir, title, AppPath);
}

}  // namespace modUpdate

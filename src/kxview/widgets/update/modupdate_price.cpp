// The price-file update: the set's catalogue, the user's choice, and each chosen file fetched, unpacked
// and copied into the installed set folder.
#include <exception>

#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/services/logging.h"
#include "core/services/messages.h"
#include "core/update/modunzip.h"
#include "kxview/modupdate.h"
#include "widgets/services/forms.h"
#include "widgets/update/frmpub_download.h"
#include "widgets/update/frmpub_download_price.h"
#include "widgets/update/update_internal_p.h"

namespace modUpdate {
namespace {

const QString kCatalogueName = QStringLiteral("MatePriceIndex.mdb");

/// The folders and addresses of one price set.
struct PriceSet {
    PriceSet(const QString& mateKey, const QString& appPath, const QString& dataPath)
        : tempDir(appPath + QStringLiteral("Temp\\升级\\材料价格\\")),
          remoteFolder(UpdateBaseAddress() + QStringLiteral("更新数据\\材料价格\\") + mateKey +
                       QLatin1Char('\\')),
          extractionFolder(tempDir + mateKey + QLatin1Char('\\')),
          installedFolder(dataPath + QStringLiteral("材料价格文件\\") + mateKey + QLatin1Char('\\')) {
        detail::ensureFolders(appPath,
                              {QStringLiteral("Temp\\升级"), QStringLiteral("Temp\\升级\\材料价格")});
    }

    /// Creates the installed set folder when the set is new on this machine.
    void ensureInstalledFolder() const {
        if (!kx::fs::isDir(installedFolder)) modPub_File::CreateDirs(installedFolder);
    }

    QString tempDir;
    QString remoteFolder;
    QString extractionFolder;
    QString installedFolder;
};

/// Downloads and extracts the set's catalogue; the offered catalogue's path, or "" when it did not come.
QString fetchOfferedCatalogue(const PriceSet& set) {
    const frmPub_DownLoad& dialog = detail::fetch(set.remoteFolder + QStringLiteral("MatePriceIndex.rar"),
                                                  set.tempDir, QStringLiteral("下载价格目录"));
    const QString package = set.tempDir + QStringLiteral("MatePriceIndex.rar");
    if (!dialog.GetCompleteDownLoad() || !kx::fs::isFile(package)) return {};
    QString folder = set.extractionFolder;
    modUnZip::UnZipArchive(package, folder);  // judged by the catalogue it leaves
    const QString offered = set.extractionFolder + kCatalogueName;
    if (!kx::fs::isFile(offered)) return {};
    kx::fs::removeFile(package);
    return offered;
}

/// Lets the user choose among the offered files; the chosen names, top to bottom.
QStringList chooseFiles(const QString& mateKey, const QString& dataPath, const QString& offered) {
    auto& form = kx::sharedForm<frmPub_DownLoad_Price>();
    form.SetDataPath(dataPath);
    form.SetMateKey(mateKey);
    form.SetFileFullName(offered);
    form.showModal();
    QStringList chosen;
    for (qint16 i = 1; i <= form.GetUpdateCount(); ++i) chosen << form.GetUpdateName(i);
    return chosen;
}

/// Deletes a file when the scope ends, also when it ends by an exception.
struct RemovedOnExit {
    QString path;
    ~RemovedOnExit() { kx::fs::removeFile(path); }
};

/// Puts the offered catalogue in place of the installed one, before any chosen file is fetched.
void installCatalogue(const PriceSet& set, const QString& offered) {
    set.ensureInstalledFolder();
    const QString installed = set.installedFolder + kCatalogueName;
    if (kx::fs::copyFile(offered, installed) != kx::fs::WriteResult::Ok)
        throw kx::FileSystemError("cannot replace " + installed.toStdString());
}

bool fetchAndInstallPriceFile(const PriceSet& set, const QString& fileName) {
    if (!modPub_File::isPlainFileName(fileName)) {
        qCWarning(lcKxView) << "offered price file name is not a plain file name:" << fileName;
        return false;
    }
    const QString package = modPub_File::GetFileTitle(fileName) + QStringLiteral(".rar");
    const frmPub_DownLoad& dialog =
        detail::fetch(set.remoteFolder + package, set.tempDir, QStringLiteral("下载 ") + fileName);
    if (!dialog.GetCompleteDownLoad()) return false;
    QString folder = set.extractionFolder;
    modUnZip::UnZipArchive(set.tempDir + package, folder);  // judged by the file it leaves
    kx::fs::removeFile(set.tempDir + package);
    const QString extracted = set.extractionFolder + fileName;
    if (!kx::fs::isFile(extracted)) return false;
    set.ensureInstalledFolder();
    switch (kx::fs::copyFile(extracted, set.installedFolder + fileName)) {
        case kx::fs::WriteResult::Ok:
            kx::fs::removeFile(extracted);
            return true;
        case kx::fs::WriteResult::PermissionDenied:
            kx::showWarning(fileName + QStringLiteral("正在使用中，无法更新！"), QStringLiteral("提示"));
            return false;
        case kx::fs::WriteResult::Failed:
            return false;
    }
    return false;
}

}  // namespace

int UpdatePriceFiles(const QString& MateKey, const QString& AppPath, const QString& DataPath) {
    const PriceSet set(MateKey, AppPath, DataPath);
    const QString offered = fetchOfferedCatalogue(set);
    if (offered.isEmpty()) return 0;
    QStringList chosen;
    {
        const RemovedOnExit removeOffered{offered};  // the offered catalogue goes, whatever happens
        chosen = chooseFiles(MateKey, DataPath, offered);
        if (!chosen.isEmpty()) installCatalogue(set, offered);
    }
    int installed = 0;
    for (const QString& name : chosen) installed += UpdatePriceFile(MateKey, AppPath, DataPath, name) ? 1 : 0;
    kx::showWarning(
        QStringLiteral("完成[ ") + QString::number(installed) + QStringLiteral(" ]个价格文件的更新"),
        QStringLiteral("提示"));
    return installed;
}

bool UpdatePriceFile(const QString& MateKey, const QString& AppPath, const QString& DataPath,
                     const QString& FileName) {
    try {
        return fetchAndInstallPriceFile(PriceSet(MateKey, AppPath, DataPath), FileName);
    } catch (const std::exception& e) {
        qCWarning(lcKxView) << "price file" << FileName << "not updated:" << e.what();
        return false;
    }
}

}  // namespace modUpdate

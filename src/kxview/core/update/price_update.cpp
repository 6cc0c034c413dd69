// The price-file update: the set's catalogue, the user's choice among the offered files, and each chosen
// file fetched, unpacked and copied into the installed set folder.
#include <exception>

#include "core/data/modpub_file.h"
#include "core/data/untrusted_names.h"
#include "core/io/filesystem.h"
#include "core/services/logging.h"
#include "core/update/offers.h"
#include "core/update/steps.h"
#include "core/update/update_session.h"
#include "kxview/updates.h"

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
          installedFolder(kx::installedPriceSetFolder(dataPath, mateKey)) {
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

/// Downloads, checks and extracts the set's catalogue; the offered catalogue's path, or "" when it did not
/// come. Entries whose names kx::untrustedNameInFolder refuses are dropped from it before anyone reads it.
QString fetchOfferedCatalogue(kx::UpdatePrompts& prompts, const PriceSet& set) {
    const QString package = set.tempDir + QStringLiteral("MatePriceIndex.rar");
    const QString remote = set.remoteFolder + QStringLiteral("MatePriceIndex.rar");
    if (!prompts.fetch({remote, set.tempDir, QStringLiteral("下载价格目录")}) || !kx::fs::isFile(package))
        return {};
    if (!detail::verifyChecksum(prompts, remote, package)) {
        kx::fs::removeFile(package);
        return {};
    }
    QString folder = set.extractionFolder;
    detail::unpack(prompts, package, folder);  // judged by the catalogue it leaves
    const QString offered = set.extractionFolder + kCatalogueName;
    if (!kx::fs::isFile(offered)) return {};
    kx::fs::removeFile(package);
    if (GetUpdateLimits().confinePaths) kx::dropEntriesWithUntrustedNames(offered, set.installedFolder);
    return offered;
}

/// Deletes a file when the scope ends, also when it ends by an exception.
struct RemovedOnExit {
    QString path;
    ~RemovedOnExit() { kx::fs::removeFile(path); }
};

/// Puts the offered catalogue in place of the installed one, before any chosen file is fetched.
void installCatalogue(kx::UpdatePrompts& prompts, const PriceSet& set, const QString& offered) {
    set.ensureInstalledFolder();
    const QString installed = set.installedFolder + kCatalogueName;
    if (kx::fs::copyFile(offered, installed) != kx::fs::WriteResult::Ok)
        throw kx::FileSystemError("cannot replace " + installed.toStdString());
    prompts.installed({kx::fs::resolve(installed)});
}

bool fetchAndInstallPriceFile(kx::UpdatePrompts& prompts, const PriceSet& set, const QString& fileName) {
    const kx::NameInFolder target = kx::untrustedNameInFolder(set.installedFolder, fileName);
    if (!target.accepted()) return false;  // logged by the rule
    const QString package = modPub_File::GetFileTitle(fileName) + QStringLiteral(".rar");
    if (!prompts.fetch({set.remoteFolder + package, set.tempDir, QStringLiteral("下载 ") + fileName}))
        return false;
    if (!detail::verifyChecksum(prompts, set.remoteFolder + package, set.tempDir + package)) {
        kx::fs::removeFile(set.tempDir + package);
        return false;
    }
    QString folder = set.extractionFolder;
    detail::unpack(prompts, set.tempDir + package, folder);  // judged by the file it leaves
    kx::fs::removeFile(set.tempDir + package);
    const QString extracted = set.extractionFolder + fileName;
    if (!kx::fs::isFile(extracted)) return false;
    set.ensureInstalledFolder();
    switch (kx::fs::copyFile(extracted, target.path)) {
        case kx::fs::WriteResult::Ok:
            kx::fs::removeFile(extracted);
            prompts.installed({kx::fs::resolve(target.path)});
            return true;
        case kx::fs::WriteResult::PermissionDenied:
            prompts.inform(fileName + QStringLiteral("正在使用中，无法更新！"));
            return false;
        case kx::fs::WriteResult::Failed:
            return false;
    }
    return false;
}

}  // namespace

int UpdatePriceFiles(kx::UpdatePrompts& prompts, const QString& MateKey, const QString& AppPath,
                     const QString& DataPath) {
    const PriceSet set(MateKey, AppPath, DataPath);
    const kx::UpdateSession session(AppPath);
    if (const std::optional<kx::UpdateRefusal> refusal = session.refusal()) {
        detail::tell(prompts, *refusal);
        return 0;
    }
    const QString offered = fetchOfferedCatalogue(prompts, set);
    if (offered.isEmpty()) return 0;
    QStringList chosen;
    {
        const RemovedOnExit removeOffered{offered};  // the offered catalogue goes, whatever happens
        chosen = prompts.choosePriceFiles(kx::readPriceSetOffer(offered, DataPath, MateKey));
        if (!chosen.isEmpty()) installCatalogue(prompts, set, offered);
    }
    int installed = 0;
    for (const QString& name : chosen)
        installed += UpdatePriceFile(prompts, MateKey, AppPath, DataPath, name) ? 1 : 0;
    prompts.inform(QStringLiteral("完成[ ") + QString::number(installed) +
                   QStringLiteral(" ]个价格文件的更新"));
    return installed;
}

bool UpdatePriceFile(kx::UpdatePrompts& prompts, const QString& MateKey, const QString& AppPath,
                     const QString& DataPath, const QString& FileName) {
    try {
        const PriceSet set(MateKey, AppPath, DataPath);
        const kx::UpdateSession session(AppPath);
        if (const std::optional<kx::UpdateRefusal> refusal = session.refusal()) {
            detail::tell(prompts, *refusal);
            return false;
        }
        return fetchAndInstallPriceFile(prompts, set, FileName);
    } catch (const std::exception& e) {
        qCWarning(lcKxView) << "price file" << FileName << "not updated:" << e.what();
        return false;
    }
}

}  // namespace modUpdate

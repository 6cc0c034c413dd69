#include "core/update/steps.h"

#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "core/update/modunzip.h"
#include "kxview/updateprompts.h"

namespace modUpdate::detail {

void ensureFolders(const QString& appPath, const QStringList& levels) {
    for (const QString& level : levels) {
        if (!kx::fs::isDir(appPath + level)) modPub_File::CreateDirs(appPath + level);
    }
}

bool unpack(kx::UpdatePrompts& prompts, const QString& archive, QString& folder) {
    return modUnZip::UnZipArchive(
        archive, folder, [&prompts](const QString& path) { return prompts.replaceExistingFile(path); });
}

}  // namespace modUpdate::detail

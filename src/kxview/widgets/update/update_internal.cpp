#include "widgets/update/update_internal_p.h"

#include "core/data/modpub_file.h"
#include "core/io/filesystem.h"
#include "widgets/services/forms.h"
#include "widgets/update/frmpub_download.h"

namespace modUpdate::detail {

void ensureFolders(const QString& appPath, const QStringList& levels) {
    for (const QString& level : levels) {
        if (!kx::fs::isDir(appPath + level)) modPub_File::CreateDirs(appPath + level);
    }
}

frmPub_DownLoad& fetch(const QString& url, const QString& folder, const QString& title) {
    auto& dialog = kx::sharedForm<frmPub_DownLoad>();
    dialog.SetCompleteClose(true);
    dialog.SetURL(url);
    if (!title.isEmpty()) dialog.SetTitle(title);
    dialog.SetSaveAsFullName(folder);
    dialog.SetAutoDownLoad(true);
    dialog.showModal();
    return dialog;
}

}  // namespace modUpdate::detail

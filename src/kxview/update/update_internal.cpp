#include "update_internal_p.h"

#include "data/modpub_file.h"
#include "frmpub_download.h"
#include "platform/filesystem.h"
#include "platform/forms.h"

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

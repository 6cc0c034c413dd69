#include "widgets/update/update_dialogs.h"

#include "core/services/messages.h"
#include "core/update/modunzip.h"
#include "widgets/services/forms.h"
#include "widgets/update/frmnet_updatedeinfo.h"
#include "widgets/update/frmpub_download.h"
#include "widgets/update/frmpub_download_price.h"

namespace kx {

bool UpdateDialogs::fetch(const FetchRequest& request) {
    auto& dialog = sharedForm<frmPub_DownLoad>();
    dialog.SetCompleteClose(true);
    dialog.SetURL(request.url);
    if (!request.title.isEmpty()) dialog.SetTitle(request.title);
    dialog.SetSaveAsFullName(request.folder);
    dialog.SetAutoDownLoad(true);
    dialog.showModal();
    return dialog.GetCompleteDownLoad();
}

bool UpdateDialogs::confirmQuotaLibraryOffer(const QuotaLibraryOffer& offer) {
    auto& info = sharedForm<frmNet_UpdateDEInfo>();
    info.SetDBFullName(offer.libraryFile);
    info.SetUpdateFile(offer.informationFile);
    info.showModal();
    return info.GetUnloadState() != 1;
}

QStringList UpdateDialogs::choosePriceFiles(const PriceSetOffer& offer) {
    auto& form = sharedForm<frmPub_DownLoad_Price>();
    form.SetDataPath(offer.dataPath);
    form.SetMateKey(offer.mateKey);
    form.SetFileFullName(offer.offeredCatalogue);
    form.showModal();
    QStringList chosen;
    for (qint16 i = 1; i <= form.GetUpdateCount(); ++i) chosen << form.GetUpdateName(i);
    return chosen;
}

ReplaceAnswer UpdateDialogs::replaceExistingFile(const QString& path) {
    return modUnZip::askBeforeReplacing(path);
}

void UpdateDialogs::inform(const QString& text) {
    showWarning(text, QStringLiteral("提示"));
}

}  // namespace kx

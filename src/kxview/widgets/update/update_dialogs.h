// The update prompts of a screen: the component's dialogs and message boxes.
#pragma once

#include "kxview/kxview_export.h"
#include "kxview/updateprompts.h"

namespace kx {

/// Answers the update procedures with the component's shared dialogs: downloads in frmPub_DownLoad, a
/// quota library's offer in frmNet_UpdateDEInfo, a price set's offer in frmPub_DownLoad_Price, the
/// replace question and messages in message boxes. Each dialog is configured through its specified
/// properties and reads the offer it shows from the same files itself.
class KXVIEW_EXPORT UpdateDialogs : public UpdatePrompts {
public:
    bool fetch(const FetchRequest& request) override;
    bool confirmQuotaLibraryOffer(const QuotaLibraryOffer& offer) override;
    QStringList choosePriceFiles(const PriceSetOffer& offer) override;
    ReplaceAnswer replaceExistingFile(const QString& path) override;
    void inform(const QString& text) override;
};

}  // namespace kx

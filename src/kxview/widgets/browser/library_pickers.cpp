#include "widgets/browser/library_pickers.h"

#include "core/data/modpub_db.h"
#include "core/data/modpub_file.h"
#include "core/pickers/library_paths.h"
#include "kxview/frmpub_selectde.h"
#include "kxview/frmselectprice.h"
#include "kxview/kxview.h"
#include "widgets/browser/browser_state.h"
#include "widgets/browser/price_columns.h"
#include "widgets/services/forms.h"

namespace kx {
namespace {

const QString kPriceCatalogue = QStringLiteral("MatePriceIndex.mdb");

}  // namespace

void LibraryPickers::SwitchLibrary() {
    const PickerProfile& kind = m_state.profile().pickers;
    if (kind.libraryPicker == PickerProfile::LibraryPicker::None) return;
    std::optional<QString> chosen;
    {
        auto library = modPub_DB::OpenDB(m_state.DBFullName);
        const QString name = modPub_DB::GetKeyInfo(*library, QStringLiteral("Name"));
        chosen = kind.libraryPicker == PickerProfile::LibraryPicker::QuotaLibrary
                     ? pickQuotaLibrary(kind, name)
                     : pickMaterialLibrary(kind, name);
        library->Close();
    }
    if (!chosen) return;
    m_state.DBFullName = *chosen;
    m_prices.ClearPrice();
    if (!m_state.PriceDBFullPath.isEmpty()) rebasePriceFile();
    m_view.Load(m_state.DBFullName);
}

std::optional<QString> LibraryPickers::pickQuotaLibrary(const PickerProfile& kind,
                                                        const QString& defaultName) {
    frmPub_SelectDE& form = sharedForm<frmPub_SelectDE>();
    form.setEnterChooses(m_view.addition(KXView::Addition::PickerEnterKey));
    form.SetAppPath(m_state.AppPath);
    form.SetPath(modPub_File::GetFilePath(m_state.DBFullName));
    form.SetDBName(QLatin1String(kind.catalogue));
    form.SetExtension(QLatin1String(kind.extension));
    form.SetDefaultName(defaultName);
    form.showModal();
    if (form.GetUnloadState() != 0) return std::nullopt;
    return form.GetOpenFileFullName();
}

std::optional<QString> LibraryPickers::pickMaterialLibrary(const PickerProfile& kind,
                                                           const QString& defaultName) {
    frmSelectPrice& form = sharedForm<frmSelectPrice>();
    form.setEnterChooses(m_view.addition(KXView::Addition::PickerEnterKey));
    form.SetAppPath(m_state.AppPath);
    form.SetPriceDir(modPub_File::GetFilePath(m_state.DBFullName));
    form.SetHideCmd_Del(1);
    form.SetHideCmd_Other(1);
    form.SetHideCmd_Update(1);
    form.SetDBName(QLatin1String(kind.catalogue));
    form.SetExtension(QLatin1String(kind.extension));
    form.SetDefaultName(defaultName);
    form.showModal();
    if (form.GetUnloadState() != 0) return std::nullopt;
    return form.GetOpenFileFullName();
}

void LibraryPickers::rebasePriceFile() {
    QString key;
    {
        auto library = modPub_DB::OpenDB(m_state.DBFullName);
        key = modPub_DB::GetKeyInfo(*library, QStringLiteral("Key"));
        library->Close();
    }
    const NameInFolder rebased = kx::rebasedPriceFile(m_state.PriceDBFullPath, key);
    if (rebased.accepted()) {
        m_state.PriceDBFullPath = rebased.path;
    } else {
        modPub_Sub::ShowMsg(rebased.refusal);  // the price file stays where the host put it
    }
}

void LibraryPickers::SelectPriceFile() {
    const char* keyCode = m_state.profile().pickers.priceKeyCode;
    if (keyCode == nullptr) return;
    auto library = modPub_DB::OpenDB(m_state.DBFullName);
    const NameInFolder folder =
        priceFolderOf(m_state.DBFullName, modPub_DB::GetKeyInfo(*library, QLatin1String(keyCode)));
    if (!folder.accepted()) {
        library->Close();
        modPub_Sub::ShowMsg(folder.refusal);
        return;
    }
    frmSelectPrice& form = sharedForm<frmSelectPrice>();
    form.setEnterChooses(m_view.addition(KXView::Addition::PickerEnterKey));
    form.SetAppPath(m_state.AppPath);
    form.SetPriceDir(folder.path);
    form.SetDBName(kPriceCatalogue);
    form.SetExtension(QStringLiteral(".QTJG"));
    form.SetHideCmd_Del(1);
    // The one form also serves the library tool, which hides these two: the price setting shows them.
    form.SetHideCmd_Other(0);
    form.SetHideCmd_Update(0);
    form.showModal();
    if (form.GetUnloadState() == 0) m_view.AddPriceColumn(form.GetOpenFileFullName());
    library->Close();
}

}  // namespace kx

#include "widgets/browser/library_profile.h"

#include "widgets/browser/description_pane.h"
#include "widgets/browser/item_lists.h"
#include "widgets/browser/row_events.h"

namespace kx {
namespace {

using Panes = LibraryProfile::Panes;

const LibraryProfile kQuota{
    "DE",
    "DMIndex",
    "DM",
    "DECode",
    "定额号",
    3000,
    800,
    true,
    true,
    true,
    true,
    Panes::GridAndDescription,
    {"DMPrice", "DMID", "CorePrice", true},
    &ItemLists::LoadDEByClass,
    [](ItemLists& lists, Recordset& rs, Database& db) { lists.FillDEGrid(rs, db); },
    &DescriptionPane::describeQuotaRow,
    &RowEvents::callQuotaRow,
    {PickerProfile::LibraryPicker::QuotaLibrary, "DEIndex.mdb", ".QTDE", "WithMateKey"},
};

const LibraryProfile kMaterial{
    "Mate",
    "MateIndex",
    "Mate",
    "Code",
    "编号",
    3000,
    600,
    false,
    true,
    true,
    false,
    Panes::GridOnly,
    {"Price", "MateID", "Price", false},
    &ItemLists::LoadMateByClass,
    [](ItemLists& lists, Recordset& rs, Database&) { lists.FillMateGrid(rs); },
    nullptr,
    &RowEvents::callMaterialRow,
    {PickerProfile::LibraryPicker::MaterialLibrary, "MateIndex.mdb", ".QTCJ", "Key"},
};

const LibraryProfile kBillItems{
    "DataBook",
    "QDIndex",
    "DataBook",
    "Code",
    "清单编号",
    4000,
    600,
    false,
    false,
    false,
    false,
    Panes::GridAndDescription,
    {},
    &ItemLists::LoadDataBookByClass,
    [](ItemLists& lists, Recordset& rs, Database&) { lists.FillDataBookGrid(rs); },
    &DescriptionPane::describeBillRow,
    &RowEvents::callBillRow,
    {PickerProfile::LibraryPicker::None, nullptr, nullptr, nullptr},
};

const LibraryProfile kNoKind{
    "",  nullptr, nullptr, "Code",  "编号",  3000,
    600, false,   false,   false,   false,   Panes::Untouched,
    {},  nullptr, nullptr, nullptr, nullptr, {PickerProfile::LibraryPicker::None, nullptr, nullptr, nullptr},
};

}  // namespace

const LibraryProfile& libraryProfile(const QString& findStyle) {
    for (const LibraryProfile* profile : {&kQuota, &kMaterial, &kBillItems}) {
        if (findStyle == QLatin1String(profile->findStyle)) return *profile;
    }
    return kNoKind;
}

}  // namespace kx

// Names of the libraries, keys and folders the sample directory uses, shared by the builder and its tests.
#pragma once

namespace sample::names {

// Folders below the application directory (written with '/'; the component writes them with '\').
inline constexpr const char* kSystemDir = "System";
inline constexpr const char* kKindIcon = "System/Ico/Edit/Kind.ico";
inline constexpr const char* kDataDir = "造价资料";
inline constexpr const char* kQuotaDir = "造价资料/定额库";
inline constexpr const char* kConversionDir = "造价资料/定额库/换算库";
inline constexpr const char* kMaterialDir = "造价资料/材料库";
inline constexpr const char* kPriceRoot = "造价资料/材料价格文件";
inline constexpr const char* kBillDir = "造价资料/清单库";
inline constexpr const char* kMyPriceDir = "用户数据/我的价格文件";
inline constexpr const char* kUpdateRoot = "UpdateService";
inline constexpr const char* kUpdateQuotaDir = "UpdateService/更新数据/定额库";
inline constexpr const char* kUpdatePriceRoot = "UpdateService/更新数据/材料价格";

// Catalogue files.
inline constexpr const char* kQuotaCatalogue = "DEIndex.mdb";
inline constexpr const char* kMaterialCatalogue = "MateIndex.mdb";
inline constexpr const char* kPriceCatalogue = "MatePriceIndex.mdb";
inline constexpr const char* kRelatedTemplate = "WithDE.mdb";

// Library keys (KeyInfo "Key").
inline constexpr const char* kBuildingKey = "DE2018JZ";
inline constexpr const char* kInstallKey = "DE2018AZ";
inline constexpr const char* kMunicipalKey = "DE2018SZ";
inline constexpr const char* kLandscapeKey = "DE2018YL";
inline constexpr const char* kRestorationKey = "DE2018FG";
inline constexpr const char* kRepairKey = "DE2018XS";
inline constexpr const char* kMaterialKey = "CJ2018";
inline constexpr const char* kBillKey = "QD2013";

// File titles (the extension is added where the file is written).
inline constexpr const char* kBuildingTitle = "建筑工程消耗量定额";
inline constexpr const char* kInstallTitle = "安装工程消耗量定额";
inline constexpr const char* kMunicipalTitle = "市政工程消耗量定额";
inline constexpr const char* kLandscapeTitle = "园林绿化工程消耗量定额";
inline constexpr const char* kRestorationTitle = "仿古建筑工程消耗量定额";
inline constexpr const char* kRepairTitle = "房屋修缮工程消耗量定额";
inline constexpr const char* kMaterialTitle = "建设工程材料库";
inline constexpr const char* kBillTitle = "建设工程工程量清单";

/// The files that take the pickers down their less travelled roads (picker_cases.cpp; titles without
/// their extension unless the name says otherwise).
struct PickerCaseNames {
    /// In the quota folder, not in its catalogue, without a related-quota file (a file name).
    const char* uncataloguedQuota = "园林绿化工程补充定额.QTDE";
    /// A quota folder without a catalogue, holding a library and one without a KeyInfo 'Name'.
    const char* companyQuotaDir = "造价资料/企业定额库";
    const char* companyQuota = "企业定额.QTDE";
    const char* unnamedQuota = "未命名定额.QTDE";
    /// A second material library, catalogued, with a price folder of its own without a catalogue.
    const char* secondMaterial = "建设工程材料库2024";
    const char* secondMaterialKey = "CJ2024";
    /// The price file both material libraries' price folders hold under this name.
    const char* sharedPriceTitle = "北京2024年1月信息价";
    /// In the first price catalogue: an entry whose file is not installed (the update service offers it),
    /// and a price file without an owner.
    const char* missingPrice = "北京2024年3月信息价";
    const char* ownerlessPrice = "公司内部价格";
    /// Files to import from outside the catalogued folders: a colleague's price file, and a material
    /// library of another key that stores a price file.
    const char* exchangeDir = "用户数据/交换文件";
    const char* colleaguePrice = "同事的价格";
    const char* otherMaterial = "外省材料库";
    const char* otherMaterialKey = "CJWS2024";
    const char* storedPrice = "外省2024年信息价";
};
inline constexpr PickerCaseNames kPickerCases{};

}  // namespace sample::names

#include "picker_cases.h"

#include <system_error>

#include "db_file.h"
#include "library_writers.h"
#include "norm_content.h"
#include "publish/packages.h"
#include "sample/names.h"

namespace sample {
namespace {

namespace fs = std::filesystem;
using names::kPickerCases;

constexpr int kCaseScale = 1;

/// The content the picker cases' libraries and price files are made of: the sample's materials and its
/// building and installation items, at scale 1.
struct PickerCaseContent {
    MaterialContent materials = makeMaterialContent(kCaseScale);
    QuotaContent building = makeQuotaContent(NormBook::Building, 1, kCaseScale);
    QuotaContent installation = makeQuotaContent(NormBook::Installation, 100001, kCaseScale);
};

jet::Status makeDir(const fs::path& root, const std::string& relative) {
    std::error_code ec;
    fs::create_directories(under(root, relative), ec);
    if (ec) return jet::Status::IOError("cannot create " + relative + ": " + ec.message());
    return jet::Status();
}

/// A quota library of `book`; without a KeyInfo 'Name' when `name` is empty.
jet::Status writeQuotaLibrary(const fs::path& root, const std::string& path, NormBook book, int64_t firstId,
                              const std::string& key, const std::string& name, BuildReport& report) {
    JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(root, path, report));
    JET_RETURN_IF_ERROR(writeQuotaTables(db, makeQuotaContent(book, firstId, kCaseScale)));
    KeyInfoRows keys{{"Key", key}};
    if (!name.empty()) keys.push_back({"Name", name});
    keys.insert(keys.end(),
                {{"WithMateKey", names::kMaterialKey},
                 {"Ver", "1.0"},
                 {"Man", "企业定额编制组"},
                 {"Date", "2023-12-01"},
                 {"Direction", "<B>" + (name.empty() ? key : name) + "</>，<C=12>补充子目</>。"}});
    return db.addKeyInfo(keys);
}

/// One price file of the picker cases.
struct CasePrice {
    std::string path;
    std::string shortName, name, owner, date;
    double level;
    uint64_t seed;
};

jet::Status writeCasePrice(const fs::path& root, const CasePrice& p, const PickerCaseContent& content,
                           BuildReport& report) {
    JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(root, p.path, report));
    JET_RETURN_IF_ERROR(db.addKeyInfo({{"ShortName", p.shortName},
                                       {"Name", p.name},
                                       {"UserName", p.owner},
                                       {"Man", p.owner.empty() ? "材料科" : p.owner},
                                       {"Date", p.date},
                                       {"Direction", "<B>" + p.name + "</>，价格不含税。"},
                                       {"WithMateKey", names::kMaterialKey}}));
    return writePriceTables(
        db, makePriceList(content.materials, {&content.building, &content.installation}, p.level, p.seed));
}

/// A material library with the sample's materials and the price files `stored` in its WithData.
jet::Status writeMaterialLibrary(const fs::path& root, const std::string& path, const std::string& key,
                                 const std::string& name, const PickerCaseContent& content,
                                 const std::vector<std::pair<std::string, std::vector<uint8_t>>>& stored,
                                 BuildReport& report) {
    JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(root, path, report));
    JET_RETURN_IF_ERROR(db.addKeyInfo({{"Key", key},
                                       {"Name", name},
                                       {"Man", "定额管理站"},
                                       {"Date", "2024-01-01"},
                                       {"Direction", "<B>" + name + "</>。"}}));
    return writeMaterialTables(db, content.materials, stored);
}

// Quota libraries: one the catalogue does not list yet (registered by the picker's next opening, without
// a related-quota file), and a folder without a catalogue whose second library has no name.
jet::Status writeQuotaCases(const fs::path& root, BuildReport& report) {
    JET_RETURN_IF_ERROR(
        writeQuotaLibrary(root, std::string(names::kQuotaDir) + "/" + kPickerCases.uncataloguedQuota,
                          NormBook::Landscape, 600001, "DE2018YLB", "2018年园林绿化工程补充定额", report));
    JET_RETURN_IF_ERROR(makeDir(root, kPickerCases.companyQuotaDir));
    const std::string folder = std::string(kPickerCases.companyQuotaDir) + "/";
    JET_RETURN_IF_ERROR(writeQuotaLibrary(root, folder + kPickerCases.companyQuota, NormBook::Repair, 700001,
                                          "QY2023", "2023年企业定额", report));
    return writeQuotaLibrary(root, folder + kPickerCases.unnamedQuota, NormBook::Repair, 800001, "QY2023B",
                             "", report);
}

// A second material library, catalogued, whose price folder has a price file of the same name as the
// first library's and no catalogue yet.
jet::Status writeSecondMaterialLibrary(const fs::path& root, const PickerCaseContent& content,
                                       BuildReport& report) {
    const std::string file = std::string(kPickerCases.secondMaterial) + ".QTCJ";
    JET_RETURN_IF_ERROR(writeMaterialLibrary(root, std::string(names::kMaterialDir) + "/" + file,
                                             kPickerCases.secondMaterialKey, "2024年建设工程材料库", content,
                                             {}, report));
    JET_ASSIGN_OR_RETURN(
        DbFile catalogue,
        DbFile::open(root, std::string(names::kMaterialDir) + "/" + names::kMaterialCatalogue, report));
    JET_RETURN_IF_ERROR(appendCatalogueEntries(catalogue, CatalogueKind::Library,
                                               {{3, 1, "2024年建设工程材料库", 3, file, "", "", ""}}));
    const std::string prices = std::string(names::kPriceRoot) + "/" + kPickerCases.secondMaterialKey;
    JET_RETURN_IF_ERROR(makeDir(root, prices));
    return writeCasePrice(
        root,
        {prices + "/" + kPickerCases.sharedPriceTitle + ".QTJG", "京24.01",
         "北京市2024年1月建设工程材料信息价（2024材料库）", "ADMIN", "2024-01-15", 1.10, 400},
        content, report);
}

// The first material library's price catalogue gains an entry whose file is not installed (the update
// service offers it) and one of a price file without an owner.
jet::Status writePriceCatalogueCases(const fs::path& root, const PickerCaseContent& content,
                                     BuildReport& report) {
    const std::string folder = std::string(names::kPriceRoot) + "/" + names::kMaterialKey + "/";
    JET_RETURN_IF_ERROR(writeCasePrice(root,
                                       {folder + kPickerCases.ownerlessPrice + ".QTJG", "内部价",
                                        "公司内部材料价格", "", "2024-03-20", 0.99, 410},
                                       content, report));
    JET_ASSIGN_OR_RETURN(DbFile catalogue, DbFile::open(root, folder + names::kPriceCatalogue, report));
    return appendCatalogueEntries(
        catalogue, CatalogueKind::Price,
        {{9, 1, "北京市2024年3月建设工程材料信息价", 9, std::string(kPickerCases.missingPrice) + ".QTJG",
          "2024-03-15", "2024-03-15", "京24.03"},
         {10, 3, "公司内部材料价格", 10, std::string(kPickerCases.ownerlessPrice) + ".QTJG", "2024-03-20",
          "2024-03-20", "内部价"}});
}

// Files to import, outside every catalogued folder: a colleague's price file, and a material library of
// another key that stores a price file.
jet::Status writeExchangeFiles(const fs::path& root, const PickerCaseContent& content, BuildReport& report) {
    const std::string folder = std::string(kPickerCases.exchangeDir) + "/";
    JET_RETURN_IF_ERROR(makeDir(root, kPickerCases.exchangeDir));
    JET_RETURN_IF_ERROR(writeCasePrice(root,
                                       {folder + kPickerCases.colleaguePrice + ".QTJG", "同事价",
                                        "同事提供的材料价格", "李工", "2024-04-02", 1.01, 420},
                                       content, report));
    // The stored price file is written beside, read into the library, and removed.
    const std::string storedName = std::string(kPickerCases.storedPrice) + ".QTJG";
    BuildReport scratch;
    JET_RETURN_IF_ERROR(writeCasePrice(root,
                                       {folder + "~" + storedName, "外省价", "外省2024年建设工程材料信息价",
                                        "ADMIN", "2024-02-01", 1.08, 430},
                                       content, scratch));
    JET_ASSIGN_OR_RETURN(auto storedBytes, publish::readFile(under(root, folder + "~" + storedName)));
    std::error_code ec;
    fs::remove(under(root, folder + "~" + storedName), ec);
    return writeMaterialLibrary(root, folder + kPickerCases.otherMaterial + ".QTCJ",
                                kPickerCases.otherMaterialKey, "外省建设工程材料库", content,
                                {{storedName, std::move(storedBytes)}}, report);
}

}  // namespace

jet::Status writePickerCases(const fs::path& root, BuildReport& report) {
    const PickerCaseContent content;
    JET_RETURN_IF_ERROR(writeQuotaCases(root, report));
    JET_RETURN_IF_ERROR(writeSecondMaterialLibrary(root, content, report));
    JET_RETURN_IF_ERROR(writePriceCatalogueCases(root, content, report));
    return writeExchangeFiles(root, content, report);
}

}  // namespace sample

// Lays out the sample application directory: which library goes where, with which keys, and what the
// update-service mirror offers compared with what is installed.
#include "sample/builder.h"

#include <system_error>

#include "db_file.h"
#include "library_writers.h"
#include "packages.h"
#include "sample/names.h"

namespace sample {
namespace {

namespace fs = std::filesystem;
using names::kConversionDir;
using names::kQuotaDir;

/// One quota library of the sample: its content, keys and what the update service offers for it.
struct QuotaLibrary {
    NormBook book;
    int64_t firstId;
    const char* title;
    const char* key;
    const char* displayName;
    bool installed;
    const char* offeredVersion;
    std::vector<ChangeLine> changes;
};

std::vector<QuotaLibrary> quotaLibraries() {
    return {
        {NormBook::Building,
         1,
         names::kBuildingTitle,
         names::kBuildingKey,
         "2018年建筑工程消耗量定额",
         true,
         "1.1",
         {{"新增装配式混凝土构件安装子目", 1}, {"更正第四章混凝土强度等级换算说明", 0}, {"调整人工单价", 0}}},
        {NormBook::Installation,
         100001,
         names::kInstallTitle,
         names::kInstallKey,
         "2018年安装工程消耗量定额",
         true,
         "1.0",
         {{"当前版本为最新版本", 0}}},
        {NormBook::Municipal,
         200001,
         names::kMunicipalTitle,
         names::kMunicipalKey,
         "2018年市政工程消耗量定额",
         false,
         "1.0",
         {{"首次发布", 1}}},
    };
}

/// One price file of the material library's price folder.
struct PriceFile {
    const char* title;
    const char* shortName;
    const char* name;
    const char* owner;
    double level;
    const char* created;
    const char* modified;
    int group;  // catalogue group: 1 北京市, 2 上海市, 3 自定义价格
};

const PriceFile kInstalledPrices[] = {
    {"北京2024年1月信息价", "京24.01", "北京市2024年1月建设工程材料信息价", "ADMIN", 1.00, "2024-01-15",
     "2024-01-15", 1},
    {"北京2024年2月信息价", "京24.02", "北京市2024年2月建设工程材料信息价", "ADMIN", 1.02, "2024-02-15",
     "2024-02-15", 1},
    {"上海2024年1月信息价", "沪24.01", "上海市2024年1月建设工程材料信息价", "ADMIN", 1.05, "2024-01-20",
     "2024-01-20", 2},
    {"项目询价", "询价", "某住宅项目材料询价", "张工", 0.97, "2024-03-05", "2024-03-05", 3},
};
// Offered by the update service: a newer edition of an installed file, and a file not installed.
const PriceFile kNewerEdition = {"北京2024年2月信息价",
                                 "京24.02",
                                 "北京市2024年2月建设工程材料信息价（修订）",
                                 "ADMIN",
                                 1.03,
                                 "2024-02-15",
                                 "2024-03-01",
                                 1};
const PriceFile kNotInstalled = {
    "北京2024年3月信息价", "京24.03", "北京市2024年3月建设工程材料信息价", "ADMIN", 1.04, "2024-03-15",
    "2024-03-15",          1};
const PriceFile kStoredInLibrary = {
    "2018年基期价格", "基期价", "2018年材料基期价格", "ADMIN", 0.90, "2018-06-01", "2018-06-01", 3};

/// Shared state of one build.
struct Build {
    Build(fs::path dir, int scaleFactor, BuildReport& buildReport)
        : root(std::move(dir)),
          scale(scaleFactor),
          report(buildReport),
          staging(root / "UpdateService" / "~staging") {}

    fs::path root;
    int scale;
    BuildReport& report;
    BuildReport scratch;  // databases written only to be packed or stored, not part of the directory
    fs::path staging;
    QuotaContent building, installation;
    MaterialContent materials;
};

std::string quotaFile(const char* title) {
    return std::string(kQuotaDir) + "/" + title + ".QTDE";
}
std::string conversionFile(const char* title, const char* suffix) {
    return std::string(kConversionDir) + "/" + title + suffix;
}
std::string namedConversionName(const char* title) {
    return std::string(title) + "_干混砂浆换算.QTHS";
}
std::string assemblyConversionName(const char* title) {
    return std::string(title) + "_装配式换算.QTHS";
}
// The building library's "WithHSK": two files that exist, with a quoted name that holds the separator and a
// file that does not exist between them.
std::string buildingWithHSK(const char* title) {
    return namedConversionName(title) + "|'补充|换算.QTHS'|" + title + "_缺失换算.QTHS|" +
           assemblyConversionName(title);
}
std::string priceDir() {
    return std::string(names::kPriceRoot) + "/" + names::kMaterialKey;
}

jet::Status makeDirs(const fs::path& root, const std::vector<std::string>& dirs) {
    for (const std::string& d : dirs) {
        std::error_code ec;
        fs::create_directories(under(root, d), ec);
        if (ec) return jet::Status::IOError("cannot create " + d + ": " + ec.message());
    }
    return jet::Status();
}

jet::Status copyInto(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) return jet::Status::IOError("cannot copy " + from.string() + ": " + ec.message());
    return jet::Status();
}

// ---- System folder
// -------------------------------------------------------------------------------------------

jet::Status writeSystemFolder(Build& b) {
    const std::string sys = names::kSystemDir;
    const std::pair<const char*, CatalogueKind> catalogues[] = {
        {names::kQuotaCatalogue, CatalogueKind::Library},
        {names::kMaterialCatalogue, CatalogueKind::Library},
        {names::kPriceCatalogue, CatalogueKind::Price}};
    for (const auto& [name, kind] : catalogues) {
        JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(b.root, sys + "/" + name, b.report));
        JET_RETURN_IF_ERROR(writeCatalogue(db, kind, {}));
    }
    JET_ASSIGN_OR_RETURN(DbFile related,
                         DbFile::create(b.root, sys + "/" + names::kRelatedTemplate, b.report));
    JET_RETURN_IF_ERROR(writeRelatedQuotaFile(related, {}, {}));
    return writeFile(under(b.root, names::kKindIcon), kindIcon());
}

// ---- Quota libraries
// -------------------------------------------------------------------------------------------

KeyInfoRows quotaKeyInfo(const QuotaLibrary& lib, const std::string& version) {
    const std::string named = lib.book == NormBook::Building ? buildingWithHSK(lib.title) : "";
    return {{"Key", lib.key},
            {"Name", lib.displayName},
            {"WithMateKey", names::kMaterialKey},
            {"WithHSK", named},
            {"Ver", version},
            {"Man", "定额管理站"},
            {"Date", "2018-09-01"},
            {"Direction", std::string("<B>") + lib.displayName + "</>，适用于新建、扩建和改建工程。"}};
}

jet::Status writeConversionFiles(const QuotaLibrary& lib, const QuotaContent& content, BuildReport& report,
                                 const fs::path& root) {
    struct File {
        std::string path;
        ConversionSet set;
    };
    std::vector<File> files{{conversionFile(lib.title, "_系统换算库.QTHS"), ConversionSet::System},
                            {conversionFile(lib.title, "_用户换算库.QTHS"), ConversionSet::User}};
    if (lib.book == NormBook::Building) {
        files.push_back(
            {std::string(kConversionDir) + "/" + namedConversionName(lib.title), ConversionSet::Named});
        files.push_back(
            {std::string(kConversionDir) + "/" + assemblyConversionName(lib.title), ConversionSet::Assembly});
    }
    for (const File& f : files) {
        JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(root, f.path, report));
        JET_RETURN_IF_ERROR(
            writeConversionLibrary(db, makeConversions(content, lib.key, f.set), lib.displayName));
    }
    return jet::Status();
}

// The related quotas of a quota item: its formwork and reinforcement, for the concrete items.
jet::Status writeRelatedQuotas(Build& b, const QuotaLibrary& lib, const QuotaContent& content) {
    std::vector<RelatedRow> rows;
    std::vector<int64_t> owners;
    const auto& formwork = content.itemsByLeaf.count("现浇构件模板") ? content.itemsByLeaf.at("现浇构件模板")
                                                                     : std::vector<int64_t>{};
    for (const QuotaItem& item : content.items) {
        if (!item.classCode.starts_with("0401") || formwork.empty() || item.id % 4 != 0) continue;
        rows.push_back({1, 0, "模板", "Title", 0, lib.key});
        rows.push_back({2, 1, "", "DE", formwork[static_cast<size_t>(item.id) % formwork.size()], lib.key});
        owners.insert(owners.end(), {item.id, item.id});
    }
    JET_ASSIGN_OR_RETURN(DbFile db,
                         DbFile::create(b.root, conversionFile(lib.title, "_关联定额.QTWD"), b.report));
    return writeRelatedQuotaFile(db, rows, owners);
}

// Writes the library once, then copies it for the update package before KeyInfo sets each copy's version.
jet::Status writeInstalledQuotaLibrary(Build& b, const QuotaLibrary& lib, const QuotaContent& content) {
    const std::string path = quotaFile(lib.title);
    {
        JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(b.root, path, b.report));
        JET_RETURN_IF_ERROR(writeQuotaTables(db, content));
    }
    const std::string packed = std::string(lib.title) + ".QTDE";
    JET_RETURN_IF_ERROR(copyInto(under(b.root, path), under(b.staging, packed)));
    JET_ASSIGN_OR_RETURN(DbFile installed, DbFile::open(b.root, path, b.report));
    JET_RETURN_IF_ERROR(installed.addKeyInfo(quotaKeyInfo(lib, "1.0")));
    JET_ASSIGN_OR_RETURN(DbFile offered, DbFile::open(b.staging, packed, b.scratch));
    JET_RETURN_IF_ERROR(offered.addKeyInfo(quotaKeyInfo(lib, lib.offeredVersion)));
    JET_RETURN_IF_ERROR(writeConversionFiles(lib, content, b.report, b.root));
    return writeRelatedQuotas(b, lib, content);
}

jet::Status writeUninstalledQuotaLibrary(Build& b, const QuotaLibrary& lib, const QuotaContent& content) {
    JET_RETURN_IF_ERROR(makeDirs(b.staging, {kConversionDir}));
    const std::string packed = std::string(lib.title) + ".QTDE";
    JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(b.staging, packed, b.scratch));
    JET_RETURN_IF_ERROR(writeQuotaTables(db, content));
    JET_RETURN_IF_ERROR(db.addKeyInfo(quotaKeyInfo(lib, lib.offeredVersion)));
    return writeConversionFiles(lib, content, b.scratch, b.staging);
}

// The package of a quota library: the library and its system conversions, installed below the application
// directory by the manifest.
jet::Status writeQuotaPackage(Build& b, const QuotaLibrary& lib) {
    const std::string libraryName = std::string(lib.title) + ".QTDE";
    const std::string systemName = std::string(lib.title) + "_系统换算库.QTHS";
    const fs::path systemSource = lib.installed
                                      ? under(b.root, conversionFile(lib.title, "_系统换算库.QTHS"))
                                      : under(b.staging, conversionFile(lib.title, "_系统换算库.QTHS"));
    std::vector<ZipMember> members;
    members.push_back(
        {"Update.xml",
         toBytes(updateManifest({{libraryName, "...\\造价资料\\定额库\\" + libraryName, false},
                                 {systemName, "...\\造价资料\\定额库\\换算库\\" + systemName, false}}))});
    JET_ASSIGN_OR_RETURN(auto library, readFile(under(b.staging, libraryName)));
    members.push_back({libraryName, std::move(library)});
    JET_ASSIGN_OR_RETURN(auto system, readFile(systemSource));
    members.push_back({systemName, std::move(system)});

    const std::string base = std::string(names::kUpdateQuotaDir) + "/" + lib.title;
    JET_RETURN_IF_ERROR(writeZip(under(b.root, base + ".rar"), members));
    b.report.packages.push_back(base + ".rar");
    return writeFile(under(b.root, base + ".xml"), toBytes(informationFile(lib.offeredVersion, lib.changes)));
}

jet::Status writeQuotaCatalogue(Build& b, const std::vector<QuotaLibrary>& libs) {
    std::vector<CatalogueEntry> entries{{1, 0, "建筑工程", 1, "", "", "", ""},
                                        {2, 0, "安装工程", 2, "", "", "", ""},
                                        {3, 0, "市政工程", 3, "", "", "", ""}};
    for (size_t i = 0; i < libs.size(); ++i) {
        const int64_t id = static_cast<int64_t>(entries.size() + 1);
        entries.push_back({id, static_cast<int64_t>(i + 1), libs[i].displayName, id,
                           std::string(libs[i].title) + ".QTDE", "", "", ""});
    }
    JET_ASSIGN_OR_RETURN(
        DbFile db, DbFile::create(b.root, std::string(kQuotaDir) + "/" + names::kQuotaCatalogue, b.report));
    return writeCatalogue(db, CatalogueKind::Library, entries);
}

jet::Status writeQuotaLibraries(Build& b) {
    const auto libs = quotaLibraries();
    b.building = makeQuotaContent(NormBook::Building, libs[0].firstId, b.scale);
    b.installation = makeQuotaContent(NormBook::Installation, libs[1].firstId, b.scale);
    JET_RETURN_IF_ERROR(writeInstalledQuotaLibrary(b, libs[0], b.building));
    JET_RETURN_IF_ERROR(writeInstalledQuotaLibrary(b, libs[1], b.installation));
    JET_RETURN_IF_ERROR(writeUninstalledQuotaLibrary(
        b, libs[2], makeQuotaContent(NormBook::Municipal, libs[2].firstId, b.scale)));
    for (const QuotaLibrary& lib : libs) JET_RETURN_IF_ERROR(writeQuotaPackage(b, lib));
    return writeQuotaCatalogue(b, libs);
}

// ---- Material library and price files
// --------------------------------------------------------------------------

jet::Status writePriceFile(Build& b, const fs::path& root, const std::string& path, BuildReport& report,
                           const PriceFile& p, uint64_t seed) {
    JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(root, path, report));
    JET_RETURN_IF_ERROR(db.addKeyInfo({{"ShortName", p.shortName},
                                       {"Name", p.name},
                                       {"UserName", p.owner},
                                       {"Man", p.owner},
                                       {"Date", p.modified},
                                       {"Direction", std::string("<B>") + p.name + "</>，价格不含税。"},
                                       {"WithMateKey", names::kMaterialKey}}));
    return writePriceTables(db, makePriceList(b.materials, {&b.building, &b.installation}, p.level, seed));
}

std::string priceFileName(const PriceFile& p) {
    return std::string(p.title) + ".QTJG";
}

CatalogueEntry priceEntry(int64_t id, const PriceFile& p) {
    return {id, p.group, p.name, id, priceFileName(p), p.created, p.modified, p.shortName};
}

std::vector<CatalogueEntry> priceGroups() {
    return {{1, 0, "北京市", 1, "", "", "", "北京市造价管理处发布"},
            {2, 0, "上海市", 2, "", "", "", "上海市建筑建材业市场管理总站发布"},
            {3, 0, "自定义价格", 3, "", "", "", ""}};
}

jet::Status writeInstalledPrices(Build& b) {
    std::vector<CatalogueEntry> entries = priceGroups();
    uint64_t seed = 100;
    for (const PriceFile& p : kInstalledPrices) {
        JET_RETURN_IF_ERROR(
            writePriceFile(b, b.root, priceDir() + "/" + priceFileName(p), b.report, p, ++seed));
        entries.push_back(priceEntry(static_cast<int64_t>(entries.size() + 1), p));
    }
    // A price file still being made: an entry without a file.
    const auto id = static_cast<int64_t>(entries.size() + 1);
    entries.push_back({id, 3, "编制中的价格", id, "", "2024-03-10", "2024-03-10", ""});
    JET_ASSIGN_OR_RETURN(DbFile db,
                         DbFile::create(b.root, priceDir() + "/" + names::kPriceCatalogue, b.report));
    return writeCatalogue(db, CatalogueKind::Price, entries);
}

jet::Status writeMaterialLibrary(Build& b) {
    b.materials = makeMaterialContent(b.scale);
    // The library carries a price file of its own, exported into the price folder when it is imported.
    const std::string stored = priceFileName(kStoredInLibrary);
    JET_RETURN_IF_ERROR(writePriceFile(b, b.staging, stored, b.scratch, kStoredInLibrary, 99));
    JET_ASSIGN_OR_RETURN(auto storedBytes, readFile(under(b.staging, stored)));

    const std::string path = std::string(names::kMaterialDir) + "/" + names::kMaterialTitle + ".QTCJ";
    {
        JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(b.root, path, b.report));
        JET_RETURN_IF_ERROR(db.addKeyInfo({{"Key", names::kMaterialKey},
                                           {"Name", "2018年建设工程材料库"},
                                           {"Man", "定额管理站"},
                                           {"Date", "2018-09-01"},
                                           {"Direction", "<B>2018年建设工程材料库</>，含基期价格。"}}));
        JET_RETURN_IF_ERROR(writeMaterialTables(db, b.materials, {{stored, std::move(storedBytes)}}));
    }
    JET_ASSIGN_OR_RETURN(
        DbFile catalogue,
        DbFile::create(b.root, std::string(names::kMaterialDir) + "/" + names::kMaterialCatalogue, b.report));
    JET_RETURN_IF_ERROR(writeCatalogue(
        catalogue, CatalogueKind::Library,
        {{1, 0, "材料库", 1, "", "", "", ""},
         {2, 1, "2018年建设工程材料库", 2, std::string(names::kMaterialTitle) + ".QTCJ", "", "", ""}}));
    JET_RETURN_IF_ERROR(writeInstalledPrices(b));
    // A price file outside any catalogue, for browsing by file name.
    return writePriceFile(b, b.root, std::string(names::kMyPriceDir) + "/我的价格.JG", b.report,
                          kInstalledPrices[3], 200);
}

// The update service's price set: its catalogue lists the installed files, one of them in a newer edition,
// and one file that is not installed.
jet::Status writePriceService(Build& b) {
    const std::string remote = std::string(names::kUpdatePriceRoot) + "/" + names::kMaterialKey;
    JET_RETURN_IF_ERROR(makeDirs(b.root, {remote}));
    std::vector<CatalogueEntry> entries = priceGroups();
    std::vector<PriceFile> offered{kInstalledPrices[0], kNewerEdition, kInstalledPrices[2], kNotInstalled};
    uint64_t seed = 300;
    for (const PriceFile& p : offered) {
        const std::string name = priceFileName(p);
        const fs::path staged = under(b.staging, name);
        std::error_code ec;
        fs::remove(staged, ec);
        JET_RETURN_IF_ERROR(writePriceFile(b, b.staging, name, b.scratch, p, ++seed));
        JET_ASSIGN_OR_RETURN(auto content, readFile(staged));
        const std::string package = remote + "/" + p.title + ".rar";
        JET_RETURN_IF_ERROR(writeZip(under(b.root, package), {{name, std::move(content)}}));
        b.report.packages.push_back(package);
        entries.push_back(priceEntry(static_cast<int64_t>(entries.size() + 1), p));
    }
    const fs::path catalogue = b.staging / names::kPriceCatalogue;
    {
        JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(b.staging, names::kPriceCatalogue, b.scratch));
        JET_RETURN_IF_ERROR(writeCatalogue(db, CatalogueKind::Price, entries));
    }
    JET_ASSIGN_OR_RETURN(auto content, readFile(catalogue));
    const std::string package = remote + "/MatePriceIndex.rar";
    JET_RETURN_IF_ERROR(writeZip(under(b.root, package), {{names::kPriceCatalogue, std::move(content)}}));
    b.report.packages.push_back(package);
    return jet::Status();
}

// ---- Bill-item library
// ------------------------------------------------------------------------------------------

jet::Status writeBillLibrary(Build& b) {
    const BillContent content =
        makeBillContent(b.scale, b.building, names::kBuildingKey, b.installation, names::kInstallKey);
    JET_ASSIGN_OR_RETURN(
        DbFile db,
        DbFile::create(b.root, std::string(names::kBillDir) + "/" + names::kBillTitle + ".QTQD", b.report));
    JET_RETURN_IF_ERROR(db.addKeyInfo({{"Key", names::kBillKey},
                                       {"Name", "2013年建设工程工程量清单计价规范"},
                                       {"Man", "标准定额司"},
                                       {"Date", "2013-07-01"}}));
    return writeBillTables(db, content);
}

}  // namespace

jet::Status buildApplicationDirectory(const fs::path& dir, const BuildOptions& options, BuildReport& report) {
    if (options.scale < 1) return jet::Status::InvalidArgument("scale must be 1 or more");
    Build b(dir, options.scale, report);
    JET_RETURN_IF_ERROR(makeDirs(dir, {names::kSystemDir, "System/Ico/Edit", kQuotaDir, kConversionDir,
                                       names::kMaterialDir, priceDir(), names::kBillDir, names::kMyPriceDir,
                                       names::kUpdateQuotaDir, names::kUpdatePriceRoot}));
    JET_RETURN_IF_ERROR(makeDirs(b.staging, {"."}));
    jet::Status status = writeSystemFolder(b);
    if (status.ok()) status = writeQuotaLibraries(b);
    if (status.ok()) status = writeMaterialLibrary(b);
    if (status.ok()) status = writePriceService(b);
    if (status.ok()) status = writeBillLibrary(b);
    std::error_code ec;
    fs::remove_all(b.staging, ec);
    return status;
}

}  // namespace sample

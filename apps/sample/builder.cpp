// Lays out the sample application directory: which library goes where, with which keys, and what the
// update-service mirror offers compared with what is installed.
#include "sample/builder.h"

#include <QFile>
#include <algorithm>
#include <system_error>

#include "db_file.h"
#include "library_writers.h"
#include "picker_cases.h"
#include "publish/packages.h"
#include "publish/publisher.h"
#include "sample/icon.h"
#include "sample/names.h"

namespace sample {
namespace {

namespace fs = std::filesystem;
using names::kConversionDir;
using names::kQuotaDir;
using publish::ChangeLine;
using publish::readFile;
using publish::toBytes;
using publish::writeFile;

/// What the update service publishes about a library besides its package.
enum class Information { Readable, Missing, Unreadable };

/// One quota library of the sample: its content, keys and what the update service offers for it.
struct QuotaLibrary {
    NormBook book;
    const char* title;
    const char* key;
    const char* displayName;
    bool installed;
    const char* installedVersion;
    const char* offeredVersion;
    std::vector<ChangeLine> changes;
    Information information = Information::Readable;
    bool revised = false;  // the offered edition changes items, not only "Ver"
    int64_t group = 0;     // the catalogue group it is listed under
};

// Each library takes the quota-library update down another road.
std::vector<QuotaLibrary> quotaLibraries() {
    return {
        // A newer edition whose items really differ.
        {NormBook::Building,
         names::kBuildingTitle,
         names::kBuildingKey,
         "2018年建筑工程消耗量定额",
         true,
         "1.0",
         "1.1",
         {{"新增装配式混凝土构件安装子目", 1}, {"更正第四章混凝土强度等级换算说明", 0}, {"调整人工单价", 0}},
         Information::Readable,
         true,
         1},
        // The same version written differently: up to date.
        {NormBook::Installation,
         names::kInstallTitle,
         names::kInstallKey,
         "2018年安装工程消耗量定额",
         true,
         "1.0",
         "1.00",
         {{"当前版本为最新版本", 0}},
         Information::Readable,
         false,
         2},
        // Not installed: fetched without asking.
        {NormBook::Municipal,
         names::kMunicipalTitle,
         names::kMunicipalKey,
         "2018年市政工程消耗量定额",
         false,
         "",
         "1.0",
         {{"首次发布", 1}},
         Information::Readable,
         false,
         3},
        // Installed, and the service has no information file for it.
        {NormBook::Landscape,
         names::kLandscapeTitle,
         names::kLandscapeKey,
         "2018年园林绿化工程消耗量定额",
         true,
         "1.0",
         "1.1",
         {},
         Information::Missing,
         false,
         4},
        // Installed, and its information file is damaged.
        {NormBook::Restoration,
         names::kRestorationTitle,
         names::kRestorationKey,
         "2018年仿古建筑工程消耗量定额",
         true,
         "1.0",
         "1.1",
         {},
         Information::Unreadable,
         false,
         4},
        // The service offers an older edition than the one installed.
        {NormBook::Repair,
         names::kRepairTitle,
         names::kRepairKey,
         "2018年房屋修缮工程消耗量定额",
         true,
         "2.0",
         "1.5",
         {{"恢复2016年版拆除工程子目", 0}},
         Information::Readable,
         false,
         4},
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
    int group;  // ID of the catalogue entry it is listed under
};

// Installed and catalogued under 1 北京市, 2 上海市, 3 自定义价格.
const PriceFile kInstalledPrices[] = {
    {"北京2024年1月信息价", "京24.01", "北京市2024年1月建设工程材料信息价", "ADMIN", 1.00, "2024-01-15",
     "2024-01-15", 1},
    {"北京2024年2月信息价", "京24.02", "北京市2024年2月建设工程材料信息价", "ADMIN", 1.02, "2024-02-15",
     "2024-02-15", 1},
    {"上海2024年1月信息价", "沪24.01", "上海市2024年1月建设工程材料信息价", "ADMIN", 1.05, "2024-01-20",
     "2024-02-01", 2},
    {"项目询价", "询价", "某住宅项目材料询价", "张工", 0.97, "2024-03-05", "2024-03-05", 3},
};
// Installed in the price folder but missing from its catalogue (copied in by hand).
const PriceFile kUncatalogued = {
    "天津2024年1月信息价", "津24.01", "天津市2024年1月建设工程材料信息价", "ADMIN", 1.01, "2024-01-25",
    "2024-01-25",          0};

// The update service's catalogue, three levels deep: 北京市 (1) > 2024年信息价 (4) > files, 上海市 (2),
// 天津市 (3). Its rows differ from the installed set in every way the selection dialog tells apart.
std::vector<CatalogueEntry> offeredPriceGroups() {
    return {{1, 0, "北京市", 1, "", "", "", "北京市造价管理处发布"},
            {2, 0, "上海市", 2, "", "", "", "上海市建筑建材业市场管理总站发布"},
            {3, 0, "天津市", 3, "", "", "", "天津市建设工程造价管理总站发布"},
            {4, 1, "2024年信息价", 4, "", "", "", "按月发布"}};
}
const PriceFile kOfferedPrices[] = {
    // Created and updated on one day: never shown as changed, though the installed catalogue says 01-15.
    {"北京2024年1月信息价", "京24.01", "北京市2024年1月建设工程材料信息价", "ADMIN", 1.00, "2024-01-16",
     "2024-01-16", 4},
    // A newer edition: updated after its creation, and later than the installed catalogue says.
    {"北京2024年2月信息价", "京24.02", "北京市2024年2月建设工程材料信息价（修订）", "ADMIN", 1.03,
     "2024-02-15", "2024-03-01", 4},
    // Not installed: "[新]".
    {"北京2024年3月信息价", "京24.03", "北京市2024年3月建设工程材料信息价", "ADMIN", 1.04, "2024-03-15",
     "2024-03-15", 4},
    // Updated after its creation, but on the day the installed catalogue already records.
    {"上海2024年1月信息价", "沪24.01", "上海市2024年1月建设工程材料信息价", "ADMIN", 1.05, "2024-01-20",
     "2024-02-01", 2},
    // Updated after its creation, installed, but without a row in the installed catalogue.
    {"天津2024年1月信息价", "津24.01", "天津市2024年1月建设工程材料信息价（修订）", "ADMIN", 1.02,
     "2024-01-25", "2024-02-10", 3},
};
const PriceFile kStoredInLibrary = {
    "2018年基期价格", "基期价", "2018年材料基期价格", "ADMIN", 0.90, "2018-06-01", "2018-06-01", 3};

// Quota IDs are unique across the libraries, as the base price file, which gathers every library's quota
// prices under one unique index, needs. Each library takes whole blocks of this many numbers, as many as its
// items and the items a revised edition adds need, so the default scale numbers them 1.., 100001.., ...
constexpr int64_t kQuotaIdBlock = 100000;
// A quota ID that related-quota rows point at while no library holds it, unless the libraries reach it.
constexpr int64_t kMissingQuotaId = 999999;

/// The first ID of the block after the one holding `lastUsed`.
int64_t nextQuotaIdBlock(int64_t lastUsed) {
    return (lastUsed / kQuotaIdBlock + 1) * kQuotaIdBlock + 1;
}

/// Shared state of one build.
struct Build {
    Build(fs::path dir, int scaleFactor, BuildReport& buildReport)
        : root(std::move(dir)), scale(scaleFactor), report(buildReport), staging(root / "~staging") {}

    fs::path root;
    int scale;
    BuildReport& report;
    BuildReport scratch;  // databases written only to be published or stored, not part of the directory
    fs::path staging;     // its 造价资料 folder holds what the update service publishes
    QuotaContent building, installation;
    int64_t municipalFirstId = 0;  // the first item of the library that is not installed
    int64_t unusedQuotaId = 0;     // beyond every library's IDs
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

// Writes the installed library and the edition the update service offers (a copy of it, or the revised
// content), each with the KeyInfo of its version.
jet::Status writeInstalledQuotaLibrary(Build& b, const QuotaLibrary& lib, const QuotaContent& content) {
    // The offered edition lies at the same place below the staging folder.
    const std::string path = quotaFile(lib.title);
    {
        JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(b.root, path, b.report));
        JET_RETURN_IF_ERROR(writeQuotaTables(db, content));
    }
    if (lib.revised) {
        QuotaContent revised = content;
        reviseQuotaContent(revised, b.scale);
        JET_ASSIGN_OR_RETURN(DbFile offered, DbFile::create(b.staging, path, b.scratch));
        JET_RETURN_IF_ERROR(writeQuotaTables(offered, revised));
    } else {
        JET_RETURN_IF_ERROR(copyInto(under(b.root, path), under(b.staging, path)));
    }
    JET_ASSIGN_OR_RETURN(DbFile installed, DbFile::open(b.root, path, b.report));
    JET_RETURN_IF_ERROR(installed.addKeyInfo(quotaKeyInfo(lib, lib.installedVersion)));
    JET_ASSIGN_OR_RETURN(DbFile offered, DbFile::open(b.staging, path, b.scratch));
    JET_RETURN_IF_ERROR(offered.addKeyInfo(quotaKeyInfo(lib, lib.offeredVersion)));
    JET_RETURN_IF_ERROR(writeConversionFiles(lib, content, b.report, b.root));
    const std::string system = conversionFile(lib.title, "_系统换算库.QTHS");
    JET_RETURN_IF_ERROR(copyInto(under(b.root, system), under(b.staging, system)));
    return writeRelatedQuotas(b, lib, content);
}

jet::Status writeUninstalledQuotaLibrary(Build& b, const QuotaLibrary& lib, const QuotaContent& content) {
    JET_ASSIGN_OR_RETURN(DbFile db, DbFile::create(b.staging, quotaFile(lib.title), b.scratch));
    JET_RETURN_IF_ERROR(writeQuotaTables(db, content));
    JET_RETURN_IF_ERROR(db.addKeyInfo(quotaKeyInfo(lib, lib.offeredVersion)));
    return writeConversionFiles(lib, content, b.scratch, b.staging);
}

// An information file that breaks off inside an element: not XML.
constexpr const char* kDamagedInformation =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Update>\r\n  <Info Ver=\"1.";

// The change lines the publisher puts in a library's information file: one per line, "!" emphasising.
jet::Status writeChangeNotes(Build& b, const QuotaLibrary& lib) {
    std::string notes;
    for (const ChangeLine& c : lib.changes) notes += (c.mark > 0 ? "!" : "") + c.text + "\n";
    return writeFile(under(b.staging, std::string(kQuotaDir) + "/" + lib.title + ".changes.txt"),
                     toBytes(notes));
}

// What the service publishes of a library besides its package, as the road it takes asks.
jet::Status adjustInformationFile(Build& b, const QuotaLibrary& lib) {
    const fs::path file = under(b.root, std::string(names::kUpdateQuotaDir) + "/" + lib.title + ".xml");
    switch (lib.information) {
        case Information::Missing: {
            std::error_code ec;
            fs::remove(file, ec);
            if (ec) return jet::Status::IOError("cannot remove " + file.string() + ": " + ec.message());
            return jet::Status();
        }
        case Information::Unreadable:
            return writeFile(file, toBytes(kDamagedInformation));
        case Information::Readable:
            break;
    }
    return jet::Status();
}

jet::Status writeQuotaCatalogue(Build& b, const std::vector<QuotaLibrary>& libs) {
    std::vector<CatalogueEntry> entries{{1, 0, "建筑工程", 1, "", "", "", ""},
                                        {2, 0, "安装工程", 2, "", "", "", ""},
                                        {3, 0, "市政工程", 3, "", "", "", ""},
                                        {4, 0, "其他专业", 4, "", "", "", ""}};
    for (const QuotaLibrary& lib : libs) {
        const int64_t id = static_cast<int64_t>(entries.size() + 1);
        entries.push_back({id, lib.group, lib.displayName, id, std::string(lib.title) + ".QTDE", "", "", ""});
    }
    JET_ASSIGN_OR_RETURN(
        DbFile db, DbFile::create(b.root, std::string(kQuotaDir) + "/" + names::kQuotaCatalogue, b.report));
    return writeCatalogue(db, CatalogueKind::Library, entries);
}

jet::Status writeQuotaLibraries(Build& b) {
    const auto libs = quotaLibraries();
    int64_t firstId = 1;
    for (const QuotaLibrary& lib : libs) {
        QuotaContent content = makeQuotaContent(lib.book, firstId, b.scale);
        if (lib.book == NormBook::Municipal) b.municipalFirstId = firstId;
        int64_t lastId = firstId;
        for (const QuotaItem& item : content.items) lastId = std::max(lastId, item.id);
        // A revised edition numbers its new items after the last ones.
        firstId = nextQuotaIdBlock(lastId + addedInRevision(b.scale));
        if (lib.installed) {
            JET_RETURN_IF_ERROR(writeInstalledQuotaLibrary(b, lib, content));
        } else {
            JET_RETURN_IF_ERROR(writeUninstalledQuotaLibrary(b, lib, content));
        }
        if (lib.book == NormBook::Building) b.building = std::move(content);
        if (lib.book == NormBook::Installation) b.installation = std::move(content);
        JET_RETURN_IF_ERROR(writeChangeNotes(b, lib));
    }
    b.unusedQuotaId = std::max(kMissingQuotaId, firstId);
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
    JET_RETURN_IF_ERROR(writePriceFile(b, b.root, priceDir() + "/" + priceFileName(kUncatalogued), b.report,
                                       kUncatalogued, 150));
    // A price file outside any catalogue, for browsing by file name.
    return writePriceFile(b, b.root, std::string(names::kMyPriceDir) + "/我的价格.JG", b.report,
                          kInstalledPrices[3], 200);
}

// The update service's price set: the offered files and their catalogue, to be published.
jet::Status writePriceService(Build& b) {
    JET_RETURN_IF_ERROR(makeDirs(b.staging, {priceDir()}));
    std::vector<CatalogueEntry> entries = offeredPriceGroups();
    uint64_t seed = 300;
    for (const PriceFile& p : kOfferedPrices) {
        JET_RETURN_IF_ERROR(
            writePriceFile(b, b.staging, priceDir() + "/" + priceFileName(p), b.scratch, p, ++seed));
        entries.push_back(priceEntry(static_cast<int64_t>(entries.size() + 1), p));
    }
    JET_ASSIGN_OR_RETURN(DbFile db,
                         DbFile::create(b.staging, priceDir() + "/" + names::kPriceCatalogue, b.scratch));
    return writeCatalogue(db, CatalogueKind::Price, entries);
}

// The update-service mirror: what the staging folder holds, published as a maker publishes, then the
// faults of the libraries whose road needs them.
jet::Status publishMirror(Build& b) {
    publish::Publication publication;
    JET_RETURN_IF_ERROR(publish::publishFolder(QFile::decodeName(under(b.staging, names::kDataDir).c_str()),
                                               QFile::decodeName(under(b.root, names::kUpdateRoot).c_str()),
                                               {}, publication));
    for (const QString& package : std::as_const(publication.packages))
        b.report.packages.push_back(std::string(names::kUpdateRoot) + "/" + package.toStdString());
    for (const QuotaLibrary& lib : quotaLibraries()) JET_RETURN_IF_ERROR(adjustInformationFile(b, lib));
    return jet::Status();
}

// ---- Bill-item library
// ------------------------------------------------------------------------------------------

jet::Status writeBillLibrary(Build& b) {
    const BillContent content =
        makeBillContent(b.scale, {&b.building, names::kBuildingKey, &b.installation, names::kInstallKey,
                                  b.municipalFirstId, names::kMunicipalKey, b.unusedQuotaId});
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
    JET_RETURN_IF_ERROR(
        makeDirs(dir, {names::kSystemDir, "System/Ico/Edit", kQuotaDir, kConversionDir, names::kMaterialDir,
                       priceDir(), names::kBillDir, names::kMyPriceDir}));
    JET_RETURN_IF_ERROR(makeDirs(b.staging, {kQuotaDir, kConversionDir}));
    jet::Status status = writeSystemFolder(b);
    if (status.ok()) status = writeQuotaLibraries(b);
    if (status.ok()) status = writeMaterialLibrary(b);
    if (status.ok()) status = writePriceService(b);
    if (status.ok()) status = publishMirror(b);
    if (status.ok()) status = writePickerCases(b.root, report);
    if (status.ok()) status = writeBillLibrary(b);
    std::error_code ec;
    fs::remove_all(b.staging, ec);
    return status;
}

}  // namespace sample

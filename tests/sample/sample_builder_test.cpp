// The sample application directory: every database reads in this engine and in mdbtools with the row counts
// the builder reports, and the keys, file names and packages that tie the libraries together agree.
#include <gtest/gtest.h>
#include <zip.h>
#include <QDomDocument>
#include <QString>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/writer.h"
#include "sample/builder.h"
#include "sample/names.h"
#include "test_support.h"

namespace sample {
namespace {

namespace fs = std::filesystem;
using jet::test::runCommand;
using jet::test::shellQuote;

fs::path at(const fs::path& root, const std::string& relative) {
    return root / fs::path(std::u8string(relative.begin(), relative.end()));
}

std::string utf8(const fs::path& p) {
    const std::u8string s = p.generic_u8string();
    return std::string(s.begin(), s.end());
}

/// One table read whole through this engine.
struct Table {
    std::vector<std::string> columns;
    std::vector<jet::Row> rows;

    const jet::Value& value(size_t row, const std::string& column) const {
        for (size_t c = 0; c < columns.size(); ++c)
            if (columns[c] == column) return rows[row][c];
        throw std::out_of_range("no column " + column);
    }
    std::string text(size_t row, const std::string& column) const {
        const auto* s = std::get_if<std::string>(&value(row, column));
        return s ? *s : std::string();
    }
    int64_t number(size_t row, const std::string& column) const {
        const auto* i = std::get_if<int64_t>(&value(row, column));
        return i ? *i : 0;
    }
};

Table readTable(const fs::path& path, const std::string& name) {
    Table t;
    auto db = jet::Database::open(path.string());
    EXPECT_TRUE(db.ok()) << utf8(path) << ": " << db.status().toString();
    if (!db.ok()) return t;
    auto def = (*db)->table(name);
    EXPECT_TRUE(def.ok()) << utf8(path) << " " << name << ": " << def.status().toString();
    if (!def.ok()) return t;
    for (const auto& c : (*def)->columns) t.columns.push_back(c.name);
    for (jet::test::ScannedRow& r : jet::test::scanRows(**db, name)) t.rows.push_back(std::move(r.values));
    return t;
}

/// KeyInfo of a library as Code -> WithCode (the first row of each code).
std::map<std::string, std::string> keyInfo(const fs::path& path) {
    const Table t = readTable(path, "KeyInfo");
    std::map<std::string, std::string> keys;
    for (size_t r = 0; r < t.rows.size(); ++r) keys.emplace(t.text(r, "Code"), t.text(r, "WithCode"));
    return keys;
}

std::set<int64_t> ids(const fs::path& path, const std::string& table, const std::string& column = "ID") {
    const Table t = readTable(path, table);
    std::set<int64_t> out;
    for (size_t r = 0; r < t.rows.size(); ++r) out.insert(t.number(r, column));
    return out;
}

/// The members of a ZIP archive (name -> content); empty when it does not open.
std::map<std::string, std::string> zipMembers(const fs::path& path) {
    std::map<std::string, std::string> members;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    EXPECT_NE(archive, nullptr) << utf8(path) << " does not open as a ZIP archive";
    if (archive == nullptr) return members;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
        std::string content(st.size, '\0');
        zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        EXPECT_EQ(zip_fread(f, content.data(), st.size), static_cast<zip_int64_t>(st.size));
        zip_fclose(f);
        members[st.name] = content;
    }
    zip_close(archive);
    return members;
}

QDomDocument parseXml(const std::string& text, const std::string& what) {
    QDomDocument doc;
    EXPECT_TRUE(doc.setContent(QByteArray::fromStdString(text))) << what << " is not well-formed XML";
    return doc;
}

/// Writes `content` to a file of that name in a fresh temporary folder.
fs::path writeTemp(const std::string& name, const std::string& content) {
    const fs::path p = at(jet::test::tempDir(), name);
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool isDatabaseFile(const fs::path& p) {
    const std::string ext = p.extension().string();
    return ext == ".mdb" || ext == ".JG" || ext.starts_with(".QT");
}

/// The directory kxview-sample built for this test run (ctest fixture "sample_app") and its report.
const fs::path kFixture = KXVIEW_SAMPLE_FIXTURE;

jet::Result<BuildReport> fixtureReport() {
    return readReport(kFixture / "report.tsv");
}

class SampleDirectory : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_root = kFixture / "app";
        auto report = fixtureReport();
        ASSERT_TRUE(report.ok()) << report.status().toString() << " (ctest's fixture sample_app builds it)";
        s_report = std::move(*report);
    }

    static fs::path path(const std::string& relative) { return at(s_root, relative); }
    static fs::path quotaLibrary(const char* title) {
        return path(std::string(names::kQuotaDir) + "/" + title + ".QTDE");
    }

    static fs::path s_root;
    static BuildReport s_report;
};

fs::path SampleDirectory::s_root;
BuildReport SampleDirectory::s_report;

// ---- Every database reads in both readers
// ---------------------------------------------------------------------

TEST_F(SampleDirectory, EveryDatabaseOnDiskIsReportedAndEveryReportedOneExists) {
    std::set<std::string> onDisk;
    for (const auto& entry : fs::recursive_directory_iterator(s_root))
        if (entry.is_regular_file() && isDatabaseFile(entry.path()))
            onDisk.insert(utf8(fs::relative(entry.path(), s_root)));
    std::set<std::string> reported;
    for (const auto& [relative, tables] : s_report.databases) reported.insert(relative);
    EXPECT_EQ(onDisk, reported);
    EXPECT_GE(reported.size(), 20u);
}

TEST_F(SampleDirectory, EveryTableReadsWithTheReportedRowCountInThisEngine) {
    for (const auto& [relative, tables] : s_report.databases) {
        auto db = jet::Database::open(path(relative).string());
        ASSERT_TRUE(db.ok()) << relative << ": " << db.status().toString();
        const std::vector<std::string> listed = (*db)->tableNames();
        const std::set<std::string> names(listed.begin(), listed.end());
        std::set<std::string> expected;
        for (const auto& [table, count] : tables) expected.insert(table);
        EXPECT_EQ(names, expected) << relative;
        for (const auto& [table, count] : tables)
            EXPECT_EQ(readTable(path(relative), table).rows.size(), count) << relative << " " << table;
    }
}

TEST_F(SampleDirectory, EveryTableExportsWithTheReportedRowCountInMdbtools) {
    for (const auto& [relative, tables] : s_report.databases) {
        const std::string file = shellQuote(path(relative).string());
        int code = -1;
        std::string listed = runCommand("mdb-tables -1 " + file, &code);
        ASSERT_EQ(code, 0) << relative;
        std::set<std::string> names;
        for (size_t start = 0; start < listed.size();) {
            size_t end = listed.find('\n', start);
            if (end == std::string::npos) end = listed.size();
            if (end > start) names.insert(listed.substr(start, end - start));
            start = end + 1;
        }
        std::set<std::string> expected;
        for (const auto& [table, count] : tables) expected.insert(table);
        EXPECT_EQ(names, expected) << relative;
        for (const auto& [table, count] : tables) {
            std::string csv = runCommand("mdb-export " + file + " " + shellQuote(table), &code);
            EXPECT_EQ(code, 0) << relative << " " << table;
            auto rows = jet::test::parseCsv(csv);
            ASSERT_FALSE(rows.empty()) << relative << " " << table << ": no header";
            EXPECT_EQ(rows.size() - 1, count) << relative << " " << table;
        }
    }
}

// ---- Keys and file names agree
// ---------------------------------------------------------------------------------

TEST_F(SampleDirectory, QuotaCatalogueListsInstalledLibrariesByTheirNamesAndOneThatIsOnlyOffered) {
    const Table index =
        readTable(path(std::string(names::kQuotaDir) + "/" + names::kQuotaCatalogue), "Index");
    std::vector<std::string> missing;
    size_t files = 0;
    for (size_t r = 0; r < index.rows.size(); ++r) {
        const std::string file = index.text(r, "WithFileName");
        if (file.empty()) continue;
        ++files;
        const fs::path library = path(std::string(names::kQuotaDir) + "/" + file);
        if (!fs::exists(library)) {
            missing.push_back(file);
            continue;
        }
        EXPECT_EQ(index.text(r, "Name"), keyInfo(library)["Name"]) << file;
    }
    EXPECT_EQ(files, 6u);
    EXPECT_EQ(missing, std::vector<std::string>{std::string(names::kMunicipalTitle) + ".QTDE"});
    EXPECT_TRUE(fs::exists(path(std::string(names::kUpdateQuotaDir) + "/" + names::kMunicipalTitle + ".rar")))
        << "the library that is not installed must be offered by the update service";
}

TEST_F(SampleDirectory, QuotaLibrariesPointAtTheMaterialLibraryAndItsPriceFolder) {
    const auto material =
        keyInfo(path(std::string(names::kMaterialDir) + "/" + names::kMaterialTitle + ".QTCJ"));
    ASSERT_FALSE(material.at("Key").empty());
    for (const char* title : {names::kBuildingTitle, names::kInstallTitle}) {
        auto keys = keyInfo(quotaLibrary(title));
        EXPECT_EQ(keys["WithMateKey"], material.at("Key")) << title;
        for (const char* code : {"Key", "Name", "Ver", "Man", "Date", "Direction"})
            EXPECT_FALSE(keys[code].empty()) << title << " lacks " << code;
    }
    // Price folder: the parent of the library folders, then 材料价格文件, then the material key.
    const fs::path priceFolder = path(std::string(names::kPriceRoot) + "/" + material.at("Key"));
    EXPECT_EQ(priceFolder.parent_path().parent_path(),
              quotaLibrary(names::kBuildingTitle).parent_path().parent_path());
    EXPECT_TRUE(fs::exists(priceFolder / names::kPriceCatalogue));
}

TEST_F(SampleDirectory, ConversionFilesExistForEachLibraryAndPointAtItsItems) {
    for (const char* title : {names::kBuildingTitle, names::kInstallTitle}) {
        const fs::path library = quotaLibrary(title);
        auto keys = keyInfo(library);
        const std::set<int64_t> items = ids(library, "DM");
        std::vector<std::string> files{std::string(title) + "_系统换算库.QTHS",
                                       std::string(title) + "_用户换算库.QTHS"};
        if (title == std::string(names::kBuildingTitle)) {
            // Two named files that exist, between them a quoted name holding the separator and a missing
            // file.
            EXPECT_EQ(keys["WithHSK"], std::string(title) + "_干混砂浆换算.QTHS|'补充|换算.QTHS'|" + title +
                                           "_缺失换算.QTHS|" + title + "_装配式换算.QTHS");
            files.push_back(std::string(title) + "_干混砂浆换算.QTHS");
            files.push_back(std::string(title) + "_装配式换算.QTHS");
            EXPECT_FALSE(
                fs::exists(library.parent_path() / "换算库" / (std::string(title) + "_缺失换算.QTHS")));
        } else {
            EXPECT_EQ(keys["WithHSK"], "");
        }
        std::set<int64_t> foreignIds;
        bool nullKind = false, storedOutOfOrder = false;
        std::set<int64_t> kinds;
        for (const std::string& file : files) {
            const fs::path hsFile =
                library.parent_path() / "换算库" / fs::path(std::u8string(file.begin(), file.end()));
            ASSERT_TRUE(fs::exists(hsFile)) << file;
            const Table hs = readTable(hsFile, "HS");
            EXPECT_FALSE(hs.rows.empty()) << file;
            std::map<int64_t, int64_t> lastCode;  // DMID -> Code of its previous row in storage order
            for (size_t r = 0; r < hs.rows.size(); ++r) {
                EXPECT_TRUE(items.count(hs.number(r, "DMID"))) << file << " DMID " << hs.number(r, "DMID");
                if (hs.text(r, "DEKey") != keys["Key"]) {
                    EXPECT_EQ(hs.text(r, "DEKey"), names::kMunicipalKey) << file;
                    foreignIds.insert(hs.number(r, "DMID"));
                    continue;
                }
                const int64_t dmid = hs.number(r, "DMID");
                storedOutOfOrder =
                    storedOutOfOrder || (lastCode.count(dmid) && lastCode[dmid] > hs.number(r, "Code"));
                lastCode[dmid] = hs.number(r, "Code");
                if (std::holds_alternative<std::monostate>(hs.value(r, "Kind"))) {
                    nullKind = true;
                } else {
                    kinds.insert(hs.number(r, "Kind"));
                }
            }
        }
        EXPECT_TRUE(storedOutOfOrder) << title << ": some item's conversions are not stored in Code order";
        const int64_t first = *items.begin();  // the first leaf numbers its items upwards from here
        EXPECT_EQ(foreignIds, (std::set<int64_t>{first + 1, first + 3, first + 5}))
            << title << ": another library's rows share IDs of the first leaf's items";
        if (title == std::string(names::kBuildingTitle)) {
            EXPECT_EQ(kinds, (std::set<int64_t>{-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
            EXPECT_TRUE(nullKind);
        }
        const fs::path related = library.parent_path() / "换算库" / (std::string(title) + "_关联定额.QTWD");
        EXPECT_TRUE(fs::exists(related)) << title;
    }
}

TEST_F(SampleDirectory, ItemsBelongToCategoriesAndErrataToItems) {
    struct Case {
        fs::path file;
        const char* categories;
        const char* items;
    };
    const Case cases[] = {
        {quotaLibrary(names::kBuildingTitle), "DMIndex", "DM"},
        {quotaLibrary(names::kInstallTitle), "DMIndex", "DM"},
        {path(std::string(names::kMaterialDir) + "/" + names::kMaterialTitle + ".QTCJ"), "MateIndex", "Mate"},
        {path(std::string(names::kBillDir) + "/" + names::kBillTitle + ".QTQD"), "QDIndex", "DataBook"},
    };
    for (const Case& c : cases) {
        const Table categories = readTable(c.file, c.categories);
        std::set<int64_t> categoryIds;
        std::set<std::string> classes;
        for (size_t r = 0; r < categories.rows.size(); ++r) {
            categoryIds.insert(categories.number(r, "ID"));
            classes.insert(categories.text(r, "Class"));
            EXPECT_LE(categories.number(r, "ID"), 32767) << "the tree reports node IDs as 16-bit integers";
        }
        for (size_t r = 0; r < categories.rows.size(); ++r) {
            const int64_t parent = categories.number(r, "ParentID");
            EXPECT_TRUE(parent == 0 || categoryIds.count(parent)) << c.categories << " row " << r;
        }
        const Table items = readTable(c.file, c.items);
        ASSERT_FALSE(items.rows.empty()) << c.items;
        for (size_t r = 0; r < items.rows.size(); ++r)
            EXPECT_TRUE(classes.count(items.text(r, "Class")))
                << c.items << " class " << items.text(r, "Class");
    }
    const fs::path building = quotaLibrary(names::kBuildingTitle);
    const std::set<int64_t> items = ids(building, "DM");
    const std::set<int64_t> corrected = ids(building, "EditRecord", "DMID");
    EXPECT_FALSE(corrected.empty());
    for (int64_t id : corrected) EXPECT_TRUE(items.count(id)) << "EditRecord DMID " << id;
}

/// Row positions of `t` in storage order, stably sorted by the numeric columns `keys` (none: storage order).
std::vector<size_t> orderBy(const Table& t, const std::vector<std::string>& keys) {
    std::vector<size_t> order(t.rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        for (const std::string& key : keys) {
            if (t.number(a, key) != t.number(b, key)) return t.number(a, key) < t.number(b, key);
        }
        return false;
    });
    return order;
}

// A listing that forgets its ORDER BY, sorts by ID, or sorts by too few keys gives other rows than the
// specified order in the sample, and the Null and empty cases of the browser's branches exist.
TEST_F(SampleDirectory, ListOrdersDifferFromIdAndStorageOrderAndEdgeCasesExist) {
    const fs::path building = quotaLibrary(names::kBuildingTitle);
    const Table dm = readTable(building, "DM");
    const std::vector<size_t> specified = orderBy(dm, {"Code1", "Code2", "Code3", "Code4"});
    EXPECT_NE(specified, orderBy(dm, {"ID"}));
    EXPECT_NE(specified, orderBy(dm, {}));
    EXPECT_NE(specified, orderBy(dm, {"Code1", "Code2"})) << "Code3 and Code4 decide the order of some items";
    EXPECT_NE(specified, orderBy(dm, {"Code1", "Code2", "Code3"})) << "Code4 decides the order of some items";

    std::set<std::string> nullFields;
    for (size_t r = 0; r < dm.rows.size(); ++r) {
        for (const char* field : {"Unit", "Name", "DECode"}) {
            if (std::holds_alternative<std::monostate>(dm.value(r, field))) nullFields.insert(field);
        }
    }
    EXPECT_EQ(nullFields, (std::set<std::string>{"Unit", "Name", "DECode"}));

    const fs::path material = path(std::string(names::kMaterialDir) + "/" + names::kMaterialTitle + ".QTCJ");
    const fs::path bill = path(std::string(names::kBillDir) + "/" + names::kBillTitle + ".QTQD");
    for (const auto& [file, table] : {std::pair{material, "Mate"}, std::pair{bill, "DataBook"}}) {
        const Table items = readTable(file, table);
        EXPECT_NE(orderBy(items, {"OCode"}), orderBy(items, {"ID"})) << table;
        EXPECT_NE(orderBy(items, {"OCode"}), orderBy(items, {})) << table;
    }
    const Table book = readTable(bill, "DataBook");
    EXPECT_NE(orderBy(book, {}), orderBy(book, {"ID"})) << "DataBook is not stored in ID order";

    const std::tuple<fs::path, const char*, const char*> libraries[] = {
        {building, "DMIndex", "DM"}, {material, "MateIndex", "Mate"}, {bill, "QDIndex", "DataBook"}};
    for (const auto& [file, categoryTable, itemTable] : libraries) {
        const Table categories = readTable(file, categoryTable);
        const Table items = readTable(file, itemTable);
        bool emptyClass = false, withoutItems = false;
        for (size_t c = 0; c < categories.rows.size(); ++c) {
            const std::string cls = categories.text(c, "Class");
            emptyClass = emptyClass || cls.empty();
            bool hasItems = false;
            for (size_t i = 0; i < items.rows.size() && !hasItems; ++i)
                hasItems = items.text(i, "Class").starts_with(cls);
            withoutItems = withoutItems || !hasItems;
        }
        EXPECT_TRUE(emptyClass) << categoryTable << " has a category with an empty class";
        EXPECT_TRUE(withoutItems) << categoryTable << " has a category without items";
    }
}

// Related quotas point at installed quota items, except for one quota missing from its library and one of a
// library that is not installed; rows nest up to level 2, some are stored out of Code order, and a quota row
// without a name of its own is Null in some items and "" in others.
TEST_F(SampleDirectory, RelatedQuotasOfBillItemsPointAtQuotaItemsWithTheIrregularCases) {
    std::map<std::string, std::set<int64_t>> quotaItemsByKey;
    for (const auto& entry : fs::directory_iterator(path(names::kQuotaDir)))
        if (entry.path().extension() == ".QTDE")
            quotaItemsByKey[keyInfo(entry.path())["Key"]] = ids(entry.path(), "DM");

    const fs::path bill = path(std::string(names::kBillDir) + "/" + names::kBillTitle + ".QTQD");
    const Table book = readTable(bill, "DataBook");
    std::map<int64_t, std::string> codes;
    std::set<std::string> prefixes;
    for (size_t r = 0; r < book.rows.size(); ++r) {
        codes[book.number(r, "ID")] = book.text(r, "Code");
        prefixes.insert(book.text(r, "Code").substr(0, 2));
    }
    EXPECT_EQ(prefixes, (std::set<std::string>{"01", "03", "05"}));
    auto db = jet::Database::open(bill.string());
    ASSERT_TRUE(db.ok());
    EXPECT_FALSE((*db)->table("WithDE_05").ok()) << "a code prefix without its related-quota table";

    size_t quotaRows = 0, missingQuotas = 0, uninstalled = 0, nullNames = 0, emptyNames = 0;
    int64_t deepest = 0;
    bool storedOutOfOrder = false;
    for (const char* table : {"WithDE_01", "WithDE_03"}) {
        const Table related = readTable(bill, table);
        ASSERT_FALSE(related.rows.empty()) << table;
        for (size_t r = 0; r < related.rows.size(); ++r) {
            const std::string code = codes[related.number(r, "QDID")];
            EXPECT_EQ("WithDE_" + code.substr(0, 2), table) << "row " << r;
            deepest = std::max(deepest, related.number(r, "Level"));
            storedOutOfOrder =
                storedOutOfOrder || (r > 0 && related.number(r, "QDID") == related.number(r - 1, "QDID") &&
                                     related.number(r, "Code") < related.number(r - 1, "Code"));
            if (related.text(r, "Kind") != "DE") continue;
            ++quotaRows;
            nullNames += std::holds_alternative<std::monostate>(related.value(r, "Name"));
            emptyNames += std::holds_alternative<std::string>(related.value(r, "Name")) &&
                          related.text(r, "Name").empty();
            auto library = quotaItemsByKey.find(related.text(r, "DEKey"));
            if (library == quotaItemsByKey.end()) {
                EXPECT_EQ(related.text(r, "DEKey"), names::kMunicipalKey);
                ++uninstalled;
            } else if (!library->second.count(related.number(r, "DMID"))) {
                ++missingQuotas;
            }
        }
    }
    EXPECT_GT(quotaRows, 100u);
    EXPECT_GT(missingQuotas, 0u);
    EXPECT_GT(uninstalled, 0u);
    EXPECT_GT(nullNames, 0u);
    EXPECT_GT(emptyNames, 0u);
    EXPECT_EQ(deepest, 2);
    EXPECT_TRUE(storedOutOfOrder);
}

TEST_F(SampleDirectory, BillItemsLackSomeOrAllOfTheirTexts) {
    const Table book =
        readTable(path(std::string(names::kBillDir) + "/" + names::kBillTitle + ".QTQD"), "DataBook");
    std::set<std::string>
        patterns;  // which of Feature, Content, Ruler are non-empty, as "FCR" with '-' for empty
    bool emptyText = false;
    for (size_t r = 0; r < book.rows.size(); ++r) {
        std::string pattern;
        for (const char* field : {"Feature", "Content", "Ruler"}) {
            pattern += book.text(r, field).empty() ? '-' : field[0];
            emptyText = emptyText || (std::holds_alternative<std::string>(book.value(r, field)) &&
                                      book.text(r, field).empty());
        }
        patterns.insert(pattern);
    }
    EXPECT_EQ(patterns, (std::set<std::string>{"FCR", "-C-", "F-R", "---", "--R"}));
    EXPECT_TRUE(emptyText) << "an empty text stored as \"\" beside Null ones";
}

TEST_F(SampleDirectory, PriceFilesPriceExistingItemsAndTheirCatalogueListsThem) {
    const std::string key =
        keyInfo(path(std::string(names::kMaterialDir) + "/" + names::kMaterialTitle + ".QTCJ"))["Key"];
    const fs::path folder = path(std::string(names::kPriceRoot) + "/" + key);
    const std::set<int64_t> materials =
        ids(path(std::string(names::kMaterialDir) + "/" + names::kMaterialTitle + ".QTCJ"), "Mate");
    std::set<int64_t> quotaItems = ids(quotaLibrary(names::kBuildingTitle), "DM");
    quotaItems.merge(ids(quotaLibrary(names::kInstallTitle), "DM"));

    const Table index = readTable(folder / names::kPriceCatalogue, "Index");
    size_t listed = 0;
    std::vector<std::string> missing;
    for (size_t r = 0; r < index.rows.size(); ++r) {
        const std::string file = index.text(r, "WithFileName");
        if (file.empty()) continue;
        ++listed;
        const fs::path priceFile = folder / fs::path(std::u8string(file.begin(), file.end()));
        if (!fs::exists(priceFile)) {
            missing.push_back(file);
            continue;
        }
        auto keys = keyInfo(priceFile);
        for (const char* code : {"ShortName", "Man", "Date", "Direction"})
            EXPECT_FALSE(keys[code].empty()) << file << " lacks " << code;
        // One price file has no owner: anyone may delete it.
        EXPECT_EQ(keys["UserName"].empty(), file == std::string(names::kPickerCases.ownerlessPrice) + ".QTJG")
            << file;
        for (int64_t id : ids(priceFile, "Price", "MateID"))
            EXPECT_TRUE(materials.count(id)) << file << " " << id;
        // Every price belongs to a quota item, and some quota items have no price in this file.
        const std::set<int64_t> priced = ids(priceFile, "DMPrice", "DMID");
        EXPECT_TRUE(std::includes(quotaItems.begin(), quotaItems.end(), priced.begin(), priced.end()))
            << file;
        EXPECT_LT(priced.size(), quotaItems.size()) << file;
        EXPECT_GT(priced.size(), quotaItems.size() * 9 / 10) << file;
    }
    EXPECT_EQ(listed, 6u);
    // The catalogued file that is not installed is one the update service offers.
    const std::string offered = std::string(names::kPickerCases.missingPrice) + ".QTJG";
    EXPECT_EQ(missing, std::vector<std::string>{offered});
    EXPECT_TRUE(zipMembers(path(std::string(names::kUpdatePriceRoot) + "/" + key + "/" +
                                names::kPickerCases.missingPrice + ".rar"))
                    .count(offered));
}

// The pickers' less travelled roads are in the sample: a library the quota catalogue does not list and
// that has no related-quota file, a folder without a catalogue holding a library without a name, a
// second material key whose price folder shares a file name with the first and has no catalogue, and
// files to import from outside the catalogued folders.
TEST_F(SampleDirectory, PickerCasesReachEveryBranchOfThePickers) {
    const names::PickerCaseNames& cases = names::kPickerCases;
    const Table quotas =
        readTable(path(std::string(names::kQuotaDir) + "/" + names::kQuotaCatalogue), "Index");
    for (size_t r = 0; r < quotas.rows.size(); ++r)
        EXPECT_NE(quotas.text(r, "WithFileName"), cases.uncataloguedQuota);
    const fs::path uncatalogued = path(std::string(names::kQuotaDir) + "/" + cases.uncataloguedQuota);
    EXPECT_FALSE(keyInfo(uncatalogued)["Name"].empty());
    EXPECT_FALSE(
        fs::exists(path(std::string(names::kConversionDir) + "/园林绿化工程补充定额_关联定额.QTWD")));

    const std::string company = std::string(cases.companyQuotaDir) + "/";
    EXPECT_FALSE(fs::exists(path(company + names::kQuotaCatalogue)));
    EXPECT_FALSE(keyInfo(path(company + cases.companyQuota))["Name"].empty());
    EXPECT_EQ(keyInfo(path(company + cases.unnamedQuota)).count("Name"), 0u);

    const Table materials =
        readTable(path(std::string(names::kMaterialDir) + "/" + names::kMaterialCatalogue), "Index");
    std::set<std::string> keys;
    for (size_t r = 0; r < materials.rows.size(); ++r) {
        const std::string file = materials.text(r, "WithFileName");
        if (!file.empty()) keys.insert(keyInfo(path(std::string(names::kMaterialDir) + "/" + file))["Key"]);
    }
    EXPECT_EQ(keys, (std::set<std::string>{names::kMaterialKey, cases.secondMaterialKey}));
    const std::string secondPrices = std::string(names::kPriceRoot) + "/" + cases.secondMaterialKey + "/";
    EXPECT_FALSE(fs::exists(path(secondPrices + names::kPriceCatalogue)));
    for (const char* key : {names::kMaterialKey, cases.secondMaterialKey})
        EXPECT_TRUE(fs::exists(
            path(std::string(names::kPriceRoot) + "/" + key + "/" + cases.sharedPriceTitle + ".QTJG")))
            << key;

    const std::string exchange = std::string(cases.exchangeDir) + "/";
    EXPECT_FALSE(keyInfo(path(exchange + cases.colleaguePrice + ".QTJG"))["Name"].empty());
    const fs::path other = path(exchange + cases.otherMaterial + ".QTCJ");
    EXPECT_EQ(keyInfo(other)["Key"], cases.otherMaterialKey);
    EXPECT_FALSE(fs::exists(path(std::string(names::kPriceRoot) + "/" + cases.otherMaterialKey)));
    const Table stored = readTable(other, "WithData");
    ASSERT_EQ(stored.rows.size(), 1u);
    EXPECT_EQ(stored.text(0, "Name"), std::string(cases.storedPrice) + ".QTJG");
}

TEST_F(SampleDirectory, MaterialLibraryStoresAPriceFileThatIsItselfADatabase) {
    const Table stored =
        readTable(path(std::string(names::kMaterialDir) + "/" + names::kMaterialTitle + ".QTCJ"), "WithData");
    ASSERT_EQ(stored.rows.size(), 1u);
    const auto* content = std::get_if<jet::Bytes>(&stored.value(0, "WithData"));
    ASSERT_NE(content, nullptr);
    const fs::path out = writeTemp("stored.QTJG", std::string(content->begin(), content->end()));
    EXPECT_FALSE(keyInfo(out)["ShortName"].empty());
    EXPECT_FALSE(readTable(out, "Price").rows.empty());
}

TEST_F(SampleDirectory, SystemFolderHoldsEmptyTemplatesAndAValidIcon) {
    for (const char* name : {names::kQuotaCatalogue, names::kMaterialCatalogue, names::kPriceCatalogue}) {
        const Table index = readTable(path(std::string(names::kSystemDir) + "/" + name), "Index");
        EXPECT_TRUE(index.rows.empty()) << name;
        EXPECT_FALSE(index.columns.empty()) << name;
    }
    EXPECT_TRUE(readTable(path(std::string(names::kSystemDir) + "/" + names::kRelatedTemplate), "WithDE")
                    .rows.empty());
    EXPECT_TRUE(fs::is_directory(path(names::kMyPriceDir)));

    const fs::path icon = path(names::kKindIcon);
    ASSERT_TRUE(fs::exists(icon));
    const std::string text = slurp(icon);
    const std::vector<uint8_t> b(text.begin(), text.end());
    auto u16 = [&](size_t o) { return b[o] | (b[o + 1] << 8); };
    auto u32 = [&](size_t o) { return static_cast<size_t>(u16(o) | (u16(o + 2) << 16)); };
    EXPECT_EQ(u16(0), 0);
    EXPECT_EQ(u16(2), 1) << "type: icon";
    ASSERT_EQ(u16(4), 1);
    EXPECT_EQ(u32(18) + u32(14), b.size()) << "image offset + size = file size";
    EXPECT_EQ(u32(u32(18)), 40u) << "a BITMAPINFOHEADER starts the image";
}

// ---- Update service
// --------------------------------------------------------------------------------------------

/// The offered edition of a quota library as the update service publishes it.
struct Offer {
    const char* title;
    const char* information;  // "ok", "missing", "damaged"
    const char* installedVersion;
};

TEST_F(SampleDirectory, QuotaPackagesHoldAManifestWhoseSourcesArePackedAndInformationFilesAsDocumented) {
    const Offer offers[] = {
        {names::kBuildingTitle, "ok", "1.0"},         {names::kInstallTitle, "ok", "1.0"},
        {names::kMunicipalTitle, "ok", ""},           {names::kLandscapeTitle, "missing", "1.0"},
        {names::kRestorationTitle, "damaged", "1.0"}, {names::kRepairTitle, "ok", "2.0"}};
    std::map<std::string, std::string> offeredVersions;
    bool subFolderMember = false;
    for (const Offer& offer : offers) {
        const std::string base = std::string(names::kUpdateQuotaDir) + "/" + offer.title;
        auto members = zipMembers(path(base + ".rar"));
        ASSERT_TRUE(members.count("Update.xml")) << offer.title;
        QDomElement update = parseXml(members["Update.xml"], "Update.xml").documentElement();
        ASSERT_EQ(update.tagName(), "Update");
        ASSERT_GT(update.childNodes().count(), 0);
        for (int i = 0; i < update.childNodes().count(); ++i) {
            const QDomElement entry = update.childNodes().at(i).toElement();
            ASSERT_EQ(entry.attributes().count(), 3);
            std::string source = entry.attribute("Source").toStdString();
            std::replace(source.begin(), source.end(), '\\', '/');
            subFolderMember |= source.find('/') != std::string::npos;
            EXPECT_TRUE(members.count(source))
                << offer.title << ": " << source << " is listed but not packed";
            EXPECT_TRUE(entry.attribute("Target").startsWith("...\\"))
                << entry.attribute("Target").toStdString();
        }
        const std::string libraryName = std::string(offer.title) + ".QTDE";
        ASSERT_TRUE(members.count(libraryName));
        offeredVersions[offer.title] = keyInfo(writeTemp(libraryName, members[libraryName]))["Ver"];
        if (!std::string(offer.installedVersion).empty()) {
            EXPECT_EQ(keyInfo(quotaLibrary(offer.title))["Ver"], offer.installedVersion) << offer.title;
        }

        const fs::path information = path(base + ".xml");
        const std::string kind = offer.information;
        ASSERT_EQ(fs::exists(information), kind != "missing") << offer.title;
        if (kind != "ok") {
            if (kind == "damaged") {
                EXPECT_FALSE(QDomDocument().setContent(QByteArray::fromStdString(slurp(information))));
            }
            continue;
        }
        QDomElement infoElement =
            parseXml(slurp(information), base + ".xml").documentElement().firstChildElement("Info");
        ASSERT_FALSE(infoElement.isNull());
        EXPECT_EQ(infoElement.attributes().item(0).nodeValue().toStdString(), offeredVersions[offer.title])
            << "the package carries the version it announces";
        EXPECT_GT(infoElement.childNodes().count(), 0);
    }
    EXPECT_TRUE(subFolderMember) << "a package member in a sub-folder";
    EXPECT_EQ(offeredVersions[names::kInstallTitle], "1.00")
        << "equal to the installed 1.0 in value, not in text";
    EXPECT_EQ(offeredVersions[names::kRepairTitle], "1.5") << "older than the installed 2.0";
}

TEST_F(SampleDirectory, TheOfferedBuildingEditionChangesItemsAndTheInstallationEditionDoesNot) {
    auto offeredItems = [&](const char* title) {
        const std::string name = std::string(title) + ".QTDE";
        auto members = zipMembers(path(std::string(names::kUpdateQuotaDir) + "/" + title + ".rar"));
        return readTable(writeTemp(name, members[name]), "DM");
    };
    auto names = [](const Table& t) {
        std::map<int64_t, std::string> byId;
        for (size_t r = 0; r < t.rows.size(); ++r)
            byId[t.number(r, "ID")] = t.text(r, "Name") + "|" + t.text(r, "DESM");
        return byId;
    };
    const Table installed = readTable(quotaLibrary(names::kBuildingTitle), "DM");
    const Table offered = offeredItems(names::kBuildingTitle);
    EXPECT_EQ(offered.rows.size(), installed.rows.size() + 10) << "ten new precast items";
    EXPECT_NE(names(offered), names(installed));
    EXPECT_EQ(readTable(quotaLibrary(names::kInstallTitle), "DM").rows,
              offeredItems(names::kInstallTitle).rows);
}

TEST_F(SampleDirectory, PriceServiceOffersEveryKindOfDifferenceInAThreeLevelCatalogue) {
    const std::string remote = std::string(names::kUpdatePriceRoot) + "/" + names::kMaterialKey;
    auto catalogue = zipMembers(path(remote + "/MatePriceIndex.rar"));
    ASSERT_TRUE(catalogue.count(names::kPriceCatalogue));
    const Table offered = readTable(writeTemp("offered.mdb", catalogue[names::kPriceCatalogue]), "Index");
    const fs::path folder = path(std::string(names::kPriceRoot) + "/" + names::kMaterialKey);
    const Table installed = readTable(folder / names::kPriceCatalogue, "Index");
    std::map<std::string, std::string> installedModified;
    for (size_t r = 0; r < installed.rows.size(); ++r)
        installedModified[installed.text(r, "WithFileName")] = installed.text(r, "ModifyDate");

    std::map<int64_t, int64_t> parentOf;
    for (size_t r = 0; r < offered.rows.size(); ++r)
        parentOf[offered.number(r, "ID")] = offered.number(r, "ParentID");
    std::multiset<std::string> kinds;
    size_t deepest = 0;
    for (size_t r = 0; r < offered.rows.size(); ++r) {
        size_t depth = 1;
        for (int64_t p = offered.number(r, "ParentID"); p != 0; p = parentOf[p]) ++depth;
        deepest = std::max(deepest, depth);
        const std::string file = offered.text(r, "WithFileName");
        if (file.empty()) continue;
        const std::string title = file.substr(0, file.rfind('.'));
        EXPECT_TRUE(zipMembers(path(remote + "/" + title + ".rar")).count(file))
            << title << ".rar must hold " << file;
        const std::string modified = offered.text(r, "ModifyDate");
        auto kind = [&]() -> std::string {
            if (!fs::exists(folder / fs::path(std::u8string(file.begin(), file.end())))) return "new";
            if (offered.text(r, "CreatDate") == modified)
                return installedModified[file] != modified ? "same day, other date" : "same day";
            if (!installedModified.count(file)) return "no installed row";
            return installedModified[file] != modified ? "changed" : "recorded";
        };
        kinds.insert(kind());
    }
    EXPECT_EQ(kinds, (std::multiset<std::string>{"new", "same day, other date", "no installed row", "changed",
                                                 "recorded"}));
    EXPECT_EQ(deepest, 3u);
}

// ---- Scale
// ----------------------------------------------------------------------------------------------------

TEST(SampleScale, ScaleMultipliesItemCountsAndKeepsCategories) {
    auto fixture = fixtureReport();
    ASSERT_TRUE(fixture.ok()) << fixture.status().toString();
    BuildReport& one = *fixture;  // scale 1
    BuildReport two;
    const fs::path base = jet::test::tempDir();
    ASSERT_TRUE(buildApplicationDirectory(base / "two", BuildOptions{2}, two).ok());
    struct Case {
        std::string file;
        const char* table;
        size_t factor;
    };
    const std::string building = std::string(names::kQuotaDir) + "/" + names::kBuildingTitle + ".QTDE";
    const std::string material = std::string(names::kMaterialDir) + "/" + names::kMaterialTitle + ".QTCJ";
    const std::string bill = std::string(names::kBillDir) + "/" + names::kBillTitle + ".QTQD";
    const Case cases[] = {{building, "DM", 2},        {building, "DMIndex", 1}, {material, "Mate", 2},
                          {material, "MateIndex", 1}, {bill, "DataBook", 2},    {bill, "QDIndex", 1}};
    for (const Case& c : cases)
        EXPECT_EQ(two.databases[c.file][c.table], one.databases[c.file][c.table] * c.factor)
            << c.file << " " << c.table;
    EXPECT_GE(one.databases[building]["DM"], 2000u) << "the default quota library holds a few thousand items";
    EXPECT_FALSE(buildApplicationDirectory(base / "zero", BuildOptions{0}, one).ok());
}

// At scale 37 the building library first holds more than 100,000 items, past where the next library's
// IDs once began: the libraries' IDs must stay apart (the base price file gathers every library's quota
// prices under one unique index), and the ID related-quota rows give for a missing item must stay missing.
TEST(SampleScale, QuotaIdsOfEveryLibraryStayApartPastTheFirstBlock) {
    BuildReport report;
    const fs::path root = fs::path(jet::test::tempDir()) / "large";
    const jet::Status built = buildApplicationDirectory(root, BuildOptions{37}, report);
    ASSERT_TRUE(built.ok()) << built.toString();
    std::map<int64_t, std::string> owner;
    for (const char* title : {names::kBuildingTitle, names::kInstallTitle, names::kLandscapeTitle,
                              names::kRestorationTitle, names::kRepairTitle}) {
        const fs::path library = at(root, std::string(names::kQuotaDir) + "/" + title + ".QTDE");
        for (int64_t id : ids(library, "DM")) {
            auto [it, added] = owner.emplace(id, title);
            EXPECT_TRUE(added) << "quota ID " << id << " of " << title << " is also one of " << it->second;
        }
    }
    EXPECT_GT(owner.rbegin()->first, 100000 * 5);
    const Table related =
        readTable(at(root, std::string(names::kBillDir) + "/" + names::kBillTitle + ".QTQD"), "WithDE_01");
    size_t missing = 0;
    for (size_t r = 0; r < related.rows.size(); ++r)
        missing +=
            related.text(r, "Name") == "场内清理（补充子目）" && !owner.count(related.number(r, "DMID"));
    EXPECT_GT(missing, 0u);
}

// The fixture was built by kxview-sample in a process of its own; this build runs in the test's.
TEST(SampleScale, TwoBuildsWriteTheSameRows) {
    BuildReport second;
    const fs::path again = fs::path(jet::test::tempDir()) / "again";
    ASSERT_TRUE(buildApplicationDirectory(again, BuildOptions{}, second).ok());
    const std::string building = std::string(names::kQuotaDir) + "/" + names::kBuildingTitle + ".QTDE";
    const std::string bill = std::string(names::kBillDir) + "/" + names::kBillTitle + ".QTQD";
    for (const auto& [file, table] : {std::pair{building, "DM"}, std::pair{bill, "WithDE_01"}})
        EXPECT_EQ(readTable(at(kFixture / "app", file), table).rows, readTable(at(again, file), table).rows)
            << table;
    auto first = fixtureReport();
    ASSERT_TRUE(first.ok()) << first.status().toString();
    EXPECT_EQ(first->databases, second.databases);
    EXPECT_EQ(first->packages, second.packages);
}

}  // namespace
}  // namespace sample

#include "library_writers.h"

#include <cmath>
#include <initializer_list>
#include <map>

namespace sample {
namespace {

/// The sum of amounts in cents, as the double nearest its two-decimal text (no 8366.939999999999).
double centsSum(std::initializer_list<double> amounts) {
    int64_t cents = 0;
    for (double a : amounts) cents += std::llround(a * 100);
    return static_cast<double>(cents) / 100.0;
}

using jet::ColumnType;

// Category tables of every kind share one layout; the tree orders siblings by OCode.
jet::Status writeCategoryTable(DbFile& db, const std::string& name, const std::vector<Category>& categories) {
    jet::TableSpec spec{name,
                        {autoNumberColumn("ID"), column("ParentID", ColumnType::Long),
                         textColumn("Name", 100), textColumn("Class", 20), column("OCode", ColumnType::Long)},
                        {primaryKey("ID"), plainIndex("ParentID"), plainIndex("Class")}};
    std::vector<jet::Row> rows;
    rows.reserve(categories.size());
    for (const Category& c : categories)
        rows.push_back({number(c.id), number(c.parentId), text(c.name), text(c.classCode), number(c.order)});
    return db.addTable(spec, rows);
}

jet::Value optionalText(const std::string& s) {
    return s.empty() ? jet::Value() : text(s);
}

jet::Value nullableText(const std::optional<std::string>& s) {
    return s ? text(*s) : jet::Value();
}

jet::Value nullableNumber(const std::optional<int64_t>& n) {
    return n ? number(*n) : jet::Value();
}

}  // namespace

jet::Status writeQuotaTables(DbFile& db, const QuotaContent& content) {
    JET_RETURN_IF_ERROR(writeCategoryTable(db, "DMIndex", content.categories));

    jet::TableSpec dm{
        "DM",
        {autoNumberColumn("ID"), column("Code1", ColumnType::Long), column("Code2", ColumnType::Long),
         column("Code3", ColumnType::Long), column("Code4", ColumnType::Long), textColumn("DECode", 20),
         textColumn("Name", 255), textColumn("Unit", 20), textColumn("Class", 20),
         column("WorkInfo", ColumnType::Memo), column("DESM", ColumnType::Memo),
         column("BasePrice", ColumnType::Double), column("LabourCost", ColumnType::Double),
         column("MaterialCost", ColumnType::Double), column("MachineCost", ColumnType::Double)},
        {primaryKey("ID"), plainIndex("Class"), plainIndex("DECode"),
         jet::IndexSpec{"Codes", {"Code1", "Code2", "Code3", "Code4"}, {}, false, false}}};
    std::vector<jet::Row> rows;
    rows.reserve(content.items.size());
    for (const QuotaItem& i : content.items) {
        rows.push_back({number(i.id), number(i.code1), number(i.code2), number(i.code3), number(i.code4),
                        optionalText(i.deCode), optionalText(i.name), optionalText(i.unit), text(i.classCode),
                        text(i.workInfo), optionalText(i.notes),
                        real(centsSum({i.labour, i.material, i.machine})), real(i.labour), real(i.material),
                        real(i.machine)});
    }
    JET_RETURN_IF_ERROR(db.addTable(dm, rows));

    jet::TableSpec errata{"EditRecord",
                          {autoNumberColumn("ID"), column("DMID", ColumnType::Long),
                           column("EditDate", ColumnType::DateTime), column("EditInfo", ColumnType::Memo)},
                          {primaryKey("ID"), plainIndex("DMID")}};
    rows.clear();
    for (const Erratum& e : content.errata)
        rows.push_back({jet::Value(), number(e.dmId), date(e.year, e.month, e.day), text(e.text)});
    return db.addTable(errata, rows);
}

jet::Status writeConversionLibrary(DbFile& db, const std::vector<Conversion>& conversions,
                                   const std::string& name) {
    jet::TableSpec hs{"HS",
                      {autoNumberColumn("ID"), column("DMID", ColumnType::Long), textColumn("DEKey", 50),
                       column("Code", ColumnType::Long), column("Kind", ColumnType::Integer),
                       textColumn("HSName", 255), textColumn("HSInfo", 255), column("SM", ColumnType::Memo)},
                      {primaryKey("ID"), jet::IndexSpec{"DMID", {"DMID", "DEKey"}, {}, false, false}}};
    std::vector<jet::Row> rows;
    rows.reserve(conversions.size());
    for (const Conversion& c : conversions) {
        rows.push_back({jet::Value(), number(c.dmId), text(c.deKey), number(c.code), nullableNumber(c.kind),
                        text(c.name), text(c.info), text(c.explanation)});
    }
    JET_RETURN_IF_ERROR(db.addTable(hs, rows));
    return db.addKeyInfo({{"Name", name}});
}

jet::Status writeRelatedQuotaFile(DbFile& db, const std::vector<RelatedRow>& rows,
                                  const std::vector<int64_t>& ownerIds) {
    // The same fields as a bill item's related rows, keyed by the quota item (DMID) that owns them.
    jet::TableSpec spec{
        "WithDE",
        {autoNumberColumn("ID"), column("OwnerID", ColumnType::Long), column("Code", ColumnType::Long),
         column("Level", ColumnType::Integer), textColumn("Name", 255), textColumn("Kind", 20),
         column("DMID", ColumnType::Long), textColumn("DEKey", 50)},
        {primaryKey("ID"), plainIndex("OwnerID")}};
    std::vector<jet::Row> values;
    for (size_t i = 0; i < rows.size(); ++i) {
        const RelatedRow& r = rows[i];
        values.push_back({jet::Value(), number(ownerIds[i]), number(r.code), number(r.level),
                          nullableText(r.name), text(r.kind), number(r.dmId), text(r.deKey)});
    }
    return db.addTable(spec, values);
}

jet::Status writeMaterialTables(
    DbFile& db, const MaterialContent& content,
    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& storedFiles) {
    JET_RETURN_IF_ERROR(writeCategoryTable(db, "MateIndex", content.categories));
    jet::TableSpec mate{
        "Mate",
        {autoNumberColumn("ID"), textColumn("Code", 20), textColumn("Name", 255), textColumn("Unit", 20),
         textColumn("Class", 20), column("OCode", ColumnType::Long), column("BasePrice", ColumnType::Double)},
        {primaryKey("ID"), plainIndex("Class"), plainIndex("OCode"), plainIndex("Code")}};
    std::vector<jet::Row> rows;
    rows.reserve(content.materials.size());
    for (const Material& m : content.materials) {
        rows.push_back({number(m.id), text(m.code), text(m.name), text(m.unit), text(m.classCode),
                        number(m.order), real(m.basePrice)});
    }
    JET_RETURN_IF_ERROR(db.addTable(mate, rows));

    jet::TableSpec withData{"WithData", {textColumn("Name", 255), column("WithData", ColumnType::Ole)}, {}};
    rows.clear();
    for (const auto& [name, content_] : storedFiles) rows.push_back({text(name), bytes(content_)});
    return db.addTable(withData, rows);
}

jet::Status writeBillTables(DbFile& db, const BillContent& content) {
    JET_RETURN_IF_ERROR(writeCategoryTable(db, "QDIndex", content.categories));
    jet::TableSpec book{
        "DataBook",
        {autoNumberColumn("ID"), textColumn("Code", 20), textColumn("Name", 255), textColumn("Unit", 20),
         textColumn("Class", 20), column("OCode", ColumnType::Long), column("Feature", ColumnType::Memo),
         column("Content", ColumnType::Memo), column("Ruler", ColumnType::Memo)},
        {primaryKey("ID"), plainIndex("Class"), plainIndex("OCode"), plainIndex("Code")}};
    std::vector<jet::Row> rows;
    std::map<std::string, std::vector<jet::Row>> related;  // table name -> rows
    for (const BillItem& b : content.items) {
        rows.push_back({number(b.id), text(b.code), text(b.name), text(b.unit), text(b.classCode),
                        number(b.order), nullableText(b.feature), nullableText(b.content),
                        nullableText(b.ruler)});
        // A code prefix none of whose items has related rows gets no table.
        if (b.related.empty()) continue;
        auto& table = related["WithDE_" + b.code.substr(0, 2)];
        for (const RelatedRow& r : b.related) {
            table.push_back({jet::Value(), number(b.id), number(r.code), number(r.level),
                             nullableText(r.name), text(r.kind),
                             r.kind == "DE" ? number(r.dmId) : jet::Value(), text(r.deKey)});
        }
    }
    JET_RETURN_IF_ERROR(db.addTable(book, rows));
    for (const auto& [name, tableRows] : related) {
        jet::TableSpec spec{
            name,
            {autoNumberColumn("ID"), column("QDID", ColumnType::Long), column("Code", ColumnType::Long),
             column("Level", ColumnType::Integer), textColumn("Name", 255), textColumn("Kind", 20),
             column("DMID", ColumnType::Long), textColumn("DEKey", 50)},
            {primaryKey("ID"), jet::IndexSpec{"QDID", {"QDID", "Code"}, {}, false, false}}};
        JET_RETURN_IF_ERROR(db.addTable(spec, tableRows));
    }
    return jet::Status();
}

jet::Status writePriceTables(DbFile& db, const PriceList& prices) {
    jet::TableSpec price{
        "Price",
        {autoNumberColumn("ID"), column("MateID", ColumnType::Long), column("Price", ColumnType::Double)},
        {primaryKey("ID"), jet::IndexSpec{"MateID", {"MateID"}, {}, false, true}}};
    std::vector<jet::Row> rows;
    rows.reserve(prices.materialPrices.size());
    for (const auto& [id, value] : prices.materialPrices)
        rows.push_back({jet::Value(), number(id), real(value)});
    JET_RETURN_IF_ERROR(db.addTable(price, rows));

    jet::TableSpec dmPrice{
        "DMPrice",
        {autoNumberColumn("ID"), column("DMID", ColumnType::Long), column("CorePrice", ColumnType::Double)},
        {primaryKey("ID"), jet::IndexSpec{"DMID", {"DMID"}, {}, false, true}}};
    rows.clear();
    rows.reserve(prices.quotaPrices.size());
    for (const auto& [id, value] : prices.quotaPrices)
        rows.push_back({jet::Value(), number(id), real(value)});
    return db.addTable(dmPrice, rows);
}

namespace {

std::vector<jet::Row> catalogueRows(CatalogueKind kind, const std::vector<CatalogueEntry>& entries) {
    std::vector<jet::Row> rows;
    for (const CatalogueEntry& e : entries) {
        jet::Row row{number(e.id), number(e.parentId), text(e.name), number(e.order),
                     optionalText(e.fileName)};
        if (kind == CatalogueKind::Price) {
            row.push_back(optionalText(e.created));
            row.push_back(optionalText(e.modified));
            row.push_back(optionalText(e.description));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

jet::Status writeCatalogue(DbFile& db, CatalogueKind kind, const std::vector<CatalogueEntry>& entries) {
    jet::TableSpec spec{
        "Index",
        {autoNumberColumn("ID"), column("ParentID", ColumnType::Long), textColumn("Name", 100),
         column("OCode", ColumnType::Long), textColumn("WithFileName", 255)},
        {primaryKey("ID"), plainIndex("ParentID")}};
    if (kind == CatalogueKind::Price) {
        spec.columns.push_back(textColumn("CreatDate", 20));
        spec.columns.push_back(textColumn("ModifyDate", 20));
        spec.columns.push_back(textColumn("SM", 255));
    }
    return db.addTable(spec, catalogueRows(kind, entries));
}

jet::Status appendCatalogueEntries(DbFile& db, CatalogueKind kind,
                                   const std::vector<CatalogueEntry>& entries) {
    return db.addRows("Index", catalogueRows(kind, entries));
}

}  // namespace sample

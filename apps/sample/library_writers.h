// Table layouts of every library kind and the functions that write them.
#pragma once

#include <string>
#include <vector>

#include "db_file.h"
#include "norm_content.h"

namespace sample {

/// Writes DMIndex, DM and EditRecord of a quota library (KeyInfo is written by the caller).
jet::Status writeQuotaTables(DbFile& db, const QuotaContent& content);
/// Writes a conversion library (.QTHS): table HS and a KeyInfo naming the library it belongs to.
jet::Status writeConversionLibrary(DbFile& db, const std::vector<Conversion>& conversions,
                                   const std::string& name);
/// Writes a related-quota file (.QTWD) or its empty template: table WithDE.
jet::Status writeRelatedQuotaFile(DbFile& db, const std::vector<RelatedRow>& rows,
                                  const std::vector<int64_t>& ownerIds);
/// Writes MateIndex, Mate and WithData (`storedFiles`: name and content) of a material library.
jet::Status writeMaterialTables(DbFile& db, const MaterialContent& content,
                                const std::vector<std::pair<std::string, std::vector<uint8_t>>>& storedFiles);
/// Writes QDIndex, DataBook and one WithDE_ table per two-character code prefix of a bill-item library.
jet::Status writeBillTables(DbFile& db, const BillContent& content);
/// Writes Price and DMPrice of a price file.
jet::Status writePriceTables(DbFile& db, const PriceList& prices);

/// One entry of a catalogue's Index table.
struct CatalogueEntry {
    int64_t id = 0;
    int64_t parentId = 0;
    std::string name;
    int64_t order = 0;
    std::string fileName;                        // empty for a grouping entry
    std::string created, modified, description;  // price catalogues only
};

/// Which fields a catalogue's Index table has.
enum class CatalogueKind { Library, Price };

/// Writes the table Index of a catalogue (DEIndex.mdb, MateIndex.mdb, MatePriceIndex.mdb).
jet::Status writeCatalogue(DbFile& db, CatalogueKind kind, const std::vector<CatalogueEntry>& entries);
/// Appends `entries` to the table Index of a catalogue written by writeCatalogue.
jet::Status appendCatalogueEntries(DbFile& db, CatalogueKind kind,
                                   const std::vector<CatalogueEntry>& entries);

}  // namespace sample

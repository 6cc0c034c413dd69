// Deterministic construction-norm content for the sample libraries: categories, quota items, materials,
// bill items and prices, generated from small tables of real-looking chapters with fixed seeds.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sample {

/// One node of a category tree (DMIndex, MateIndex, QDIndex).
struct Category {
    int64_t id = 0;
    int64_t parentId = 0;
    std::string name;
    std::string classCode;
    int64_t order = 0;
};

/// One quota item (a DM row).
struct QuotaItem {
    int64_t id = 0;
    int64_t code1 = 0, code2 = 0, code3 = 0, code4 = 0;
    std::string deCode, name, unit, classCode, workInfo, notes;
    double labour = 0, material = 0, machine = 0;
};

/// One correction record of a quota item (an EditRecord row).
struct Erratum {
    int64_t dmId = 0;
    int year = 2019, month = 1, day = 1;
    std::string text;
};

/// The content of one quota library.
struct QuotaContent {
    std::vector<Category> categories;
    std::vector<QuotaItem> items;
    std::vector<Erratum> errata;
    /// Base name of each leaf category -> IDs of its items, in order.
    std::map<std::string, std::vector<int64_t>> itemsByLeaf;
};

/// Which norm book a quota library is made from.
enum class NormBook { Building, Installation, Municipal, Landscape, Restoration, Repair };

/// The quota content of `book`; item IDs start at `firstId`; `scale` multiplies the items of every leaf.
QuotaContent makeQuotaContent(NormBook book, int64_t firstId, int scale);

/// The next edition of `content`: labour costs up 3 percent, revised notes in the concrete chapter
/// (class "04"), and a new precast section there with addedInRevision(`scale`) items numbered after the
/// last ones.
void reviseQuotaContent(QuotaContent& content, int scale);
/// The number of items reviseQuotaContent adds at `scale`.
int64_t addedInRevision(int scale);

/// One material (a Mate row).
struct Material {
    int64_t id = 0;
    std::string code, name, unit, classCode;
    int64_t order = 0;
    double basePrice = 0;
};

/// The content of the material library.
struct MaterialContent {
    std::vector<Category> categories;
    std::vector<Material> materials;
};

/// The material library's content; `scale` multiplies the materials of every leaf.
MaterialContent makeMaterialContent(int scale);

/// One related row of a bill item (a WithDE_ row).
struct RelatedRow {
    int64_t code = 0;
    int64_t level = 0;
    std::optional<std::string> name;  // nothing: Null
    std::string kind;                 // "DE" for a quota, anything else is a heading
    int64_t dmId = 0;
    std::string deKey;
};

/// One bill item (a DataBook row) with its related rows.
struct BillItem {
    int64_t id = 0;
    std::string code, name, unit, classCode;
    int64_t order = 0;
    std::optional<std::string> feature, content, ruler;  // nothing: Null
    std::vector<RelatedRow> related;
};

/// The content of the bill-item library.
struct BillContent {
    std::vector<Category> categories;
    std::vector<BillItem> items;
};

/// The quota libraries a bill-item library points into, and the quota IDs it points at besides their items.
struct BillQuotaSources {
    const QuotaContent* building = nullptr;
    std::string buildingKey;
    const QuotaContent* installation = nullptr;
    std::string installationKey;
    int64_t uninstalledQuota = 0;  // an item of the library that is not installed
    std::string uninstalledKey;
    int64_t missingQuota = 0;  // an ID no library holds
};

/// The bill-item library's content, pointing into the building and installation quota libraries.
BillContent makeBillContent(int scale, const BillQuotaSources& quotas);

/// `n` in decimal, with leading zeros up to `width` digits (class codes and item codes).
std::string zeroPadded(size_t n, size_t width);

/// A deterministic pseudo-random stream (the same numbers on every platform).
class Random {
public:
    /// A stream started from `seed`.
    explicit Random(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    /// The next value in [0, bound).
    uint64_t below(uint64_t bound);
    /// The next value in [lo, hi), rounded to cents.
    double money(double lo, double hi);

private:
    uint64_t m_state;
};

}  // namespace sample

namespace sample {

/// One conversion of a quota item (an HS row).
struct Conversion {
    int64_t dmId = 0;
    std::string deKey;
    int64_t code = 0;
    std::optional<int64_t> kind;  // nothing: Null
    std::string name, info, explanation;
};

/// The conversion files of a quota library: system, user, and the two its "WithHSK" names.
enum class ConversionSet { System, User, Named, Assembly };

/// The conversions of `set` for the items of `quotas`, whose library key is `deKey`. Besides the regular
/// ones, three items of the library's first leaf carry irregular lists (docs/library-schemas.md).
std::vector<Conversion> makeConversions(const QuotaContent& quotas, const std::string& deKey,
                                        ConversionSet set);

/// Prices of one price file: material prices (Price) and quota unit prices (DMPrice).
struct PriceList {
    std::vector<std::pair<int64_t, double>> materialPrices;  // MateID, Price
    std::vector<std::pair<int64_t, double>> quotaPrices;     // DMID, CorePrice
};

/// Prices for the materials and quota items given, scaled by `level` around their base prices.
PriceList makePriceList(const MaterialContent& materials, const std::vector<const QuotaContent*>& quotas,
                        double level, uint64_t seed);

}  // namespace sample

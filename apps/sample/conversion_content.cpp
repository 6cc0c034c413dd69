// Conversions of quota items and the prices of price files.
#include <algorithm>
#include <cmath>

#include "norm_content.h"
#include "sample/names.h"

namespace sample {
namespace {

struct ConversionTemplate {
    int64_t kind;
    const char* name;  // a parameter follows the marker "<PN>"
    const char* info;
    const char* explanation;
};

const ConversionTemplate kSystemTemplates[] = {
    {0, "砂浆强度等级换算<PN>M10水泥砂浆", "换:M10水泥砂浆",
     "设计砂浆强度等级与定额不同时，按设计换算砂浆单价，消耗量不变。"},
    {0, "混凝土强度等级换算<PN>C35", "换:C35商品混凝土",
     "设计混凝土强度等级与定额不同时，换算混凝土单价，消耗量不变。"},
    {1, "人工调整系数<PN>1.10", "R*1.1", "在狭窄场地施工时，人工乘以系数1.10。"},
    {0, "厚度每增减10mm<PN>10", "+10mm", "设计厚度与定额不同时，按每增减10mm调整。"},
    {10, "材料替换", "替换主材", "主要材料与定额不同时，替换材料名称及单价。"},
};

const ConversionTemplate kUserTemplates[] = {
    {0, "湿土施工 人工×1.18", "R*1.18", "挖湿土时，人工乘以系数1.18（本单位补充规定）。"},
    {1, "夜间施工增加<PN>1.05", "R*1.05", "夜间施工时，人工、机械乘以系数1.05。"},
};

const ConversionTemplate kNamedTemplates[] = {
    {0, "干混砂浆替换现拌砂浆<PN>DM M7.5", "换:干混砂浆",
     "使用干混砂浆时，扣除现拌砂浆及搅拌机台班，换为干混砂浆。"},
    {10, "预拌砂浆罐式搅拌机", "J+罐式搅拌机", "干混砂浆罐式搅拌机台班按定额附注计算。"},
    {0, "<PN>系数调整", "K", "名称以参数标记开头的换算，整段名称原样显示。"},
};

const ConversionTemplate kAssemblyTemplates[] = {
    {0, "装配式构件替换现浇<PN>预制叠合板", "换:预制叠合板",
     "采用装配式预制构件时，扣除现浇混凝土及模板，换为预制构件安装。"},
    {2, "构件吊装高度调整<PN>30m", "J*1.1", "吊装高度超过20m时，吊装机械台班乘以系数1.10。"},
};

// Which items of a library get conversions from each file, and which templates they get.
struct SetPlan {
    int64_t every;
    const ConversionTemplate* templates;
    size_t count;
};

SetPlan planOf(ConversionSet set) {
    switch (set) {
        case ConversionSet::System:
            return {3, kSystemTemplates, std::size(kSystemTemplates)};
        case ConversionSet::User:
            return {7, kUserTemplates, std::size(kUserTemplates)};
        case ConversionSet::Named:
            return {5, kNamedTemplates, std::size(kNamedTemplates)};
        case ConversionSet::Assembly:
            return {6, kAssemblyTemplates, std::size(kAssemblyTemplates)};
    }
    return {1, nullptr, 0};
}

// The items of the first leaf whose conversion lists are irregular, by position in the leaf.
constexpr size_t kWithoutOrdinary = 1;  // conversions, but none of kind 0
constexpr size_t kCodeClash = 3;        // a kind-1 entry numbered 2 before the kind-0 entry numbered 2
constexpr size_t kEveryKind = 7;        // kinds 0 to 9, and kinds out of range and Null
constexpr size_t kForeignToo = 5;       // regular conversions, and another library's rows with its ID

struct IrregularRow {
    std::optional<int64_t> kind;
    const char* name;
    const char* explanation;
};

const IrregularRow kWithoutOrdinaryRows[] = {
    {1, "人工调整系数<PN>1.20", "在建筑物内施工时，人工乘以系数1.20。"},
    {10, "材料替换", "主要材料与定额不同时，替换材料名称及单价。"},
    {3, "机械台班调整<PN>1.15", "使用小型机械施工时，机械台班乘以系数1.15。"},
};

const IrregularRow kCodeClashRows[] = {
    {0, "砂浆强度等级换算<PN>M7.5水泥砂浆", "设计砂浆强度等级与定额不同时，按设计换算砂浆单价。"},
    {1, "人工调整系数<PN>1.05", "雨季施工时，人工乘以系数1.05。"},
    {1, "机械调整系数<PN>1.10", "第二个换算的同号非普通换算：其说明不应出现在说明栏。"},
    {0, "厚度每增减10mm<PN>10", "第二个普通换算：设计厚度与定额不同时，按每增减10mm调整。"},
};

const IrregularRow kEveryKindRows[] = {
    {0, "装配式构件替换现浇<PN>预制楼梯", "采用预制楼梯时，扣除现浇混凝土及模板。"},
    {2, "二类换算", "种类2的换算。"},
    {3, "三类换算", "种类3的换算。"},
    {4, "四类换算", "种类4的换算。"},
    {5, "五类换算", "种类5的换算。"},
    {6, "六类换算", "种类6的换算。"},
    {7, "七类换算", "种类7的换算。"},
    {8, "八类换算", "种类8的换算。"},
    {9, "九类换算", "种类9的换算。"},
    {11, "种类越界的换算", "种类11超出0到10。"},
    {std::nullopt, "种类为空的换算", "种类为Null。"},
    {0, "预制构件运距调整<PN>10km", "构件运距超过5km时，按每增加1km调整。"},
    {-1, "种类为负的换算", "种类-1超出0到10。"},
};

/// The rows of an irregular list for item `dmId`, coded in list order and stored backwards, so that only
/// an ORDER BY Code gives the list order.
void appendIrregular(std::vector<Conversion>& out, int64_t dmId, const std::string& deKey,
                     const IrregularRow* rows, size_t count) {
    for (size_t i = count; i-- > 0;) {
        out.push_back(
            {dmId, deKey, static_cast<int64_t>(i + 1), rows[i].kind, rows[i].name, "", rows[i].explanation});
    }
}

/// The items of the library's first leaf, in leaf order (the first leaf numbers its items forwards).
std::vector<int64_t> firstLeafItems(const QuotaContent& quotas) {
    std::vector<int64_t> ids;
    for (const QuotaItem& item : quotas.items) {
        if (item.classCode != quotas.items.front().classCode) break;
        ids.push_back(item.id);
    }
    return ids;
}

}  // namespace

std::vector<Conversion> makeConversions(const QuotaContent& quotas, const std::string& deKey,
                                        ConversionSet set) {
    const SetPlan plan = planOf(set);
    const std::vector<int64_t> leaf = firstLeafItems(quotas);
    // A leaf too short for a position has no such item (no item has the ID 0).
    auto itemAt = [&](size_t position) { return position < leaf.size() ? leaf[position] : int64_t{0}; };
    const int64_t withoutOrdinary = itemAt(kWithoutOrdinary);
    const int64_t codeClash = itemAt(kCodeClash);
    const int64_t everyKind = itemAt(kEveryKind);
    std::vector<Conversion> out;
    for (const QuotaItem& item : quotas.items) {
        if (item.id == withoutOrdinary || item.id == codeClash || item.id == everyKind) continue;
        if (item.id % plan.every != 0) continue;
        // Items take a varying number of templates, so lists of one, two or all entries all occur.
        const size_t take = 1 + static_cast<size_t>(item.id / plan.every) % plan.count;
        std::vector<Conversion> list;
        for (size_t t = 0; t < take; ++t) {
            const ConversionTemplate& c = plan.templates[t];
            list.push_back(
                {item.id, deKey, static_cast<int64_t>(t + 1), c.kind, c.name, c.info, c.explanation});
        }
        // Items with an even ID store their conversions backwards: the list order is Code order only.
        if (item.id % 2 == 0) std::reverse(list.begin(), list.end());
        out.insert(out.end(), list.begin(), list.end());
    }
    if (set == ConversionSet::System && codeClash != 0) {
        appendIrregular(out, withoutOrdinary, deKey, kWithoutOrdinaryRows, std::size(kWithoutOrdinaryRows));
        appendIrregular(out, codeClash, deKey, kCodeClashRows, std::size(kCodeClashRows));
        // Another library's conversions under the same item IDs: only the DEKey tells them apart.
        for (int64_t id : {withoutOrdinary, codeClash, itemAt(kForeignToo)}) {
            if (id == 0) continue;
            out.push_back({id, names::kMunicipalKey, 1, 0, "他库换算<PN>不应显示", "",
                           "另一定额库的换算，与本库子目的ID相同。"});
        }
    }
    if (set == ConversionSet::Assembly && everyKind != 0)
        appendIrregular(out, everyKind, deKey, kEveryKindRows, std::size(kEveryKindRows));
    return out;
}

PriceList makePriceList(const MaterialContent& materials, const std::vector<const QuotaContent*>& quotas,
                        double level, uint64_t seed) {
    Random random(seed);
    PriceList list;
    for (const Material& m : materials.materials) {
        if (random.below(20) == 0) continue;  // not every material is quoted in every price file
        const double factor = level * (0.95 + static_cast<double>(random.below(101)) / 1000.0);
        // Prices are published to one decimal place.
        list.materialPrices.emplace_back(m.id, std::round(m.basePrice * factor * 10) / 10);
    }
    for (const QuotaContent* q : quotas) {
        for (const QuotaItem& item : q->items) {
            // Not every quota item is priced in every price file.
            if ((static_cast<uint64_t>(item.id) + seed) % 25 == 0) continue;
            const double base = item.labour + item.material + item.machine;
            list.quotaPrices.emplace_back(item.id, std::round(base * level * 100) / 100);
        }
    }
    return list;
}

}  // namespace sample

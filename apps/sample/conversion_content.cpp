// Conversions of quota items and the prices of price files.
#include <cmath>

#include "norm_content.h"

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
    }
    return {1, nullptr, 0};
}

}  // namespace

std::vector<Conversion> makeConversions(const QuotaContent& quotas, const std::string& deKey,
                                        ConversionSet set) {
    const SetPlan plan = planOf(set);
    std::vector<Conversion> out;
    for (const QuotaItem& item : quotas.items) {
        if (item.id % plan.every != 0) continue;
        // Items take a varying number of templates, so lists of one, two or all entries all occur.
        const size_t take = 1 + static_cast<size_t>(item.id / plan.every) % plan.count;
        for (size_t t = 0; t < take; ++t) {
            const ConversionTemplate& c = plan.templates[t];
            out.push_back(
                {item.id, deKey, static_cast<int64_t>(t + 1), c.kind, c.name, c.info, c.explanation});
        }
    }
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
            const double base = item.labour + item.material + item.machine;
            list.quotaPrices.emplace_back(item.id, std::round(base * level * 100) / 100);
        }
    }
    return list;
}

}  // namespace sample

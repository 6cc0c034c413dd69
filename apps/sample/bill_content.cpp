// The bill-item library: national bill items with features, work content, rules and related quotas.
#include <algorithm>

#include "norm_content.h"

namespace sample {
namespace {

struct BillTemplate {
    const char* code;  // nine-digit national code; the first six digits are its category
    const char* name;
    const char* unit;
    const char* features;  // feature names separated by '、'
    const char* content;
    std::vector<const char*> quotaLeaves;  // leaf categories of the quota library this item is priced from
};

struct BillCategory {
    const char* classCode;
    const char* name;
};

const std::vector<BillCategory>& billCategories() {
    static const std::vector<BillCategory> categories{
        {"01", "房屋建筑与装饰工程"},
        {"0101", "土石方工程"},
        {"010101", "土方工程"},
        {"010102", "石方工程"},
        {"010103", "回填"},
        {"0103", "桩基工程"},
        {"010301", "打桩"},
        {"010302", "灌注桩"},
        {"0104", "砌筑工程"},
        {"010401", "砖砌体"},
        {"010402", "砌块砌体"},
        {"0105", "混凝土及钢筋混凝土工程"},
        {"010501", "现浇混凝土基础"},
        {"010502", "现浇混凝土柱"},
        {"010503", "现浇混凝土梁"},
        {"010505", "现浇混凝土板"},
        {"010515", "钢筋工程"},
        {"0106", "金属结构工程"},
        {"010603", "钢柱"},
        {"0108", "门窗工程"},  // a category without bill items
        {"0109", "屋面及防水工程"},
        {"010902", "屋面防水及其他"},
        {"0111", "楼地面装饰工程"},
        {"011101", "整体面层及找平层"},
        {"011102", "块料面层"},
        {"0112", "墙、柱面装饰与隔断、幕墙工程"},
        {"011201", "墙面抹灰"},
        {"0117", "措施项目"},
        {"011701", "脚手架工程"},
        {"03", "通用安装工程"},
        {"0304", "电气设备安装工程"},
        {"030411", "配管、配线"},
        {"030412", "照明器具安装"},
        {"0310", "给排水、采暖、燃气工程"},
        {"031001", "给排水、采暖、燃气管道"},
        {"031004", "卫生器具"},
        // Bill items without related quotas: the library has no "WithDE_05" table.
        {"05", "园林绿化工程"},
        {"0501", "绿化工程"},
        {"050101", "绿地整理"},
    };
    return categories;
}

const std::vector<BillTemplate>& billTemplates() {
    static const std::vector<BillTemplate> templates{
        {"010101001",
         "平整场地",
         "m2",
         "土壤类别、弃土运距、取土运距",
         "土方挖填；场地找平；运输。",
         {"平整场地"}},
        {"010101002",
         "挖一般土方",
         "m3",
         "土壤类别、挖土深度、弃土运距",
         "排地表水；土方开挖；基底钎探；运输。",
         {"挖一般土方", "挖掘机挖土"}},
        {"010101003",
         "挖沟槽土方",
         "m3",
         "土壤类别、挖土深度",
         "排地表水；土方开挖；围护；基底钎探。",
         {"挖沟槽土方"}},
        {"010101004",
         "挖基坑土方",
         "m3",
         "土壤类别、挖土深度",
         "排地表水；土方开挖；基底钎探。",
         {"挖基坑土方"}},
        {"010102001",
         "挖一般石方",
         "m3",
         "岩石类别、开凿深度、弃碴运距",
         "排地表水；凿石；运输。",
         {"人工凿石"}},
        {"010103001", "回填方", "m3", "密实度要求、填方材料品种", "运输；回填；压实。", {"回填土"}},
        {"010103002", "余方弃置", "m3", "废弃料品种、运距", "余方点装料运输至弃置点。", {"自卸汽车运土方"}},
        {"010301001",
         "预制钢筋混凝土方桩",
         "m",
         "桩截面、桩长、沉桩方法",
         "工作平台搭拆；沉桩；接桩；送桩。",
         {"打预制钢筋混凝土方桩"}},
        {"010301002",
         "预制钢筋混凝土管桩",
         "m",
         "桩外径、壁厚、沉桩方法",
         "工作平台搭拆；沉桩；接桩；送桩。",
         {"静力压预应力管桩"}},
        {"010302001",
         "泥浆护壁成孔灌注桩",
         "m3",
         "桩径、成孔方法、混凝土强度等级",
         "成孔、固壁；混凝土制作、运输、灌注、养护；泥浆池、泥浆沟。",
         {"钻孔灌注桩"}},
        {"010401001",
         "砖基础",
         "m3",
         "砖品种、规格、强度等级、基础类型、砂浆强度等级",
         "砂浆制作、运输；砌砖；防潮层铺设；材料运输。",
         {"砖基础"}},
        {"010401003",
         "实心砖墙",
         "m3",
         "砖品种、规格、强度等级、墙体类型、砂浆强度等级",
         "砂浆制作、运输；砌砖；刮缝；砖压顶砌筑；材料运输。",
         {"实心砖墙"}},
        {"010401004",
         "多孔砖墙",
         "m3",
         "砖品种、规格、强度等级、墙体类型、砂浆强度等级",
         "砂浆制作、运输；砌砖；刮缝；材料运输。",
         {"多孔砖墙"}},
        {"010402001",
         "砌块墙",
         "m3",
         "砌块品种、规格、强度等级、砂浆强度等级",
         "砂浆制作、运输；砌砖、砌块；勾缝；材料运输。",
         {"加气混凝土砌块墙"}},
        {"010501001",
         "垫层",
         "m3",
         "混凝土种类、混凝土强度等级",
         "模板及支撑制作、安装、拆除；混凝土制作、运输、浇筑、振捣、养护。",
         {"基础垫层"}},
        {"010501003",
         "独立基础",
         "m3",
         "混凝土种类、混凝土强度等级",
         "模板及支撑制作、安装、拆除；混凝土制作、运输、浇筑、振捣、养护。",
         {"独立基础", "现浇构件模板"}},
        {"010502001",
         "矩形柱",
         "m3",
         "混凝土种类、混凝土强度等级",
         "模板及支架制作、安装、拆除；混凝土制作、运输、浇筑、振捣、养护。",
         {"矩形柱", "现浇构件模板"}},
        {"010503002",
         "矩形梁",
         "m3",
         "混凝土种类、混凝土强度等级",
         "模板及支架制作、安装、拆除；混凝土制作、运输、浇筑、振捣、养护。",
         {"矩形梁", "现浇构件模板"}},
        {"010505001",
         "有梁板",
         "m3",
         "混凝土种类、混凝土强度等级",
         "模板及支架制作、安装、拆除；混凝土制作、运输、浇筑、振捣、养护。",
         {"有梁板", "现浇构件模板"}},
        {"010515001",
         "现浇构件钢筋",
         "t",
         "钢筋种类、规格",
         "钢筋制作、运输；钢筋安装；焊接（绑扎）。",
         {"现浇构件带肋钢筋", "现浇构件圆钢筋"}},
        {"010603001",
         "实腹钢柱",
         "t",
         "柱类型、钢材品种、规格、单根柱质量",
         "拼装；安装；探伤；补刷油漆。",
         {"钢柱", "金属面油漆"}},
        {"010902001",
         "屋面卷材防水",
         "m2",
         "卷材品种、规格、厚度、防水层数",
         "基层处理；刷底油；铺油毡卷材、接缝。",
         {"屋面卷材防水"}},
        {"010902002",
         "屋面涂膜防水",
         "m2",
         "防水膜品种、涂膜厚度、遍数",
         "基层处理；刷基层处理剂；铺布、喷涂防水层。",
         {"屋面涂膜防水"}},
        {"010902004",
         "屋面排水管",
         "m",
         "排水管品种、规格",
         "排水管及配件安装、固定；雨水斗、山墙出水口安装。",
         {"屋面排水管"}},
        {"011101001",
         "水泥砂浆楼地面",
         "m2",
         "找平层厚度、砂浆配合比、面层厚度",
         "基层清理；抹找平层；抹面层；材料运输。",
         {"找平层", "整体面层"}},
        {"011102003",
         "块料楼地面",
         "m2",
         "找平层厚度、砂浆配合比、面层材料品种、规格",
         "基层清理；抹找平层；面层铺设、磨边；嵌缝；酸洗、打蜡。",
         {"块料面层", "找平层"}},
        {"011201001",
         "墙面一般抹灰",
         "m2",
         "墙体类型、底层厚度、砂浆配合比",
         "基层清理；砂浆制作、运输；底层抹灰；抹面层。",
         {"墙面抹灰"}},
        {"011701001",
         "综合脚手架",
         "m2",
         "建筑结构形式、檐口高度",
         "场内、场外材料搬运；搭、拆脚手架；安全网的铺设。",
         {"综合脚手架"}},
        {"030411001",
         "配管",
         "m",
         "名称、材质、规格、配置形式",
         "电线管路敷设；预留沟槽；接地。",
         {"电线管敷设"}},
        {"030411004",
         "配线",
         "m",
         "名称、配线形式、型号、规格",
         "配线；钢索架设；支持体安装。",
         {"管内穿线"}},
        {"030412001", "普通灯具", "套", "名称、型号、规格、类型", "本体安装。", {"普通灯具安装"}},
        {"031001001",
         "镀锌钢管",
         "m",
         "安装部位、介质、规格、压力等级、连接形式",
         "管道安装；管件制作、安装；压力试验；吹扫、冲洗。",
         {"室内给水管道"}},
        {"031001006",
         "塑料管",
         "m",
         "安装部位、介质、材质、规格、连接形式",
         "管道安装；管件安装；压力试验；吹扫、冲洗。",
         {"室内排水管道"}},
        {"031004003", "洗脸盆", "组", "材质、规格、类型、组装形式", "器具安装；附件安装。", {"洗脸盆"}},
        {"050101001", "砍伐乔木", "株", "树干胸径、高度", "砍伐；废弃物运输；场地清理。", {}},
        {"050101002", "挖树根（蔸）", "株", "地径", "挖树根；废弃物运输；场地清理。", {}},
    };
    return templates;
}

// Example answers per feature, found by a word of the feature's name and cycled by variant so that the
// variants of one item differ.
struct FeatureAnswers {
    const char* word;
    std::vector<const char*> answers;
};

const FeatureAnswers kFeatureAnswers[] = {
    {"土壤类别", {"一、二类土", "三类土", "四类土"}},
    {"岩石类别", {"软质岩", "较硬岩"}},
    {"深度", {"2m以内", "4m以内", "6m以内"}},
    {"运距", {"1km以内", "5km以内", "10km以内"}},
    {"混凝土", {"C25", "C30", "C35"}},
    {"砂浆", {"M5.0混合砂浆", "M7.5水泥砂浆", "M10水泥砂浆"}},
    {"砖", {"MU10标准砖", "MU15多孔砖"}},
    {"钢筋", {"HRB400 Φ12", "HPB300 Φ8", "HRB400 Φ25"}},
    {"规格", {"DN25", "DN50", "800×800"}},
    {"材质", {"镀锌钢管", "PP-R", "PVC-U"}},
    {"形式", {"暗配", "明配"}},
    {"厚度", {"20mm", "30mm", "3mm"}},
    {"品种", {"详见设计图纸", "按设计要求"}},
};

const char* featureAnswer(const std::string& feature, size_t variant) {
    for (const FeatureAnswers& f : kFeatureAnswers) {
        if (feature.find(f.word) != std::string::npos) return f.answers[variant % f.answers.size()];
    }
    return "详见设计图纸";
}

std::string featureText(const char* features, size_t variant) {
    std::string out;
    std::string names(features);
    size_t start = 0;
    int n = 0;
    const std::string separator = "、";
    while (start <= names.size()) {
        size_t end = names.find(separator, start);
        if (end == std::string::npos) end = names.size();
        if (!out.empty()) out += "\r\n";
        ++n;
        const std::string feature = names.substr(start, end - start);
        out += std::to_string(n) + "." + feature + "：" + featureAnswer(feature, variant);
        start = end + separator.size();
    }
    return out;
}

std::string rulerFor(const std::string& unit) {
    if (unit == "m2") return "按设计图示尺寸以面积计算。";
    if (unit == "m3") return "按设计图示尺寸以体积计算。";
    if (unit == "m") return "按设计图示尺寸以长度计算。";
    if (unit == "t") return "按设计图示钢筋（网）长度（面积）乘单位理论质量计算。";
    return "按设计图示数量计算。";
}

/// The related rows of one bill item, numbered by `code` in list order.
class RelatedList {
public:
    void add(int64_t level, std::optional<std::string> name, const char* kind, int64_t dmId,
             const std::string& deKey) {
        m_rows.push_back(
            {static_cast<int64_t>(m_rows.size() + 1), level, std::move(name), kind, dmId, deKey});
    }
    std::vector<RelatedRow> take() { return std::move(m_rows); }

private:
    std::vector<RelatedRow> m_rows;
};

// The related quotas of variant `variant` of a bill item, by variant modulo 4: 0 nests them two levels deep
// under "主体项目" and a heading per quota leaf, 2 lists them under "主体项目", 1 lists them directly below
// the bill item, 3 has none. Of each leaf's two quotas the second carries its own name; the first has none,
// Null in the first leaf and "" in the second. Earthwork items ("0101") add a quota missing from its library
// (variant 1) and, last, one of a library that is not installed (variant 2).
std::vector<RelatedRow> relatedRows(const BillTemplate& t, size_t variant, const QuotaContent& quotas,
                                    const std::string& deKey, const BillQuotaSources& sources) {
    RelatedList list;
    if (variant % 4 == 3 || t.quotaLeaves.empty()) return list.take();
    const bool nested = variant % 4 == 0;
    const bool grouped = variant % 4 != 1;
    if (grouped) list.add(0, "主体项目", "Title", 0, deKey);
    const int64_t quotaLevel = nested ? 2 : grouped ? 1 : 0;
    for (size_t l = 0; l < t.quotaLeaves.size(); ++l) {
        const char* leaf = t.quotaLeaves[l];
        auto found = quotas.itemsByLeaf.find(leaf);
        if (found == quotas.itemsByLeaf.end() || found->second.empty()) continue;
        if (nested) list.add(1, leaf, "Title", 0, deKey);
        const auto& ids = found->second;
        for (size_t j = 0; j < 2 && j < ids.size(); ++j) {
            const int64_t dmId = ids[(variant + j * 3) % ids.size()];
            std::optional<std::string> name;
            if (j == 1) {
                name = std::string(leaf) + "（参考）";
            } else if (l % 2 == 1) {
                name = "";
            }
            list.add(quotaLevel, std::move(name), "DE", dmId, deKey);
        }
    }
    if (std::string(t.code).starts_with("0101")) {
        if (variant % 4 == 1) list.add(quotaLevel, "场内清理（补充子目）", "DE", sources.missingQuota, deKey);
        if (variant % 4 == 2)
            list.add(quotaLevel, std::nullopt, "DE", sources.uninstalledQuota, sources.uninstalledKey);
    }
    return list.take();
}

/// Leaves out some of a bill item's texts, by its ID modulo 10: 1 keeps only the work content, 2 has an
/// empty ("") work content, 3 has none of the three, 4 keeps only the measurement rule.
void blankTexts(BillItem& item) {
    switch (item.id % 10) {
        case 1:
            item.feature.reset();
            item.ruler.reset();
            break;
        case 2:
            item.content = "";
            break;
        case 3:
            item.feature.reset();
            item.content.reset();
            item.ruler.reset();
            break;
        case 4:
            item.feature.reset();
            item.content.reset();
            break;
        default:
            break;
    }
}

}  // namespace

BillContent makeBillContent(int scale, const BillQuotaSources& sources) {
    constexpr size_t kVariantsPerItem = 4;
    BillContent content;
    std::map<std::string, int64_t> categoryIds;
    for (const auto& c : billCategories()) {
        const std::string code = c.classCode;
        const int64_t id = static_cast<int64_t>(content.categories.size() + 1);
        auto parent = categoryIds.find(code.substr(0, code.size() - 2));
        const int64_t parentId = code.size() > 2 && parent != categoryIds.end() ? parent->second : 0;
        content.categories.push_back({id, parentId, c.name, code, id});
        categoryIds[code] = id;
    }
    int64_t id = 0;
    for (const BillTemplate& t : billTemplates()) {
        const bool installationItem = std::string(t.code).starts_with("03");
        const QuotaContent& quotas = installationItem ? *sources.installation : *sources.building;
        const std::string& deKey = installationItem ? sources.installationKey : sources.buildingKey;
        const size_t variants = kVariantsPerItem * static_cast<size_t>(scale);
        const int64_t firstOfTemplate = id + 1;
        for (size_t v = 0; v < variants; ++v) {
            BillItem item;
            item.id = ++id;
            item.code = std::string(t.code) + zeroPadded(v + 1, 3);
            item.name = t.name;
            item.unit = t.unit;
            item.classCode = std::string(t.code).substr(0, 6);
            // Neighbouring variants swap places in the list order (OCode), so it is not ID order.
            item.order = firstOfTemplate + static_cast<int64_t>((v ^ 1) < variants ? (v ^ 1) : v);
            item.feature = featureText(t.features, v);
            item.content = t.content;
            item.ruler = rulerFor(item.unit);
            blankTexts(item);
            item.related = relatedRows(t, v, quotas, deKey, sources);
            // Bill items with an odd ID store their related rows backwards: only Code gives the list order.
            if (item.id % 2 == 1) std::reverse(item.related.begin(), item.related.end());
            content.items.push_back(std::move(item));
        }
    }
    // A category with an empty class code: it lists every bill item.
    const auto everything = static_cast<int64_t>(content.categories.size() + 1);
    content.categories.push_back({everything, 0, "全部清单", "", everything});
    // The library stores its bill items newest first: neither ID nor OCode order.
    std::reverse(content.items.begin(), content.items.end());
    return content;
}

}  // namespace sample

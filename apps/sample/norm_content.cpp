#include "norm_content.h"

#include <algorithm>
#include <cmath>

namespace sample {

uint64_t Random::below(uint64_t bound) {
    // splitmix64: tiny, fast and identical everywhere, unlike the standard distributions.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return bound == 0 ? 0 : z % bound;
}

std::string zeroPadded(size_t n, size_t width) {
    std::string digits = std::to_string(n);
    return digits.size() >= width ? digits : std::string(width - digits.size(), '0') + digits;
}

double Random::money(double lo, double hi) {
    const auto cents = static_cast<uint64_t>(std::llround((hi - lo) * 100));
    // Whole cents divided once, so the amount is the double nearest its two-decimal text.
    return static_cast<double>(std::llround(lo * 100) + static_cast<int64_t>(below(cents + 1))) / 100.0;
}

namespace {

/// Two lists of qualifiers whose combinations tell the items of one leaf apart.
struct Qualifiers {
    std::vector<std::string> first;
    std::vector<std::string> second;
};

const Qualifiers kSoil{{"一、二类土", "三类土", "四类土"},
                       {"深度2m以内", "深度4m以内", "深度6m以内", "深度8m以内"}};
const Qualifiers kRock{{"软质岩", "较硬岩", "坚硬岩"}, {"人工凿除", "风镐破碎", "液压锤破碎"}};
const Qualifiers kHaul{{"运距1km以内", "每增加1km"}, {"8t自卸汽车", "12t自卸汽车", "15t自卸汽车"}};
const Qualifiers kFill{{"人工夯填", "机械夯填", "松填"}, {"素土", "灰土", "砂石"}};
const Qualifiers kPile{{"桩长12m以内", "桩长25m以内", "桩长45m以内"},
                       {"桩径400mm以内", "桩径600mm以内", "桩径800mm以内", "桩径1000mm以内"}};
const Qualifiers kMasonry{{"M5.0混合砂浆", "M7.5混合砂浆", "M5.0水泥砂浆", "M10水泥砂浆"},
                          {"墙厚115mm", "墙厚180mm", "墙厚240mm", "墙厚365mm"}};
const Qualifiers kConcrete{{"C15", "C20", "C25", "C30", "C35", "C40"}, {"商品混凝土", "现场搅拌混凝土"}};
const Qualifiers kRebar{{"HPB300", "HRB400", "HRB500"},
                        {"直径10mm以内", "直径18mm以内", "直径25mm以内", "直径25mm以上"}};
const Qualifiers kSteel{{"0.5t以内", "1.5t以内", "3t以内", "3t以上"}, {"制作", "安装"}};
const Qualifiers kWood{{"杉木", "松木"}, {"跨度6m以内", "跨度9m以内", "跨度12m以内"}};
const Qualifiers kDoor{{"平开", "推拉", "固定"}, {"铝合金", "塑钢", "钢质", "木质"}};
const Qualifiers kWaterproof{{"SBS改性沥青卷材", "高分子卷材", "聚氨酯涂膜", "JS防水涂料"}, {"平面", "立面"}};
const Qualifiers kDrain{{"PVC-U", "铸铁", "镀锌钢"}, {"DN100", "DN150"}};
const Qualifiers kInsulation{{"挤塑聚苯板", "岩棉板", "泡沫玻璃", "聚氨酯发泡"},
                             {"厚50mm", "厚80mm", "厚100mm"}};
const Qualifiers kThickness{{"厚20mm", "厚30mm", "厚40mm", "厚50mm"}, {"水泥砂浆", "细石混凝土", "干混砂浆"}};
const Qualifiers kTile{{"地砖", "大理石", "花岗岩"}, {"周长1600mm以内", "周长2400mm以内", "周长3200mm以内"}};
const Qualifiers kFinish{{"混凝土面", "砖墙面", "轻质墙面"}, {"一般抹灰", "装饰抹灰", "拉毛"}};
const Qualifiers kCeiling{{"轻钢龙骨", "铝合金龙骨", "木龙骨"}, {"石膏板面层", "矿棉板面层", "铝扣板面层"}};
const Qualifiers kPaint{{"两遍", "三遍"}, {"乳胶漆", "调和漆", "防火涂料", "真石漆"}};
const Qualifiers kScaffold{{"高度15m以内", "高度30m以内", "高度50m以内", "高度100m以内"},
                           {"钢管", "碗扣式", "盘扣式"}};
const Qualifiers kFormwork{{"复合木模板", "钢模板", "铝合金模板"}, {"木支撑", "钢支撑"}};
const Qualifiers kConduit{{"SC15", "SC20", "SC25", "SC32", "SC50"}, {"暗配", "明配"}};
const Qualifiers kCable{{"截面16mm2以内", "截面35mm2以内", "截面70mm2以内", "截面120mm2以内"},
                        {"铜芯", "铝芯"}};
const Qualifiers kDevice{{"单联", "双联", "三联"}, {"暗装", "明装"}};
const Qualifiers kPipe{{"DN15", "DN20", "DN25", "DN32", "DN50", "DN80", "DN100"},
                       {"镀锌钢管", "PP-R管", "PVC-U管"}};
const Qualifiers kDuct{{"周长800mm以内", "周长2000mm以内", "周长4000mm以内"},
                       {"δ=0.75mm", "δ=1.0mm", "δ=1.2mm"}};
const Qualifiers kTree{{"胸径5cm以内", "胸径8cm以内", "胸径12cm以内"}, {"带土球", "裸根"}};
const Qualifiers kStone{{"青白石", "汉白玉", "花岗石"}, {"剁斧", "扁光", "磨光"}};
const Qualifiers kPrecast{{"预制柱", "预制梁", "预制叠合板", "预制楼梯", "预制墙板"},
                          {"单件体积0.5m3以内", "单件体积1m3以内"}};
const Qualifiers kRoad{{"厚15cm", "厚20cm", "厚25cm", "厚30cm"}, {"水泥稳定碎石", "级配碎石", "沥青混凝土"}};

struct Leaf {
    const char* name;
    const char* unit;
    const Qualifiers* qualifiers;
};

struct Section {
    const char* name;
    const char* work;
    std::vector<Leaf> leaves;
};

struct Chapter {
    const char* name;
    std::vector<Section> sections;
};

const std::vector<Chapter>& buildingChapters() {
    static const std::vector<Chapter> chapters{
        {"土石方工程",
         {{"人工土石方",
           "挖土、抛土、修整底边、边坡；场内运输。",
           {{"挖一般土方", "100m3", &kSoil},
            {"挖沟槽土方", "100m3", &kSoil},
            {"挖基坑土方", "100m3", &kSoil},
            {"人工凿石", "100m3", &kRock}}},
          {"机械土石方",
           "挖土、装车、运土、卸土，清理机下余土。",
           {{"挖掘机挖土", "1000m3", &kSoil},
            {"自卸汽车运土方", "1000m3", &kHaul},
            {"推土机推土", "1000m3", &kSoil}}},
          {"回填及其他",
           "取土、回填、分层夯实；场地找平。",
           {{"回填土", "100m3", &kFill}, {"平整场地", "100m2", &kSoil}}}}},
        {"地基处理与桩基工程",
         {{"地基处理",
           "准备机具、移位、成桩、清理。",
           {{"水泥搅拌桩", "10m3", &kPile}, {"强夯地基", "100m2", &kSoil}}},
          {"预制桩",
           "准备打桩机具、吊装定位、打桩、校正。",
           {{"打预制钢筋混凝土方桩", "10m3", &kPile}, {"静力压预应力管桩", "100m", &kPile}}},
          {"灌注桩",
           "成孔、安放钢筋笼、灌注混凝土、清理。",
           {{"钻孔灌注桩", "10m3", &kPile}, {"人工挖孔桩", "10m3", &kPile}}}}},
        {"砌筑工程",
         {{"砖砌体",
           "调、运、铺砂浆，运、砌砖；安放木砖、垫块。",
           {{"砖基础", "10m3", &kMasonry}, {"实心砖墙", "10m3", &kMasonry}, {"多孔砖墙", "10m3", &kMasonry}}},
          {"砌块砌体",
           "调、运、铺砂浆，运、砌砌块；安放拉结筋。",
           {{"加气混凝土砌块墙", "10m3", &kMasonry}, {"轻集料混凝土小型空心砌块墙", "10m3", &kMasonry}}},
          {"石砌体",
           "选石、修石、调运砂浆、砌石、勾缝。",
           {{"毛石基础", "10m3", &kMasonry}, {"毛石挡土墙", "10m3", &kMasonry}}}}},
        {"混凝土及钢筋混凝土工程",
         {{"现浇混凝土",
           "混凝土浇筑、振捣、养护。",
           {{"基础垫层", "10m3", &kConcrete},
            {"独立基础", "10m3", &kConcrete},
            {"矩形柱", "10m3", &kConcrete},
            {"矩形梁", "10m3", &kConcrete},
            {"直形墙", "10m3", &kConcrete},
            {"有梁板", "10m3", &kConcrete},
            {"直形楼梯", "10m2", &kConcrete}}},
          {"钢筋",
           "钢筋制作、运输、绑扎、安装。",
           {{"现浇构件圆钢筋", "t", &kRebar},
            {"现浇构件带肋钢筋", "t", &kRebar},
            {"钢筋网片", "t", &kRebar}}},
          {"预制混凝土",
           "混凝土浇筑、振捣、养护；构件运输、安装。",
           {{"预制过梁", "10m3", &kConcrete}, {"预制空心板", "10m3", &kConcrete}}}}},
        {"金属结构工程",
         {{"钢构件",
           "放样、下料、切割、拼装、焊接、成品矫正；构件安装。",
           {{"钢柱", "t", &kSteel},
            {"钢梁", "t", &kSteel},
            {"钢屋架", "t", &kSteel},
            {"钢支撑", "t", &kSteel}}}}},
        {"木结构工程",
         {{"木构件", "制作、运输、安装、刷防腐油。", {{"木屋架", "m3", &kWood}, {"木檩条", "m3", &kWood}}}}},
        {"门窗工程",
         {{"门窗安装",
           "安装门窗框扇、五金配件，塞缝、清理。",
           {{"成品门安装", "100m2", &kDoor},
            {"成品窗安装", "100m2", &kDoor},
            {"防火门安装", "100m2", &kDoor},
            {"卷帘门安装", "100m2", &kDoor}}}}},
        {"屋面及防水工程",
         {{"防水",
           "清理基层、刷基层处理剂、铺贴卷材或涂刷涂膜、收头。",
           {{"屋面卷材防水", "100m2", &kWaterproof},
            {"屋面涂膜防水", "100m2", &kWaterproof},
            {"墙面防水", "100m2", &kWaterproof}}},
          {"屋面排水", "埋设管卡、排水管安装、接口、固定。", {{"屋面排水管", "100m", &kDrain}}}}},
        {"保温、隔热、防腐工程",
         {{"保温隔热",
           "清理基层、铺贴保温层、刷粘结剂。",
           {{"屋面保温", "100m2", &kInsulation},
            {"墙面保温", "100m2", &kInsulation},
            {"防腐面层", "100m2", &kThickness}}}}},
        {"楼地面装饰工程",
         {{"整体面层",
           "清理基层、调运砂浆、抹面、压光、养护。",
           {{"找平层", "100m2", &kThickness}, {"整体面层", "100m2", &kThickness}}},
          {"块料面层",
           "清理基层、试排弹线、锯板修边、铺贴饰面、清理净面。",
           {{"块料面层", "100m2", &kTile}, {"踢脚线", "100m", &kTile}}}}},
        {"墙、柱面装饰与隔断、幕墙工程",
         {{"抹灰",
           "清理基层、修补堵眼、湿润基层、调运砂浆、分层抹灰。",
           {{"墙面抹灰", "100m2", &kFinish}, {"柱面抹灰", "100m2", &kFinish}}},
          {"块料与幕墙",
           "选料、弹线、镶贴面层、勾缝、清洁表面。",
           {{"墙面块料", "100m2", &kTile}, {"玻璃幕墙", "100m2", &kDoor}}}}},
        {"天棚工程",
         {{"天棚",
           "清理基层、安装龙骨、铺钉面层、嵌缝。",
           {{"天棚抹灰", "100m2", &kFinish}, {"天棚吊顶", "100m2", &kCeiling}}}}},
        {"油漆、涂料、裱糊工程",
         {{"油漆涂料",
           "清扫、磨砂纸、刮腻子、刷底油、刷面漆。",
           {{"木材面油漆", "100m2", &kPaint},
            {"金属面油漆", "t", &kPaint},
            {"抹灰面涂料", "100m2", &kPaint}}}}},
        {"措施项目",
         {{"脚手架及垂直运输",
           "场内外材料搬运、搭设、拆除；垂直运输机械的使用。",
           {{"综合脚手架", "100m2", &kScaffold},
            {"单项脚手架", "100m2", &kScaffold},
            {"垂直运输", "100m2", &kScaffold}}},
          {"模板", "模板制作、安装、拆除、整理堆放及场内外运输。", {{"现浇构件模板", "100m2", &kFormwork}}}}},
        {"补充定额", {}},  // a chapter without items
    };
    return chapters;
}

const std::vector<Chapter>& installationChapters() {
    static const std::vector<Chapter> chapters{
        {"电气设备安装工程",
         {{"配管配线",
           "测位、划线、打眼、埋螺栓、锯管、套丝、煨弯、配管、穿线。",
           {{"电线管敷设", "100m", &kConduit},
            {"刚性阻燃管敷设", "100m", &kConduit},
            {"管内穿线", "100m单线", &kCable}}},
          {"电缆", "开盘、检查、架盘、敷设、锯断、排列、整理、固定。", {{"电力电缆敷设", "100m", &kCable}}},
          {"照明器具",
           "测位、划线、打眼、安装、接线、通电试验。",
           {{"普通灯具安装", "10套", &kDevice},
            {"开关安装", "10套", &kDevice},
            {"插座安装", "10套", &kDevice}}}}},
        {"给排水、采暖、燃气工程",
         {{"管道",
           "管道安装、管件安装、水压试验及水冲洗。",
           {{"室内给水管道", "10m", &kPipe}, {"室内排水管道", "10m", &kPipe}}},
          {"阀门与卫生器具",
           "切管、套丝、安装、试水。",
           {{"螺纹阀门", "个", &kPipe}, {"洗脸盆", "10组", &kDevice}, {"坐便器", "10套", &kDevice}}}}},
        {"通风空调工程",
         {{"风管与风口",
           "风管制作、安装；风口安装、固定。",
           {{"镀锌薄钢板风管", "10m2", &kDuct}, {"风口安装", "个", &kDuct}}}}},
        {"消防工程",
         {{"水灭火系统",
           "管道安装、喷头安装、试压冲洗。",
           {{"水喷淋钢管", "10m", &kPipe}, {"喷头安装", "10个", &kDevice}, {"消火栓安装", "套", &kDevice}}}}},
    };
    return chapters;
}

const std::vector<Chapter>& municipalChapters() {
    static const std::vector<Chapter> chapters{
        {"道路工程",
         {{"路基与基层",
           "放样、整修路拱、碾压、养护。",
           {{"路床整形", "100m2", &kRoad}, {"道路基层", "100m2", &kRoad}}},
          {"面层", "清扫路基、摊铺、碾压、养护。", {{"沥青混凝土面层", "100m2", &kRoad}}}}},
        {"排水工程",
         {{"管道铺设", "排管、下管、调直、找平、接口、闭水试验。", {{"排水管道铺设", "100m", &kPipe}}}}},
    };
    return chapters;
}

const std::vector<Chapter>& landscapeChapters() {
    static const std::vector<Chapter> chapters{
        {"绿化工程",
         {{"栽植花木",
           "挖坑、栽植、扶正、回土、浇水、清理。",
           {{"栽植乔木", "株", &kTree}, {"栽植灌木", "株", &kTree}}},
          {"绿地整理", "清除杂物、整理地形、回填土。", {{"绿地平整", "100m2", &kFill}}}}},
    };
    return chapters;
}

const std::vector<Chapter>& restorationChapters() {
    static const std::vector<Chapter> chapters{
        {"石作工程",
         {{"石构件", "选料、加工、安装、勾缝。", {{"阶条石", "m3", &kStone}, {"柱顶石", "m3", &kStone}}}}},
        {"木作工程",
         {{"大木构架", "制作、安装、校正。", {{"木柱", "m3", &kWood}, {"木梁枋", "m3", &kWood}}}}},
    };
    return chapters;
}

const std::vector<Chapter>& repairChapters() {
    static const std::vector<Chapter> chapters{
        {"拆除工程",
         {{"结构拆除",
           "拆除、清理、归堆。",
           {{"砖墙拆除", "10m3", &kMasonry}, {"混凝土构件拆除", "10m3", &kConcrete}}}}},
        {"修补工程", {{"抹灰修补", "铲除旧灰、清理、抹灰。", {{"墙面抹灰修补", "100m2", &kFinish}}}}},
    };
    return chapters;
}

// The section that the revised edition of the building book adds to its concrete chapter.
const Section kPrecastSection{"装配式混凝土构件",
                              "构件吊装、就位、校正、临时支撑、灌浆、清理。",
                              {{"装配式构件安装", "10m3", &kPrecast}}};
constexpr const char* kConcreteChapterClass = "04";
constexpr const char* kRevisedNote = "混凝土强度等级与定额不同时，按配合比换算，其余不变。";

struct BookPlan {
    const std::vector<Chapter>* chapters;
    int itemsPerLeaf;
    uint64_t seed;
};

BookPlan planOf(NormBook book) {
    switch (book) {
        case NormBook::Building:
            return {&buildingChapters(), 40, 11};
        case NormBook::Installation:
            return {&installationChapters(), 12, 23};
        case NormBook::Municipal:
            return {&municipalChapters(), 6, 37};
        case NormBook::Landscape:
            return {&landscapeChapters(), 6, 41};
        case NormBook::Restoration:
            return {&restorationChapters(), 6, 43};
        case NormBook::Repair:
            return {&repairChapters(), 6, 47};
    }
    return {&buildingChapters(), 0, 0};
}

std::string twoDigits(size_t n) {
    return zeroPadded(n, 2);
}

// The k-th item name of a leaf: every qualifier combination first, then numbered further types.
std::string variantName(const Leaf& leaf, size_t k) {
    const Qualifiers& q = *leaf.qualifiers;
    const size_t combinations = q.first.size() * q.second.size();
    std::string name = std::string(leaf.name) + " " + q.first[k % q.first.size()] + " " +
                       q.second[(k / q.first.size()) % q.second.size()];
    if (k >= combinations) name += " 型" + std::to_string(k / combinations + 1);
    return name;
}

const char* kNotes[] = {
    "本定额已包括施工操作损耗，不得另行计算。",
    "工程量按设计图示尺寸计算。",
    "设计要求与定额不同时，按本章说明调整。",
    "定额中机械台班按常用机型综合取定，实际不同时不作调整。",
};

const char* kErrata[] = {
    "人工消耗量由 1.820 工日更正为 1.280 工日。",
    "材料“水泥 P.O 42.5”消耗量更正为 0.315t。",
    "计量单位由 10m3 更正为 100m3。",
    "工作内容增加“清理基层”。",
};

// Sort keys of the k-th item of a leaf, whose preceding item took number `sequence`. In every eight items
// the seventh is an appendix (Code3 1) and the eighth a variant (Code4 1) of the sixth, so that creation
// order, Code1..Code4 order and a sort on Code1 and Code2 alone all differ.
void assignCodes(QuotaItem& item, size_t k, int64_t& sequence) {
    switch (k % 8) {
        case 6:
            item.code2 = sequence;
            item.code3 = 1;
            break;
        case 7:
            item.code2 = sequence;
            item.code4 = 1;
            break;
        default:
            item.code2 = ++sequence;
            break;
    }
    item.deCode = std::to_string(item.code1) + "-" + std::to_string(item.code2);
    if (item.code3 != 0 || item.code4 != 0) item.deCode += "-" + std::to_string(item.code3);
    if (item.code4 != 0) item.deCode += "-" + std::to_string(item.code4);
}

// The first leaf of every book has an item without a unit, one without a code and one without a name
// (the writer stores an empty text as Null).
void blankFieldsOfFirstLeaf(QuotaItem& item, size_t k) {
    if (k == 1) item.unit.clear();
    if (k == 2) item.deCode.clear();
    if (k == 3) item.name.clear();
}

}  // namespace

QuotaContent makeQuotaContent(NormBook book, int64_t firstId, int scale) {
    const BookPlan plan = planOf(book);
    Random random(plan.seed);
    QuotaContent content;
    int64_t categoryId = 0;
    int64_t itemId = firstId;
    size_t leafNumber = 0;
    for (size_t c = 0; c < plan.chapters->size(); ++c) {
        const Chapter& chapter = (*plan.chapters)[c];
        const std::string chapterClass = twoDigits(c + 1);
        const int64_t chapterId = ++categoryId;
        content.categories.push_back({chapterId, 0, chapter.name, chapterClass, chapterId});
        int64_t sequence = 0;  // item number within the chapter: the "N" of quota code "C-N"
        for (size_t s = 0; s < chapter.sections.size(); ++s) {
            const Section& section = chapter.sections[s];
            const std::string sectionClass = chapterClass + twoDigits(s + 1);
            const int64_t sectionId = ++categoryId;
            content.categories.push_back({sectionId, chapterId, section.name, sectionClass, sectionId});
            for (size_t l = 0; l < section.leaves.size(); ++l) {
                const Leaf& leaf = section.leaves[l];
                const std::string leafClass = sectionClass + twoDigits(l + 1);
                const int64_t leafId = ++categoryId;
                content.categories.push_back({leafId, sectionId, leaf.name, leafClass, leafId});
                auto& leafItems = content.itemsByLeaf[leaf.name];
                const auto count = static_cast<size_t>(plan.itemsPerLeaf * scale);
                // Every other leaf numbers its items backwards, so ID order is not code order there either.
                const bool backwards = leafNumber++ % 2 == 1;
                std::vector<QuotaItem> leafContent;
                for (size_t k = 0; k < count; ++k) {
                    QuotaItem item;
                    item.id = itemId + static_cast<int64_t>(backwards ? count - 1 - k : k);
                    item.code1 = static_cast<int64_t>(c + 1);
                    assignCodes(item, k, sequence);
                    item.name = variantName(leaf, k);
                    item.unit = leaf.unit;
                    if (leafNumber == 1) blankFieldsOfFirstLeaf(item, k);
                    item.classCode = leafClass;
                    item.workInfo = section.work;
                    if (random.below(5) == 0) item.notes = kNotes[random.below(std::size(kNotes))];
                    item.labour = random.money(80, 4000);
                    item.material = random.money(0, 9000);
                    item.machine = random.money(0, 1500);
                    leafItems.push_back(item.id);
                    // About one item in seventy has published corrections, a few of them more than one.
                    if (random.below(70) == 0) {
                        const uint64_t corrections = 1 + random.below(3);
                        for (uint64_t e = 0; e < corrections; ++e) {
                            content.errata.push_back({item.id, 2019 + static_cast<int>(e),
                                                      1 + static_cast<int>(random.below(12)),
                                                      1 + static_cast<int>(random.below(28)),
                                                      kErrata[random.below(std::size(kErrata))]});
                        }
                    }
                    leafContent.push_back(std::move(item));
                }
                // Items are stored in ID order.
                if (backwards) std::reverse(leafContent.begin(), leafContent.end());
                for (QuotaItem& item : leafContent) content.items.push_back(std::move(item));
                itemId += static_cast<int64_t>(count);
            }
        }
    }
    // A category with an empty class code: it lists every item.
    ++categoryId;
    content.categories.push_back({categoryId, 0, "全部子目", "", categoryId});
    return content;
}

int64_t addedInRevision(int scale) {
    return 10 * static_cast<int64_t>(scale);
}

void reviseQuotaContent(QuotaContent& content, int scale) {
    Random random(53);
    // "调整人工单价": labour up by 3 percent, in whole cents.
    for (QuotaItem& item : content.items)
        item.labour = static_cast<double>(std::llround(item.labour * 103)) / 100.0;
    // "更正第四章混凝土强度等级换算说明": the notes of every tenth item of the concrete chapter.
    int64_t lastId = 0, lastCategory = 0, chapterId = 0, sections = 0, sequence = 0;
    for (QuotaItem& item : content.items) {
        lastId = std::max(lastId, item.id);
        if (!item.classCode.starts_with(kConcreteChapterClass)) continue;
        sequence = std::max(sequence, item.code2);
        if (item.code2 % 10 == 1) item.notes = kRevisedNote;
    }
    for (const Category& c : content.categories) {
        lastCategory = std::max(lastCategory, c.id);
        if (c.classCode == kConcreteChapterClass) chapterId = c.id;
    }
    for (const Category& c : content.categories)
        sections += c.parentId == chapterId && chapterId != 0 ? 1 : 0;
    // "新增装配式混凝土构件安装子目": a section with one leaf of new items in the concrete chapter.
    const std::string sectionClass =
        std::string(kConcreteChapterClass) + twoDigits(static_cast<size_t>(sections) + 1);
    const Leaf& leaf = kPrecastSection.leaves.front();
    const int64_t sectionId = lastCategory + 1, leafId = lastCategory + 2;
    content.categories.push_back({sectionId, chapterId, kPrecastSection.name, sectionClass, sectionId});
    content.categories.push_back({leafId, sectionId, leaf.name, sectionClass + "01", leafId});
    auto& leafItems = content.itemsByLeaf[leaf.name];
    for (int64_t k = 0; k < addedInRevision(scale); ++k) {
        QuotaItem item;
        item.id = ++lastId;
        item.code1 = 4;
        item.code2 = ++sequence;
        item.deCode = "4-" + std::to_string(item.code2);
        item.name = variantName(leaf, static_cast<size_t>(k));
        item.unit = leaf.unit;
        item.classCode = sectionClass + "01";
        item.workInfo = kPrecastSection.work;
        item.labour = random.money(300, 2500);
        item.material = random.money(2000, 9000);
        item.machine = random.money(100, 1500);
        leafItems.push_back(item.id);
        content.items.push_back(std::move(item));
    }
}

}  // namespace sample

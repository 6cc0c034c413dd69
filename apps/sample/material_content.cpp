// The material library's categories and materials.
#include "norm_content.h"

namespace sample {
namespace {

struct MaterialLeaf {
    const char* name;
    const char* unit;
    double lowPrice, highPrice;
    std::vector<const char*> grades;
};

struct MaterialGroup {
    const char* name;
    std::vector<MaterialLeaf> leaves;
};

const std::vector<MaterialGroup>& materialGroups() {
    static const std::vector<MaterialGroup> groups{
        {"黑色及有色金属",
         {{"圆钢", "t", 3800, 4600, {"HPB300 Φ6", "HPB300 Φ8", "HPB300 Φ10"}},
          {"螺纹钢筋",
           "t",
           3900,
           4800,
           {"HRB400 Φ12", "HRB400 Φ16", "HRB400 Φ20", "HRB400 Φ25", "HRB400 Φ32"}},
          {"型钢", "t", 4100, 5200, {"角钢 L50×5", "槽钢 [10", "工字钢 I20a", "H型钢 200×200"}},
          {"钢板", "t", 4200, 5600, {"δ=6mm", "δ=10mm", "δ=20mm"}}}},
        {"水泥、砖瓦灰砂石",
         {{"水泥", "t", 380, 560, {"P.O 32.5", "P.O 42.5", "P.O 52.5", "P.S.A 32.5"}},
          {"砂", "m3", 90, 180, {"中砂", "粗砂", "细砂", "机制砂"}},
          {"碎石", "m3", 85, 160, {"5-20mm", "5-31.5mm", "5-40mm"}},
          {"砖",
           "千块",
           380,
           720,
           {"标准砖 240×115×53", "多孔砖 240×115×90", "加气混凝土砌块 600×240×200"}}}},
        {"木材",
         {{"原木", "m3", 1200, 2400, {"杉原木", "松原木"}},
          {"板方材", "m3", 1800, 3200, {"一等杉板方材", "二等松板方材"}},
          {"胶合板", "m2", 25, 90, {"δ=12mm", "δ=15mm", "δ=18mm"}}}},
        {"混凝土及砂浆",
         {{"商品混凝土", "m3", 360, 620, {"C15", "C20", "C25", "C30", "C35", "C40", "C50"}},
          {"干混砂浆", "t", 280, 460, {"DM M5.0", "DM M7.5", "DM M10", "DP M15"}}}},
        {"防水及保温材料",
         {{"SBS改性沥青防水卷材", "m2", 22, 48, {"3mm", "4mm"}},
          {"聚氨酯防水涂料", "kg", 12, 26, {"单组分", "双组分"}},
          {"挤塑聚苯板", "m3", 450, 820, {"B1级", "B2级"}}}},
        {"装饰材料",
         {{"地砖", "m2", 45, 180, {"600×600", "800×800", "300×300防滑"}},
          {"花岗岩板", "m2", 120, 420, {"δ=20mm", "δ=30mm"}},
          {"乳胶漆", "kg", 15, 45, {"内墙", "外墙"}}}},
        {"安装材料",
         {{"绝缘导线", "m", 1.2, 18, {"BV-2.5mm2", "BV-4mm2", "BV-6mm2", "BV-10mm2"}},
          {"电力电缆", "m", 25, 420, {"YJV-3×35+1×16", "YJV-4×70", "YJV-4×120+1×70"}},
          {"焊接钢管", "m", 12, 95, {"DN15", "DN20", "DN25", "DN50", "DN100"}},
          {"螺纹闸阀", "个", 25, 260, {"DN15", "DN25", "DN50"}},
          {"PP-R给水管", "m", 6, 85, {"De20", "De25", "De32", "De63"}},
          {"PVC-U排水管", "m", 8, 120, {"De50", "De75", "De110", "De160"}},
          {"镀锌管件", "个", 1.5, 60, {"弯头 DN25", "三通 DN50", "异径管 DN100×50"}},
          {"电缆桥架", "m", 45, 380, {"200×100", "300×150", "400×200"}}}},
        {"其他材料",
         {{"水", "m3", 4.5, 7.2, {"施工用水"}},
          {"电", "kW·h", 0.8, 1.2, {"施工用电"}},
          {"其他材料费", "元", 1, 1, {"综合"}}}},
        {"新型材料", {}},  // a group without materials
    };
    return groups;
}

// List position (OCode) of the k-th of `count` materials of a leaf: even leaves swap neighbouring pairs,
// odd leaves run backwards, so that OCode order is never ID order.
size_t listPosition(size_t k, size_t count, size_t leafNumber) {
    if (leafNumber % 2 == 1) return count - 1 - k;
    return (k ^ 1) < count ? (k ^ 1) : k;
}

// Grades first, then numbered further specifications of the same material.
std::string materialName(const MaterialLeaf& leaf, size_t k) {
    std::string name = std::string(leaf.name) + " " + leaf.grades[k % leaf.grades.size()];
    if (k >= leaf.grades.size()) name += " 规格" + std::to_string(k / leaf.grades.size() + 1);
    return name;
}

}  // namespace

MaterialContent makeMaterialContent(int scale) {
    constexpr int kMaterialsPerLeaf = 32;
    Random random(53);
    MaterialContent content;
    int64_t categoryId = 0;
    int64_t materialId = 0;
    size_t leafNumber = 0;
    const auto& groups = materialGroups();
    for (size_t g = 0; g < groups.size(); ++g) {
        const std::string groupClass = zeroPadded(g + 1, 2);
        const int64_t groupId = ++categoryId;
        content.categories.push_back({groupId, 0, groups[g].name, groupClass, groupId});
        for (size_t l = 0; l < groups[g].leaves.size(); ++l) {
            const MaterialLeaf& leaf = groups[g].leaves[l];
            const std::string leafClass = groupClass + zeroPadded(l + 1, 2);
            const int64_t leafId = ++categoryId;
            content.categories.push_back({leafId, groupId, leaf.name, leafClass, leafId});
            const auto count = static_cast<size_t>(kMaterialsPerLeaf * scale);
            const int64_t firstOfLeaf = materialId + 1;
            for (size_t k = 0; k < count; ++k) {
                Material m;
                m.id = ++materialId;
                m.code = leafClass + zeroPadded(k + 1, 4);
                m.name = materialName(leaf, k);
                m.unit = leaf.unit;
                m.classCode = leafClass;
                m.order = firstOfLeaf + static_cast<int64_t>(listPosition(k, count, leafNumber));
                m.basePrice = random.money(leaf.lowPrice, leaf.highPrice);
                content.materials.push_back(std::move(m));
            }
            ++leafNumber;
        }
    }
    // A category with an empty class code: it lists every material.
    ++categoryId;
    content.categories.push_back({categoryId, 0, "全部材料", "", categoryId});
    return content;
}

}  // namespace sample

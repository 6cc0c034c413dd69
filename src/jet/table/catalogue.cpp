#include "table/catalogue.h"

#include <algorithm>

#include "codec/table_definition.h"
#include "table/engine.h"

namespace jet {
namespace {

constexpr uint32_t kCatalogPage = 2;
constexpr uint8_t kObjectTypeTable = 1;
constexpr uint32_t kSystemObjectFlags = 0x80000002;

}  // namespace

Status Catalogue::load() {
    ++m_generation;
    m_tables.clear();
    JET_ASSIGN_OR_RETURN(std::shared_ptr<TableDef> catalog,
                         readDefinition(kCatalogPage, "MSysObjects", true));
    int idCol = catalog->columnIndex("Id");
    int nameCol = catalog->columnIndex("Name");
    int typeCol = catalog->columnIndex("Type");
    int flagsCol = catalog->columnIndex("Flags");
    if (idCol < 0 || nameCol < 0 || typeCol < 0 || flagsCol < 0) {
        return Status::Corruption("MSysObjects lacks one of Id, Name, Type, Flags");
    }
    std::shared_ptr<const TableDef> catalogDef = catalog;
    m_definitions[upperAscii("MSysObjects")] = catalogDef;
    JET_ASSIGN_OR_RETURN(RowCursor cursor, m_engine.scan(catalogDef));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) break;
        JET_ASSIGN_OR_RETURN(Value type, cursor.value(static_cast<size_t>(typeCol)));
        auto* typeNumber = std::get_if<int64_t>(&type);
        if (typeNumber == nullptr || (*typeNumber & 0x7F) != kObjectTypeTable) continue;
        JET_ASSIGN_OR_RETURN(Value id, cursor.value(static_cast<size_t>(idCol)));
        JET_ASSIGN_OR_RETURN(Value name, cursor.value(static_cast<size_t>(nameCol)));
        JET_ASSIGN_OR_RETURN(Value flags, cursor.value(static_cast<size_t>(flagsCol)));
        auto* idNumber = std::get_if<int64_t>(&id);
        auto* nameText = std::get_if<std::string>(&name);
        if (idNumber == nullptr || nameText == nullptr) continue;
        auto* flagBits = std::get_if<int64_t>(&flags);
        TableEntry entry;
        entry.name = *nameText;
        entry.definitionPage = static_cast<uint32_t>(*idNumber) & 0x00FFFFFF;
        entry.system = flagBits != nullptr && (static_cast<uint32_t>(*flagBits) & kSystemObjectFlags) != 0;
        m_tables.push_back(std::move(entry));
    }
    return {};
}

Result<std::shared_ptr<const TableDef>> Catalogue::table(std::string_view name) {
    std::string key = upperAscii(name);
    if (auto it = m_definitions.find(key); it != m_definitions.end()) return it->second;
    for (const TableEntry& entry : m_tables) {
        if (!equalsIgnoreCase(entry.name, name)) continue;
        JET_ASSIGN_OR_RETURN(std::shared_ptr<TableDef> def,
                             readDefinition(entry.definitionPage, entry.name, entry.system));
        m_definitions[key] = def;
        return std::shared_ptr<const TableDef>(def);
    }
    return Status::NotFound("no table named " + std::string(name));
}

void Catalogue::forget(std::string_view name) {
    ++m_generation;
    m_definitions.erase(upperAscii(name));
}

void Catalogue::clear() {
    ++m_generation;
    m_tables.clear();
    m_definitions.clear();
}

Status Catalogue::forgetChanged(const std::vector<uint32_t>& changedPages) {
    auto changed = [&](uint32_t page) {
        return std::binary_search(changedPages.begin(), changedPages.end(), page);
    };
    ++m_generation;
    for (auto it = m_definitions.begin(); it != m_definitions.end();) {
        it = changed(it->second->definitionPage) ? m_definitions.erase(it) : std::next(it);
    }
    // A new table adds a row to the catalogue, whose definition page changes with its row count.
    if (!changed(kCatalogPage)) return {};
    return load();
}

struct Catalogue::Decoded {
    std::vector<uint8_t> bytes;
    DecodedDefinition definition;
};

Result<Catalogue::Decoded> Catalogue::decode(uint32_t firstPage, const std::string& name) {
    std::string context = "table definition of " + name + " (page " + std::to_string(firstPage) + ")";
    PageRef current;
    auto fetch = [this, &current](uint32_t number) -> Result<ByteView> {
        JET_ASSIGN_OR_RETURN(current, m_engine.pager().page(number));
        return view(current);
    };
    auto gathered = gatherTableDefinition(firstPage, fetch);
    if (!gathered.ok()) return gathered.status().withContext(context);
    auto decoded = decodeTableDefinition(ByteView(gathered->data(), gathered->size()), m_engine.layout(),
                                         [this](ByteView raw) { return m_engine.values().decodeText(raw); });
    if (!decoded.ok()) return decoded.status().withContext(context);
    return Decoded{std::move(gathered).value(), std::move(decoded).value()};
}

Result<std::shared_ptr<TableDef>> Catalogue::readDefinition(uint32_t firstPage, const std::string& name,
                                                            bool system) {
    JET_ASSIGN_OR_RETURN(Decoded decoded, decode(firstPage, name));
    auto def = std::make_shared<TableDef>(std::move(decoded.definition.def));
    def->name = name;
    def->definitionPage = firstPage;
    def->system = system;
    return def;
}

Result<std::vector<uint32_t>> Catalogue::usageMaps(const TableEntry& entry) {
    JET_ASSIGN_OR_RETURN(Decoded decoded, decode(entry.definitionPage, entry.name));
    const TableDef& def = decoded.definition.def;
    std::vector<uint32_t> maps = {def.usedPagesRef, def.freePagesRef};
    for (const RealIndexDef& real : def.realIndexes) maps.push_back(real.usedPagesRef);
    if (m_engine.layout().jet3) return maps;
    JET_ASSIGN_OR_RETURN(
        std::vector<LongValueMaps> longValues,
        decodeLongValueMaps(ByteView(decoded.bytes.data(), decoded.bytes.size()), decoded.definition.tail));
    for (const LongValueMaps& m : longValues) {
        maps.push_back(m.usedRef);
        maps.push_back(m.freeRef);
    }
    return maps;
}

}  // namespace jet

// Table definitions: lookups by name, and reading a definition through the codec.
#include <algorithm>
#include <cctype>

#include "codec/table_definition.h"
#include "table/engine.h"

namespace jet {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

int TableDef::columnIndex(std::string_view wanted) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (equalsIgnoreCase(columns[i].name, wanted)) return static_cast<int>(i);
    }
    return -1;
}

const IndexDef* TableDef::findIndex(std::string_view wanted) const {
    for (const IndexDef& index : indexes) {
        if (equalsIgnoreCase(index.name, wanted)) return &index;
    }
    return nullptr;
}

Result<std::shared_ptr<TableDef>> Engine::readTableDef(uint32_t firstPage, const std::string& name,
                                                       bool system) {
    std::string context = "table definition of " + name + " (page " + std::to_string(firstPage) + ")";
    PageRef current;
    auto fetch = [this, &current](uint32_t number) -> Result<ByteView> {
        JET_ASSIGN_OR_RETURN(current, m_pager->page(number));
        return view(current);
    };
    auto gathered = gatherTableDefinition(firstPage, fetch);
    if (!gathered.ok()) return gathered.status().withContext(context);
    auto decoded = decodeTableDefinition(ByteView(gathered->data(), gathered->size()), *m_layout,
                                         [this](ByteView raw) { return decodeName(raw); });
    if (!decoded.ok()) return decoded.status().withContext(context);
    auto def = std::make_shared<TableDef>(std::move(decoded->def));
    def->name = name;
    def->definitionPage = firstPage;
    def->system = system;
    return def;
}

}  // namespace jet

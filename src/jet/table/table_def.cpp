// Lookups by name in table definitions.
#include <algorithm>
#include <cctype>

#include "jet/table.h"

namespace jet {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::string upperAscii(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
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

}  // namespace jet

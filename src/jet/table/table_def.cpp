// Lookups by name in table definitions.
#include <algorithm>

#include "jet/table.h"

namespace jet {

namespace {

// ASCII letters only, whatever the C library's locale says: names are compared on every statement.
char upperAsciiChar(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upperAsciiChar(x) == upperAsciiChar(y);
           });
}

std::string upperAscii(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = upperAsciiChar(c);
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

// Case folding, text ordering and Like patterns.
#include "sql/text_match.h"

#include "text.h"

#include <vector>

namespace jet::sql {

std::u32string toCodePoints(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : (b & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto cont = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            ok = ok && (cont & 0xC0) == 0x80;
            c = (c << 6) | (cont & 0x3F);
        }
        out.push_back(ok ? c : 0xFFFD);
        i += ok ? static_cast<size_t>(extra) + 1 : 1;
    }
    return out;
}

std::string toUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) appendCodePoint(c, out);
    return out;
}

char32_t foldCase(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0xC0) return c;
    if (c <= 0xDE && c != 0xD7) return c + 32;                  // Latin-1 capitals
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;  // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;                // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 80;                // Cyrillic with marks
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;              // full-width Latin
    return c;
}

std::string foldText(std::string_view text) {
    bool ascii = true;
    for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        std::string out(text);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        return out;
    }
    std::u32string cps = toCodePoints(text);
    for (char32_t& c : cps) c = foldCase(c);
    return toUtf8(cps);
}

int compareText(std::string_view a, std::string_view b) {
    std::u32string x = toCodePoints(a), y = toCodePoints(b);
    size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        char32_t cx = foldCase(x[i]), cy = foldCase(y[i]);
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

namespace {

/// One element of a compiled Like pattern.
struct PatternItem {
    enum class Kind : uint8_t { Star, Any, Digit, Char, Set };
    Kind kind = Kind::Char;
    char32_t c = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // folded, inclusive

    bool matches(char32_t folded) const {
        switch (kind) {
            case Kind::Any:
                return true;
            case Kind::Digit:
                return folded >= '0' && folded <= '9';
            case Kind::Char:
                return folded == c;
            case Kind::Set: {
                bool in = false;
                for (const auto& [lo, hi] : ranges) in = in || (folded >= lo && folded <= hi);
                return in != negated;
            }
            case Kind::Star:
                break;
        }
        return false;
    }
};

// Parses the inside of [...] starting after the bracket; `i` ends after the closing bracket.
bool compileSet(const std::u32string& p, size_t& i, PatternItem& item) {
    item.kind = PatternItem::Kind::Set;
    if (i < p.size() && p[i] == '!') {
        item.negated = true;
        ++i;
    }
    while (i < p.size() && p[i] != ']') {
        char32_t lo = foldCase(p[i]), hi = lo;
        if (i + 2 < p.size() && p[i + 1] == '-' && p[i + 2] != ']') {
            hi = foldCase(p[i + 2]);
            i += 2;
        }
        item.ranges.emplace_back(lo, hi);
        ++i;
    }
    if (i >= p.size()) return false;
    ++i;
    return true;
}

Result<std::vector<PatternItem>> compilePattern(std::string_view pattern) {
    std::u32string p = toCodePoints(pattern);
    std::vector<PatternItem> items;
    size_t i = 0;
    while (i < p.size()) {
        PatternItem item;
        char32_t c = p[i++];
        if (c == '*') {
            item.kind = PatternItem::Kind::Star;
        } else if (c == '?') {
            item.kind = PatternItem::Kind::Any;
        } else if (c == '#') {
            item.kind = PatternItem::Kind::Digit;
        } else if (c == '[') {
            if (!compileSet(p, i, item))
                return Status::InvalidArgument("Invalid pattern string '" + std::string(pattern) + "'");
        } else {
            item.c = foldCase(c);
        }
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace

Result<bool> likeMatch(std::string_view textUtf8, std::string_view pattern) {
    JET_ASSIGN_OR_RETURN(std::vector<PatternItem> items, compilePattern(pattern));
    std::u32string text = toCodePoints(textUtf8);
    for (char32_t& c : text) c = foldCase(c);
    // Greedy matching that backtracks to the last star: linear for the patterns callers build.
    size_t t = 0, p = 0, starP = SIZE_MAX, starT = 0;
    while (t < text.size()) {
        if (p < items.size() && items[p].kind == PatternItem::Kind::Star) {
            starP = p++;
            starT = t;
        } else if (p < items.size() && items[p].matches(text[t])) {
            ++p;
            ++t;
        } else if (starP != SIZE_MAX) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < items.size() && items[p].kind == PatternItem::Kind::Star) ++p;
    return p == items.size();
}

}  // namespace jet::sql

// Case folding, text ordering and Like patterns.
#include "text_match.h"

#include "jet/unicode.h"

#include <vector>

namespace jet::sql {

char32_t nextCodePoint(std::string_view s, size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 0x6 ? 1 : (b >> 4) == 0xE ? 2 : (b >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = extra == 0 ? b : (b & (0x3F >> extra));
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
        auto cont = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        ok = ok && (cont & 0xC0) == 0x80;
        c = (c << 6) | (cont & 0x3F);
    }
    i += ok ? static_cast<size_t>(extra) + 1 : 1;
    return ok ? c : 0xFFFD;
}

std::u32string toCodePoints(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) out.push_back(nextCodePoint(s, i));
    return out;
}

std::string_view characterRange(std::string_view text, size_t start, size_t count) {
    size_t from = 0;
    for (size_t skipped = 0; skipped < start && from < text.size(); ++skipped) nextCodePoint(text, from);
    size_t to = from;
    for (size_t taken = 0; taken < count && to < text.size(); ++taken) nextCodePoint(text, to);
    return text.substr(from, to - from);
}

size_t characterCount(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++count) nextCodePoint(text, i);
    return count;
}

std::string toUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) appendUtf8(c, out);
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
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = foldCase(nextCodePoint(a, i)), y = foldCase(nextCodePoint(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    return j < b.size() ? -1 : 0;
}

bool startsWithFolded(std::string_view text, std::string_view prefix) {
    size_t i = 0, j = 0;
    while (j < prefix.size()) {
        if (i >= text.size() || foldCase(nextCodePoint(text, i)) != foldCase(nextCodePoint(prefix, j)))
            return false;
    }
    return true;
}

namespace {

// Parses the inside of [...] starting after the bracket; `i` ends after the closing bracket.
bool compileSet(const std::u32string& p, size_t& i, LikePattern::Item& item) {
    item.kind = LikePattern::Item::Kind::Set;
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

}  // namespace

bool LikePattern::Item::matches(char32_t folded) const {
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
    }
    return false;
}

Result<LikePattern> LikePattern::compile(std::string_view pattern) {
    std::u32string p = toCodePoints(pattern);
    LikePattern compiled;
    compiled.m_segments.emplace_back();
    size_t i = 0;
    while (i < p.size()) {
        char32_t c = p[i++];
        if (c == '*') {
            // Stars in a row are one star: segments never stay empty between two of them.
            if (compiled.m_segments.size() == 1 && compiled.m_segments.back().empty())
                compiled.m_leadingStar = true;
            if (!compiled.m_segments.back().empty()) compiled.m_segments.emplace_back();
            continue;
        }
        Item item;
        if (c == '?') {
            item.kind = Item::Kind::Any;
        } else if (c == '#') {
            item.kind = Item::Kind::Digit;
        } else if (c == '[') {
            if (!compileSet(p, i, item))
                return Status::InvalidArgument("Invalid pattern string '" + messageExcerpt(pattern) + "'");
        } else {
            item.c = foldCase(c);
        }
        compiled.m_segments.back().push_back(std::move(item));
        ++compiled.m_minLength;
    }
    compiled.m_trailingStar = !p.empty() && p.back() == '*';
    if (compiled.m_segments.back().empty() && compiled.m_segments.size() > 1) compiled.m_segments.pop_back();
    return compiled;
}

bool LikePattern::matchesAt(const std::u32string& text, size_t at, const std::vector<Item>& segment) {
    for (size_t k = 0; k < segment.size(); ++k) {
        if (!segment[k].matches(text[at + k])) return false;
    }
    return true;
}

bool LikePattern::matches(std::string_view textUtf8) const {
    std::u32string text = toCodePoints(textUtf8);
    if (text.size() < m_minLength) return false;
    for (char32_t& c : text) c = foldCase(c);
    bool star = m_leadingStar || m_segments.size() > 1 || m_trailingStar;
    const std::vector<Item>& first = m_segments.front();
    if (!star) return text.size() == first.size() && matchesAt(text, 0, first);
    // Between stars, the leftmost place of each segment is as good as any later one: it leaves the most
    // text for the segments after it. So one pass finds a match whenever there is one.
    size_t at = 0;
    size_t middleEnd = m_segments.size();
    if (!m_leadingStar) {
        if (!matchesAt(text, 0, first)) return false;
        at = first.size();
    }
    size_t firstMiddle = m_leadingStar ? 0 : 1;
    const std::vector<Item>* last = nullptr;
    if (!m_trailingStar && middleEnd > firstMiddle) {
        last = &m_segments.back();
        --middleEnd;
    }
    for (size_t s = firstMiddle; s < middleEnd; ++s) {
        const std::vector<Item>& segment = m_segments[s];
        size_t limit = text.size() - (last ? last->size() : 0);
        while (at + segment.size() <= limit && !matchesAt(text, at, segment)) ++at;
        if (at + segment.size() > limit) return false;
        at += segment.size();
    }
    if (last == nullptr) return true;
    if (text.size() - at < last->size()) return false;
    return matchesAt(text, text.size() - last->size(), *last);
}

Result<bool> likeMatch(std::string_view text, std::string_view pattern) {
    JET_ASSIGN_OR_RETURN(LikePattern compiled, LikePattern::compile(pattern));
    return compiled.matches(text);
}

std::string messageExcerpt(std::string_view text) {
    constexpr size_t kShown = 120;
    if (text.size() <= kShown) return std::string(text);
    size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace jet::sql

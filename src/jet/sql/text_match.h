// Text as Jet compares it in queries: case-folded characters, ordering and Like patterns.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/status.h"

namespace jet::sql {

/// The code point of UTF-8 `text` at byte `i`, moving `i` past it (a malformed byte is U+FFFD).
char32_t nextCodePoint(std::string_view text, size_t& i);
/// UTF-8 text as code points (malformed bytes become U+FFFD).
std::u32string toCodePoints(std::string_view utf8);
/// The bytes of `count` characters of UTF-8 `text` from character `start` (fewer at its end).
std::string_view characterRange(std::string_view text, size_t start, size_t count);
/// The number of characters of UTF-8 `text`.
size_t characterCount(std::string_view text);
/// Code points as UTF-8.
std::string toUtf8(std::u32string_view text);

/// The lower-case partner of `c` for ASCII, Latin-1, Greek, Cyrillic and full-width Latin letters.
char32_t foldCase(char32_t c);
/// `text` with every character case-folded, as UTF-8 (the key of case-insensitive lookups).
std::string foldText(std::string_view text);

/// Three-way comparison of UTF-8 texts without regard to letter case.
int compareText(std::string_view a, std::string_view b);
/// True when UTF-8 `text` begins with `prefix`, letter case aside: what Left(text, n) = prefix says when n
/// is the prefix's length in characters.
bool startsWithFolded(std::string_view text, std::string_view prefix);

/// A Jet Like pattern (* ? # [abc] [!abc] [a-z]), compiled once and matched against many texts without
/// regard to letter case. Matching never backtracks: it costs at most the text's length times the
/// pattern's, and a text shorter than the pattern's fixed characters fails at once.
class LikePattern {
public:
    /// Compiles `pattern`; an unterminated `[` is an InvalidArgument error.
    static Result<LikePattern> compile(std::string_view pattern);
    /// True when the UTF-8 `text` matches.
    bool matches(std::string_view text) const;

    /// One character position of a pattern.
    struct Item {
        enum class Kind : uint8_t { Any, Digit, Char, Set };
        Kind kind = Kind::Char;
        char32_t c = 0;
        bool negated = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;  // folded, inclusive
        bool matches(char32_t folded) const;
    };

private:
    static bool matchesAt(const std::u32string& text, size_t at, const std::vector<Item>& segment);

    std::vector<std::vector<Item>> m_segments;  // the runs of items between stars
    bool m_leadingStar = false;
    bool m_trailingStar = false;
    size_t m_minLength = 0;
};

/// True when `text` matches the Like pattern `pattern` (compiled for this one call).
Result<bool> likeMatch(std::string_view text, std::string_view pattern);

/// `text` for an error message: whole when short, else its beginning and its length, so that a huge
/// statement or name never turns into a huge message.
std::string messageExcerpt(std::string_view text);

}  // namespace jet::sql

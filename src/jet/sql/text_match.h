// Text as Jet compares it in queries: case-folded characters, ordering and Like patterns.
#pragma once

#include <string>
#include <string_view>

#include "jet/status.h"

namespace jet::sql {

/// UTF-8 text as code points (malformed bytes become U+FFFD).
std::u32string toCodePoints(std::string_view utf8);
/// Code points as UTF-8.
std::string toUtf8(std::u32string_view text);

/// The lower-case partner of `c` for ASCII, Latin-1, Greek, Cyrillic and full-width Latin letters.
char32_t foldCase(char32_t c);
/// `text` with every character case-folded, as UTF-8 (the key of case-insensitive lookups).
std::string foldText(std::string_view text);

/// Three-way comparison of UTF-8 texts without regard to letter case.
int compareText(std::string_view a, std::string_view b);

/// True when `text` matches the Jet Like pattern `pattern` (* ? # [abc] [!abc] [a-z]), ignoring
/// letter case. An unterminated `[` is an InvalidArgument error.
Result<bool> likeMatch(std::string_view text, std::string_view pattern);

}  // namespace jet::sql

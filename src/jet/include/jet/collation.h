// How Jet orders text: the key the General sort order gives a text, for callers that sort or compare
// text as an index on it would.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace jet {

/// The key by which an ascending index in the General sort order ranks `text` (UTF-8): byte order of keys
/// is the index's order. Nothing when the sort order's tables do not cover a character of the text.
std::optional<std::string> generalSortKey(std::string_view text);

}  // namespace jet

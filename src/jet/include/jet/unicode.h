// UTF-8, the text encoding of every string the engine hands out or takes.
#pragma once

#include <string>

namespace jet {

/// Appends one Unicode code point as UTF-8.
void appendUtf8(char32_t codePoint, std::string& out);

}  // namespace jet

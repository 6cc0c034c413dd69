// The System folder's picture: the quota grid's conversion-column header icon.
#pragma once

#include <cstdint>
#include <vector>

namespace sample {

/// A 16x16 32-bit icon (the grid's conversion-column header picture).
std::vector<uint8_t> kindIcon();

}  // namespace sample

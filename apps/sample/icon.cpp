#include "sample/icon.h"

namespace sample {
namespace {

void putLittle(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> kindIcon() {
    constexpr uint32_t kSide = 16;
    constexpr uint32_t kPixelBytes = kSide * kSide * 4;
    constexpr uint32_t kMaskBytes = kSide * 4;  // 1 bit per pixel, rows padded to 32 bits
    constexpr uint32_t kImageBytes = 40 + kPixelBytes + kMaskBytes;
    std::vector<uint8_t> ico;
    putLittle(ico, 0, 2);  // reserved
    putLittle(ico, 1, 2);  // type: icon
    putLittle(ico, 1, 2);  // one image
    ico.push_back(kSide);
    ico.push_back(kSide);
    ico.push_back(0);      // no palette
    ico.push_back(0);      // reserved
    putLittle(ico, 1, 2);  // planes
    putLittle(ico, 32, 2);
    putLittle(ico, kImageBytes, 4);
    putLittle(ico, 6 + 16, 4);  // the image follows the one directory entry
    // BITMAPINFOHEADER; the height counts the colour rows and the mask rows.
    putLittle(ico, 40, 4);
    putLittle(ico, kSide, 4);
    putLittle(ico, kSide * 2, 4);
    putLittle(ico, 1, 2);
    putLittle(ico, 32, 2);
    putLittle(ico, 0, 4);  // uncompressed
    putLittle(ico, kPixelBytes + kMaskBytes, 4);
    for (int i = 0; i < 4; ++i) putLittle(ico, 0, 4);
    // A blue rounded tile with a white double arrow: the conversion marker.
    for (uint32_t y = 0; y < kSide; ++y) {
        for (uint32_t x = 0; x < kSide; ++x) {
            const bool corner = (x == 0 || x == kSide - 1) && (y == 0 || y == kSide - 1);
            const bool arrow = (y == 5 && x >= 3 && x <= 12) || (y == 10 && x >= 3 && x <= 12) ||
                               (x == 11 && (y == 4 || y == 6)) || (x == 4 && (y == 9 || y == 11));
            const uint8_t b = arrow ? 255 : 180, g = arrow ? 255 : 90, r = arrow ? 255 : 20;
            ico.insert(ico.end(), {b, g, r, static_cast<uint8_t>(corner ? 0 : 255)});
        }
    }
    ico.insert(ico.end(), kMaskBytes, 0);  // the alpha channel decides; the mask shows everything
    return ico;
}

}  // namespace sample

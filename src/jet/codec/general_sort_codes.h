// Per-character code tables of the General sort order, the raw material of text index keys.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace jet::sortcodes {

// ---- Jet 3 General --------------------------------------------------------------------------------------

/// How one character contributes to a Jet 3 text key.
enum class CodeKind : uint8_t {
    Ignored,      // adds nothing to the key
    Plain,        // adds its weight bytes only
    Accented,     // adds its weight, and an accent code to the trailing section
    Significant,  // adds its weight and counts as a base letter for later accent codes
};

/// The key contribution of one character: a one- or two-byte weight (second byte 0 when unused) and, for
/// Accented characters, the code that goes to the key's trailing section.
struct CharCode {
    CodeKind kind;
    uint8_t weight[2];
    uint8_t code;
};

/// A code page 1252 character above U+00FF and the Latin-1 slot of the Jet 3 table that gives its weights.
struct Cp1252Slot {
    uint16_t unicode;
    uint8_t slot;
};

extern const std::array<CharCode, 256> kGeneral97Latin;
extern const std::array<Cp1252Slot, 27> kGeneral97WideChars;

// ---- Jet 4 General ("General legacy") -------------------------------------------------------------------

/// How one character contributes to a Jet 4 General text key (docs/index-keys.md shows the sections).
enum class LegacyKind : uint8_t {
    Ignored,         // adds nothing
    Plain,           // adds its weight
    Accented,        // adds its weight, and accent bytes to the accent section
    Unprintable,     // adds no weight; its code goes to the unprintable section
    AccentModifier,  // adds no weight; its value is added to the last accent byte written so far
    Kana,            // adds its weight, accent bytes if it has any, and a "full-size kana" mark
    SmallKana,       // the same with a "small kana" mark
};

/// Consecutive characters `first`..`last` of one kind sharing their extra bytes (accent bytes, unprintable
/// code or accent increment). `first` has weight `weight` and each following character `step` (0 or 1)
/// more. Byte strings are stored as big-endian integers: no weight or extra starts with a zero byte, so
/// the integer's significant bytes are the string, and 0 means none.
struct LegacyRun {
    char16_t first;
    char16_t last;
    uint32_t weight;
    uint16_t extra;
    LegacyKind kind;
    uint8_t step;
};

/// Runs covering U+0000..U+FFFF except the surrogates U+D800..U+DFFF, in ascending order.
extern const std::span<const LegacyRun> kGeneralLegacyRuns;

}  // namespace jet::sortcodes

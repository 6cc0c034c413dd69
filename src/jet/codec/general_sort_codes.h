// Per-character weight tables of the General sort order, the raw material of text index keys.
#pragma once

#include <array>
#include <cstdint>

namespace jet::sortcodes {

/// How one character contributes to a text key.
enum class CodeKind : uint8_t {
    Ignored,      // adds nothing to the key
    Plain,        // adds its weight bytes only
    Accented,     // adds its weight, and an accent code to the trailing section
    Unprintable,  // adds no weight; its code goes to the trailing unprintable section (Jet 4 only)
    Significant,  // adds its weight and counts as a base letter for later accent codes (Jet 3 only)
};

/// The key contribution of one character: a one- or two-byte weight (second byte 0 when unused) and, for
/// Accented and Unprintable characters, the code that goes to the key's trailing section.
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

/// `length` consecutive characters from `firstChar` whose two-byte weights count up from `firstWeight`.
struct WeightRun {
    uint16_t firstChar;
    uint16_t firstWeight;
    uint16_t length;
};

extern const std::array<CharCode, 256> kGeneralLegacyLatin;
extern const std::array<CharCode, 256> kGeneral97Latin;
extern const std::array<Cp1252Slot, 27> kGeneral97WideChars;
extern const std::array<WeightRun, 148> kGeneralLegacyCjkRuns;

}  // namespace jet::sortcodes

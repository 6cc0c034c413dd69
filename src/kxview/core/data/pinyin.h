// Pinyin readings of Chinese characters, and texts prepared so that typed letters find them by any reading
// of their characters: initials ("tsf"), whole syllables ("tushifang"), both mixed with characters ("土sf").
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include "kxview/kxview_core_export.h"

namespace kx {

/// A reading laid out for fast matching: its letters and how many there are (a reading has at most six).
struct PackedReading {
    char letters[7];
    uint8_t length;
};

/// Every toneless reading libpinyin's character tables give each Chinese character of the Basic
/// Multilingual Plane (重: chong and zhong; 行: hang, heng and xing), lower case, with ü written v.
class KXVIEW_CORE_EXPORT PinyinReadings {
public:
    /// The readings of no character.
    PinyinReadings();
    /// Reads libpinyin's character tables from `dataDir`; empty (logged once) when they cannot be read.
    static PinyinReadings load(const QString& dataDir);
    /// The process's table, read on first use from the folder named by the environment variable
    /// KXVIEW_PINYIN_DATA, else from libpinyin's installed data folder.
    static const PinyinReadings& shared();

    /// True when no character has a reading.
    bool isEmpty() const { return m_sets.size() <= 1; }
    /// The reading set of `c` (0: none). Characters of equal readings share one set.
    uint16_t setOf(char16_t c) const { return m_setOfChar[c]; }
    /// The readings of set `set`.
    const std::vector<std::string>& readings(uint16_t set) const { return m_sets[set]; }
    /// The readings of `c` (empty for a character without any, Latin letters included).
    const std::vector<std::string>& of(char16_t c) const { return m_sets[setOf(c)]; }
    /// The letters that begin a reading of set `set` (bit 0 for 'a').
    uint32_t initials(uint16_t set) const { return m_initials[set]; }
    /// Every letter of the readings of set `set` (bit 0 for 'a').
    uint32_t letters(uint16_t set) const { return m_letters[set]; }
    /// The readings of set `set` laid out for matching, from the first to one past the last.
    const PackedReading* packedBegin(uint16_t set) const { return m_packed.data() + m_packedStart[set]; }
    const PackedReading* packedEnd(uint16_t set) const { return m_packed.data() + m_packedStart[set + 1]; }

private:
    void addSet(std::vector<std::string> readings);

    std::vector<uint16_t> m_setOfChar;             // one entry per UTF-16 code unit value
    std::vector<std::vector<std::string>> m_sets;  // set 0 is empty
    std::vector<uint32_t> m_initials;              // per set
    std::vector<uint32_t> m_letters;               // per set
    std::vector<PackedReading> m_packed;           // every set's readings, one set after the other
    std::vector<uint32_t> m_packedStart;           // where set s starts in m_packed; one more at the end
};

/// A 64-bit summary of the characters a text can be matched by: one bit per letter and digit, the others
/// folded onto the rest. A text matches a query only if its summary holds every bit of the query's.
KXVIEW_CORE_EXPORT uint64_t characterBit(char16_t folded);

/// A span of characters [start, end) in a text, in UTF-16 positions.
struct TextSpan {
    int start = 0;
    int end = 0;
    bool operator==(const TextSpan&) const = default;
};

/// One character of a prepared text: its case-folded form and its reading set.
struct PreparedChar {
    char16_t folded;
    uint16_t readings;
};

/// What the user typed, prepared for matching: case-folded, at most 63 characters take part in pinyin
/// matching (a longer text only matches literally).
class KXVIEW_CORE_EXPORT PinyinQuery {
public:
    PinyinQuery() = default;
    /// Prepares `text`; `readings` null matches literally only.
    PinyinQuery(const QString& text, const PinyinReadings* readings);

    bool isEmpty() const { return m_folded.isEmpty(); }
    /// The case-folded text.
    const QString& folded() const { return m_folded; }

    /// Whether the prepared characters `chars` contain the query, literally or by readings: each
    /// character consumes the query's next character when they are equal (ignoring case), or any
    /// non-empty beginning of one of its readings.
    bool matches(const PreparedChar* chars, int count) const;
    /// The first and shortest span of `chars` that the query matches; none when it does not.
    std::optional<TextSpan> find(const PreparedChar* chars, int count) const;
    /// The bits (characterBit) a text's summary must hold to match.
    uint64_t requiredBits() const { return m_required; }
    /// Whether readings take part: the query holds a letter and readings are known.
    bool usesReadings() const { return m_byReadings && m_hasLetter; }

private:
    /// Whether a match can begin at `c`: its character or one of its readings begins the query.
    bool canStart(const PreparedChar& c) const;
    /// The query positions reachable after `c`, from the positions `before` reachable ahead of it.
    uint64_t advance(uint64_t before, const PreparedChar& c) const;

    QString m_folded;
    std::string m_letters;  // the query's characters as readings spell them: letters, and 0 for the rest
    const PinyinReadings* m_readings = nullptr;
    bool m_byReadings = false;
    uint64_t m_required = 0;
    uint32_t m_firstLetter = 0;  // the query's first character as a letter bit; 0 for none
    bool m_hasLetter = false;    // readings are letters: a query without any matches literally only
};

/// The characters of `text` prepared for matching with `readings` (null: no readings).
KXVIEW_CORE_EXPORT std::vector<PreparedChar> prepareText(QStringView text, const PinyinReadings* readings);
/// Appends the prepared characters of `text` to `out`.
KXVIEW_CORE_EXPORT void appendPrepared(QStringView text, const PinyinReadings* readings,
                                       std::vector<PreparedChar>& out);
/// What the characters of a text can match, in characterBit bits: the characters themselves, the letters
/// that begin a reading of one of them, and every letter of their readings.
struct TextSummary {
    uint64_t literal = 0;
    uint64_t initials = 0;
    uint64_t readingLetters = 0;
};

/// The summary of prepared characters (with the readings of `readings`, none when null).
KXVIEW_CORE_EXPORT TextSummary summaryOf(const PreparedChar* chars, int count,
                                         const PinyinReadings* readings);

}  // namespace kx

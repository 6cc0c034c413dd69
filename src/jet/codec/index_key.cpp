// Encoding of index keys. The layout of every column type is described in docs/index-keys.md; comments here
// explain only the choices that are not obvious from the bytes. Text weights come from general_sort_codes.h.
#include "codec/index_key.h"

#include "jet/collation.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <span>
#include <vector>

#include "codec/general_sort_codes.h"
#include "core/text.h"
#include "storage/format.h"

namespace jet {
namespace {

using sortcodes::CharCode;
using sortcodes::CodeKind;
using sortcodes::LegacyKind;
using sortcodes::LegacyRun;

constexpr uint8_t kLegacySortVersion = 0;
constexpr uint16_t kChinesePrcSortOrder = 2052;

// Text key section markers.
constexpr char kEndOfWeights = 0x01;     // closes the weight section of a Jet 4 text key
constexpr char kEndOfText = 0x00;        // last byte of every text key
constexpr uint8_t kAccentFiller = 0x02;  // accent code of a character that has none

void invertBytes(std::string& s, size_t from) {
    for (size_t i = from; i < s.size(); ++i) s[i] = static_cast<char>(~static_cast<uint8_t>(s[i]));
}

void appendBigEndian(std::string& out, uint64_t bits, int byteCount) {
    for (int i = byteCount - 1; i >= 0; --i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

Status wrongValue(ColumnType type) {
    return Status::InvalidArgument("value does not fit an index key of a " +
                                   std::string(columnTypeName(type)) + " column");
}

// ---- numbers -------------------------------------------------------------------------------------------

// Two's complement with the sign bit flipped orders signed integers as unsigned bytes.
Status appendSignedInteger(std::string& out, const Value& v, ColumnType type, int byteCount) {
    const int64_t* n = std::get_if<int64_t>(&v);
    if (n == nullptr) return wrongValue(type);
    const int bits = 8 * byteCount;
    if (bits < 64 && (*n < -(int64_t{1} << (bits - 1)) || *n >= (int64_t{1} << (bits - 1)))) {
        return Status::InvalidArgument("integer out of range for a " + std::string(columnTypeName(type)) +
                                       " index key");
    }
    const uint64_t signBit = uint64_t{1} << (bits - 1);
    appendBigEndian(out, static_cast<uint64_t>(*n) ^ signBit, byteCount);
    return Status();
}

// IEEE values: positives get the sign bit set, negatives are inverted so larger magnitudes sort lower. The
// decision follows the stored sign bit, so -0.0 takes the negative form, as the stored bytes say.
void appendFloatBits(std::string& out, uint64_t bits, int byteCount) {
    const uint64_t signBit = uint64_t{1} << (8 * byteCount - 1);
    const uint64_t mask = byteCount == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * byteCount)) - 1;
    bits = (bits & signBit) ? (~bits & mask) : (bits | signBit);
    appendBigEndian(out, bits, byteCount);
}

// Jet 4 decimals: a sign byte then the 16-byte magnitude; negatives (when ascending) or positives (when
// descending) are inverted, and the sign byte is then forced to 0x00 for negatives and 0xFF otherwise.
// Forcing it after the inversion is why descending negatives end up in ascending order among themselves.
Status appendDecimal(std::string& out, const Value& v, bool ascending) {
    const Decimal* d = std::get_if<Decimal>(&v);
    if (d == nullptr) return wrongValue(ColumnType::Numeric);
    const bool negative = d->negative && (d->hi != 0 || d->lo != 0);
    std::string bytes(1, '\0');
    appendBigEndian(bytes, d->hi, 8);
    appendBigEndian(bytes, d->lo, 8);
    if (negative == ascending) invertBytes(bytes, 0);
    bytes[0] = negative ? '\x00' : '\xFF';
    out += bytes;
    return Status();
}

// GUIDs are keyed in their textual order: the first three groups, stored little-endian, are byte-swapped.
// The 16 bytes go out as two 8-byte segments, each followed by a length byte: 9 ("more follows") after the
// first, 8 after the last. Descending inverts all but the inner 9.
Status appendGuid(std::string& out, const Value& v, bool ascending) {
    const Guid* g = std::get_if<Guid>(&v);
    if (g == nullptr) return wrongValue(ColumnType::Guid);
    std::array<uint8_t, 16> b = g->bytes;
    std::reverse(b.begin(), b.begin() + 4);
    std::reverse(b.begin() + 4, b.begin() + 6);
    std::reverse(b.begin() + 6, b.begin() + 8);
    std::string first(b.begin(), b.begin() + 8);
    std::string last(b.begin() + 8, b.end());
    last.push_back(8);
    if (!ascending) {
        invertBytes(first, 0);
        invertBytes(last, 0);
    }
    out += first;
    out.push_back(9);
    out += last;
    return Status();
}

// Appends the ascending-order bytes of a non-text value (everything after the flag byte).
Status appendNumberBody(std::string& out, const Value& v, ColumnType type) {
    switch (type) {
        case ColumnType::Byte: {
            const int64_t* n = std::get_if<int64_t>(&v);
            if (n == nullptr) return wrongValue(type);
            if (*n < 0 || *n > 255)
                return Status::InvalidArgument("integer out of range for a Byte index key");
            out.push_back(static_cast<char>(*n));
            return Status();
        }
        case ColumnType::Integer:
            return appendSignedInteger(out, v, type, 2);
        case ColumnType::Long:
        case ColumnType::Complex:  // keyed by its 32-bit id, like a Long
            return appendSignedInteger(out, v, type, 4);
        case ColumnType::Currency: {
            const Currency* c = std::get_if<Currency>(&v);
            if (c == nullptr) return wrongValue(type);
            appendBigEndian(out, static_cast<uint64_t>(c->scaled) ^ (uint64_t{1} << 63), 8);
            return Status();
        }
        case ColumnType::Single: {
            const float* f = std::get_if<float>(&v);
            if (f == nullptr) return wrongValue(type);
            appendFloatBits(out, std::bit_cast<uint32_t>(*f), 4);
            return Status();
        }
        case ColumnType::Double: {
            const double* d = std::get_if<double>(&v);
            if (d == nullptr) return wrongValue(type);
            appendFloatBits(out, std::bit_cast<uint64_t>(*d), 8);
            return Status();
        }
        case ColumnType::DateTime: {
            const DateTime* t = std::get_if<DateTime>(&v);
            if (t == nullptr) return wrongValue(type);
            appendFloatBits(out, std::bit_cast<uint64_t>(t->days), 8);
            return Status();
        }
        default:
            return Status::NotSupported("index keys of " + std::string(columnTypeName(type)) +
                                        " columns are not supported");
    }
}

// ---- text ----------------------------------------------------------------------------------------------

// Length of the UTF-8 sequence a lead byte starts, 0 for a byte that cannot lead one.
int utf8SequenceLength(uint8_t lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

// Decodes UTF-8 into code points; nullopt for malformed, overlong or surrogate sequences.
std::optional<std::u32string> decodeUtf8(const std::string& s) {
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const uint8_t lead = static_cast<uint8_t>(s[i]);
        const int length = utf8SequenceLength(lead);
        if (length == 0 || s.size() - i < static_cast<size_t>(length)) return std::nullopt;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const uint8_t b = static_cast<uint8_t>(s[i + k]);
            if ((b & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (b & 0x3F);
        }
        if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        out.push_back(c);
        i += length;
    }
    return out;
}

// Only the first 255 characters are indexed, and trailing spaces never are (so "a" and "a " share a key).
void trimForKey(std::u32string& text) {
    if (text.size() > kMaxIndexedTextChars) text.resize(kMaxIndexedTextChars);
    while (!text.empty() && text.back() == U' ') text.pop_back();
}

// "U+FF08 '（'" for error messages; control characters go without the quoted glyph.
std::string characterName(char32_t c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (char32_t rest = c; rest != 0 || hex.size() < 4; rest >>= 4)
        hex.insert(hex.begin(), kHex[rest & 0xF]);
    std::string name = "U+" + hex;
    if (c > U' ' && (c < 0x7F || c > 0xA0)) {
        name += " '";
        appendUtf8(c, name);
        name += "'";
    }
    return name;
}

Status uncovered(char32_t c) {
    return Status::NotSupported("no General sort weight known for character " + characterName(c));
}

// ---- text: Jet 4 General --------------------------------------------------------------------------------

// Binary search of the generated runs, which are in character order.
const LegacyRun* searchRuns(char32_t c) {
    const std::span<const LegacyRun> runs = sortcodes::kGeneralLegacyRuns;
    const auto run = std::lower_bound(runs.begin(), runs.end(), c,
                                      [](const LegacyRun& r, char32_t x) { return r.last < x; });
    return run == runs.end() || c < run->first ? nullptr : &*run;
}

// The run of the generated table that holds `c`; null beyond the BMP. Latin-1 is most of the text keyed,
// so its runs are found once rather than searched per character.
const LegacyRun* legacyRun(char32_t c) {
    static const std::array<const LegacyRun*, 256> kLatin1 = [] {
        std::array<const LegacyRun*, 256> runs{};
        for (char32_t l = 0; l < runs.size(); ++l) runs[l] = searchRuns(l);
        return runs;
    }();
    return c < kLatin1.size() ? kLatin1[c] : searchRuns(c);
}

// Appends a non-empty byte string the tables store as a big-endian integer (its significant bytes).
void appendPacked(std::string& out, uint32_t bytes) {
    for (int shift = (31 - std::countl_zero(bytes | 1)) / 8 * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((bytes >> shift) & 0xFF));
}

// The sections after the weights of a Jet 4 General key, collected character by character.
class LegacyTrailer {
public:
    /// Notes what the character of `run` adds after the weights; `position` is the number of weighted
    /// characters before it.
    void add(const LegacyRun& run, size_t position) {
        switch (run.kind) {
            case LegacyKind::Ignored:
            case LegacyKind::Plain:
                break;
            case LegacyKind::Accented:
                addAccent(position, run.extra);
                break;
            case LegacyKind::Kana:
            case LegacyKind::SmallKana:
                if (run.extra != 0) addAccent(position, run.extra);
                m_kanaMarks.push_back(run.kind == LegacyKind::SmallKana ? kSmallKanaMark : kFullKanaMark);
                break;
            case LegacyKind::Unprintable:
                addUnprintable(position, static_cast<uint8_t>(run.extra));
                break;
            case LegacyKind::AccentModifier:
                modifyAccent(position, static_cast<uint8_t>(run.extra));
                break;
        }
    }

    /// Appends the sections: accents, then (after 01 01) kana marks and unprintable records. Call once.
    void appendTo(std::string& out) {
        while (!m_accents.empty() && static_cast<uint8_t>(m_accents.back()) <= kAccentFiller)
            m_accents.pop_back();
        out += m_accents;
        if (m_kanaMarks.empty() && m_unprintables.empty()) return;
        out.append(2, kEndOfWeights);
        if (!m_kanaMarks.empty()) {
            appendKanaMarks(out);
            if (!m_unprintables.empty()) out.push_back(static_cast<char>(kKanaSectionEnd));
        }
        if (!m_unprintables.empty()) {
            out.push_back(kEndOfWeights);
            out += m_unprintables;
        }
    }

private:
    static constexpr uint16_t kUnprintableFlag = 0x8000;
    static constexpr uint8_t kUnprintableMarker = 0x06;
    static constexpr uint8_t kSmallKanaMark = 2;
    static constexpr uint8_t kFullKanaMark = 3;
    static constexpr char kKanaMarksTail[] = "\xFF\x02\x80\xFF\x80";
    static constexpr uint8_t kKanaSectionEnd = 0xFF;

    void addAccent(size_t position, uint16_t accent) {
        padAccents(position);
        appendPacked(m_accents, accent);
        ++m_accentedChars;
    }

    // Combining marks adjust the accent of the character before them instead of adding one of their own.
    void modifyAccent(size_t position, uint8_t increment) {
        padAccents(position);
        if (m_accents.empty()) {
            m_accents.push_back(static_cast<char>(increment));
            m_leadingIncrement = 1;
        } else {
            m_accents.back() = static_cast<char>(static_cast<uint8_t>(m_accents.back()) + increment);
        }
    }

    // Jet counts the record's position in accent bytes, not characters: a two-byte accent counts twice and
    // an increment with no accent before it not at all.
    void addUnprintable(size_t position, uint8_t code) {
        const size_t slot = position + m_accents.size() - m_accentedChars - m_leadingIncrement;
        const uint16_t field = static_cast<uint16_t>(kUnprintableFlag | (7 + 4 * slot));
        appendBigEndian(m_unprintables, field, 2);
        m_unprintables.push_back(static_cast<char>(kUnprintableMarker));
        m_unprintables.push_back(static_cast<char>(code));
    }

    // Weighted characters without an accent of their own, up to `position`, get the "no accent" byte.
    void padAccents(size_t position) {
        if (m_accentedChars >= position) return;
        m_accents.append(position - m_accentedChars, static_cast<char>(kAccentFiller));
        m_accentedChars = position;
    }

    // Two-bit marks, three to a byte under the prefix bits 10; trailing full-size marks are dropped. A fixed
    // tail follows even when no mark is left.
    void appendKanaMarks(std::string& out) {
        while (!m_kanaMarks.empty() && m_kanaMarks.back() == kFullKanaMark) m_kanaMarks.pop_back();
        for (size_t i = 0; i < m_kanaMarks.size(); i += 3) {
            uint8_t packed = 0x80;
            for (size_t k = 0; k < 3 && i + k < m_kanaMarks.size(); ++k)
                packed = static_cast<uint8_t>(packed | m_kanaMarks[i + k] << (4 - 2 * k));
            out.push_back(static_cast<char>(packed));
        }
        out += kKanaMarksTail;
    }

    std::string m_accents;
    size_t m_accentedChars = 0;     // weighted characters the accent bytes account for
    size_t m_leadingIncrement = 0;  // 1 when an increment came before any accent
    std::string m_unprintables;
    std::vector<uint8_t> m_kanaMarks;
};

// Jet 4 General: weights, 0x01, then the trailing sections. Descending appends 0x00, inverts, and still
// ends in 0x00.
Status encodeGeneralLegacy(std::string& out, const std::u32string& text, bool ascending) {
    std::string weights;
    LegacyTrailer trailer;
    size_t weighted = 0;
    for (char32_t c : text) {
        const LegacyRun* run = legacyRun(c);
        if (run == nullptr) return uncovered(c);
        trailer.add(*run, weighted);
        if (run->weight != 0) {
            appendPacked(weights, run->weight + run->step * static_cast<uint32_t>(c - run->first));
            ++weighted;
        }
    }

    const size_t start = out.size();
    out += weights;
    out.push_back(kEndOfWeights);
    trailer.appendTo(out);
    if (!ascending) {
        out.push_back(kEndOfText);
        invertBytes(out, start);
    }
    out.push_back(kEndOfText);
    return Status();
}

// ---- text: Chinese PRC ----------------------------------------------------------------------------------

// Characters whose keys in real sort order 2052 files were seen to equal their Jet 4 General keys. The
// order's weights for everything else (ideographs, punctuation) are not known.
bool verifiedForChinesePrc(char32_t c) {
    return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || c == U' ' ||
           c == U'.' || c == U'@';
}

Status encodeChinesePrc(std::string& out, const std::u32string& text, bool ascending) {
    const auto unverified = std::find_if_not(text.begin(), text.end(), verifiedForChinesePrc);
    if (unverified != text.end()) {
        return Status::NotSupported("no index key of sort order 2052 (Chinese PRC) is known for character " +
                                    characterName(*unverified));
    }
    return encodeGeneralLegacy(out, text, ascending);
}

// ---- text: Jet 3 General --------------------------------------------------------------------------------

std::optional<CharCode> general97Code(char32_t c) {
    if (c < 0x100) return sortcodes::kGeneral97Latin[c];
    for (const sortcodes::Cp1252Slot& slot : sortcodes::kGeneral97WideChars) {
        if (slot.unicode == c) return sortcodes::kGeneral97Latin[slot.slot];
    }
    return std::nullopt;
}

void appendWeight(std::string& out, const CharCode& code) {
    out.push_back(static_cast<char>(code.weight[0]));
    if (code.weight[1] != 0) out.push_back(static_cast<char>(code.weight[1]));
}

// Packs 4-bit codes two to a byte, high nibble first, padding the last byte with 0.
void appendNibbles(std::string& out, const std::vector<uint8_t>& nibbles) {
    for (size_t i = 0; i < nibbles.size(); i += 2) {
        const uint8_t low = i + 1 < nibbles.size() ? nibbles[i + 1] : 0;
        out.push_back(static_cast<char>((nibbles[i] << 4) | (low & 0x0F)));
    }
}

// Jet 3 General: weights, then either 0x00 or an accent section of 4-bit codes framed by 0 nibbles. Accent
// codes count only the base letters ("significant" characters) since the previous accented character, each
// skipped one leaving a 2. Descending inverts everything.
Status encodeGeneral97(std::string& out, const std::u32string& text, bool ascending) {
    std::string weights;
    std::vector<uint8_t> accents;
    size_t pendingLetters = 0;
    for (char32_t c : text) {
        const std::optional<CharCode> code = general97Code(c);
        if (!code) return uncovered(c);
        if (code->kind == CodeKind::Ignored) continue;
        appendWeight(weights, *code);
        if (code->kind == CodeKind::Significant) ++pendingLetters;
        if (code->kind != CodeKind::Accented) continue;
        if (accents.empty()) accents.push_back(0);
        accents.insert(accents.end(), pendingLetters, kAccentFiller);
        accents.push_back(code->code);
        pendingLetters = 0;
    }

    const size_t start = out.size();
    out += weights;
    if (accents.empty()) {
        out.push_back(kEndOfText);
    } else {
        accents.push_back(0);
        appendNibbles(out, accents);
    }
    if (!ascending) invertBytes(out, start);
    return Status();
}

Status appendTextBody(std::string& out, const Value& v, ColumnType type, bool ascending,
                      TextKeyCollation collation) {
    const std::string* s = std::get_if<std::string>(&v);
    if (s == nullptr) return wrongValue(type);
    std::optional<std::u32string> text = decodeUtf8(*s);
    if (!text) return Status::InvalidArgument("text index value is not valid UTF-8");
    trimForKey(*text);
    switch (collation) {
        case TextKeyCollation::General97:
            return encodeGeneral97(out, *text, ascending);
        case TextKeyCollation::GeneralLegacy:
            return encodeGeneralLegacy(out, *text, ascending);
        case TextKeyCollation::ChinesePrc:
            return encodeChinesePrc(out, *text, ascending);
        case TextKeyCollation::Unsupported:
            break;
    }
    return Status::NotSupported("text index keys of this sort order cannot be built");
}

// Booleans always carry the value flag: Null indexes as false. True sorts first when ascending.
Status appendBoolean(std::string& out, const Value& v, bool ascending) {
    bool value = false;
    if (const bool* b = std::get_if<bool>(&v)) {
        value = *b;
    } else if (!isNull(v)) {
        return wrongValue(ColumnType::Boolean);
    }
    out.push_back(static_cast<char>(ascending ? keyflag::kAscendingValue : keyflag::kDescendingValue));
    out.push_back(static_cast<char>(value == ascending ? 0x00 : 0xFF));
    return Status();
}

}  // namespace

TextKeyCollation textKeyCollation(bool jet3, uint16_t sortOrderId, uint8_t sortVersion) {
    // 0 appears in files whose writer left the sort order unset; readers take the format's default (General).
    if (sortOrderId == 0) return jet3 ? TextKeyCollation::General97 : TextKeyCollation::GeneralLegacy;
    if (jet3)
        return sortOrderId == kGeneralSortOrder ? TextKeyCollation::General97 : TextKeyCollation::Unsupported;
    if (sortVersion != kLegacySortVersion) return TextKeyCollation::Unsupported;
    if (sortOrderId == kGeneralSortOrder) return TextKeyCollation::GeneralLegacy;
    return sortOrderId == kChinesePrcSortOrder ? TextKeyCollation::ChinesePrc : TextKeyCollation::Unsupported;
}

Status appendIndexKey(std::string& out, const Value& v, ColumnType type, bool ascending,
                      TextKeyCollation collation) {
    if (type == ColumnType::Boolean) return appendBoolean(out, v, ascending);
    if (isNull(v)) {
        out.push_back(static_cast<char>(ascending ? keyflag::kAscendingNull : keyflag::kDescendingNull));
        return Status();
    }

    std::string key(1, static_cast<char>(ascending ? keyflag::kAscendingValue : keyflag::kDescendingValue));
    if (isTextType(type)) {
        // Text encoders produce their own descending form: it is not a plain inversion of the ascending one.
        JET_RETURN_IF_ERROR(appendTextBody(key, v, type, ascending, collation));
    } else if (type == ColumnType::Numeric) {
        JET_RETURN_IF_ERROR(appendDecimal(key, v, ascending));
    } else if (type == ColumnType::Guid) {
        JET_RETURN_IF_ERROR(appendGuid(key, v, ascending));
    } else {
        JET_RETURN_IF_ERROR(appendNumberBody(key, v, type));
        if (!ascending) invertBytes(key, 1);
    }
    out += key;
    return Status();
}

}  // namespace jet

namespace jet {

std::optional<std::string> generalSortKey(std::string_view text) {
    std::string key;
    if (!appendIndexKey(key, Value(std::string(text)), ColumnType::Text, true,
                        TextKeyCollation::GeneralLegacy)
             .ok())
        return std::nullopt;
    return key;
}

}  // namespace jet

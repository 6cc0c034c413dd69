// Index key encoding. Expected bytes are keys stored in the leaf pages of real sample files (the Jet 3 and
// Jet 4 index-code test databases and a unicode sample), the flag byte included and the row pointer dropped,
// or, for characters no sample holds, keys worked out by hand from the published code table. One test
// rebuilds every leaf entry of every sample file.
#include "codec/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "codec/index_page.h"
#include "core/text.h"
#include "storage/format.h"
#include "test_support.h"

namespace jet {
namespace {

using Coll = TextKeyCollation;

std::string toHex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex.push_back(kDigits[c >> 4]);
        hex.push_back(kDigits[c & 0xF]);
    }
    return hex;
}

// The key as hex, or the failing Status as text.
std::string keyHex(const Value& v, ColumnType type, bool ascending, Coll coll = Coll::GeneralLegacy) {
    std::string out;
    Status st = appendIndexKey(out, v, type, ascending, coll);
    return st.ok() ? toHex(out) : "error: " + st.message();
}

std::string key(const Value& v, ColumnType type, bool ascending, Coll coll = Coll::GeneralLegacy) {
    std::string out;
    EXPECT_TRUE(appendIndexKey(out, v, type, ascending, coll).ok());
    return out;
}

Guid guidFromHex(const char* hex) {
    Guid g;
    for (size_t i = 0; i < 16; ++i)
        g.bytes[i] = static_cast<uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
    return g;
}

TEST(IndexKeyCollation, ChosenFromFormatSortOrderAndVersion) {
    struct Case {
        bool jet3;
        uint16_t sortOrder;
        uint8_t version;
        Coll expected;
    };
    const Case cases[] = {
        {true, 1033, 0, Coll::General97},      {true, 0x409, 0xFF, Coll::General97},
        {true, 0, 0, Coll::General97},         {true, 2052, 0, Coll::Unsupported},
        {false, 1033, 0, Coll::GeneralLegacy}, {false, 1033, 1, Coll::Unsupported},
        {false, 0, 0, Coll::GeneralLegacy},    {false, 0, 1, Coll::GeneralLegacy},
        {false, 2052, 0, Coll::ChinesePrc},    {false, 2052, 1, Coll::Unsupported},
        {false, 1036, 0, Coll::Unsupported},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(textKeyCollation(c.jet3, c.sortOrder, c.version), c.expected)
            << c.jet3 << " " << c.sortOrder << "/" << int(c.version);
    }
}

struct NumberCase {
    ColumnType type;
    bool ascending;
    Value value;
    const char* stored;
};

// Keys stored by both formats (Jet 3 and Jet 4 agree on every numeric type).
TEST(IndexKeyNumbers, MatchStoredKeys) {
    using T = ColumnType;
    const NumberCase cases[] = {
        {T::Byte, true, int64_t{0}, "7f00"},
        {T::Byte, true, int64_t{128}, "7f80"},
        {T::Byte, false, int64_t{255}, "8000"},
        {T::Integer, true, int64_t{-32400}, "7f0170"},
        {T::Integer, true, int64_t{0}, "7f8000"},
        {T::Integer, true, int64_t{31045}, "7ff945"},
        {T::Integer, false, int64_t{-1}, "808000"},
        {T::Long, true, int64_t{-349809345}, "7f6b26553f"},
        {T::Long, true, int64_t{0}, "7f80000000"},
        {T::Long, true, int64_t{309840983}, "7f9277cc57"},
        {T::Long, false, int64_t{-23}, "8080000016"},
        {T::Currency, true, Currency{-85409824234530}, "7f7fffb251f9c423de"},
        {T::Currency, true, Currency{0}, "7f8000000000000000"},
        {T::Currency, false, Currency{-3}, "808000000000000002"},
        {T::Currency, false, Currency{3098409830000}, "807ffffd2e9861f98f"},
        {T::Single, true, -23.0f, "7f3e47ffff"},
        {T::Single, true, 0.0f, "7f80000000"},
        {T::Single, true, 3245.0f, "7fc54ad000"},
        {T::Single, false, 1.1f, "8040733332"},
        {T::Double, true, -8540982423.453, "7f3e002eaf3688c082"},
        {T::Double, true, -1.1, "7f400e666666666665"},
        {T::Double, true, 0.0, "7f8000000000000000"},
        {T::Double, true, 0.000345134, "7fbf369e633e240e38"},
        {T::Double, false, -94.430034345, "80c0579b85aec5fba2"},
        {T::Double, false, 309840983.0, "803e4d8833a8ffffff"},
        {T::DateTime, true, DateTime{-23.0}, "7f3fc8ffffffffffff"},
        {T::DateTime, true, DateTime{36475.0}, "7fc0e1cf6000000000"},
        {T::DateTime, false, DateTime{39144.63402777778}, "803f1ce2ebb60b60b5"},
        {T::Boolean, true, true, "7f00"},
        {T::Boolean, true, false, "7fff"},
        {T::Boolean, false, true, "80ff"},
        {T::Boolean, false, false, "8000"},
        {T::Guid, true, guidFromHex("7b9bc40f56e62842aedcdf8bdf4c4a64"),
         "7f0fc49b7be656422809aedcdf8bdf4c4a6408"},
        {T::Guid, false, guidFromHex("7b9bc40f56e62842aedcdf8bdf4c4a64"),
         "80f03b648419a9bdd7095123207420b3b59bf7"},
        {T::Guid, true, guidFromHex("921030f68d83604fbf80d482110301ad"),
         "7ff6301092838d4f6009bf80d482110301ad08"},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(keyHex(c.value, c.type, c.ascending), c.stored)
            << columnTypeName(c.type) << (c.ascending ? " asc" : " desc");
    }
}

// Jet 4 decimals (precision 20, scale 10): values carry the unscaled magnitude as hi:lo.
TEST(IndexKeyNumbers, DecimalMatchesStoredKeys) {
    const Decimal negative{true, 0, 0x308bb975865ee400, 10};
    const Decimal positive{false, 0, 0x0000028fa6ae00, 10};
    const Decimal zero{false, 0, 0, 10};
    const Decimal negativeZero{true, 0, 0, 10};
    const NumberCase cases[] = {
        {ColumnType::Numeric, true, negative, "7f00ffffffffffffffffcf74468a79a11bff"},
        {ColumnType::Numeric, true, zero, "7fff00000000000000000000000000000000"},
        {ColumnType::Numeric, true, negativeZero, "7fff00000000000000000000000000000000"},
        {ColumnType::Numeric, true, positive, "7fff0000000000000000000000028fa6ae00"},
        {ColumnType::Numeric, false, negative, "80000000000000000000308bb975865ee400"},
        {ColumnType::Numeric, false, zero, "80ffffffffffffffffffffffffffffffffff"},
        {ColumnType::Numeric, false, positive, "80fffffffffffffffffffffffffd705951ff"},
        {ColumnType::Numeric, true, Decimal{true, 0x4, 0xa14ca69ee3b5cc80, 10},
         "7f00fffffffffffffffb5eb359611c4a337f"},
    };
    for (const NumberCase& c : cases) EXPECT_EQ(keyHex(c.value, c.type, c.ascending), c.stored);
}

TEST(IndexKeyNumbers, NullIsTheFlagAlone) {
    for (ColumnType type : {ColumnType::Long, ColumnType::Double, ColumnType::Text, ColumnType::Memo,
                            ColumnType::Guid, ColumnType::Numeric}) {
        EXPECT_EQ(keyHex(Value{}, type, true), "00");
        EXPECT_EQ(keyHex(Value{}, type, false), "ff");
    }
    // Booleans have no null key: a missing value indexes as false.
    EXPECT_EQ(keyHex(Value{}, ColumnType::Boolean, true), "7fff");
}

// Keys must order exactly as the values do (reversed when descending), or index seeks go wrong.
TEST(IndexKeyNumbers, KeysSortLikeValues) {
    const std::vector<double> values = {-1e300, -8540982423.45, -1.1, -1e-300, -0.0, 0.0, 1e-300, 0.5,
                                        1.1,    3245.0,         1e300};
    for (bool ascending : {true, false}) {
        for (size_t i = 0; i + 1 < values.size(); ++i) {
            const std::string a = key(values[i], ColumnType::Double, ascending);
            const std::string b = key(values[i + 1], ColumnType::Double, ascending);
            if (values[i] == values[i + 1]) continue;  // -0.0 and 0.0 compare equal but keep distinct keys
            EXPECT_EQ(a < b, ascending) << values[i] << " vs " << values[i + 1];
        }
    }
    const std::vector<int64_t> longs = {INT32_MIN, -70000, -1, 0, 1, 255, 256, 70000, INT32_MAX};
    for (size_t i = 0; i + 1 < longs.size(); ++i) {
        EXPECT_LT(key(longs[i], ColumnType::Long, true), key(longs[i + 1], ColumnType::Long, true));
        EXPECT_GT(key(longs[i], ColumnType::Long, false), key(longs[i + 1], ColumnType::Long, false));
    }
}

struct TextCase {
    const char* text;
    bool ascending;
    const char* stored;
};

// Jet 4 General: case-blind weights, accent codes and unprintable records after the weights.
TEST(IndexKeyText, Jet4GeneralMatchesStoredKeys) {
    const TextCase cases[] = {
        {"AAAAA", true, "7f4a4a4a4a4a0100"},
        {"AAaAA", true, "7f4a4a4a4a4a0100"},
        {"AA AA", true, "7f4a4a074a4a0100"},
        {"AA~AA", true, "7f4a4a2b0f4a4a0100"},
        {"AA\u00a0AA", true, "7f4a4a08024a4a0100"},
        {"AA\u00c0AA", true, "7f4a4a4a4a4a0102020f00"},
        {"AA\u00e9AA", true, "7f4a4a514a4a0102020e00"},
        {"AA\u00c6AA", true, "7f4a4a4a514a4a0100"},
        {"AA\u00dfAA", true, "7f4a4a6b6b4a4a0100"},
        {"AA\x01"
         "AA",
         true, "7f4a4a4a4a01010101800f060300"},
        {"AA\u0081AA", true, "7f4a4a4a4a01010101800f061f00"},
        {"AA-AA", true, "7f4a4a4a4a01010101800f068200"},
        {"AA'AA", true, "7f4a4a4a4a01010101800f068000"},
        {"-AAA-", true, "7f4a4a4a01010101800706828013068200"},
        {"-\u00a0\u00c1--\u00c1\u00a0-", true,
         "7f08024a4a080201020e0e01010180070682800f0682800f06828017068200"},
        {"AAAAA", false, "80b5b5b5b5b5feff00"},
        {"AA\u00e9AA", false, "80b5b5aeb5b5fefdfdf1ff00"},
        {"AA\u00dfAA", false, "80b5b59494b5b5feff00"},
        {"AA-AA", false, "80b5b5b5b5fefefefe7ff0f97dff00"},
        {"AA\x01"
         "AA",
         false, "80b5b5b5b5fefefefe7ff0f9fcff00"},
        {"AA\u00a0AA", false, "80b5b5f7fdb5b5feff00"},
        {"", true, "7f0100"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(keyHex(std::string(c.text), ColumnType::Text, c.ascending), c.stored) << c.text;
    }
    // NUL is ignored altogether.
    EXPECT_EQ(keyHex(std::string("AA\0AA", 5), ColumnType::Text, true), "7f4a4a4a4a0100");
}

// Jet 3 General: no terminator after the weights; accents are 4-bit codes placed by counting base letters.
TEST(IndexKeyText, Jet3GeneralMatchesStoredKeys) {
    const TextCase cases[] = {
        {"AAAAA", true, "7f606060606000"},
        {"AAaAA", true, "7f606060606000"},
        {"AA AA", true, "7f606011606000"},
        {"AA\x01"
         "AA",
         true, "7f606010606000"},
        {"AA-AA", true, "7f60601e606000"},
        {"AA\u00c0AA", true, "7f6060606060022300"},
        {"AA\u00e9AA", true, "7f6060666060022400"},
        {"AA\u00c6AA", true, "7f60606066606000"},
        {"AA\u00dfAA", true, "7f60607676606000"},
        {"a\u20aca", true, "7f60106000"},  // euro sign: a code page 1252 character above U+00FF
        {"a\u0152a", false, "809f8d999fff"},
        {"a\u00f1a", false, "809f8f9ffd8f"},
        {"a\u00c0a", false, "809f9f9ffdcf"},
        {"adsgf_+=-3fsghSDF", false, "809f9b899798d3e3dbe1a698899796899b98ff"},
        {"a\u00e4aa\u00d3aa\u0192aa\u00e4aa\u00dba", false,
         "809f9f9f9f8d9f9fcd9f9f9f9f9f879ffd9ddbdddd9ddaff"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(keyHex(std::string(c.text), ColumnType::Text, c.ascending, Coll::General97), c.stored)
            << c.text;
    }
}

// The same text gives the same key in a Memo column (a Jet 4 memo index stores text keys).
TEST(IndexKeyText, MemoKeysEqualTextKeys) {
    EXPECT_EQ(keyHex(std::string("AA)AA"), ColumnType::Memo, true), "7f4a4a164a4a0100");
    EXPECT_EQ(keyHex(std::string("AA\u00cdAA"), ColumnType::Memo, true), "7f4a4a594a4a0102020e00");
}

// A 360-character memo: only the first 255 characters make the key; the hyphens at positions 86 and 102
// show the unprintable record's position field beyond one byte.
TEST(IndexKeyText, LongMemoKeyCoversFirst255Characters) {
    const std::string line =
        "a;sldjfl;aksj dfl;kasj ldfkaslhdfkjhasjk dhfkljas djfhaskljdhfkjshadfj hkj skj dhfkjas-h dfh kasj "
        "dfjk-"
        "haskjdhfkjash kd fkjasdhf kja shk dfkjasfdhkja sdhfkj asdhfkjsahkd fkajs dhf\r\n";
    std::string plain = line;
    plain.erase(std::remove(plain.begin(), plain.end(), '-'), plain.end());
    const std::string stored =
        "7f4a226b5e4f5b535e224a5c6b5b074f535e225c4a6b5b075e4f535c4a6b5e574f535c5b574a6b5b5c074f57535c5e5b4a6b"
        "07"
        "4f5b53574a6b5c5e5b4f57535c5b6b574a4f535b07575c5b076b5c5b074f57535c5b4a6b57074f5357075c4a6b5b074f535b"
        "5c"
        "574a6b5c5b4f57535c5b4a6b57075c4f07535c5b4a6b4f5753075c5b4a076b575c074f535c5b4a6b534f575c5b4a076b4f57"
        "53"
        "5c5b074a6b4f57535c5b6b4a575c4f07535c4a5b6b074f5753080708044a226b5e4f5b535e224a5c6b5b074f535e225c4a6b"
        "5b"
        "075e4f535c4a6b5e574f535c5b574a6b5b5c074f57535c5e5b4a6b074f5b53574a6b5c5e5b4f57535c5b6b574a4f535b0757"
        "5c"
        "5b01010101815f0682819b068200";
    ASSERT_GT(line.size() + plain.size(), kMaxIndexedTextChars);
    EXPECT_EQ(keyHex(line + plain, ColumnType::Memo, true), stored);
}

TEST(IndexKeyText, OnlyThe255FirstCharactersAndNoTrailingSpacesCount) {
    for (Coll coll : {Coll::GeneralLegacy, Coll::General97}) {
        const std::string x255(255, 'x');
        EXPECT_EQ(key(x255 + "yz", ColumnType::Text, true, coll), key(x255, ColumnType::Text, true, coll));
        EXPECT_NE(key(std::string(254, 'x') + "y", ColumnType::Text, true, coll),
                  key(std::string(254, 'x'), ColumnType::Text, true, coll));
        // Characters, not bytes, are counted: 255 two-byte characters are all kept.
        std::string wide;
        for (int i = 0; i < 255; ++i) wide += "\u00e9";
        EXPECT_NE(key(wide, ColumnType::Text, true, coll),
                  key(wide.substr(0, 508), ColumnType::Text, true, coll));
        EXPECT_EQ(key("ab  ", ColumnType::Text, false, coll), key("ab", ColumnType::Text, false, coll));
        EXPECT_NE(key("  ab", ColumnType::Text, true, coll), key("ab", ColumnType::Text, true, coll));
    }
}

// The ascending keys of the unicode sample's non-Latin rows, as stored: Cyrillic, polytonic Greek (accents
// and combining marks) and ideographs with kana (the kana section).
TEST(IndexKeyText, Jet4UnicodeMatchesStoredKeys) {
    const TextCase cases[] = {
        {"\u041c\u0438\u0440", true, "7f7943793b79480100"},
        {"\u03f0\u03b1\u1f76 \u03c4\u03cc\u03c4' \u1f10\u03b3\u1f7c "
         "\u039a\u03cd\u03f0\u03bb\u03c9\u03c0\u03b1",
         true,
         "7f7915790c07791e791a791e07790e077915791f791579167923791b790c01030202020502020202020503010101801f068"
         "00"
         "0"},
        {"\u6f22\u5b57\u4eee\u540d\u4ea4\u3058\u308a\u6587", true,
         "7fc0b6acaca00da5479fbe7f137f43b6f6010202020202030101ff0280ff8000"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(keyHex(std::string(c.text), ColumnType::Text, c.ascending), c.stored) << c.text;
    }
}

struct ClassCase {
    const char* what;  // the characters and their lines in the published code table
    const char* text;
    bool ascending;
    const char* key;
};

// Characters of every class of the BMP, keyed as the published code table and key layout say. No sample
// stores these keys; each case fails if the class's run, kind or trailing section is wrong.
TEST(IndexKeyText, Jet4GeneralKeysOfEveryCharacterClass) {
    const ClassCase cases[] = {
        // Latin, Greek, Cyrillic beyond Latin-1: case-blind weights, accents in the accent section.
        {"A macron I4A,17", "\u0100", true, "7f4a011700"},
        {"Dz caron I4F78,214: two weights, a two-byte accent", "\u01c5", true, "7f4f7801021400"},
        {"alpha, Alpha S790C", "\u03b1\u0391", true, "7f790c790c0100"},
        {"De S7933", "\u0414", true, "7f79330100"},
        // Full-width forms key as their ASCII counterparts.
        {"full-width ( ) S14 S16", "\uff08\uff09", true, "7f14160100"},
        {"full-width A a S4A", "\uff21\uff41", true, "7f4a4a0100"},
        {"full-width : , 0 S20 S1A S36", "\uff1a\uff0c\uff10", true, "7f201a360100"},
        {"full-width hyphen U82", "a\uff0d", true, "7f4a01010101800b068200"},
        {"ideographic space S7, kept at the end", "a\u3000", true, "7f4a070100"},
        // CJK punctuation.
        {"ideographic comma, full stop S1B03 S1D02", "\u3001\u3002", true, "7f1b031d020100"},
        {"corner brackets S2B59 S2B5B", "\u300c\u300d", true, "7f2b592b5b0100"},
        {"wave dash U8D", "a\u301cb", true, "7f4a4c01010101800b068d00"},
        // Kana: a two-bit mark per kana in its own section; full-size marks at the end are dropped.
        {"hiragana a Z7F02,,", "\u3042", true, "7f7f02010101ff0280ff8000"},
        {"katakana a Z7F02,,", "\u30a2", true, "7f7f02010101ff0280ff8000"},
        {"small a Z7F02,,1", "\u3041", true, "7f7f02010101a0ff0280ff8000"},
        {"small a, a, small a, small a: three marks a byte", "\u3041\u3042\u3041\u3041", true,
         "7f7f027f027f027f02010101aea0ff0280ff8000"},
        {"ga Z7F0A,3,", "\u304c", true, "7f7f0a01030101ff0280ff8000"},
        {"half-width ka Z7F0A,, and voiced mark P1", "\uff76\uff9e", true, "7f7f0a01030101ff0280ff8000"},
        {"a then hyphen: FF before the unprintables", "\u3042-", true,
         "7f7f02010101ff0280ff80ff01800b068200"},
        {"prolonged sound mark S4A", "\u30fc", true, "7f4a0100"},
        {"hiragana a, descending", "\u3042", false, "8080fdfefefe00fd7f007fff00"},
        // Hangul.
        {"syllables ga gag S8103 S8104", "\uac00\uac01", true, "7f810381040100"},
        {"jamo and compatibility jamo kiyeok S8102", "\u1100\u3131", true, "7f810281020100"},
        // CJK ideographs.
        {"first ideographs S9F02 S9F06", "\u4e00\u4e01", true, "7f9f029f060100"},
        {"last of U+4E00..U+9FA5 SF1B4", "\u9fa5", true, "7ff1b40100"},
        {"compatibility ideograph SF1B5", "\uf900", true, "7ff1b50100"},
        {"extension A and U+9FA6 X", "a\u3400\u9fa6", true, "7f4a0100"},
        // Other scripts and symbols.
        {"alef S7994", "\u05d0", true, "7f79940100"},
        {"ko kai I7C98,3", "\u0e01", true, "7f7c98010300"},
        {"circled one I38,EE", "\u2460", true, "7f3801ee00"},
        {"Roman numeral one I3910,47", "\u2160", true, "7f3910014700"},
        {"full-width yen, yen S34A9", "\uffe5\u00a5", true, "7f34a934a90100"},
        {"private use SE602", "\ue000", true, "7fe6020100"},
        // Combining marks add to the accent of the character before them.
        {"a, combining acute PC: as a-acute", "a\u0301", true, "7f4a010e00"},
        {"e-acute I51,E, combining diaeresis P11", "\u00e9\u0308", true, "7f51011f00"},
        {"combining acute first", "\u0301a", true, "7f4a010c00"},
        {"combining acute first: not counted by the hyphen", "\u0301-", true, "7f010c0101018007068200"},
        {"two-byte accent: counted twice by the hyphen", "\u01c5-", true, "7f4f78010214010101800f068200"},
        {"two-byte accent and hyphen, descending", "\u01c5-", false, "80b087fefdebfefefe7ff0f97dff00"},
        // Unprintable, weighted invisible and ignored characters.
        {"hyphen U84, em dash U8B", "\u2010\u2014", true, "7f01010101800706848007068b00"},
        {"zero-width space S813", "\u200b", true, "7f08130100"},
        {"byte order mark, noncharacters X", "a\ufeff\ufffe\uffff", true, "7f4a0100"},
    };
    for (const ClassCase& c : cases) {
        EXPECT_EQ(keyHex(std::string(c.text), ColumnType::Text, c.ascending), c.key) << c.what;
    }
}

// Every BMP character has a key; surrogate code points are not characters and never arrive as valid UTF-8.
TEST(IndexKeyText, Jet4GeneralCoversEveryBmpCharacter) {
    size_t keyed = 0;
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        std::string text;
        appendUtf8(c, text);
        std::string out;
        const Status st = appendIndexKey(out, text, ColumnType::Text, true, Coll::GeneralLegacy);
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        EXPECT_EQ(st.code(), surrogate ? Status::Code::InvalidArgument : Status::Code::Ok)
            << std::hex << static_cast<uint32_t>(c);
        keyed += st.ok() ? 1 : 0;
    }
    EXPECT_EQ(keyed, 0x10000u - 0x800u);
}

// Sort order 2052 keys text of the characters verified in real files exactly as General does.
TEST(IndexKeyChinesePrc, VerifiedCharactersKeyAsGeneral) {
    for (const char* text :
         {"", "abc", "ABC xyz", "user@example.com", "V1.2 3", "0123456789", "trailing  "}) {
        for (bool ascending : {true, false}) {
            EXPECT_EQ(keyHex(std::string(text), ColumnType::Text, ascending, Coll::ChinesePrc),
                      keyHex(std::string(text), ColumnType::Text, ascending, Coll::GeneralLegacy))
                << text;
        }
    }
    // Characters past the 255th take no part in the key, so they need no verified key either.
    const std::string a255(255, 'a');
    EXPECT_EQ(keyHex(a255 + "\u7c98", ColumnType::Memo, true, Coll::ChinesePrc),
              keyHex(a255, ColumnType::Memo, true, Coll::GeneralLegacy));
}

TEST(IndexKeyChinesePrc, OtherCharactersAreRefusedByName) {
    const std::pair<const char*, const char*> cases[] = {
        {"\u7c98\u8d34\u9519\u8bef", "U+7C98 '\u7c98'"},  // stored as 7F CF5B BD28 8A8D C0FF 01 00 in 2052
        {"\u6750\u6599\uff08\u65b0\uff09", "U+6750 '\u6750'"},
        {"abc\uff08", "U+FF08 '\uff08'"},
        {"a-b", "U+002D '-'"},
        {"a_b", "U+005F '_'"},
        {"caf\u00e9", "U+00E9 '\u00e9'"},
        {"a\tb", "U+0009"},
    };
    for (const auto& [text, name] : cases) {
        std::string out = "prefix";
        const Status st = appendIndexKey(out, std::string(text), ColumnType::Text, true, Coll::ChinesePrc);
        EXPECT_TRUE(st.isNotSupported()) << text;
        EXPECT_NE(st.message().find("2052"), std::string::npos) << st.message();
        EXPECT_NE(st.message().find(name), std::string::npos) << st.message();
        EXPECT_EQ(out, "prefix");
    }
}

// A two-column entry is the two column keys back to back (stored entries of a desc/desc Jet 4 index).
TEST(IndexKeyMultiColumn, ConcatenatesColumnKeys) {
    std::string entry;
    ASSERT_TRUE(
        appendIndexKey(entry, std::string("stuff"), ColumnType::Text, false, Coll::GeneralLegacy).ok());
    ASSERT_TRUE(appendIndexKey(entry, int64_t{13}, ColumnType::Long, false, Coll::GeneralLegacy).ok());
    EXPECT_EQ(toHex(entry), "80949290acacfeff00807ffffff2");

    entry.clear();
    ASSERT_TRUE(
        appendIndexKey(entry, std::string("more"), ColumnType::Text, false, Coll::GeneralLegacy).ok());
    ASSERT_TRUE(appendIndexKey(entry, Value{}, ColumnType::Long, false, Coll::GeneralLegacy).ok());
    EXPECT_EQ(toHex(entry), "809f9b96aefeff00ff");
}

// ---------------------------------------------------------------------------------------------------------
// Every key stored in the sample files: each leaf entry, read straight from the file's index pages, must
// equal the key built from the values of the row it points at.

struct StoredEntry {
    std::string key;
    RowId row;
};

/// The leaf entries of `real` in key order: down the leftmost branch, then along the leaf chain.
Result<std::vector<StoredEntry>> storedEntries(const std::string& file, const FormatLayout& layout,
                                               const TableDef& def, const RealIndexDef& real) {
    auto pageAt = [&](uint32_t number) -> Result<IndexPage> {
        if ((uint64_t{number} + 1) * layout.pageSize > file.size())
            return Status::Corruption("index page " + std::to_string(number) + " beyond the file");
        ByteView bytes(reinterpret_cast<const uint8_t*>(file.data()) + uint64_t{number} * layout.pageSize,
                       layout.pageSize);
        return decodeIndexPage(bytes, layout, number, def.definitionPage);
    };
    JET_ASSIGN_OR_RETURN(IndexPage page, pageAt(real.rootPage));
    while (!page.leaf && !page.entries.empty()) {
        JET_ASSIGN_OR_RETURN(page, pageAt(page.entries.front().child));
    }
    std::vector<StoredEntry> entries;
    while (true) {
        for (IndexEntry& e : page.entries) entries.push_back({std::move(e.key), e.row});
        if (page.next == 0) return entries;
        JET_ASSIGN_OR_RETURN(page, pageAt(page.next));
    }
}

/// The key of every column of `real` for a row's values.
Result<std::string> rebuiltKey(const TableDef& def, const RealIndexDef& real, const std::vector<Value>& row,
                               bool jet3) {
    std::string key;
    for (const IndexColumn& c : real.columns) {
        const ColumnDef& column = def.columns[c.column];
        JET_RETURN_IF_ERROR(
            appendIndexKey(key, row[c.column], column.type, c.ascending,
                           textKeyCollation(jet3, column.sortOrder.id, column.sortOrder.version)));
    }
    return key;
}

/// How many of `rows` an index holds: all, except rows whose key is all Null in an ignore-nulls index.
size_t rowsIndexed(const std::map<RowId, std::vector<Value>>& rows, const RealIndexDef& real) {
    if ((real.flags & IndexFlag::IgnoreNulls) == 0) return rows.size();
    return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [&](const auto& row) {
        return std::any_of(real.columns.begin(), real.columns.end(),
                           [&](const IndexColumn& c) { return !isNull(row.second[c.column]); });
    }));
}

struct StoredKeyCount {
    size_t entries = 0;
    size_t textEntries = 0;
};

/// Compares every stored entry of every index of every table (system tables included) of one sample.
StoredKeyCount checkStoredKeys(const std::string& path) {
    StoredKeyCount count;
    auto db = Database::open(path, test::optionsFor(path));
    EXPECT_TRUE(db.ok()) << path << ": " << db.status().toString();
    if (!db.ok()) return count;
    std::ifstream in(path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool jet3 = (*db)->version() == Version::Jet3;
    const FormatLayout& layout = formatLayout((*db)->version());
    for (const std::string& name : (*db)->tableNames(true)) {
        auto def = (*db)->table(name);
        EXPECT_TRUE(def.ok()) << name << ": " << def.status().toString();
        if (!def.ok()) continue;
        std::map<RowId, std::vector<Value>> rows;
        for (test::ScannedRow& r : test::scanRows(**db, name)) rows[r.id] = std::move(r.values);
        for (const RealIndexDef& real : (*def)->realIndexes) {
            auto entries = storedEntries(file, layout, **def, real);
            EXPECT_TRUE(entries.ok()) << name << ": " << entries.status().toString();
            if (!entries.ok()) continue;
            EXPECT_EQ(entries->size(), rowsIndexed(rows, real)) << name;
            const bool text =
                std::any_of(real.columns.begin(), real.columns.end(),
                            [&](const IndexColumn& c) { return isTextType((*def)->columns[c.column].type); });
            for (const StoredEntry& e : *entries) {
                auto row = rows.find(e.row);
                if (row == rows.end()) {
                    ADD_FAILURE() << name << ": an entry points at no row";
                    continue;
                }
                auto key = rebuiltKey(**def, real, row->second, jet3);
                EXPECT_EQ(key.ok() ? toHex(*key) : key.status().toString(), toHex(e.key))
                    << name << " row on page " << e.row.page;
                ++count.entries;
                count.textEntries += text ? 1 : 0;
            }
        }
    }
    return count;
}

TEST(IndexKeyStored, EveryLeafEntryOfEverySampleIsRebuiltByteForByte) {
    std::map<std::string, StoredKeyCount> counts;
    for (const std::string& path : test::sampleFiles()) {
        SCOPED_TRACE(path);
        counts[std::filesystem::path(path).filename().string()] = checkStoredKeys(path);
    }
    // The index-code samples hold a text key of every 8-bit character in both directions, the unicode sample
    // Cyrillic, Greek, ideographs and kana.
    EXPECT_EQ(counts["jackcess_V1997_testIndexCodesV1997.mdb"].textEntries, 2846u);
    EXPECT_EQ(counts["jackcess_hist_testIndexCodes_jet4.mdb"].textEntries, 1597u);
    EXPECT_EQ(counts["jackcess_V2003_testUnicodeCompV2003.mdb"].textEntries, 64u);
    size_t entries = 0, textEntries = 0;
    for (const auto& [file, c] : counts) {
        entries += c.entries;
        textEntries += c.textEntries;
    }
    RecordProperty("entries", static_cast<int>(entries));
    RecordProperty("textEntries", static_cast<int>(textEntries));
}

TEST(IndexKeyErrors, FailuresLeaveOutputUnchanged) {
    struct Case {
        Value value;
        ColumnType type;
        Coll coll;
        Status::Code code;
    };
    using C = Status::Code;
    using T = ColumnType;
    const Case cases[] = {
        {std::string("abc"), T::Text, Coll::Unsupported, C::NotSupported},
        {std::string("a\U0001F600"), T::Text, Coll::GeneralLegacy, C::NotSupported},  // beyond the BMP
        {std::string("\u0100"), T::Text, Coll::General97, C::NotSupported},           // not in code page 1252
        {std::string("\u6f22"), T::Text, Coll::General97, C::NotSupported},
        {std::string("\u6f22"), T::Text, Coll::ChinesePrc, C::NotSupported},
        {std::string("\xED\xA0\x80"), T::Text, Coll::ChinesePrc, C::InvalidArgument},
        {std::string("a\xC3"), T::Text, Coll::GeneralLegacy, C::InvalidArgument},         // truncated UTF-8
        {std::string("\xC0\xAF"), T::Text, Coll::GeneralLegacy, C::InvalidArgument},      // overlong
        {std::string("\xED\xA0\x80"), T::Text, Coll::GeneralLegacy, C::InvalidArgument},  // surrogate
        {int64_t{256}, T::Byte, Coll::GeneralLegacy, C::InvalidArgument},
        {int64_t{-1}, T::Byte, Coll::GeneralLegacy, C::InvalidArgument},
        {int64_t{32768}, T::Integer, Coll::GeneralLegacy, C::InvalidArgument},
        {int64_t{INT32_MIN - int64_t{1}}, T::Long, Coll::GeneralLegacy, C::InvalidArgument},
        {1.5, T::Single, Coll::GeneralLegacy, C::InvalidArgument},
        {std::string("1"), T::Long, Coll::GeneralLegacy, C::InvalidArgument},
        {int64_t{1}, T::Text, Coll::GeneralLegacy, C::InvalidArgument},
        {int64_t{1}, T::Boolean, Coll::GeneralLegacy, C::InvalidArgument},
        {Bytes{1, 2}, T::Binary, Coll::GeneralLegacy, C::NotSupported},
    };
    for (const Case& c : cases) {
        std::string out = "prefix";
        Status st = appendIndexKey(out, c.value, c.type, true, c.coll);
        EXPECT_EQ(st.code(), c.code) << columnTypeName(c.type) << " " << st.message();
        EXPECT_EQ(out, "prefix");
    }
}

}  // namespace
}  // namespace jet

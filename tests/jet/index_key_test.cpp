// Index key encoding. Expected bytes are keys stored in the leaf pages of real sample files (the Jet 3 and
// Jet 4 index-code test databases and a unicode sample), the flag byte included and the row pointer dropped.
#include "codec/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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
        {false, 0, 0, Coll::GeneralLegacy},    {false, 2052, 0, Coll::Unsupported},
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

// Weights of CJK ideographs, read from a stored key of "漢字仮名交じり文" (the kana are not covered).
TEST(IndexKeyText, CjkIdeographWeights) {
    EXPECT_EQ(keyHex(std::string("\u6f22\u5b57\u4eee\u540d\u4ea4\u6587"), ColumnType::Text, true),
              "7fc0b6acaca00da5479fbeb6f60100");
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
        {std::string("ab\u03b1"), T::Text, Coll::GeneralLegacy, C::NotSupported},     // Greek
        {std::string("\u3058"), T::Memo, Coll::GeneralLegacy, C::NotSupported},       // kana
        {std::string("a\U0001F600"), T::Text, Coll::GeneralLegacy, C::NotSupported},  // beyond the BMP
        {std::string("\u0100"), T::Text, Coll::General97, C::NotSupported},           // not in code page 1252
        {std::string("\u6f22"), T::Text, Coll::General97, C::NotSupported},
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

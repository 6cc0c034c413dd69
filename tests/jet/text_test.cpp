// Text decoding (Jet 4 UCS-2 with its compression, code pages) and the text forms of values.
#include "core/text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "jet/format_value.h"

namespace jet {
namespace {

std::string jet4(std::vector<uint8_t> bytes) {
    return decodeJet4Text(ByteView(bytes.data(), bytes.size()));
}

TEST(TextJet4, CompressedAndPlainUcs2) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"empty", {}, ""},
        {"plain", {0x41, 0x00, 0x42, 0x00}, "AB"},
        {"plain odd trailing byte dropped", {0x41, 0x00, 0x42}, "A"},
        {"compressed ascii", {0xFF, 0xFE, 'a', 'b', 'c'}, "abc"},
        {"compressed latin-1 byte", {0xFF, 0xFE, 0xE9}, "\xC3\xA9"},
        {"compressed marker only", {0xFF, 0xFE}, ""},
        // 0x00 switches to two-byte units and back: "A", U+044B, "z".
        {"toggle to units and back", {0xFF, 0xFE, 0x41, 0x00, 0x4B, 0x04, 0x00, 0x7A}, "A\xD1\x8Bz"},
        {"toggle with a lone trailing byte", {0xFF, 0xFE, 0x41, 0x00, 0x4B}, "A"},
        {"plain text starting like a marker is not",
         {0xFE, 0xFF, 0x41, 0x00},
         "\xEF\xBF\xBE"
         "A"},
    };
    for (const Case& c : cases) EXPECT_EQ(jet4(c.bytes), c.expected) << c.name;
}

TEST(TextJet4, Utf16Surrogates) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"pair", {0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},  // U+1F600
        {"high then letter",
         {0x3D, 0xD8, 0x41, 0x00},
         "\xEF\xBF\xBD"
         "A"},
        {"lone low", {0x00, 0xDC}, "\xEF\xBF\xBD"},
        {"high at the end", {0x41, 0x00, 0x3D, 0xD8}, "A\xEF\xBF\xBD"},
        {"two highs then low", {0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
        {"BMP edge U+FFFF", {0xFF, 0xFF}, "\xEF\xBF\xBF"},
    };
    for (const Case& c : cases) EXPECT_EQ(jet4(c.bytes), c.expected) << c.name;
}

// Texts on either side of the length up to which decoding works in a fixed buffer come out whole.
TEST(TextJet4, ShortAndLongTextsDecodeWhole) {
    for (size_t units : {1u, 85u, 86u, 170u, 171u, 1000u}) {
        std::vector<uint8_t> cjk, latin{0xFF, 0xFE};
        std::string cjkText, latinText;
        for (size_t i = 0; i < units; ++i) {
            cjk.insert(cjk.end(), {0x16, 0x7F});  // U+7F16
            cjkText += "\xE7\xBC\x96";
            latin.push_back(static_cast<uint8_t>(0xE0 + i % 16));  // à, á, ...: two UTF-8 bytes each
            latinText += {static_cast<char>(0xC3), static_cast<char>(0xA0 + i % 16)};
        }
        EXPECT_EQ(jet4(cjk), cjkText) << units << " units";
        EXPECT_EQ(jet4(latin), latinText) << units << " bytes";
    }
}

TEST(TextJet4, Utf8ToUtf16RoundTripsAndRejectsInvalidInput) {
    for (const std::string s :
         {"", "plain", "caf\xC3\xA9", "\xE7\xBC\x96\xE7\xA0\x81", "\xF0\x9F\x98\x80!"}) {
        auto units = utf8ToUtf16le(s);
        ASSERT_TRUE(units.ok()) << s;
        const auto* p = reinterpret_cast<const uint8_t*>(units->data());
        EXPECT_EQ(jet4(std::vector<uint8_t>(p, p + units->size())), s);
    }
    for (const std::string s : {"\x80", "\xC3", "\xE7\xBC", "\xC3\x41", "\xFF"}) {
        auto units = utf8ToUtf16le(s);
        EXPECT_TRUE(units.status().isInvalidArgument()) << "bytes of length " << s.size();
    }
}

TEST(TextCodePage, DecodesAndEncodes) {
    auto cp1252 = CodePageDecoder::create("CP1252");
    ASSERT_TRUE(cp1252.ok()) << cp1252.status().toString();
    auto gb = CodePageDecoder::create("GB18030");
    ASSERT_TRUE(gb.ok()) << gb.status().toString();
    auto decode = [](const CodePageDecoder& d, const std::string& s) {
        return d.decode(ByteView(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    };
    struct Case {
        const CodePageDecoder* decoder;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {cp1252->get(), "ascii", "ascii"},
        {cp1252->get(), "caf\xE9", "caf\xC3\xA9"},
        {cp1252->get(), "\x80", "\xE2\x82\xAC"},  // euro sign
        // Bytes CP1252 leaves unassigned decode as the C1 controls of the same value, as Windows does.
        {cp1252->get(), "\x81", "\xC2\x81"},
        {cp1252->get(),
         "a\x8D\x8F\x90\x9D"
         "b",
         "a\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"
         "b"},
        {gb->get(), "GBK\xB1\xE0\xC2\xEB", "GBK\xE7\xBC\x96\xE7\xA0\x81"},  // GBK编码
        {gb->get(), "\xB1", "\xEF\xBF\xBD"},                                // a lead byte without its trail
    };
    for (const Case& c : cases) EXPECT_EQ(decode(*c.decoder, c.bytes), c.expected);

    auto euro = (*cp1252)->encode("\xE2\x82\xAC");
    ASSERT_TRUE(euro.ok());
    EXPECT_EQ(*euro, "\x80");
    auto han = (*gb)->encode("\xE7\xBC\x96");
    ASSERT_TRUE(han.ok());
    EXPECT_EQ(*han, "\xB1\xE0");
    EXPECT_TRUE((*cp1252)->encode("\xE7\xBC\x96").status().isInvalidArgument());

    EXPECT_EQ(codePageName(1252), "CP1252");
    EXPECT_EQ(codePageName(936), "CP936");
    EXPECT_TRUE(CodePageDecoder::create("NO-SUCH-CODE-PAGE").status().isInvalidArgument());
}

TEST(TextFormat, DateTimes) {
    const double second = 1.0 / 86400;
    const struct {
        double days;
        const char* expected;
    } cases[] = {
        {0, "1899-12-30 00:00:00"},
        {1.5, "1899-12-31 12:00:00"},
        {2, "1900-01-01 00:00:00"},
        {36526.75, "2000-01-01 18:00:00"},
        {2958465 + 0.5, "9999-12-31 12:00:00"},
        // Before 1899-12-30 the fraction is still the time of day.
        {-1.25, "1899-12-29 06:00:00"},
        {-0.5, "1899-12-30 12:00:00"},
        {-36522, "1800-01-01 00:00:00"},
        // Rounding to the second carries into the next day, on either side of the epoch.
        {2 - 0.4 * second, "1900-01-01 00:00:00"},
        {1 + 0.4 * second, "1899-12-31 00:00:00"},
        {-1 - (1 - 0.4 * second), "1899-12-30 00:00:00"},
        // Values no calendar holds are shown as numbers.
        {1e300, "1e+300"},
        {std::numeric_limits<double>::infinity(), "inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatDateTime(DateTime{c.days}), c.expected) << c.days;
    EXPECT_EQ(formatDateTime(DateTime{std::numeric_limits<double>::quiet_NaN()}).find('-'),
              std::string::npos);
}

TEST(TextFormat, CsvFields) {
    Guid guid;
    for (size_t i = 0; i < 16; ++i) guid.bytes[i] = static_cast<uint8_t>(i);
    const struct {
        Value value;
        const char* expected;
    } cases[] = {
        {Value(), ""},
        {Value(true), "1"},
        {Value(false), "0"},
        {Value(int64_t{-42}), "-42"},
        {Value(0.1), "0.1"},
        {Value(1.5f), "1.5"},
        {Value(std::string()), "\"\""},
        {Value(std::string("plain")), "\"plain\""},
        {Value(std::string("say \"hi\", twice\n")), "\"say \"\"hi\"\", twice\n\""},
        {Value(std::string("\"")), "\"\"\"\""},
        {Value(Bytes{0xAB, 0x01, 0x00}), "ab0100"},
        {Value(Currency{0}), "0.0000"},
        {Value(Currency{-5000}), "-0.5000"},
        {Value(Currency{-1}), "-0.0001"},
        {Value(Currency{12345678}), "1234.5678"},
        {Value(Currency{-12345678}), "-1234.5678"},
        {Value(Currency{std::numeric_limits<int64_t>::min()}), "-922337203685477.5808"},
        {Value(Currency{std::numeric_limits<int64_t>::max()}), "922337203685477.5807"},
        {Value(DateTime{-1.25}), "1899-12-29 06:00:00"},
        {Value(guid), "{03020100-0504-0706-0809-0A0B0C0D0E0F}"},
        {Value(Decimal{true, 0, 1234, 2}), "-12.34"},
    };
    for (const auto& c : cases) {
        std::string out;
        appendCsvField(out, c.value);
        EXPECT_EQ(out, c.expected);
    }
}

// Doubles are written in their shortest round-trip form; the quick path for whole hundredths must give
// exactly what the general algorithm gives, at the edges of its range and on values just off a hundredth.
TEST(TextFormat, DoublesAsTheShortestRoundTripText) {
    std::vector<double> values = {0.01,  0.005,      0.015,        0.1,   0.2,    0.1 + 0.2, 1.0 / 3,
                                  0.99,  1,          1.5,          9999,  10000,  100000,    123456.78,
                                  1e9,   1e9 - 0.01, 999999999.99, 1e-5,  5e-324, 1e300,     -0.0,
                                  -0.01, -1.25,      -9999.99,     2.675, 1.005,  4.35,      1.15};
    std::mt19937_64 random(2024);
    for (int i = 0; i < 20000; ++i) {
        const auto hundredths = static_cast<int64_t>(random() % 100000000000ull) - 50000000000;
        values.push_back(static_cast<double>(hundredths) / 100.0);
        values.push_back(static_cast<double>(hundredths) / 100.0 + 1e-9);
        values.push_back(static_cast<double>(random() % 1000000) * 0.01);  // products, not quotients
    }
    for (double v : values) {
        char expected[64];
        const char* end = std::to_chars(expected, expected + sizeof expected, v).ptr;
        std::string out;
        appendCsvField(out, Value(v));
        ASSERT_EQ(out, std::string(static_cast<const char*>(expected), end)) << std::hexfloat << v;
    }
}

TEST(TextFormat, Decimals) {
    const struct {
        Decimal value;
        const char* expected;
    } cases[] = {
        {Decimal{false, 0, 0, 0}, "0"},
        {Decimal{true, 0, 0, 0}, "0"},  // no negative zero
        {Decimal{true, 0, 0, 2}, "0.00"},
        {Decimal{false, 0, 5, 4}, "0.0005"},
        {Decimal{true, 0, 5, 4}, "-0.0005"},
        {Decimal{false, 0, 123456, 3}, "123.456"},
        {Decimal{false, 0, 120, 1}, "12.0"},
        {Decimal{false, 1, 0, 0}, "18446744073709551616"},
        {Decimal{false, 0, std::numeric_limits<uint64_t>::max(), 0}, "18446744073709551615"},
        {Decimal{true, 0x4B3B4CA85A86C47AULL, 0x098A223FFFFFFFFFULL, 28},
         "-9999999999.9999999999999999999999999999"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatDecimal(c.value), c.expected);
}

}  // namespace
}  // namespace jet

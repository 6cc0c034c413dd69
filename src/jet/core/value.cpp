#include <charconv>
#include <cmath>
#include <cstdio>

#include "jet/format_value.h"
#include "jet/value.h"

namespace jet {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// Days from 1970-01-01 to the civil date (proleptic Gregorian), after H. Hinnant's well-known algorithm.
void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += (m <= 2);
}

// Writes `v` in decimal at `at`, left-padded with zeros to at least `width` digits (the date and money
// forms); returns the end of what it wrote. Fields are built in a buffer and appended once: exports
// write millions of them.
char* putPadded(char* at, uint64_t v, int width) {
    char digits[20];
    const char* end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    for (auto n = static_cast<int>(end - digits); n < width; ++n) *at++ = '0';
    for (const char* d = digits; d < end; ++d) *at++ = *d;
    return at;
}

// The two digits of `v` (below 100): months, days, hours, minutes and seconds.
char* putTwoDigits(char* at, unsigned v) {
    at[0] = static_cast<char>('0' + v / 10);
    at[1] = static_cast<char>('0' + v % 10);
    return at + 2;
}

// The four digits of `v` (below 10,000): years and the fraction of an amount.
char* putFourDigits(char* at, unsigned v) {
    return putTwoDigits(putTwoDigits(at, v / 100), v % 100);
}

void appendBuffer(std::string& out, const char* begin, const char* end) {
    out.append(begin, static_cast<size_t>(end - begin));
}

// Writes a double that is a whole number of hundredths between 0.01 and 10^9 (prices and quantities are)
// at `at`: its digits with the fraction's trailing zeros cut. That is the shortest text that reads back as
// the same double, as the general algorithm would find it, and the fixed notation it would choose as the
// shorter: any other text of as few digits is at least a hundredth away. Null for other values (and for
// whole numbers past 9999, which scientific notation may write shorter).
char* putHundredths(char* at, double v) {
    if (!(std::fabs(v) >= 0.01 && std::fabs(v) < 1e9)) return nullptr;
    const double hundredths = std::nearbyint(v * 100.0);
    if (hundredths / 100.0 != v) return nullptr;  // not the double nearest to a number of hundredths
    const auto magnitude = static_cast<uint64_t>(std::fabs(hundredths));
    const uint64_t whole = magnitude / 100;
    const auto cents = static_cast<unsigned>(magnitude % 100);
    if (cents == 0 && whole > 9999) return nullptr;
    if (v < 0) *at++ = '-';
    at = std::to_chars(at, at + 20, whole).ptr;
    if (cents == 0) return at;
    *at++ = '.';
    *at++ = static_cast<char>('0' + cents / 10);
    if (cents % 10 != 0) *at++ = static_cast<char>('0' + cents % 10);
    return at;
}

template <typename T>
void appendShortest(std::string& out, T v) {
    char buf[64];
    if constexpr (std::is_same_v<T, double>) {
        if (const char* end = putHundredths(buf, v)) return appendBuffer(out, buf, end);
    }
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    appendBuffer(out, buf, r.ptr);
}

void appendHex(std::string& out, const Bytes& b) {
    out.reserve(out.size() + b.size() * 2);
    for (uint8_t c : b) {
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 0xF]);
    }
}

// 128-bit magnitude divided by 10 in place, 32 bits at a time; returns the remainder.
unsigned divideBy10(uint64_t& hi, uint64_t& lo) {
    uint32_t words[4] = {static_cast<uint32_t>(hi >> 32), static_cast<uint32_t>(hi),
                         static_cast<uint32_t>(lo >> 32), static_cast<uint32_t>(lo)};
    uint64_t remainder = 0;
    for (uint32_t& w : words) {
        uint64_t cur = (remainder << 32) | w;
        w = static_cast<uint32_t>(cur / 10);
        remainder = cur % 10;
    }
    hi = (uint64_t{words[0]} << 32) | words[1];
    lo = (uint64_t{words[2]} << 32) | words[3];
    return static_cast<unsigned>(remainder);
}

int kindRank(const Value& v) {
    if (isNull(v)) return 0;
    if (std::holds_alternative<std::string>(v)) return 2;
    if (std::holds_alternative<Bytes>(v) || std::holds_alternative<Guid>(v)) return 3;
    return 1;  // numbers, booleans and dates
}

double asNumber(const Value& v) {
    return std::visit(
        [](const auto& x) -> double {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, bool>)
                return x ? -1.0 : 0.0;  // Jet's True is -1
            else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, float> ||
                               std::is_same_v<T, double>)
                return static_cast<double>(x);
            else if constexpr (std::is_same_v<T, Currency>)
                return static_cast<double>(x.scaled) / 10000.0;
            else if constexpr (std::is_same_v<T, DateTime>)
                return x.days;
            else if constexpr (std::is_same_v<T, Decimal>) {
                double m = std::ldexp(static_cast<double>(x.hi), 64) + static_cast<double>(x.lo);
                m /= std::pow(10.0, x.scale);
                return x.negative ? -m : m;
            } else
                return 0.0;
        },
        v);
}

int foldAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

}  // namespace

namespace {

struct TypeRow {
    ColumnType type;
    ColumnTypeTraits traits;
};

// name, fixed width, variable, creatable, long value, text. A Boolean lives in the null mask, so it takes
// no fixed bytes; fixed text and binary columns are as wide as declared.
constexpr TypeRow kTypes[] = {
    {ColumnType::Boolean, {"Boolean", 0, false, true, false, false}},
    {ColumnType::Byte, {"Byte", 1, false, true, false, false}},
    {ColumnType::Integer, {"Integer", 2, false, true, false, false}},
    {ColumnType::Long, {"Long", 4, false, true, false, false}},
    {ColumnType::Currency, {"Currency", 8, false, true, false, false}},
    {ColumnType::Single, {"Single", 4, false, true, false, false}},
    {ColumnType::Double, {"Double", 8, false, true, false, false}},
    {ColumnType::DateTime, {"DateTime", 8, false, true, false, false}},
    {ColumnType::Binary, {"Binary", 0, true, true, false, false}},
    {ColumnType::Text, {"Text", 0, true, true, false, true}},
    {ColumnType::Ole, {"OLE", 0, true, true, true, false}},
    {ColumnType::Memo, {"Memo", 0, true, true, true, true}},
    {ColumnType::Unknown0D, {"Binary", 0, true, false, false, false}},
    {ColumnType::Guid, {"GUID", 16, false, true, false, false}},
    {ColumnType::Numeric, {"Numeric", 17, false, true, false, false}},
    {ColumnType::Unknown11, {"Binary", 0, true, false, false, false}},
    {ColumnType::Complex, {"Complex", 4, false, false, false, false}},
    {ColumnType::BigInt, {"BigInt", 8, false, false, false, false}},
};
constexpr ColumnTypeTraits kUnknownType{"Unknown", 0, false, false, false, false};

// The rows above by type code, for a lookup without a search; codes no row names are unknown.
constexpr size_t kTypeCodes = 256;
constexpr std::array<ColumnTypeTraits, kTypeCodes> byCode() {
    std::array<ColumnTypeTraits, kTypeCodes> out{};
    out.fill(kUnknownType);
    for (const TypeRow& row : kTypes) out[static_cast<uint8_t>(row.type)] = row.traits;
    return out;
}
constexpr std::array<ColumnTypeTraits, kTypeCodes> kTraitsByCode = byCode();

}  // namespace

const ColumnTypeTraits& columnTypeTraits(ColumnType type) {
    return kTraitsByCode[static_cast<uint8_t>(type)];
}

std::string formatDateTime(DateTime d) {
    std::string out;
    out.reserve(20);
    appendDateTime(out, d);
    return out;
}

void appendDateTime(std::string& out, DateTime d) {
    // A damaged value (NaN, infinite, or beyond any calendar) has no date form; its number is shown instead.
    if (!std::isfinite(d.days) || std::fabs(d.days) > 1e9) {
        appendShortest(out, d.days);
        return;
    }
    // The whole part counts days from 1899-12-30 and the fraction is the time of day even when the number is
    // negative (-1.25 is 1899-12-29 06:00). Round to the second first so that 23:59:59.6 rolls into the next
    // day.
    double whole = std::trunc(d.days);
    double totalSeconds = whole * 86400.0 + std::round(std::fabs(d.days - whole) * 86400.0);
    auto secs = static_cast<int64_t>(totalSeconds);
    int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    int64_t rem = secs - days * 86400;
    int64_t y;
    unsigned m, dd;
    civilFromDays(days - 25569, y, m, dd);  // 25569 days from 1899-12-30 to 1970-01-01
    char buf[48];
    char* p = buf;
    if (y < 0) *p++ = '-';
    const auto year = static_cast<uint64_t>(y < 0 ? -y : y);
    p = year < 10000 ? putFourDigits(p, static_cast<unsigned>(year)) : putPadded(p, year, 4);
    *p++ = '-';
    p = putTwoDigits(p, m);
    *p++ = '-';
    p = putTwoDigits(p, dd);
    *p++ = ' ';
    const auto seconds = static_cast<unsigned>(rem);  // within a day
    p = putTwoDigits(p, seconds / 3600);
    *p++ = ':';
    p = putTwoDigits(p, seconds / 60 % 60);
    *p++ = ':';
    p = putTwoDigits(p, seconds % 60);
    appendBuffer(out, buf, p);
}

std::string formatDecimal(const Decimal& d) {
    uint64_t hi = d.hi, lo = d.lo;
    std::string digits;
    while (hi != 0 || lo != 0) digits.insert(digits.begin(), static_cast<char>('0' + divideBy10(hi, lo)));
    if (digits.size() <= d.scale) digits.insert(0, d.scale + 1 - digits.size(), '0');
    if (d.scale > 0) digits.insert(digits.size() - d.scale, 1, '.');
    bool zero = d.hi == 0 && d.lo == 0;
    return (d.negative && !zero ? "-" : "") + digits;
}

std::string formatGuid(const Guid& g) {
    const auto& b = g.bytes;
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return buf;
}

void appendCsvText(std::string& out, std::string_view text) {
    out.push_back('"');
    // Copy runs between quotes whole; only the quotes themselves need doubling.
    for (size_t quote; (quote = text.find('"')) != std::string_view::npos; text.remove_prefix(quote + 1)) {
        out.append(text.data(), quote + 1);
        out.push_back('"');
    }
    out.append(text);
    out.push_back('"');
}

void appendCsvField(std::string& out, const Value& v) {
    std::visit(
        [&out](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
            } else if constexpr (std::is_same_v<T, bool>) {
                out.push_back(x ? '1' : '0');
            } else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, float> ||
                                 std::is_same_v<T, double>) {
                appendShortest(out, x);
            } else if constexpr (std::is_same_v<T, Currency>) {
                // The magnitude as unsigned, so that the most negative amount needs no special case.
                uint64_t magnitude =
                    x.scaled < 0 ? 0 - static_cast<uint64_t>(x.scaled) : static_cast<uint64_t>(x.scaled);
                char buf[32];
                char* p = buf;
                if (x.scaled < 0) *p++ = '-';
                p = std::to_chars(p, p + 20, magnitude / 10000).ptr;
                *p++ = '.';
                p = putFourDigits(p, static_cast<unsigned>(magnitude % 10000));
                appendBuffer(out, buf, p);
            } else if constexpr (std::is_same_v<T, DateTime>) {
                appendDateTime(out, x);
            } else if constexpr (std::is_same_v<T, std::string>) {
                appendCsvText(out, x);
            } else if constexpr (std::is_same_v<T, Bytes>) {
                appendHex(out, x);
            } else if constexpr (std::is_same_v<T, Guid>) {
                out += formatGuid(x);
            } else if constexpr (std::is_same_v<T, Decimal>) {
                out += formatDecimal(x);
            }
        },
        v);
}

int compareValues(const Value& a, const Value& b) {
    int ka = kindRank(a), kb = kindRank(b);
    if (ka != kb) return ka < kb ? -1 : 1;
    switch (ka) {
        case 0:
            return 0;
        case 1: {
            if (std::holds_alternative<int64_t>(a) && std::holds_alternative<int64_t>(b)) {
                int64_t x = std::get<int64_t>(a), y = std::get<int64_t>(b);
                return x < y ? -1 : (x > y ? 1 : 0);
            }
            double x = asNumber(a), y = asNumber(b);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        case 2: {
            const auto& x = std::get<std::string>(a);
            const auto& y = std::get<std::string>(b);
            size_t n = std::min(x.size(), y.size());
            for (size_t i = 0; i < n; ++i) {
                int cx = foldAscii(static_cast<unsigned char>(x[i])),
                    cy = foldAscii(static_cast<unsigned char>(y[i]));
                if (cx != cy) return cx < cy ? -1 : 1;
            }
            return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
        }
        default: {
            auto bytesOf = [](const Value& v) {
                if (auto* g = std::get_if<Guid>(&v)) return Bytes(g->bytes.begin(), g->bytes.end());
                return std::get<Bytes>(v);
            };
            Bytes x = bytesOf(a), y = bytesOf(b);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
    }
}

}  // namespace jet

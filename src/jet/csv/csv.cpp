// Reading CSV back into values and tables: the inverse of the export format (jet/format_value.h).
#include <charconv>
#include <cstdio>

#include "jet/csv.h"

#include <cstring>

namespace jet {
namespace {

Status badField(const CsvField& f, const char* what) {
    return Status::InvalidArgument("'" + f.text + "' is not " + what);
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian); H. Hinnant's well-known algorithm.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

Result<Value> parseDate(const CsvField& f) {
    long long y = 0;
    unsigned mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    if (std::sscanf(f.text.c_str(), "%lld-%u-%u %u:%u:%u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6 ||
        mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) {
        return badField(f, "a date YYYY-MM-DD HH:MM:SS");
    }
    int64_t day = daysFromCivil(y, mo, d) + 25569;  // days from 1899-12-30
    double time = (h * 3600.0 + mi * 60.0 + s) / 86400.0;
    // Before 1899-12-30 the fraction still counts forward from midnight, so it is subtracted.
    return Value(DateTime{day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time});
}

Result<Value> parseInteger(const CsvField& f) {
    int64_t v = 0;
    auto r = std::from_chars(f.text.data(), f.text.data() + f.text.size(), v);
    if (r.ec != std::errc() || r.ptr != f.text.data() + f.text.size()) return badField(f, "a whole number");
    return Value(v);
}

// "-12.3400" with `scale` digits after the point, as a sign and a magnitude in units of 10^-scale.
Status parseScaled(const CsvField& f, uint8_t scale, bool& negative, uint64_t& hi, uint64_t& lo) {
    std::string_view t = f.text;
    negative = !t.empty() && t[0] == '-';
    if (negative) t.remove_prefix(1);
    size_t point = t.find('.');
    std::string digits(t.substr(0, point));
    std::string fraction = point == std::string_view::npos ? "" : std::string(t.substr(point + 1));
    if (digits.empty() || fraction.size() > scale) return badField(f, "a number with the column's decimals");
    fraction.append(scale - fraction.size(), '0');
    hi = lo = 0;
    for (char c : digits + fraction) {
        if (c < '0' || c > '9') return badField(f, "a decimal number");
        // 128-bit multiply by ten and add the digit, 32 bits at a time.
        if (hi > 0xFFFFFFFFFFFFFFFFull / 10 - 1) return badField(f, "a number in range");
        uint64_t lowPart = (lo & 0xFFFFFFFFu) * 10 + static_cast<unsigned>(c - '0');
        uint64_t highPart = (lo >> 32) * 10 + (lowPart >> 32);
        lo = (highPart << 32) | (lowPart & 0xFFFFFFFFu);
        hi = hi * 10 + (highPart >> 32);
    }
    return {};
}

Result<Value> parseHex(const CsvField& f) {
    if (f.text.size() % 2 != 0) return badField(f, "hexadecimal bytes");
    Bytes out;
    for (size_t i = 0; i < f.text.size(); i += 2) {
        unsigned byte = 0;
        auto r = std::from_chars(f.text.data() + i, f.text.data() + i + 2, byte, 16);
        if (r.ec != std::errc() || r.ptr != f.text.data() + i + 2) return badField(f, "hexadecimal bytes");
        out.push_back(static_cast<uint8_t>(byte));
    }
    return Value(std::move(out));
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the first three groups are stored little-endian.
Result<Value> parseGuid(const CsvField& f) {
    std::string hex;
    for (char c : f.text) {
        if (c != '{' && c != '}' && c != '-') hex.push_back(c);
    }
    CsvField bare{hex, false};
    auto bytes = parseHex(bare);
    if (!bytes.ok() || std::get<Bytes>(*bytes).size() != 16) return badField(f, "a GUID");
    const Bytes& b = std::get<Bytes>(*bytes);
    Guid g;
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) g.bytes[static_cast<size_t>(i)] = b[static_cast<size_t>(order[i])];
    return Value(g);
}

template <typename T>
Result<Value> parseFloating(const CsvField& f) {
    T v{};
    auto r = std::from_chars(f.text.data(), f.text.data() + f.text.size(), v);
    if (r.ec != std::errc() || r.ptr != f.text.data() + f.text.size()) return badField(f, "a number");
    return Value(v);
}

}  // namespace

namespace {
constexpr size_t kReadChunk = 1 << 16;
}  // namespace

CsvReader::CsvReader(std::istream& in) : m_in(&in) {}
CsvReader::CsvReader(std::string_view text) : m_text(text) {}
CsvReader::~CsvReader() = default;

bool CsvReader::refill() {
    if (m_in == nullptr || !*m_in) return false;
    m_buffer.resize(kReadChunk);
    m_in->read(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
    m_buffer.resize(static_cast<size_t>(m_in->gcount()));
    m_text = m_buffer;
    m_at = 0;
    return !m_text.empty();
}

int CsvReader::peek() {
    if (m_at >= m_text.size() && !refill()) return -1;
    return static_cast<unsigned char>(m_text[m_at]);
}

int CsvReader::get() {
    int c = peek();
    if (c >= 0) ++m_at;
    return c;
}

Result<bool> CsvReader::next(std::vector<CsvField>& record) {
    record.clear();
    if (peek() < 0) return false;
    CsvField field;
    bool started = false;
    while (true) {
        int c = get();
        if (c == '"' && !started) {
            field.quoted = started = true;
            while (true) {
                int q = get();
                if (q < 0) return Status::InvalidArgument("CSV: unterminated quoted field");
                if (q == '"') {
                    if (peek() != '"') break;
                    get();
                }
                field.text.push_back(static_cast<char>(q));
            }
            int after = peek();
            if (after >= 0 && after != ',' && after != '\r' && after != '\n')
                return Status::InvalidArgument("CSV: text after a closing quote");
        } else if (c == ',') {
            record.push_back(std::move(field));
            field = CsvField{};
            started = false;
        } else if (c == '\r' || c == '\n' || c < 0) {
            if (c == '\r' && peek() == '\n') get();
            record.push_back(std::move(field));
            return true;
        } else {
            started = true;
            field.text.push_back(static_cast<char>(c));
        }
    }
}

Result<std::vector<std::vector<CsvField>>> parseCsvRecords(std::string_view text) {
    CsvReader reader(text);
    std::vector<std::vector<CsvField>> records;
    std::vector<CsvField> record;
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, reader.next(record));
        if (!more) return records;
        records.push_back(std::move(record));
    }
}

Result<Value> parseCsvValue(const CsvField& f, ColumnType type, uint8_t scale) {
    if (!f.quoted && f.text.empty()) return Value();
    switch (type) {
        case ColumnType::Text:
        case ColumnType::Memo:
            return Value(f.text);
        case ColumnType::Boolean:
            if (f.text == "1" || f.text == "-1") return Value(true);
            if (f.text == "0") return Value(false);
            return badField(f, "a boolean 1 or 0");
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
            return parseInteger(f);
        case ColumnType::Single:
            return parseFloating<float>(f);
        case ColumnType::Double:
            return parseFloating<double>(f);
        case ColumnType::DateTime:
            return parseDate(f);
        case ColumnType::Binary:
        case ColumnType::Ole:
            return parseHex(f);
        case ColumnType::Guid:
            return parseGuid(f);
        case ColumnType::Currency: {
            bool negative = false;
            uint64_t hi = 0, lo = 0;
            JET_RETURN_IF_ERROR(parseScaled(f, 4, negative, hi, lo));
            // The lowest amount has no positive partner: its magnitude is one past INT64_MAX.
            uint64_t limit = static_cast<uint64_t>(INT64_MAX) + (negative ? 1 : 0);
            if (hi != 0 || lo > limit) return badField(f, "a currency amount in range");
            return Value(Currency{negative ? static_cast<int64_t>(0 - lo) : static_cast<int64_t>(lo)});
        }
        case ColumnType::Numeric: {
            Decimal d;
            d.scale = scale;
            JET_RETURN_IF_ERROR(parseScaled(f, scale, d.negative, d.hi, d.lo));
            return Value(d);
        }
        default:
            return Status::NotSupported("values of type " + std::string(columnTypeName(type)) +
                                        " cannot be parsed");
    }
}

Result<ColumnSpec> columnFromHeaderCell(std::string_view cell) {
    ColumnSpec c;
    size_t colon = cell.rfind(':');
    c.name = std::string(cell.substr(0, colon));
    std::string type = colon == std::string_view::npos ? "text(255)" : std::string(cell.substr(colon + 1));
    auto sized = [&](const char* prefix, ColumnType t) {
        size_t n = std::strlen(prefix);
        if (type.compare(0, n, prefix) != 0 || type.size() < n + 2 || type.back() != ')') return false;
        c.type = t;
        c.size = static_cast<uint16_t>(std::strtoul(type.c_str() + n, nullptr, 10));
        return true;
    };
    static const std::pair<const char*, ColumnType> kPlain[] = {
        {"byte", ColumnType::Byte},         {"int", ColumnType::Integer},
        {"long", ColumnType::Long},         {"single", ColumnType::Single},
        {"double", ColumnType::Double},     {"currency", ColumnType::Currency},
        {"datetime", ColumnType::DateTime}, {"bool", ColumnType::Boolean},
        {"guid", ColumnType::Guid},         {"memo", ColumnType::Memo},
        {"ole", ColumnType::Ole},           {"autonumber", ColumnType::Long}};
    for (const auto& [name, t] : kPlain) {
        if (type == name) {
            c.type = t;
            c.autoNumber = type == "autonumber";
            return c;
        }
    }
    if (sized("text(", ColumnType::Text) || sized("binary(", ColumnType::Binary)) return c;
    return Status::InvalidArgument("unknown column type '" + type + "' in header cell '" + std::string(cell) +
                                   "'");
}

Result<std::unique_ptr<CsvTableReader>> CsvTableReader::start(std::unique_ptr<CsvReader> csv,
                                                              const std::string& name,
                                                              const std::string& primaryKey,
                                                              const std::vector<std::string>& indexed) {
    std::vector<CsvField> header;
    JET_ASSIGN_OR_RETURN(bool any, csv->next(header));
    if (!any) return Status::InvalidArgument("the CSV has no header line");
    TableSpec spec;
    spec.name = name;
    for (const CsvField& cell : header) {
        JET_ASSIGN_OR_RETURN(ColumnSpec c, columnFromHeaderCell(cell.text));
        spec.columns.push_back(std::move(c));
    }
    if (!primaryKey.empty()) spec.indexes.push_back(IndexSpec{"PrimaryKey", {primaryKey}, {}, true, true});
    for (const std::string& column : indexed)
        spec.indexes.push_back(IndexSpec{column, {column}, {}, false, false});
    return std::unique_ptr<CsvTableReader>(new CsvTableReader(std::move(csv), std::move(spec)));
}

Result<std::vector<Row>> CsvTableReader::nextRows(size_t count) {
    std::vector<Row> rows;
    std::vector<CsvField> record;
    const std::vector<ColumnSpec>& columns = m_spec.columns;
    while (rows.size() < count) {
        JET_ASSIGN_OR_RETURN(bool more, m_csv->next(record));
        if (!more) break;
        std::string where = "CSV record " + std::to_string(++m_record);
        if (record.size() != columns.size())
            return Status::InvalidArgument(where + " has " + std::to_string(record.size()) +
                                           " fields, expected " + std::to_string(columns.size()));
        Row row;
        row.reserve(columns.size());
        for (size_t i = 0; i < record.size(); ++i) {
            auto v = parseCsvValue(record[i], columns[i].type, columns[i].scale);
            if (!v.ok()) return v.status().withContext(where + " column " + columns[i].name);
            row.push_back(std::move(v).value());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace jet

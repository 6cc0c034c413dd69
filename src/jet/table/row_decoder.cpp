#include "table/row_decoder.h"

#include <cmath>
#include <cstring>

namespace jet {
namespace {

std::string pageText(uint32_t page) {
    return "page " + std::to_string(page);
}

// Fixed text and binary columns are as wide as their declared length.
size_t fixedWidth(const ColumnDef& c) {
    uint16_t width = columnTypeTraits(c.type).fixedWidth;
    return width != 0 ? width : c.length;
}

// The 16 magnitude bytes of a stored decimal are four little-endian 32-bit words, most significant first.
Decimal decodeDecimal(const uint8_t* p, uint8_t scale) {
    Decimal d;
    d.negative = (p[0] & 0x80) != 0;
    uint32_t w[4];
    for (int i = 0; i < 4; ++i) w[i] = ByteView::load32(p + 1 + 4 * i);
    d.hi = (uint64_t{w[0]} << 32) | w[1];
    d.lo = (uint64_t{w[2]} << 32) | w[3];
    d.scale = scale;
    return d;
}

template <typename T>
T loadAs(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

Status RowDecoder::parseRow(const TableDef& table, RowImage& row) const {
    ByteView b = row.bytes;
    RowLayout& L = row.layout;
    const size_t n = b.size();
    const bool jet3 = m_layout.jet3;
    const size_t countSize = m_layout.rowColumnCountSize;
    auto bad = [&](const char* what) {
        return Status::Corruption(pageText(row.id.page) + " row " + std::to_string(row.id.row) + ": " + what);
    };
    if (n < countSize + 1) return bad("too short");
    L.columnCount = jet3 ? b.data()[0] : ByteView::load16(b.data());
    L.nullMaskSize = (L.columnCount + 7u) / 8u;
    L.fixedStart = countSize;
    if (n < countSize + L.nullMaskSize) return bad("null mask overruns the row");
    L.nullMask = b.data() + n - L.nullMaskSize;
    L.varOffsets.clear();
    if (table.variableColumns == 0) return {};

    const uint8_t* d = b.data();
    size_t tail = n - L.nullMaskSize;  // bytes before the null mask
    if (!jet3) {
        if (tail < countSize + 2) return bad("variable-field count overruns the row");
        size_t varCount = ByteView::load16(d + tail - 2);
        if (tail < countSize + 2 + 2 * (varCount + 1)) return bad("variable-field table overruns the row");
        L.varOffsets.resize(varCount + 1);
        for (size_t i = 0; i <= varCount; ++i) L.varOffsets[i] = ByteView::load16(d + tail - 2 - 2 * (i + 1));
    } else {
        if (tail < 2) return bad("variable-field count overruns the row");
        size_t varCount = d[tail - 1];
        // Offsets are one byte; a jump table records where they wrap past each multiple of 256.
        size_t jumps = (n - 1) / 256;
        if (tail < 1 + jumps + 1 + varCount + 1) return bad("variable-field table overruns the row");
        size_t first = tail - 1 - jumps - 1;            // position of the first offset; later ones precede it
        if ((first - varCount) / 256 < jumps) --jumps;  // the last jump entry may be a filler
        L.varOffsets.resize(varCount + 1);
        size_t used = 0;
        for (size_t i = 0; i <= varCount; ++i) {
            while (used < jumps && i == d[tail - 2 - used]) ++used;
            L.varOffsets[i] = d[first - i] + static_cast<uint32_t>(256 * used);
        }
    }
    uint32_t previous = static_cast<uint32_t>(L.fixedStart);
    for (uint32_t offset : L.varOffsets) {
        if (offset < previous || offset > tail)
            return bad("variable-field offsets out of order or outside the row");
        previous = offset;
    }
    return {};
}

Result<Value> RowDecoder::decodeColumn(const ColumnDef& c, const RowImage& row) const {
    Value v;
    JET_RETURN_IF_ERROR(decodeColumn(c, row, v));
    return v;
}

Status RowDecoder::decodeColumn(const ColumnDef& c, const RowImage& row, Value& into) const {
    const RowLayout& L = row.layout;
    bool present = c.number < L.columnCount && ((L.nullMask[c.number / 8] >> (c.number % 8)) & 1) != 0;
    if (c.type == ColumnType::Boolean) {
        into = present;
        return {};
    }
    if (!present) {
        into = Value();
        return {};
    }
    auto bad = [&](const std::string& what) {
        return Status::Corruption(pageText(row.id.page) + " row " + std::to_string(row.id.row) + " column " +
                                  c.name + ": " + what);
    };
    ByteView field;
    if (c.isFixed()) {
        size_t width = fixedWidth(c);
        size_t start = L.fixedStart + c.fixedOffset;
        if (!row.bytes.contains(start, width)) return bad("fixed field outside the row");
        field = ByteView(row.bytes.data() + start, width);
    } else {
        if (c.varIndex + 1u >= L.varOffsets.size()) {
            into = Value();
            return {};
        }
        uint32_t start = L.varOffsets[c.varIndex];
        uint32_t end = L.varOffsets[c.varIndex + 1u];
        field = ByteView(row.bytes.data() + start, end - start);
        // Numbers, dates and GUIDs have a fixed width wherever they are stored; a shorter field would be
        // read past its end.
        if (!columnTypeTraits(c.type).variable && field.size() < fixedWidth(c)) {
            return bad("variable field shorter than its type");
        }
    }
    const uint8_t* p = field.data();
    switch (c.type) {
        case ColumnType::Byte:
            into = int64_t{p[0]};
            return {};
        case ColumnType::Integer:
            into = int64_t{static_cast<int16_t>(ByteView::load16(p))};
            return {};
        case ColumnType::Long:
        case ColumnType::Complex:
            into = int64_t{static_cast<int32_t>(ByteView::load32(p))};
            return {};
        case ColumnType::Currency:
            into = Currency{static_cast<int64_t>(ByteView::load64(p))};
            return {};
        case ColumnType::BigInt:
            into = static_cast<int64_t>(ByteView::load64(p));
            return {};
        case ColumnType::Single:
            into = loadAs<float>(p);
            return {};
        case ColumnType::Double:
            into = loadAs<double>(p);
            return {};
        case ColumnType::DateTime:
            into = DateTime{loadAs<double>(p)};
            return {};
        case ColumnType::Guid: {
            Guid g;
            std::memcpy(g.bytes.data(), p, 16);
            into = g;
            return {};
        }
        case ColumnType::Numeric:
            into = decodeDecimal(p, c.scale);
            return {};
        case ColumnType::Text:
            decodeText(field, into);
            return {};
        case ColumnType::Binary:
        case ColumnType::Unknown0D:
        case ColumnType::Unknown11:
            into = Bytes(p, p + field.size());
            return {};
        case ColumnType::Memo:
        case ColumnType::Ole: {
            Bytes storage;
            auto bytes = m_longValues.read(field, storage);
            if (!bytes.ok()) return bad(bytes.status().message());
            if (c.type == ColumnType::Ole)
                into = Bytes(bytes->data(), bytes->data() + bytes->size());
            else
                decodeText(*bytes, into);
            return {};
        }
        case ColumnType::Boolean:
            break;
    }
    return Status::NotSupported("column " + c.name + " has unknown type " +
                                std::to_string(static_cast<int>(c.type)));
}

std::string RowDecoder::decodeText(ByteView bytes) const {
    if (m_codePageText != nullptr) return m_codePageText->decode(bytes);
    return decodeJet4Text(bytes);
}

void RowDecoder::decodeText(ByteView bytes, Value& into) const {
    auto* text = std::get_if<std::string>(&into);
    if (text != nullptr && m_codePageText == nullptr)
        decodeJet4TextInto(bytes, *text);
    else
        into = decodeText(bytes);
}

}  // namespace jet

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
    const RowLayout& L = row.layout;
    bool present = c.number < L.columnCount && ((L.nullMask[c.number / 8] >> (c.number % 8)) & 1) != 0;
    if (c.type == ColumnType::Boolean) return Value(present);
    if (!present) return Value();
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
        if (c.varIndex + 1u >= L.varOffsets.size()) return Value();
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
            return Value(int64_t{p[0]});
        case ColumnType::Integer:
            return Value(int64_t{static_cast<int16_t>(ByteView::load16(p))});
        case ColumnType::Long:
        case ColumnType::Complex:
            return Value(int64_t{static_cast<int32_t>(ByteView::load32(p))});
        case ColumnType::Currency:
            return Value(Currency{static_cast<int64_t>(ByteView::load64(p))});
        case ColumnType::BigInt:
            return Value(static_cast<int64_t>(ByteView::load64(p)));
        case ColumnType::Single:
            return Value(loadAs<float>(p));
        case ColumnType::Double:
            return Value(loadAs<double>(p));
        case ColumnType::DateTime:
            return Value(DateTime{loadAs<double>(p)});
        case ColumnType::Guid: {
            Guid g;
            std::memcpy(g.bytes.data(), p, 16);
            return Value(g);
        }
        case ColumnType::Numeric:
            return Value(decodeDecimal(p, c.scale));
        case ColumnType::Text:
            return Value(decodeText(field));
        case ColumnType::Binary:
        case ColumnType::Unknown0D:
        case ColumnType::Unknown11:
            return Value(Bytes(p, p + field.size()));
        case ColumnType::Memo:
        case ColumnType::Ole: {
            auto bytes = m_longValues.read(field);
            if (!bytes.ok()) return bad(bytes.status().message());
            if (c.type == ColumnType::Ole) return Value(std::move(bytes).value());
            return Value(decodeText(ByteView(bytes->data(), bytes->size())));
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

}  // namespace jet

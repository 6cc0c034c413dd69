#include "core/io/xlsx_package.h"

#include <zip.h>

#include <QFile>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace kx {
namespace {

// Deflate's fastest level: it packs a sheet's XML to about a ninth. The default level takes three times as
// long for a file only a sixth smaller; storing the parts unpacked is faster still but makes the file nine
// times as large.
constexpr zip_uint32_t kDeflateLevel = 1;
// The deepest outline level a sheet can show.
constexpr int kMaxOutlineLevel = 7;
// Column widths are stored in characters of the default font's widest digit, 7 pixels wide, including 5
// pixels of padding, and kept in 1/256ths of a character. The screen's widths come in twips, 15 a pixel.
constexpr int kTwipsPerPixel = 15;
constexpr double kDigitPixels = 7.0;
constexpr double kPaddingPixels = 5.0;
constexpr double kWidthSteps = 256.0;

// Cell formats, as xl/styles.xml lists them.
constexpr std::string_view kBoldStyle = "1";
constexpr std::string_view kPriceStyle = "2";  // built-in number format 2: "0.00"

constexpr std::string_view kXmlDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view kMainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

constexpr std::string_view kContentTypes =
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/styles.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "</Types>";

constexpr std::string_view kPackageRelationships =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/>"
    "</Relationships>";

constexpr std::string_view kWorkbookRelationships =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
    "Target=\"styles.xml\"/>"
    "</Relationships>";

constexpr std::string_view kFont =
    "<sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/><scheme val=\"minor\"/>";

/// The formats kBoldStyle and kPriceStyle name: 0 plain, 1 bold, 2 a number with two decimals.
std::string stylesXml() {
    std::string out(kXmlDeclaration);
    out.append("<styleSheet xmlns=\"").append(kMainNamespace).append("\">");
    out.append("<fonts count=\"2\"><font>").append(kFont).append("</font><font><b/>").append(kFont);
    out.append(
        "</font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
        "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
        "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
        "borderId=\"0\"/></cellStyleXfs>"
        "<cellXfs count=\"3\">"
        "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
        "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/>"
        "<xf numFmtId=\"2\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
        "</cellXfs>"
        "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
        "</styleSheet>");
    return out;
}

/// Writes `c` as UTF-8 at `out`; the end of what it wrote.
char* putUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

/// Where escaped text goes: element content keeps quotes, tabs and line feeds as they are; an attribute
/// value needs them as references, or a reader would end the value or turn them into blanks.
enum class XmlPlace { Content, Attribute };

/// What XML writes in `place` for the ASCII character `c`: nothing when `c` stands for itself, an empty
/// text for a control character XML 1.0 cannot hold.
std::optional<std::string_view> asciiEscape(char16_t c, XmlPlace place) {
    switch (c) {
        case u'&':
            return "&amp;";
        case u'<':
            return "&lt;";
        case u'>':
            return "&gt;";
        case u'\r':
            return "&#13;";  // a bare carriage return would be read as a line feed
        case u'"':
            return place == XmlPlace::Attribute ? std::optional<std::string_view>("&quot;") : std::nullopt;
        case u'\t':
            return place == XmlPlace::Attribute ? std::optional<std::string_view>("&#9;") : std::nullopt;
        case u'\n':
            return place == XmlPlace::Attribute ? std::optional<std::string_view>("&#10;") : std::nullopt;
        default:
            return c < 0x20 ? std::optional<std::string_view>("") : std::nullopt;
    }
}

/// Appends `text` as UTF-8 XML text, escaped for `place`. Characters XML 1.0 cannot hold (controls other
/// than tab and line breaks, unpaired surrogates, U+FFFE and U+FFFF) are dropped.
void appendXml(std::string& out, QStringView text, XmlPlace place) {
    // No UTF-16 unit takes more than the six bytes of "&quot;": write into room for that, then cut back.
    constexpr qsizetype kMostBytesPerUnit = 6;
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(text.size() * kMostBytesPerUnit));
    char* end = out.data() + start;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            if (const std::optional<std::string_view> escaped = asciiEscape(unit, place)) {
                end = std::copy(escaped->begin(), escaped->end(), end);
            } else {
                *end++ = static_cast<char>(unit);
            }
        } else if (QChar::isHighSurrogate(unit)) {
            if (i + 1 < size && text[i + 1].isLowSurrogate()) {
                end = putUtf8(end, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
                ++i;
            }
        } else if (!QChar::isLowSurrogate(unit) && unit != 0xFFFE && unit != 0xFFFF) {
            end = putUtf8(end, unit);
        }
    }
    out.resize(static_cast<size_t>(end - out.data()));
}

template <typename Number>
void appendNumber(std::string& out, Number value) {
    std::array<char, 32> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out.append(digits.data(), end);
}

/// The letters of the column at 0-based `index`: A to Z, then AA, AB and on.
std::string columnLetters(int index) {
    std::string letters;
    for (int n = index + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), char('A' + (n - 1) % 26));
    return letters;
}

/// The stored width of a column `twips` wide on screen: its whole pixels, padding included, in characters;
/// a column no wider than the padding is stored as hidden (0).
double storedWidth(int twips) {
    const double onScreen = static_cast<double>(twips) / kTwipsPerPixel;
    if (onScreen <= kPaddingPixels) return 0;
    return std::floor(std::round(onScreen) / kDigitPixels * kWidthSteps) / kWidthSteps;
}

int outlineLevelOf(const SheetRow& row) {
    return std::clamp(row.outlineLevel, 0, kMaxOutlineLevel);
}

/// Writes the parts of a sheet one row after another into one text.
class SheetWriter {
public:
    explicit SheetWriter(const SheetTable& table) : m_table(table) {
        for (int c = 0; c < table.columns.size(); ++c) m_letters.push_back(columnLetters(c));
    }

    std::string xml() {
        m_out.reserve(estimatedSize());
        m_out.append(kXmlDeclaration).append("<worksheet xmlns=\"").append(kMainNamespace).append("\">");
        // Grouped rows sit below the item they belong to, so the outline buttons go above them.
        m_out.append("<sheetPr><outlinePr summaryBelow=\"0\"/></sheetPr>");
        m_out.append(
            "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\">"
            "<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
            "<selection pane=\"bottomLeft\"/></sheetView></sheetViews>");
        m_out.append("<sheetFormatPr defaultRowHeight=\"15\" outlineLevelRow=\"");
        appendNumber(m_out, deepestOutlineLevel());
        m_out.append("\"/>");
        columns();
        m_out.append("<sheetData>");
        header();
        for (int r = 0; r < m_table.rows.size(); ++r) row(r);
        m_out.append("</sheetData></worksheet>");
        return std::move(m_out);
    }

private:
    /// About the size of the sheet's XML, so that it is built without copying it as it grows.
    size_t estimatedSize() const {
        constexpr qsizetype kRowMarkup = 64, kCellMarkup = 48, kBytesPerUnit = 3;
        qsizetype size = 4096;
        for (const SheetRow& row : m_table.rows) {
            size += kRowMarkup;
            for (const QString& text : row.cells) size += kCellMarkup + text.size() * kBytesPerUnit;
        }
        return static_cast<size_t>(size);
    }

    int deepestOutlineLevel() const {
        int deepest = 0;
        for (const SheetRow& row : m_table.rows) deepest = std::max(deepest, outlineLevelOf(row));
        return deepest;
    }

    void columns() {
        if (m_table.columns.isEmpty()) return;
        m_out.append("<cols>");
        for (int c = 0; c < m_table.columns.size(); ++c) {
            const double width = storedWidth(m_table.columns[c].widthTwips);
            m_out.append("<col min=\"");
            appendNumber(m_out, c + 1);
            m_out.append("\" max=\"");
            appendNumber(m_out, c + 1);
            m_out.append("\" width=\"");
            appendNumber(m_out, width);
            m_out.append(width > 0 ? "\" customWidth=\"1\"/>" : "\" hidden=\"1\" customWidth=\"1\"/>");
        }
        m_out.append("</cols>");
    }

    void header() {
        startRow(1);
        m_out.append(">");
        for (int c = 0; c < m_table.columns.size(); ++c) {
            const QString& caption = m_table.columns[c].caption;
            if (!caption.isEmpty()) textCell(c, caption, kBoldStyle);
        }
        m_out.append("</row>");
    }

    /// The row below the header at `index` in the table: a bold row is bold in every text cell, and an
    /// item whose grouped rows below it are folded away is marked collapsed.
    void row(int index) {
        const SheetRow& row = m_table.rows[index];
        startRow(index + 2);
        if (row.bold) m_out.append(" s=\"").append(kBoldStyle).append("\" customFormat=\"1\"");
        if (row.hidden) m_out.append(" hidden=\"1\"");
        if (const int level = outlineLevelOf(row); level > 0) {
            m_out.append(" outlineLevel=\"");
            appendNumber(m_out, level);
            m_out.append("\"");
        }
        if (index + 1 < m_table.rows.size()) {
            const SheetRow& next = m_table.rows[index + 1];
            if (next.hidden && outlineLevelOf(next) > outlineLevelOf(row)) m_out.append(" collapsed=\"1\"");
        }
        m_out.append(">");
        const qsizetype cells = std::min(m_table.columns.size(), row.cells.size());
        for (int c = 0; c < cells; ++c) {
            const QString& text = row.cells[c];
            if (text.isEmpty()) continue;
            const std::optional<double> number =
                m_table.columns[c].numeric ? sheetNumber(text) : std::nullopt;
            if (number) {
                numberCell(c, *number);
            } else {
                textCell(c, text, row.bold ? kBoldStyle : std::string_view());
            }
        }
        m_out.append("</row>");
    }

    void startRow(int sheetRow) {
        m_row.clear();
        appendNumber(m_row, sheetRow);
        m_out.append("<row r=\"").append(m_row).append("\"");
    }

    void startCell(int column, std::string_view style) {
        m_out.append("<c r=\"").append(m_letters[column]).append(m_row).append("\"");
        if (!style.empty()) m_out.append(" s=\"").append(style).append("\"");
    }

    void numberCell(int column, double value) {
        startCell(column, kPriceStyle);
        m_out.append("><v>");
        appendNumber(m_out, value);
        m_out.append("</v></c>");
    }

    /// A cell holding `text`, which is not empty.
    void textCell(int column, const QString& text, std::string_view style) {
        startCell(column, style);
        // Without xml:space a reader trims blanks at either end (a conversion row's leading blank).
        const bool keepBlanks = text.front().isSpace() || text.back().isSpace();
        m_out.append(keepBlanks ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                                : " t=\"inlineStr\"><is><t>");
        appendXml(m_out, text, XmlPlace::Content);
        m_out.append("</t></is></c>");
    }

    const SheetTable& m_table;
    std::vector<std::string> m_letters;
    std::string m_row;  // the current row's number
    std::string m_out;
};

std::string workbookXml(const SheetTable& table) {
    std::string out(kXmlDeclaration);
    out.append("<workbook xmlns=\"").append(kMainNamespace);
    out.append(
        "\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<bookViews><workbookView/></bookViews><sheets><sheet name=\"");
    appendXml(out, sheetName(table.title), XmlPlace::Attribute);
    out.append("\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    return out;
}

/// A part of the package: its name in the archive and its content.
struct Part {
    const char* name;
    std::string content;
};

struct ArchiveDiscarder {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

struct SourceFreer {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

QString errorText(zip_error_t& error) {
    const QString why = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    return why;
}

/// The bytes an in-memory source holds.
XlsxPackage readWhole(zip_source_t* source) {
    if (zip_source_open(source) != 0)
        return {{}, QString::fromUtf8(zip_error_strerror(zip_source_error(source)))};
    zip_stat_t stat;
    zip_stat_init(&stat);
    QByteArray bytes;
    if (zip_source_stat(source, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) != 0) {
        bytes.resize(static_cast<qsizetype>(stat.size));
        if (zip_source_read(source, bytes.data(), stat.size) != static_cast<zip_int64_t>(stat.size))
            bytes.clear();
    }
    zip_source_close(source);
    if (bytes.isEmpty()) return {{}, QStringLiteral("the package could not be read back from memory")};
    return {bytes, {}};
}

}  // namespace

std::string worksheetXml(const SheetTable& table) {
    return SheetWriter(table).xml();
}

XlsxPackage xlsxPackage(const SheetTable& table) {
    const std::array<Part, 6> parts{{
        {"[Content_Types].xml", std::string(kXmlDeclaration).append(kContentTypes)},
        {"_rels/.rels", std::string(kXmlDeclaration).append(kPackageRelationships)},
        {"xl/workbook.xml", workbookXml(table)},
        {"xl/_rels/workbook.xml.rels", std::string(kXmlDeclaration).append(kWorkbookRelationships)},
        {"xl/styles.xml", stylesXml()},
        {"xl/worksheets/sheet1.xml", worksheetXml(table)},
    }};
    // The archive is made in memory, so that the caller writes the file in one piece beside its name.
    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, SourceFreer> memory(zip_source_buffer_create(nullptr, 0, 0, &error));
    if (!memory) return {{}, errorText(error)};
    zip_source_keep(memory.get());  // the archive's close would free it otherwise
    std::unique_ptr<zip_t, ArchiveDiscarder> archive(
        zip_open_from_source(memory.get(), ZIP_TRUNCATE, &error));
    if (!archive) {
        zip_source_free(memory.get());  // the reference the archive did not take
        return {{}, errorText(error)};
    }
    for (const Part& part : parts) {
        // The buffers stay alive until the archive is closed below, which is when libzip reads them.
        zip_source_t* source = zip_source_buffer(archive.get(), part.content.data(), part.content.size(), 0);
        const zip_int64_t index =
            source ? zip_file_add(archive.get(), part.name, source, ZIP_FL_ENC_UTF_8) : zip_int64_t{-1};
        if (index < 0) {
            zip_source_free(source);
            return {{}, QString::fromUtf8(zip_strerror(archive.get()))};
        }
        if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                     kDeflateLevel) != 0)
            return {{}, QString::fromUtf8(zip_strerror(archive.get()))};
    }
    if (zip_close(archive.get()) != 0) return {{}, QString::fromUtf8(zip_strerror(archive.get()))};
    archive.release();  // closed: nothing left to discard
    return readWhole(memory.get());
}

}  // namespace kx

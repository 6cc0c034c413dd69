#include "core/io/spreadsheet.h"

#include <QDir>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>

#include "core/io/filesystem.h"
#include "core/io/xlsx_package.h"
#include "kxview/errors.h"

namespace kx {
namespace {

constexpr int kMaxSheetNameLength = 31;

/// The value of a plain decimal number such as "-1234.50" or "1e3"; none for any other text, which Qt's
/// conversion then reads. Prices are almost always plain, and this reads them several times faster.
std::optional<double> plainDecimal(QStringView text) {
    std::array<char, 32> ascii{};
    if (text.size() > static_cast<qsizetype>(ascii.size())) return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool plain = (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'e' || c == u'E';
        if (!plain) return std::nullopt;
        ascii[static_cast<size_t>(i)] = static_cast<char>(c);
    }
    const char* end = ascii.data() + text.size();
    double value = 0;
    const std::from_chars_result read = std::from_chars(ascii.data(), end, value);
    if (read.ec != std::errc() || read.ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

[[noreturn]] void fail(const QString& path, const QString& why) {
    throw FileSystemError(
        QStringLiteral("cannot write %1: %2").arg(fs::withSlashes(path), why).toStdString());
}

/// Writes `content` to `path` in one piece beside its name (a failure leaves no partial file).
void writeWhole(const QString& path, const QByteArray& content) {
    switch (fs::writeFile(path, content)) {
        case fs::WriteResult::Ok:
            return;
        case fs::WriteResult::PermissionDenied:
            fail(path, QStringLiteral("permission denied"));
        case fs::WriteResult::Failed:
            fail(path, QStringLiteral("the file could not be written"));
    }
}

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString oneLine(QString text) {
    for (const QChar c : {QLatin1Char('\t'), QLatin1Char('\r'), QLatin1Char('\n')})
        text.replace(c, QLatin1Char(' '));
    return text;
}

QStringList captions(const SheetTable& table) {
    QStringList out;
    for (const SheetColumn& c : table.columns) out << c.caption;
    return out;
}

}  // namespace

std::optional<double> sheetNumber(const QString& text) {
    const QStringView trimmed = QStringView(text).trimmed();
    if (const std::optional<double> value = plainDecimal(trimmed)) return value;
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

QString sheetName(const QString& title) {
    QString name = title;
    for (const QChar c : QStringLiteral("[]:*?/\\")) name.replace(c, QLatin1Char('_'));
    name = name.left(kMaxSheetNameLength);
    return name.isEmpty() ? QStringLiteral("Sheet1") : name;
}

void writeXlsx(const QString& path, const SheetTable& table) {
    const XlsxPackage package = xlsxPackage(table);
    if (!package.failure.isEmpty()) fail(path, package.failure);
    writeWhole(path, package.bytes);
}

QString toCsv(const SheetTable& table) {
    QString out;
    auto line = [&](const QStringList& cells) {
        QStringList fields;
        for (const QString& cell : cells) fields << csvField(cell);
        out += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    line(captions(table));
    for (const SheetRow& row : table.rows) line(row.cells);
    return out;
}

void writeCsv(const QString& path, const SheetTable& table) {
    writeWhole(path, QByteArray("\xEF\xBB\xBF") + toCsv(table).toUtf8());
}

QString toTabSeparated(const SheetTable& table) {
    QString out;
    auto line = [&](const QStringList& cells) {
        QStringList fields;
        for (const QString& cell : cells) fields << oneLine(cell);
        out += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    };
    line(captions(table));
    for (const SheetRow& row : table.rows) line(row.cells);
    return out;
}

QString toHtmlTable(const SheetTable& table) {
    QString out = QStringLiteral("<table>\n<tr>");
    for (const SheetColumn& c : table.columns)
        out += QStringLiteral("<th>") + c.caption.toHtmlEscaped() + QStringLiteral("</th>");
    out += QStringLiteral("</tr>\n");
    for (const SheetRow& row : table.rows) {
        out += QStringLiteral("<tr>");
        for (int c = 0; c < table.columns.size(); ++c) {
            const QString text = row.cells.value(c);
            const bool number = table.columns[c].numeric && sheetNumber(text).has_value();
            // Text cells are marked as text, so that a pasted code keeps its leading zeros.
            out += number           ? QStringLiteral("<td align=\"right\">")
                   : text.isEmpty() ? QStringLiteral("<td>")
                                    : QStringLiteral("<td style=\"mso-number-format:'\\@'\">");
            out += text.toHtmlEscaped() + QStringLiteral("</td>");
        }
        out += QStringLiteral("</tr>\n");
    }
    return out + QStringLiteral("</table>\n");
}

}  // namespace kx

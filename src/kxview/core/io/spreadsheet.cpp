#include "core/io/spreadsheet.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <optional>

#include <xlsxwriter.h>

#include "core/io/filesystem.h"
#include "kxview/errors.h"

namespace kx {
namespace {

constexpr int kTwipsPerPixel = 15;
// A spreadsheet column of width w characters is 7 * w + 5 pixels wide in the default font.
constexpr double kPixelsPerCharacter = 7.0;
constexpr double kColumnPadding = 5.0;
constexpr int kMaxSheetNameLength = 31;

/// The number a numeric cell holds; none for text that is no plain number (left as text).
std::optional<double> numberIn(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || text.trimmed().isEmpty()) return std::nullopt;
    return value;
}

/// A worksheet name the format accepts: at most 31 characters, none of []:*?/\.
QString sheetName(const QString& title) {
    QString name = title;
    for (const QChar c : QStringLiteral("[]:*?/\\")) name.replace(c, QLatin1Char('_'));
    name = name.left(kMaxSheetNameLength);
    return name.isEmpty() ? QStringLiteral("Sheet1") : name;
}

[[noreturn]] void fail(const QString& path, const QString& why) {
    throw FileSystemError(
        QStringLiteral("cannot write %1: %2").arg(fs::withSlashes(path), why).toStdString());
}

/// A temporary file name beside `path`, which the writer fills before it is renamed into place.
QString temporaryNameBeside(const QString& path) {
    const QFileInfo target(fs::resolve(path));
    if (!target.absoluteDir().exists()) fail(path, QStringLiteral("the folder does not exist"));
    QTemporaryFile reserve(target.absoluteDir().filePath(target.fileName() + QStringLiteral(".XXXXXX")));
    reserve.setAutoRemove(false);
    if (!reserve.open()) fail(path, reserve.errorString());
    return reserve.fileName();
}

/// Renames the complete file `written` over `path`, replacing it at once.
void moveIntoPlace(const QString& written, const QString& path) {
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(written).toStdString(),
                            QFile::encodeName(fs::resolve(path)).toStdString(), ec);
    if (!ec) return;
    QFile::remove(written);
    fail(path, QString::fromStdString(ec.message()));
}

class Workbook {
public:
    explicit Workbook(const QString& file) : m_book(workbook_new(QFile::encodeName(file).constData())) {}
    ~Workbook() {
        if (m_book) workbook_close(m_book);  // only after a failure: close() took it otherwise
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    lxw_workbook* get() const { return m_book; }
    /// Writes the file; the error, if any.
    lxw_error close() {
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;
        return error;
    }

private:
    lxw_workbook* m_book;
};

void writeSheet(lxw_workbook* book, const SheetTable& table) {
    lxw_worksheet* sheet = workbook_add_worksheet(book, sheetName(table.title).toUtf8().constData());
    lxw_format* header = workbook_add_format(book);
    format_set_bold(header);
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* price = workbook_add_format(book);
    format_set_num_format(price, "0.00");
    for (int c = 0; c < table.columns.size(); ++c) {
        const SheetColumn& column = table.columns[c];
        worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                             spreadsheetColumnWidth(column.widthTwips), nullptr);
        worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), column.caption.toUtf8().constData(),
                               header);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    // Grouped rows sit below the item they belong to, so the outline buttons go above them.
    worksheet_outline_settings(sheet, LXW_TRUE, LXW_FALSE, LXW_TRUE, LXW_FALSE);
    for (int r = 0; r < table.rows.size(); ++r) {
        const SheetRow& row = table.rows[r];
        const auto sheetRow = static_cast<lxw_row_t>(r + 1);
        lxw_row_col_options options{static_cast<uint8_t>(row.hidden), static_cast<uint8_t>(row.outlineLevel),
                                    0};
        worksheet_set_row_opt(sheet, sheetRow, LXW_DEF_ROW_HEIGHT, row.bold ? bold : nullptr, &options);
        for (int c = 0; c < table.columns.size() && c < row.cells.size(); ++c) {
            const QString& text = row.cells[c];
            if (text.isEmpty()) continue;
            const auto col = static_cast<lxw_col_t>(c);
            const std::optional<double> number = table.columns[c].numeric ? numberIn(text) : std::nullopt;
            if (number) {
                worksheet_write_number(sheet, sheetRow, col, *number, price);
            } else {
                worksheet_write_string(sheet, sheetRow, col, text.toUtf8().constData(),
                                       row.bold ? bold : nullptr);
            }
        }
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

double spreadsheetColumnWidth(int twips) {
    const double pixels = static_cast<double>(twips) / kTwipsPerPixel;
    return pixels <= kColumnPadding ? 0.0 : (pixels - kColumnPadding) / kPixelsPerCharacter;
}

void writeXlsx(const QString& path, const SheetTable& table) {
    const QString temporary = temporaryNameBeside(path);
    lxw_error error = LXW_ERROR_CREATING_XLSX_FILE;
    {
        Workbook book(temporary);
        if (book.get() != nullptr) {
            writeSheet(book.get(), table);
            error = book.close();
        }
    }
    if (error != LXW_NO_ERROR) {
        QFile::remove(temporary);
        fail(path, QString::fromUtf8(lxw_strerror(error)));
    }
    moveIntoPlace(temporary, path);
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
    const QByteArray content = QByteArray("\xEF\xBB\xBF") + toCsv(table).toUtf8();
    switch (fs::writeFile(path, content)) {
        case fs::WriteResult::Ok:
            return;
        case fs::WriteResult::PermissionDenied:
            fail(path, QStringLiteral("permission denied"));
        case fs::WriteResult::Failed:
            fail(path, QStringLiteral("the file could not be written"));
    }
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
            const bool number = table.columns[c].numeric && numberIn(text).has_value();
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

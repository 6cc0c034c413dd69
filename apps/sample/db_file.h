// A database being written by the sample builder, and the small helpers its table definitions use.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jet/database.h"
#include "jet/writer.h"
#include "sample/builder.h"

namespace sample {

/// A text column of `size` characters.
jet::ColumnSpec textColumn(std::string name, uint16_t size = 255);
/// A column of a fixed-width or long type.
jet::ColumnSpec column(std::string name, jet::ColumnType type);
/// A Long column numbered by the database when a row leaves it Null.
jet::ColumnSpec autoNumberColumn(std::string name);
/// The primary key "PrimaryKey" on `columnName`.
jet::IndexSpec primaryKey(std::string columnName);
/// A non-unique ascending index named after its column.
jet::IndexSpec plainIndex(std::string columnName);

/// Value helpers: text, whole number, double, date (year, month, day) and raw bytes.
jet::Value text(std::string s);
jet::Value number(int64_t n);
jet::Value real(double d);
jet::Value date(int year, int month, int day);
jet::Value bytes(std::vector<uint8_t> b);

/// KeyInfo rows: pairs of Code and WithCode.
using KeyInfoRows = std::vector<std::pair<std::string, std::string>>;

/// A new Jet 4 database, open for writing; every table written is recorded in the build report.
class DbFile {
public:
    /// Creates the file at `root / relativePath` (its folder must exist).
    static jet::Result<DbFile> create(const std::filesystem::path& root, const std::string& relativePath,
                                      BuildReport& report);
    /// Opens the existing database `root / relativePath` to add tables to it.
    static jet::Result<DbFile> open(const std::filesystem::path& root, const std::string& relativePath,
                                    BuildReport& report);

    /// Creates table `spec` holding `rows`.
    jet::Status addTable(const jet::TableSpec& spec, const std::vector<jet::Row>& rows);
    /// Appends `rows` to the existing table `table`.
    jet::Status addRows(const std::string& table, const std::vector<jet::Row>& rows);
    /// Creates the key table KeyInfo (Code, WithCode) holding `rows` in order.
    jet::Status addKeyInfo(const KeyInfoRows& rows);
    /// Closes the file; later calls fail.
    void close() { m_db.reset(); }

private:
    DbFile(std::unique_ptr<jet::Database> db, std::string relativePath, BuildReport& report)
        : m_db(std::move(db)), m_relativePath(std::move(relativePath)), m_report(&report) {}

    std::unique_ptr<jet::Database> m_db;
    std::string m_relativePath;
    BuildReport* m_report;
};

/// The path `root / relative` for a '/'-separated UTF-8 relative path.
std::filesystem::path under(const std::filesystem::path& root, const std::string& relative);

}  // namespace sample

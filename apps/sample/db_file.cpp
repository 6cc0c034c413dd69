#include "db_file.h"

#include <chrono>

namespace sample {

jet::ColumnSpec textColumn(std::string name, uint16_t size) {
    jet::ColumnSpec c;
    c.name = std::move(name);
    c.type = jet::ColumnType::Text;
    c.size = size;
    return c;
}

jet::ColumnSpec column(std::string name, jet::ColumnType type) {
    jet::ColumnSpec c;
    c.name = std::move(name);
    c.type = type;
    return c;
}

jet::ColumnSpec autoNumberColumn(std::string name) {
    jet::ColumnSpec c = column(std::move(name), jet::ColumnType::Long);
    c.autoNumber = true;
    return c;
}

jet::IndexSpec primaryKey(std::string columnName) {
    return jet::IndexSpec{"PrimaryKey", {std::move(columnName)}, {}, true, true};
}

jet::IndexSpec plainIndex(std::string columnName) {
    return jet::IndexSpec{columnName, {columnName}, {}, false, false};
}

jet::Value text(std::string s) {
    return jet::Value(std::move(s));
}
jet::Value number(int64_t n) {
    return jet::Value(n);
}
jet::Value real(double d) {
    return jet::Value(d);
}
jet::Value bytes(std::vector<uint8_t> b) {
    return jet::Value(std::move(b));
}

jet::Value date(int year, int month, int day) {
    using namespace std::chrono;
    const sys_days epoch = year_month_day{std::chrono::year{1899}, December, std::chrono::day{30}};
    const sys_days when =
        year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                       std::chrono::day{static_cast<unsigned>(day)}};
    return jet::Value(jet::DateTime{static_cast<double>((when - epoch).count())});
}

std::filesystem::path under(const std::filesystem::path& root, const std::string& relative) {
    return root / std::filesystem::path(std::u8string(relative.begin(), relative.end()));
}

jet::Result<DbFile> DbFile::create(const std::filesystem::path& root, const std::string& relativePath,
                                   BuildReport& report) {
    const std::string path = under(root, relativePath).string();
    JET_RETURN_IF_ERROR(jet::createDatabase(path).withContext(relativePath));
    report.databases[relativePath];  // an empty template still counts as a written database
    return open(root, relativePath, report);
}

jet::Result<DbFile> DbFile::open(const std::filesystem::path& root, const std::string& relativePath,
                                 BuildReport& report) {
    const std::string path = under(root, relativePath).string();
    jet::OpenOptions options;
    options.mode = jet::OpenMode::ReadWrite;
    auto db = jet::Database::open(path, options);
    if (!db.ok()) return db.status().withContext(relativePath);
    return DbFile(std::move(db).value(), relativePath, report);
}

jet::Status DbFile::addTable(const jet::TableSpec& spec, const std::vector<jet::Row>& rows) {
    if (!m_db) return jet::Status::InvalidArgument(m_relativePath + " is closed");
    JET_RETURN_IF_ERROR(jet::createTable(*m_db, spec, rows).withContext(m_relativePath + " " + spec.name));
    m_report->databases[m_relativePath][spec.name] = rows.size();
    return jet::Status();
}

jet::Status DbFile::addRows(const std::string& table, const std::vector<jet::Row>& rows) {
    if (!m_db) return jet::Status::InvalidArgument(m_relativePath + " is closed");
    JET_RETURN_IF_ERROR(jet::insertRows(*m_db, table, rows).withContext(m_relativePath + " " + table));
    m_report->databases[m_relativePath][table] += rows.size();
    return jet::Status();
}

jet::Status DbFile::addKeyInfo(const KeyInfoRows& rows) {
    // No index on Code: a library may carry a code twice, and readers take the first row.
    jet::TableSpec spec{"KeyInfo", {textColumn("Code", 50), textColumn("WithCode", 255)}, {}};
    std::vector<jet::Row> values;
    values.reserve(rows.size());
    for (const auto& [code, withCode] : rows) values.push_back({text(code), text(withCode)});
    return addTable(spec, values);
}

}  // namespace sample

// The build report as a text file, so that a directory built by kxview-sample can be checked by a process
// that did not build it.
#include <charconv>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sample/builder.h"

namespace sample {
namespace {

constexpr char kDatabase[] = "database";
constexpr char kTable[] = "table";
constexpr char kPackage[] = "package";

/// The tab-separated fields of one line.
std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

bool parseCount(const std::string& text, size_t& count) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
    return ec == std::errc() && end == text.data() + text.size();
}

/// Adds one line to `report`; false when it is none of the three kinds or a table comes before a database.
bool addLine(const std::vector<std::string>& fields, BuildReport& report, std::string& database) {
    if (fields.size() == 2 && fields[0] == kDatabase) {
        database = fields[1];
        report.databases[database];
        return true;
    }
    if (fields.size() == 3 && fields[0] == kTable && !database.empty())
        return parseCount(fields[2], report.databases[database][fields[1]]);
    if (fields.size() == 2 && fields[0] == kPackage) {
        report.packages.push_back(fields[1]);
        return true;
    }
    return false;
}

}  // namespace

jet::Status writeReport(const std::filesystem::path& file, const BuildReport& report) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const auto& [database, tables] : report.databases) {
        out << kDatabase << '\t' << database << '\n';
        for (const auto& [table, rows] : tables) out << kTable << '\t' << table << '\t' << rows << '\n';
    }
    for (const std::string& package : report.packages) out << kPackage << '\t' << package << '\n';
    out.close();
    if (!out) return jet::Status::IOError("cannot write " + file.string());
    return jet::Status();
}

jet::Result<BuildReport> readReport(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return jet::Status::IOError("cannot read " + file.string());
    BuildReport report;
    std::string database;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!addLine(fieldsOf(line), report, database))
            return jet::Status::InvalidArgument(file.string() + ":" + std::to_string(number) +
                                                ": not a line of a build report");
    }
    return report;
}

}  // namespace sample

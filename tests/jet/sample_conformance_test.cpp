// Conformance with mdbtools: every table of every sample file, system tables included, must read the same
// through this engine (the library and the jet tool) as through mdb-export, row for row and value for value.
//
// mdbtools 1.0 has a handful of verified quirks of its own; each is tolerated by one small named function
// below, and everything else must match exactly.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/format_value.h"
#include "table/engine.h"
#include "test_support.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
using test::runCommand;
using test::shellQuote;

// ---------------------------------------------------------------------------------------------------------
// CSV that remembers quoting: an empty unquoted field is Null, an empty quoted one is an empty text.

/// One CSV field and whether it was written in double quotes.
struct CsvField {
    std::string text;
    bool quoted = false;
};
using CsvRow = std::vector<CsvField>;

/// Parses RFC 4180 CSV (CRLF or LF line ends), keeping each field's quoting.
std::vector<CsvRow> parseQuotedCsv(std::string_view text) {
    std::vector<CsvRow> rows;
    CsvRow row;
    CsvField field;
    bool inQuotes = false, pending = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field.text.push_back('"');
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                field.text.push_back(c);
            }
            continue;
        }
        pending = true;
        if (c == '"') {
            inQuotes = true;
            field.quoted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field = {};
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            row.push_back(std::move(field));
            field = {};
            rows.push_back(std::move(row));
            row.clear();
            pending = false;
        } else {
            field.text.push_back(c);
        }
    }
    if (pending) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

// ---------------------------------------------------------------------------------------------------------
// The sample tables.

/// One table of one sample file.
struct SampleTable {
    std::string file;  // full path
    std::string table;
    bool system = false;
};

bool isGbkSample(const std::string& path) {
    return path.find("GBK") != std::string::npos;
}

/// Every table of every sample, found without failing so that it can feed test instantiation; the tests
/// themselves report a missing samples folder.
std::vector<SampleTable> allSampleTables() {
    std::vector<SampleTable> out;
    // As test::samplesDir(), whose default is the checkout's sibling shared/jet-samples.
    const char* env = std::getenv("JET_SAMPLES");
    fs::path checkout = fs::path(__FILE__).parent_path().parent_path().parent_path();
    std::string dir =
        env != nullptr && *env != '\0' ? env : (checkout / ".." / "shared" / "jet-samples").string();
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        auto ext = entry.path().extension().string();
        if (ext == ".mdb" || ext == ".accdb") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        auto db = Database::open(file, test::optionsFor(file));
        if (!db.ok()) {
            out.push_back({file, "<unopenable>", false});
            continue;
        }
        for (const TableEntry& t : (*db)->tables()) out.push_back({file, t.name, t.system});
    }
    return out;
}

void PrintTo(const SampleTable& t, std::ostream* os) {
    *os << fs::path(t.file).filename().string() << " " << t.table;
}

std::string caseName(const testing::TestParamInfo<SampleTable>& info) {
    std::string name = std::to_string(info.index) + "_";
    std::string stem = fs::path(info.param.file).stem().string() + "_" + info.param.table;
    for (char c : stem) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return name;
}

/// The mdb-export command for `t`, with the date format and hex binaries this comparison expects.
std::string mdbExportCommand(const SampleTable& t) {
    std::string env = isGbkSample(t.file) ? "MDB_JET3_CHARSET=GB18030 " : "";
    return env + "mdb-export -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' -b hex " + shellQuote(t.file) +
           " " + shellQuote(t.table) + " 2>/dev/null";
}

/// Arguments that make the jet tool read `file` as the tests do.
std::string toolCodePage(const std::string& file) {
    return isGbkSample(file) ? " --codepage GB18030" : "";
}

// ---------------------------------------------------------------------------------------------------------
// Our side.

/// A table read through the library: its values and the CSV text the jet tool must print for it.
struct OurTable {
    std::vector<std::vector<Value>> rows;
    std::string csv;
};

Result<OurTable> readOurTable(Database& db, const std::shared_ptr<const TableDef>& def) {
    OurTable t;
    for (size_t i = 0; i < def->columns.size(); ++i) t.csv += (i ? "," : "") + def->columns[i].name;
    t.csv += "\r\n";
    JET_ASSIGN_OR_RETURN(RowCursor cursor, db.scan(def));
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) break;
        JET_ASSIGN_OR_RETURN(std::vector<Value> values, cursor.values());
        for (size_t i = 0; i < values.size(); ++i) {
            if (i) t.csv.push_back(',');
            appendCsvField(t.csv, values[i]);
        }
        t.csv += "\r\n";
        t.rows.push_back(std::move(values));
    }
    return t;
}

/// Number of live rows of `def` whose slot is an overflow pointer to a row stored elsewhere.
Result<int> overflowRowCount(Database& db, const TableDef& def) {
    constexpr uint16_t kDeleted = 0x8000, kOverflow = 0x4000;
    Engine& engine = engineOf(db);
    JET_ASSIGN_OR_RETURN(std::vector<uint32_t> pages, engine.rows().dataPages(def));
    int count = 0;
    for (uint32_t number : pages) {
        JET_ASSIGN_OR_RETURN(PageRef page, engine.pager().page(number));
        JET_ASSIGN_OR_RETURN(int slots, engine.rows().dataPageSlots(page, number, def.definitionPage));
        for (int slot = 0; slot < slots; ++slot) {
            uint16_t raw = ByteView::load16(page->data() + engine.layout().dataRowTableOffset + 2 * slot);
            if ((raw & kOverflow) != 0 && (raw & kDeleted) == 0) ++count;
        }
    }
    return count;
}

// ---------------------------------------------------------------------------------------------------------
// Known mdbtools 1.0 quirks, one function each.

std::string lowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string hexOf(const Bytes& b) {
    std::string s;
    appendCsvField(s, Value(b));
    return s;
}

/// A GUID's text without hyphens, in upper case.
std::string withoutHyphensUpper(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c != '-') out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return out;
}

/// mdbtools stops a text value at its first NUL character; ours keeps the whole value.
std::string mdbtoolsTextCut(const std::string& ours) {
    return ours.substr(0, ours.find('\0'));
}

/// mdbtools stops a binary value's hex at its first 00 byte (and prints upper-case hex).
std::string mdbtoolsBinaryCut(const Bytes& ours) {
    auto zero = std::find(ours.begin(), ours.end(), uint8_t{0});
    return hexOf(Bytes(ours.begin(), zero));
}

/// Code page 1252 leaves 0x81, 0x8D, 0x8F, 0x90 and 0x9D undefined: mdbtools prints '?' for them in Jet 3
/// text, where we give the C1 control characters U+0081 and so on.
std::string mdbtoolsCp1252Undefined(const std::string& ours) {
    std::string out;
    for (size_t i = 0; i < ours.size(); ++i) {
        auto b = static_cast<unsigned char>(ours[i]);
        auto n = i + 1 < ours.size() ? static_cast<unsigned char>(ours[i + 1]) : 0;
        if (b == 0xC2 && (n == 0x81 || n == 0x8D || n == 0x8F || n == 0x90 || n == 0x9D)) {
            out.push_back('?');
            ++i;
        } else {
            out.push_back(ours[i]);
        }
    }
    return out;
}

/// With -b hex, mdbtools prints a GUID column as the hex of its "{...}" text, and that text lacks the hyphen
/// before the last group: decode the hex and give the text without hyphens, upper case.
std::string mdbtoolsGuidText(const std::string& hex) {
    std::string text;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        text.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return withoutHyphensUpper(text);
}

/// mdbtools cannot print dates before 1899-12-30 (negative day numbers) and writes "1900-01-00 ..." instead.
bool mdbtoolsCannotPrintDate(const DateTime& ours) {
    return ours.days < 0;
}

/// Seconds since 0000-03-01 of "YYYY-MM-DD HH:MM:SS", or NaN when the text is not in that form.
double secondsOf(const std::string& text) {
    int y, mo, d, h, mi, s;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return std::nan("");
    if (mo <= 2) {
        --y;
        mo += 12;
    }
    // Day count of the proleptic Gregorian calendar, shifted so that March is month 3.
    long days = 365L * y + y / 4 - y / 100 + y / 400 + (153 * (mo - 3) + 2) / 5 + d;
    return static_cast<double>(days) * 86400.0 + h * 3600.0 + mi * 60.0 + s;
}

/// mdbtools truncates a date's fraction of a second where we round: the two may differ by one second.
bool datesAgreeWithinASecond(const std::string& ours, const std::string& theirs) {
    double a = secondsOf(ours), b = secondsOf(theirs);
    return !std::isnan(a) && !std::isnan(b) && std::fabs(a - b) <= 1.0;
}

/// mdbtools prints floating values with fewer digits than their shortest round-trip form: compare the numbers
/// with the precision of the column's type.
bool floatsAgree(double ours, const std::string& theirs, bool single) {
    char* end = nullptr;
    double t = std::strtod(theirs.c_str(), &end);
    if (end == theirs.c_str() || *end != '\0') return false;
    double tolerance = (single ? 1e-7 : 1e-14) * std::max(std::fabs(ours), std::fabs(t));
    return std::fabs(ours - t) <= tolerance;
}

// ---------------------------------------------------------------------------------------------------------
// Field and row comparison.

/// Tallies of values compared leniently.
struct Leniency {
    int negativeDatesSkipped = 0;
    int unprintableSkipped = 0;
};

/// Why our value `v` (printed as `mine` by our CSV writer) disagrees with mdbtools' field, or empty.
std::string fieldMismatch(const ColumnDef& c, const Value& v, const CsvField& mine, const CsvField& theirs,
                          bool jet3Cp1252, Leniency& lenient) {
    // Both tools: Null is an empty unquoted field, text is quoted.
    if (isNull(v)) {
        if (!mine.text.empty() || mine.quoted) return "our Null is not an empty unquoted field";
        return theirs.text.empty() && !theirs.quoted ? "" : "Null here, '" + theirs.text + "' in mdbtools";
    }
    if (c.type == ColumnType::Unknown11) {
        // mdbtools has no text form for this system column type and prints an empty field.
        ++lenient.unprintableSkipped;
        return theirs.text.empty() ? "" : "mdbtools printed a type 0x11 value";
    }
    if (const auto* b = std::get_if<Bytes>(&v)) {
        // Quoted hex, or an empty unquoted field when the cut leaves nothing.
        std::string t = lowerAscii(theirs.text);
        if (mine.quoted) return "binary value quoted";
        return t == mine.text || t == mdbtoolsBinaryCut(*b) ? "" : "hex " + mine.text + " vs " + theirs.text;
    }
    if (theirs.text.empty() && !theirs.quoted) return "mdbtools has Null, we have '" + mine.text + "'";
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (!mine.quoted || !theirs.quoted) return "text not quoted by both";
        if (mine.text != *s) return "our CSV text differs from the value";
        if (theirs.text == *s || theirs.text == mdbtoolsTextCut(*s)) return "";
        if (jet3Cp1252 && theirs.text == mdbtoolsCp1252Undefined(*s)) return "";
        return "text '" + *s + "' vs '" + theirs.text + "'";
    }
    if (mine.quoted) return "non-text value quoted";
    if (const auto* g = std::get_if<Guid>(&v)) {
        std::string t = mdbtoolsGuidText(theirs.text);
        if (mine.text != formatGuid(*g)) return "our CSV GUID differs from the value";
        return t == withoutHyphensUpper(mine.text) ? "" : "GUID " + mine.text + " vs " + t;
    }
    if (const auto* d = std::get_if<DateTime>(&v)) {
        if (mdbtoolsCannotPrintDate(*d)) {
            ++lenient.negativeDatesSkipped;
            return theirs.text.rfind("1900-01-00", 0) == 0 ? "" : "negative date printed as " + theirs.text;
        }
        return datesAgreeWithinASecond(mine.text, theirs.text) ? ""
                                                               : "date " + mine.text + " vs " + theirs.text;
    }
    if (const auto* f = std::get_if<float>(&v)) {
        return floatsAgree(*f, theirs.text, true) ? "" : "single " + mine.text + " vs " + theirs.text;
    }
    if (const auto* f = std::get_if<double>(&v)) {
        return floatsAgree(*f, theirs.text, false) ? "" : "double " + mine.text + " vs " + theirs.text;
    }
    return mine.text == theirs.text ? "" : mine.text + " vs " + theirs.text;
}

/// Why our row disagrees with mdbtools' row, or empty.
std::string rowMismatch(const TableDef& def, const std::vector<Value>& values, const CsvRow& mine,
                        const CsvRow& theirs, bool jet3Cp1252, Leniency& lenient) {
    if (mine.size() != values.size()) return "our CSV row has " + std::to_string(mine.size()) + " fields";
    if (theirs.size() != values.size())
        return "mdbtools row has " + std::to_string(theirs.size()) + " fields";
    for (size_t i = 0; i < values.size(); ++i) {
        std::string why = fieldMismatch(def.columns[i], values[i], mine[i], theirs[i], jet3Cp1252, lenient);
        if (!why.empty()) return "column " + def.columns[i].name + ": " + why;
    }
    return "";
}

/// The outcome of comparing a whole table.
struct TableComparison {
    std::vector<std::string> orderedMismatches;  // first few, in physical order
    bool orderedMatch = true;
    bool multisetMatch = true;
    std::string multisetProblem;
};

TableComparison compareTables(const TableDef& def, const OurTable& ours, const std::vector<CsvRow>& mine,
                              const std::vector<CsvRow>& theirs, bool jet3Cp1252, Leniency& lenient) {
    TableComparison out;
    for (size_t r = 0; r < ours.rows.size(); ++r) {
        std::string why = rowMismatch(def, ours.rows[r], mine[r], theirs[r], jet3Cp1252, lenient);
        if (why.empty()) continue;
        out.orderedMatch = false;
        if (out.orderedMismatches.size() < 5)
            out.orderedMismatches.push_back("row " + std::to_string(r) + ": " + why);
    }
    if (out.orderedMatch) return out;
    // mdbtools lists rows reached through overflow pointers elsewhere: pair rows up regardless of position.
    std::vector<bool> used(theirs.size(), false);
    Leniency scratch;
    for (size_t r = 0; r < ours.rows.size(); ++r) {
        bool found = false;
        for (size_t t = 0; t < theirs.size() && !found; ++t) {
            if (used[t] || !rowMismatch(def, ours.rows[r], mine[r], theirs[t], jet3Cp1252, scratch).empty())
                continue;
            used[t] = found = true;
        }
        if (!found) {
            out.multisetMatch = false;
            out.multisetProblem =
                "row " + std::to_string(r) + " (" + mine[r].front().text + ", ...) has no match";
            break;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------------------
// The per-table test.

class SampleConformance : public testing::TestWithParam<SampleTable> {};

TEST_P(SampleConformance, MatchesMdbtools) {
    const SampleTable& t = GetParam();
    ASSERT_FALSE(test::samplesDir().empty());
    auto db = Database::open(t.file, test::optionsFor(t.file));
    ASSERT_TRUE(db.ok()) << db.status().toString();
    auto def = (*db)->table(t.table);
    ASSERT_TRUE(def.ok()) << def.status().toString();
    EXPECT_EQ((*def)->system, t.system);

    auto ours = readOurTable(**db, *def);
    ASSERT_TRUE(ours.ok()) << ours.status().toString();

    // The jet tool prints exactly what the library gives, and counts the same rows. Starting processes is
    // the slow part of this suite, so the tool runs for user tables and the catalogue only.
    int rc = -1;
    if (!t.system || t.table == "MSysObjects") {
        std::string tool = std::string(JET_TOOL) + " ";
        std::string args = shellQuote(t.file) + " " + shellQuote(t.table) + toolCodePage(t.file);
        std::string exported = runCommand(tool + "export " + args, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(exported, ours->csv);
        std::string counted = runCommand(tool + "count " + args, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(counted, std::to_string(ours->rows.size()) + "\n");
    }

    std::vector<CsvRow> mine = parseQuotedCsv(ours->csv);
    std::vector<CsvRow> theirs = parseQuotedCsv(runCommand(mdbExportCommand(t), &rc));
    ASSERT_EQ(rc, 0) << "mdb-export failed";
    ASSERT_FALSE(theirs.empty()) << "mdb-export printed no header";
    ASSERT_EQ(mine.size(), ours->rows.size() + 1);

    // Header: the column names, unquoted, in definition order.
    std::vector<std::string> ourNames, theirNames;
    for (const CsvField& f : mine.front()) ourNames.push_back(f.text);
    for (const CsvField& f : theirs.front()) theirNames.push_back(f.text);
    EXPECT_EQ(ourNames, theirNames);
    mine.erase(mine.begin());
    theirs.erase(theirs.begin());
    ASSERT_EQ(ours->rows.size(), theirs.size()) << "row counts differ";

    auto overflow = overflowRowCount(**db, **def);
    ASSERT_TRUE(overflow.ok()) << overflow.status().toString();
    bool jet3Cp1252 = (*db)->version() == Version::Jet3 && !isGbkSample(t.file);
    Leniency lenient;
    TableComparison cmp = compareTables(**def, *ours, mine, theirs, jet3Cp1252, lenient);
    if (*overflow == 0) {
        EXPECT_TRUE(cmp.orderedMatch) << "no overflow rows, yet rows differ in order or value:\n"
                                      << testing::PrintToString(cmp.orderedMismatches);
    } else {
        EXPECT_TRUE(cmp.multisetMatch) << cmp.multisetProblem << "\nordered differences:\n"
                                       << testing::PrintToString(cmp.orderedMismatches);
    }
}

INSTANTIATE_TEST_SUITE_P(Sample, SampleConformance, testing::ValuesIn(allSampleTables()), caseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SampleConformance);

// ---------------------------------------------------------------------------------------------------------
// Whole files and targeted checks.

/// The samples, or a failure saying why there are none.
std::vector<std::string> samples() {
    return test::sampleFiles();
}

std::string samplePath(const std::string& name) {
    std::string dir = test::samplesDir();
    return dir.empty() ? "" : dir + "/" + name;
}

TEST(SampleCatalogue, TableNamesMatchMdbtools) {
    std::vector<std::string> files = samples();
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        auto db = Database::open(file, test::optionsFor(file));
        ASSERT_TRUE(db.ok()) << db.status().toString();
        std::multiset<std::string> ours, theirs;
        for (const TableEntry& t : (*db)->tables()) ours.insert(t.name);
        std::string env = isGbkSample(file) ? "MDB_JET3_CHARSET=GB18030 " : "";
        int rc = -1;
        std::string listed = runCommand(env + "mdb-tables -S -1 " + shellQuote(file) + " 2>/dev/null", &rc);
        ASSERT_EQ(rc, 0);
        for (const CsvRow& line : parseQuotedCsv(listed)) {
            if (!line.empty() && !line.front().text.empty()) theirs.insert(line.front().text);
        }
        EXPECT_EQ(ours, theirs);
        // The tool lists the same names in our catalogue order.
        std::string expected;
        for (const std::string& name : (*db)->tableNames(true)) expected += name + "\n";
        EXPECT_EQ(runCommand(std::string(JET_TOOL) + " tables " + shellQuote(file) + " --system" +
                             toolCodePage(file)),
                  expected);
    }
}

/// The column names of each table in mdb-schema's DDL ("CREATE TABLE [name]" then lines "\t[column]\t...").
std::map<std::string, std::vector<std::string>> mdbSchemaColumns(const std::string& ddl) {
    std::map<std::string, std::vector<std::string>> tables;
    std::vector<std::string>* current = nullptr;
    size_t start = 0;
    while (start < ddl.size()) {
        size_t end = ddl.find('\n', start);
        if (end == std::string::npos) end = ddl.size();
        std::string line = ddl.substr(start, end - start);
        start = end + 1;
        const std::string create = "CREATE TABLE [";
        if (line.rfind(create, 0) == 0) {
            current = &tables[line.substr(create.size(), line.rfind(']') - create.size())];
        } else if (current != nullptr && line.rfind("\t[", 0) == 0) {
            current->push_back(line.substr(2, line.find("]\t") - 2));
        }
    }
    return tables;
}

TEST(SampleCatalogue, SchemaListsTheColumnsMdbtoolsLists) {
    std::vector<std::string> files = samples();
    ASSERT_FALSE(files.empty());
    size_t tablesChecked = 0;
    for (const std::string& file : files) {
        std::string env = isGbkSample(file) ? "MDB_JET3_CHARSET=GB18030 " : "";
        int rc = -1;
        auto expected = mdbSchemaColumns(runCommand(
            env + "mdb-schema --no-indexes --no-relations " + shellQuote(file) + " 2>/dev/null", &rc));
        ASSERT_EQ(rc, 0) << file;
        // mdb-schema describes exactly the user tables.
        auto db = Database::open(file, test::optionsFor(file));
        ASSERT_TRUE(db.ok()) << db.status().toString();
        std::vector<std::string> userTables = (*db)->tableNames(false), described;
        for (const auto& entry : expected) described.push_back(entry.first);
        std::sort(userTables.begin(), userTables.end());
        EXPECT_EQ(described, userTables) << file;
        for (const auto& [table, columns] : expected) {
            SCOPED_TRACE(file + " " + table);
            std::string schema = runCommand(std::string(JET_TOOL) + " schema " + shellQuote(file) + " " +
                                                shellQuote(table) + toolCodePage(file),
                                            &rc);
            ASSERT_EQ(rc, 0);
            ++tablesChecked;
            size_t columnLines = 0;
            for (size_t pos = 0; (pos = schema.find("\n  column ", pos)) != std::string::npos; ++pos)
                ++columnLines;
            EXPECT_EQ(columnLines, columns.size()) << schema;
            for (const std::string& name : columns) {
                EXPECT_NE(schema.find("\n  column " + name + " "), std::string::npos)
                    << "column " << name << "\n"
                    << schema;
            }
        }
    }
    // Every user table of the samples (mdb-schema leaves out system tables).
    EXPECT_GE(tablesChecked, 90u);
}

// The GBK sample's text only reads right with the code page the caller supplies.
TEST(SampleText, GbkSampleReadsChineseText) {
    std::string path = samplePath("ucanaccess_charsetGBK_jet3.mdb");
    ASSERT_FALSE(path.empty());
    auto db = Database::open(path, test::optionsFor(path));
    ASSERT_TRUE(db.ok()) << db.status().toString();
    auto def = (*db)->table("table1");
    ASSERT_TRUE(def.ok()) << def.status().toString();
    auto rows = readOurTable(**db, *def);
    ASSERT_TRUE(rows.ok()) << rows.status().toString();
    bool found = false;
    for (const auto& row : rows->rows) {
        for (const Value& v : row)
            found =
                found || (std::holds_alternative<std::string>(v) && std::get<std::string>(v) == "GBK编码");
    }
    EXPECT_TRUE(found) << rows->csv;
}

// Overflow rows are what lets the comparison fall back to matching rows regardless of position; make sure the
// fallback is needed where expected and never where it is not.
TEST(SampleOverflow, OnlyOverflowTablesAreComparedAsMultisets) {
    struct Case {
        const char* file;
        const char* table;
        bool hasOverflowRows;
    };
    const Case cases[] = {
        {"jackcess_V2003_overflowTestV2003.mdb", "Table1", true},
        {"jackcess_V2003_testV2003.mdb", "Table1", false},
        {"jackcess_V1997_testV1997.mdb", "Table1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.table);
        std::string path = samplePath(c.file);
        ASSERT_FALSE(path.empty());
        auto db = Database::open(path);
        ASSERT_TRUE(db.ok()) << db.status().toString();
        auto def = (*db)->table(c.table);
        ASSERT_TRUE(def.ok()) << def.status().toString();
        auto overflow = overflowRowCount(**db, **def);
        ASSERT_TRUE(overflow.ok()) << overflow.status().toString();
        EXPECT_EQ(*overflow > 0, c.hasOverflowRows) << *overflow << " overflow rows";
        if (c.hasOverflowRows) continue;

        // No overflow rows: every row matches mdbtools in physical order.
        auto ours = readOurTable(**db, *def);
        ASSERT_TRUE(ours.ok()) << ours.status().toString();
        int rc = -1;
        std::vector<CsvRow> mine = parseQuotedCsv(ours->csv);
        std::vector<CsvRow> theirs = parseQuotedCsv(runCommand(mdbExportCommand({path, c.table}), &rc));
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(mine.size(), theirs.size());
        ASSERT_GT(mine.size(), 1u);
        Leniency lenient;
        for (size_t r = 1; r < mine.size(); ++r) {
            EXPECT_EQ(rowMismatch(**def, ours->rows[r - 1], mine[r], theirs[r], true, lenient), "")
                << "row " << r;
        }
    }
}

// mdbtools cannot print dates before 1899-12-30, so check ours against an independent conversion: the whole
// part of the stored number counts days from 1899-12-30 and the fraction, whatever the sign, is the time of
// day. The expected text is built by stepping a calendar one day at a time.
std::string expectedDateText(double days) {
    double whole = std::trunc(days);
    int64_t seconds = std::llround(std::fabs(days - whole) * 86400.0);
    int64_t dayCount = static_cast<int64_t>(whole) + seconds / 86400;
    seconds %= 86400;
    int y = 1899, m = 12, d = 30;
    auto monthLength = [](int year, int month) {
        static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return month == 2 && leap ? 29 : lengths[month - 1];
    };
    for (; dayCount < 0; ++dayCount) {
        if (--d == 0) {
            if (--m == 0) {
                m = 12;
                --y;
            }
            d = monthLength(y, m);
        }
    }
    for (; dayCount > 0; --dayCount) {
        if (++d > monthLength(y, m)) {
            d = 1;
            if (++m == 13) {
                m = 1;
                ++y;
            }
        }
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d, static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return buf;
}

TEST(SampleDates, NegativeDayNumbersConvertLikeJet) {
    // Hand-picked values first: the fraction adds time of day even below zero.
    const std::pair<double, const char*> cases[] = {
        {-1.0, "1899-12-29 00:00:00"},  {-1.25, "1899-12-29 06:00:00"},    {-0.5, "1899-12-30 12:00:00"},
        {-2.75, "1899-12-28 18:00:00"}, {-36522.0, "1800-01-01 00:00:00"},
    };
    for (const auto& [days, text] : cases) {
        EXPECT_EQ(expectedDateText(days), text) << days;
        EXPECT_EQ(formatDateTime(DateTime{days}), text) << days;
    }
    // Then every negative date stored in the index-code samples.
    int seen = 0;
    for (const char* file :
         {"jackcess_V1997_testIndexCodesV1997.mdb", "jackcess_hist_testIndexCodes_jet4.mdb"}) {
        std::string path = samplePath(file);
        ASSERT_FALSE(path.empty());
        auto db = Database::open(path);
        ASSERT_TRUE(db.ok()) << db.status().toString();
        auto def = (*db)->table("Table6");
        ASSERT_TRUE(def.ok()) << def.status().toString();
        auto rows = readOurTable(**db, *def);
        ASSERT_TRUE(rows.ok()) << rows.status().toString();
        for (const auto& row : rows->rows) {
            for (const Value& v : row) {
                const auto* d = std::get_if<DateTime>(&v);
                if (d == nullptr || d->days >= 0) continue;
                ++seen;
                EXPECT_EQ(formatDateTime(*d), expectedDateText(d->days)) << file << " day number " << d->days;
            }
        }
    }
    EXPECT_GE(seen, 4);
}

}  // namespace
}  // namespace jet

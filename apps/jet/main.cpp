// jet: a command-line window onto Jet database files.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/csv.h"
#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/format_value.h"
#include "jet/sql.h"
#include "jet/writer.h"

namespace {

constexpr const char* kUsage =
    "usage: jet COMMAND FILE [ARGS] [--codepage NAME] [--wait MS]\n"
    "  tables FILE [--system]   table names in catalogue order\n"
    "  count FILE TABLE         number of rows\n"
    "  schema FILE TABLE        columns and indexes\n"
    "  export FILE TABLE        rows as CSV in physical order\n"
    "  create FILE              a new empty Jet 4 database\n"
    "  import FILE TABLE CSV [--primary-key COL] [--index COL]...\n"
    "                           a new table from CSV; header cells Name:type (text(255) when bare)\n"
    "  sql FILE STATEMENT       SELECT rows as CSV like export; UPDATE/DELETE print rows changed\n"
    "  --wait MS                how long to wait for another program's write or read (default 5000)\n";

/// Command-line arguments split into positional words and options.
struct Args {
    std::vector<std::string> words;
    std::string codePage;
    std::optional<long> waitMs;
    bool system = false;
    std::string primaryKey;
    std::vector<std::string> indexes;
};

bool parseArgs(int argc, char** argv, Args& args) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--codepage") {
            if (++i >= argc) return false;
            args.codePage = argv[i];
        } else if (a == "--wait") {
            char* end = nullptr;
            if (++i >= argc) return false;
            args.waitMs = std::strtol(argv[i], &end, 10);
            if (*end != '\0' || *args.waitMs < 0) return false;
        } else if (a == "--primary-key" || a == "--index") {
            if (++i >= argc) return false;
            if (a == "--index")
                args.indexes.push_back(argv[i]);
            else
                args.primaryKey = argv[i];
        } else if (a == "--system") {
            args.system = true;
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else {
            args.words.push_back(a);
        }
    }
    return !args.words.empty();
}

/// The options every command opens its file with: writable where the file permits, so that any command
/// can undo a write a crash cut short.
jet::OpenOptions openOptions(const Args& args, jet::OpenMode mode = jet::OpenMode::ReadWriteIfPermitted) {
    jet::OpenOptions options;
    options.mode = mode;
    options.jet3CodePage = args.codePage;
    if (args.waitMs) options.lockWait = std::chrono::milliseconds(*args.waitMs);
    return options;
}

int fail(const jet::Status& s) {
    std::fprintf(stderr, "jet: %s\n", s.toString().c_str());
    return 1;
}

/// Buffered standard output: the export path writes millions of small fields.
class Output {
public:
    ~Output() { flush(); }
    std::string& buffer() { return m_buffer; }
    void maybeFlush() {
        if (m_buffer.size() > (1u << 20)) flush();
    }
    void flush() {
        if (!m_buffer.empty()) std::fwrite(m_buffer.data(), 1, m_buffer.size(), stdout);
        m_buffer.clear();
    }

private:
    std::string m_buffer;
};

int listTables(jet::Database& db, bool system) {
    Output out;
    for (const std::string& name : db.tableNames(system)) out.buffer() += name + "\n";
    return 0;
}

int countRows(jet::Database& db, const std::string& table) {
    auto def = db.table(table);
    if (!def.ok()) return fail(def.status());
    auto cursor = db.scan(*def);
    if (!cursor.ok()) return fail(cursor.status());
    uint64_t n = 0;
    while (true) {
        auto more = cursor->next();
        if (!more.ok()) return fail(more.status());
        if (!*more) break;
        ++n;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(n));
    return 0;
}

std::string typeText(const jet::ColumnDef& c, bool unicodeText) {
    std::string t(jet::columnTypeName(c.type));
    if (c.type == jet::ColumnType::Text || c.type == jet::ColumnType::Binary) {
        // Jet 4 stores text as UCS-2, so its length field counts bytes, two per character.
        unsigned size = c.type == jet::ColumnType::Text && unicodeText ? c.length / 2u : c.length;
        t += "(" + std::to_string(size) + ")";
    }
    if (c.type == jet::ColumnType::Numeric) {
        t += "(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    }
    if (c.isAutoNumber()) t += " autonumber";
    return t;
}

int printSchema(jet::Database& db, const std::string& table) {
    auto def = db.table(table);
    if (!def.ok()) return fail(def.status());
    const jet::TableDef& t = **def;
    Output out;
    std::string& o = out.buffer();
    o += "table " + t.name + " (" + std::to_string(t.rowCount) + " rows)\n";
    for (const jet::ColumnDef& c : t.columns) {
        o += "  column " + c.name + " " + typeText(c, db.version() != jet::Version::Jet3) + "\n";
    }
    for (const jet::IndexDef& index : t.indexes) {
        const jet::RealIndexDef& real = t.realIndexes[index.realIndex];
        o += "  index " + index.name;
        if (index.kind == jet::IndexDef::Kind::Primary) o += " primary";
        if (index.kind == jet::IndexDef::Kind::ForeignKey) o += " foreign";
        if (real.unique()) o += " unique";
        o += " (";
        for (size_t i = 0; i < real.columns.size(); ++i) {
            if (i) o += ", ";
            o += t.columns[real.columns[i].column].name + (real.columns[i].ascending ? "" : " desc");
        }
        o += ")\n";
    }
    return 0;
}

// Appends the cursor's current row as one CSV line. `values` holds one value per column, decoded into row
// after row: their text storage serves every row.
jet::Status appendRow(const jet::RowCursor& cursor, std::vector<jet::Value>& values, std::string& o) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) o.push_back(',');
        if (jet::Status s = cursor.readValue(i, values[i]); !s.ok()) return s;
        jet::appendCsvField(o, values[i]);
    }
    o += "\r\n";
    return {};
}

/// Exports batch by batch: each batch of rows is read under a read lock, so it shows one state of the
/// file, and written out once the lock is let go, so that a slow reader of the output keeps no writer
/// waiting longer than one batch takes to read. Rows another program changes between two batches are
/// exported as the later batch finds them; each row at most once.
int exportTable(jet::Database& db, const std::string& table) {
    constexpr size_t kBatchBytes = 1u << 20;
    Output out;
    std::string& o = out.buffer();
    std::optional<jet::RowCursor> cursor;
    std::vector<jet::Value> values;
    for (bool more = true; more;) {
        {
            auto lock = db.lockForReading();
            if (!lock.ok()) return fail(lock.status());
            if (!cursor) {
                auto def = db.table(table);
                if (!def.ok()) return fail(def.status());
                auto scan = db.scan(*def);
                if (!scan.ok()) return fail(scan.status());
                cursor.emplace(std::move(scan).value());
                for (size_t i = 0; i < (*def)->columns.size(); ++i)
                    o += (i ? "," : "") + (*def)->columns[i].name;
                o += "\r\n";
                values.resize((*def)->columns.size());
            }
            while (o.size() < kBatchBytes) {
                auto next = cursor->next();
                jet::Status s = next.ok() ? jet::Status() : next.status();
                if (s.ok() && !*next) {
                    more = false;
                    break;
                }
                if (s.ok()) s = appendRow(*cursor, values, o);
                if (!s.ok()) {
                    out.flush();
                    return fail(s);
                }
            }
        }
        out.flush();
    }
    return 0;
}

int createFile(const std::string& path) {
    jet::Status s = jet::createDatabase(path);
    return s.ok() ? 0 : fail(s);
}

/// Imports into the file in place, in one write: the table appears whole or not at all, and the file
/// keeps its inode, owner, permissions and links.
int importCsv(const Args& args) {
    if (args.words.size() != 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The rows are read in batches as the table fills, so a CSV of any size passes through bounded memory.
    std::ifstream in(args.words[3], std::ios::binary);
    if (!in) return fail(jet::Status::IOError("cannot open " + args.words[3]));
    auto table = jet::CsvTableReader::start(std::make_unique<jet::CsvReader>(in), args.words[2],
                                            args.primaryKey, args.indexes);
    if (!table.ok()) return fail(table.status());
    auto db = jet::Database::open(args.words[1], openOptions(args, jet::OpenMode::ReadWrite));
    if (!db.ok()) return fail(db.status());
    constexpr size_t kBatchRows = 10000;
    jet::Status s = jet::createTable(**db, (*table)->spec(), [&] { return (*table)->nextRows(kBatchRows); });
    return s.ok() ? 0 : fail(s);
}

/// Runs one SQL statement: a SELECT prints CSV as export does, UPDATE and DELETE the rows changed.
int runSql(const Args& args) {
    if (args.words.size() != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    auto db = jet::Database::open(args.words[1], openOptions(args));
    if (!db.ok()) return fail(db.status());
    auto kind = jet::sql::Connection(**db).kindOf(args.words[2]);
    if (!kind.ok()) return fail(kind.status());
    if (*kind != jet::sql::StatementKind::Select) {
        auto changed = jet::sql::Connection(**db).execute(args.words[2]);
        if (!changed.ok()) return fail(changed.status());
        std::printf("%llu\n", static_cast<unsigned long long>(*changed));
        return 0;
    }
    auto rs = jet::sql::Connection(**db).query(args.words[2]);
    if (!rs.ok()) return fail(rs.status());
    Output out;
    std::string& o = out.buffer();
    for (size_t i = 0; i < rs->columns.size(); ++i) o += (i ? "," : "") + rs->columns[i];
    o += "\r\n";
    for (const auto& row : rs->rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) o.push_back(',');
            jet::appendCsvField(o, row[i]);
        }
        o += "\r\n";
        out.maybeFlush();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    if (!parseArgs(argc, argv, args) || args.words.size() < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& command = args.words[0];
    if (command == "create") return createFile(args.words[1]);
    if (command == "import") return importCsv(args);
    if (command == "sql") return runSql(args);
    bool needsTable = command != "tables";
    if (needsTable && args.words.size() < 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    auto db = jet::Database::open(args.words[1], openOptions(args));
    if (!db.ok()) return fail(db.status());
    if (command == "export") return exportTable(**db, args.words[2]);
    // The file as one commit left it, even while another process writes it.
    auto lock = (*db)->lockForReading();
    if (!lock.ok()) return fail(lock.status());
    if (command == "tables") return listTables(**db, args.system);
    if (command == "count") return countRows(**db, args.words[2]);
    if (command == "schema") return printSchema(**db, args.words[2]);
    std::fputs(kUsage, stderr);
    return 2;
}

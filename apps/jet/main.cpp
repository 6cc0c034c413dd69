// jet: a command-line window onto Jet database files.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/format_value.h"

namespace {

constexpr const char* kUsage =
    "usage: jet COMMAND FILE [ARGS] [--codepage NAME]\n"
    "  tables FILE [--system]   table names in catalogue order\n"
    "  count FILE TABLE         number of rows\n"
    "  schema FILE TABLE        columns and indexes\n"
    "  export FILE TABLE        rows as CSV in physical order\n";

/// Command-line arguments split into positional words and options.
struct Args {
    std::vector<std::string> words;
    std::string codePage;
    bool system = false;
};

bool parseArgs(int argc, char** argv, Args& args) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--codepage") {
            if (++i >= argc) return false;
            args.codePage = argv[i];
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

int exportTable(jet::Database& db, const std::string& table) {
    auto def = db.table(table);
    if (!def.ok()) return fail(def.status());
    const jet::TableDef& t = **def;
    auto cursor = db.scan(*def);
    if (!cursor.ok()) return fail(cursor.status());
    Output out;
    std::string& o = out.buffer();
    for (size_t i = 0; i < t.columns.size(); ++i) {
        if (i) o.push_back(',');
        o += t.columns[i].name;
    }
    o += "\r\n";
    while (true) {
        auto more = cursor->next();
        if (!more.ok()) {
            out.flush();
            return fail(more.status());
        }
        if (!*more) break;
        for (size_t i = 0; i < t.columns.size(); ++i) {
            if (i) o.push_back(',');
            auto v = cursor->value(i);
            if (!v.ok()) {
                out.flush();
                return fail(v.status());
            }
            jet::appendCsvField(o, *v);
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
    jet::OpenOptions options;
    options.jet3CodePage = args.codePage;
    auto db = jet::Database::open(args.words[1], options);
    if (!db.ok()) return fail(db.status());
    bool needsTable = command != "tables";
    if (needsTable && args.words.size() < 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (command == "tables") return listTables(**db, args.system);
    if (command == "count") return countRows(**db, args.words[2]);
    if (command == "schema") return printSchema(**db, args.words[2]);
    if (command == "export") return exportTable(**db, args.words[2]);
    std::fputs(kUsage, stderr);
    return 2;
}

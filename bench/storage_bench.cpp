// Writes that should cost in proportion to the change, not to the table, each against a baseline in the
// same run (CPU time of this process, or of the child for imports; best of three rounds):
//
//   storage_bench [--quick | --large]
//
//   - one-row inserts through DAO AddNew/Update into a table with a primary key and a text index, 100,000
//     rows against 1,000 rows (goal: <= 3x);
//   - single-row "UPDATE ... WHERE ID=n" on 100,000 rows against 1,000 rows (goal: <= 3x);
//   - importing 1,000,000 rows with a primary key and a text index through the jet tool against 100,000
//     rows (goal: <= 12x), and the import's peak memory (goal: < 300 MB);
//   - an UPDATE of an indexed text column on the 1,000,000-row table against one of a column no index
//     holds (goal: <= 3x).
// --quick divides the larger row counts by ten, to try the benchmark out; --large multiplies them by ten.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "jet/dao.h"
#include "jet/database.h"
#include "jet/sql.h"
#include "jet/writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 3;
constexpr int kInserts = 200;
constexpr int kUpdates = 200;
constexpr int kIndexedUpdates = 50;

fs::path g_dir;
double g_sizeFactor = 1;  // applied to the larger row counts

int64_t scaled(int64_t rows) {
    return static_cast<int64_t>(static_cast<double>(rows) * g_sizeFactor);
}

/// A row count as the labels write it ("100,000").
std::string counted(int64_t rows) {
    const std::string digits = std::to_string(rows);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// The best CPU time of `kRounds` runs of `work`, each after `prepare` (not timed), in seconds.
double bestOf(const std::function<void()>& prepare, const std::function<void()>& work) {
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        prepare();
        const double start = processCpuSeconds();
        work();
        best = std::min(best, processCpuSeconds() - start);
    }
    return best;
}

[[noreturn]] void fail(const std::string& what, const jet::Status& status) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(), status.toString().c_str());
    std::exit(1);
}

void check(const std::string& what, const jet::Status& status) {
    if (!status.ok()) fail(what, status);
}

std::string itemName(int64_t id) {
    // Names out of ID order, so that index inserts land all over the text index.
    return "item " + std::to_string((id * 7919) % 1000003) + " of the price file";
}

/// Items(ID primary key, Name indexed text, Price, Qty) with `rows` rows, made afresh at `path`.
void buildItems(const fs::path& path, int64_t rows) {
    fs::remove(path);
    check("create " + path.string(), jet::createDatabase(path.string()));
    jet::OpenOptions rw;
    rw.mode = jet::OpenMode::ReadWrite;
    auto db = jet::Database::open(path.string(), rw);
    if (!db.ok()) fail("open " + path.string(), db.status());
    jet::TableSpec spec;
    spec.name = "Items";
    spec.columns = {{"ID", jet::ColumnType::Long},
                    {"Name", jet::ColumnType::Text, 60},
                    {"Price", jet::ColumnType::Double},
                    {"Qty", jet::ColumnType::Long}};
    spec.indexes = {{"PrimaryKey", {"ID"}, {}, true, false}, {"Name", {"Name"}, {}, false, false}};
    int64_t next = 1;
    jet::RowSource source = [&]() -> jet::Result<std::vector<jet::Row>> {
        std::vector<jet::Row> batch;
        for (; next <= rows && batch.size() < 10000; ++next)
            batch.push_back({next, itemName(next), static_cast<double>(next) * 0.25, next % 97});
        return batch;
    };
    check("fill " + path.string(), jet::createTable(**db, spec, source));
}

/// Per-insert CPU seconds of kInserts DAO AddNew/Update calls on a copy of `base`.
double timeDaoInserts(const fs::path& base, int64_t rows) {
    const fs::path copy = g_dir / "insert.mdb";
    jet::dao::DBEngine engine;
    std::unique_ptr<jet::dao::Database> db;
    std::unique_ptr<jet::dao::Recordset> rs;
    auto prepare = [&] {
        rs.reset();
        db.reset();
        fs::copy_file(base, copy, fs::copy_options::overwrite_existing);
        auto opened = engine.OpenDatabase(copy.string());
        if (!opened.ok()) fail("open " + copy.string(), opened.status());
        db = std::move(opened).value();
        auto table = db->OpenRecordset("Items");
        if (!table.ok()) fail("open Items", table.status());
        rs = std::move(table).value();
    };
    auto work = [&] {
        for (int64_t id = rows + 1; id <= rows + kInserts; ++id) {
            check("AddNew", rs->AddNew());
            check("ID", rs->Fields("ID")->SetValue(jet::Value(id)));
            check("Name", rs->Fields("Name")->SetValue(jet::Value(itemName(id))));
            check("Price", rs->Fields("Price")->SetValue(jet::Value(1.5)));
            check("Update", rs->Update());
        }
    };
    return bestOf(prepare, work) / kInserts;
}

/// Per-statement CPU seconds of `count` statements made by `statement(i)` on a copy of `base`.
double timeStatements(const fs::path& base, int count, const std::function<std::string(int)>& statement) {
    const fs::path copy = g_dir / "update.mdb";
    std::unique_ptr<jet::Database> db;
    std::unique_ptr<jet::sql::Connection> sql;
    auto prepare = [&] {
        sql.reset();
        db.reset();
        fs::copy_file(base, copy, fs::copy_options::overwrite_existing);
        jet::OpenOptions rw;
        rw.mode = jet::OpenMode::ReadWrite;
        auto opened = jet::Database::open(copy.string(), rw);
        if (!opened.ok()) fail("open " + copy.string(), opened.status());
        db = std::move(opened).value();
        sql = std::make_unique<jet::sql::Connection>(*db);
    };
    auto work = [&] {
        for (int i = 0; i < count; ++i) {
            auto changed = sql->execute(statement(i));
            if (!changed.ok()) fail(statement(i), changed.status());
            if (*changed != 1)
                fail(statement(i), jet::Status::Corruption("changed a row count other than 1"));
        }
    };
    return bestOf(prepare, work) / count;
}

/// IDs spread over the table, the same for every table size in proportion.
int64_t spreadId(int i, int count, int64_t rows) {
    return 1 + (static_cast<int64_t>(i) * 7919 % count) * (rows / count);
}

/// The CSV the jet tool imports: ID, an indexed code, a name, price and quantity.
void writeImportCsv(const fs::path& path, int64_t rows) {
    std::ofstream out(path);
    out << "ID:long,Code:text(20),Name:text(100),Price:double,Qty:long\n";
    for (int64_t i = 1; i <= rows; ++i) {
        out << i << ",\"C" << (i * 7919) % 10000019 << "\",\"" << itemName(i) << "\"," << i * 1.25 << ','
            << i % 1000 << '\n';
    }
}

struct ChildCost {
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

/// Runs the jet tool with `args`; its CPU time and peak resident memory.
ChildCost runJetTool(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string tool = JET_TOOL;
    argv.push_back(tool.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        ::execv(tool.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("jet " + args.front(), jet::Status::IOError("failed"));
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss / 1024.0};
}

/// Imports `csv` into a new file at `path` with the best CPU time of kRounds; peak memory of the last.
ChildCost timeImport(const fs::path& csv, const fs::path& path) {
    ChildCost best{1e300, 0};
    for (int round = 0; round < kRounds; ++round) {
        fs::remove(path);
        runJetTool({"create", path.string()});
        ChildCost cost = runJetTool(
            {"import", path.string(), "Bench", csv.string(), "--primary-key", "ID", "--index", "Code"});
        best.cpuSeconds = std::min(best.cpuSeconds, cost.cpuSeconds);
        best.peakMegabytes = std::max(best.peakMegabytes, cost.peakMegabytes);
    }
    return best;
}

void printRatio(const std::string& what, double ratio, const char* goal, const std::string& detail) {
    std::printf("RATIO %s (goal %s): %.2f (%s)\n", what.c_str(), goal, ratio, detail.c_str());
    std::fflush(stdout);
}

std::string microseconds(double a, double b) {
    char text[128];
    std::snprintf(text, sizeof text, "%.1f us against %.1f us", a * 1e6, b * 1e6);
    return text;
}

void benchInsertsAndUpdates() {
    const int64_t small = 1000, large = scaled(100000);
    const fs::path smallFile = g_dir / "items-small.mdb", largeFile = g_dir / "items-large.mdb";
    buildItems(smallFile, small);
    buildItems(largeFile, large);

    const double insertSmall = timeDaoInserts(smallFile, small);
    const double insertLarge = timeDaoInserts(largeFile, large);
    const std::string sizes = counted(large) + " rows / " + counted(small) + " rows";
    printRatio("DAO one-row insert, " + sizes, insertLarge / insertSmall, "<= 3",
               microseconds(insertLarge, insertSmall) + " per insert");

    auto updateOf = [](int64_t rows) {
        return [rows](int i) {
            return "UPDATE Items SET Price=" + std::to_string(i) +
                   ".5 WHERE ID=" + std::to_string(spreadId(i, kUpdates, rows));
        };
    };
    const double updateSmall = timeStatements(smallFile, kUpdates, updateOf(small));
    const double updateLarge = timeStatements(largeFile, kUpdates, updateOf(large));
    printRatio("UPDATE ... WHERE ID=n, " + sizes, updateLarge / updateSmall, "<= 3",
               microseconds(updateLarge, updateSmall) + " per statement");
}

void benchImportsAndIndexedUpdates() {
    const int64_t small = scaled(100000), large = scaled(1000000);
    const fs::path smallCsv = g_dir / "small.csv", largeCsv = g_dir / "large.csv";
    writeImportCsv(smallCsv, small);
    writeImportCsv(largeCsv, large);
    const fs::path smallFile = g_dir / "import-small.mdb", largeFile = g_dir / "import-large.mdb";
    const ChildCost importSmall = timeImport(smallCsv, smallFile);
    const ChildCost importLarge = timeImport(largeCsv, largeFile);
    char detail[160];
    std::snprintf(detail, sizeof detail, "%.2f s against %.2f s CPU; peak memory %.0f MB against %.0f MB",
                  importLarge.cpuSeconds, importSmall.cpuSeconds, importLarge.peakMegabytes,
                  importSmall.peakMegabytes);
    printRatio("import " + counted(large) + " rows / " + counted(small) + " rows",
               importLarge.cpuSeconds / importSmall.cpuSeconds, "<= 12", detail);
    // The goal is set for a million rows: the new index entries are gathered for the whole import, so the
    // peak grows with the rows (about 240 bytes a row here).
    std::printf("PEAK import of %s rows (goal < 300 MB at 1,000,000 rows): %.0f MB\n", counted(large).c_str(),
                importLarge.peakMegabytes);

    auto updateWhere = [large](std::function<std::string(int)> assignment) {
        return [large, assignment](int i) {
            return "UPDATE Bench SET " + assignment(i) +
                   " WHERE ID=" + std::to_string(spreadId(i, kIndexedUpdates, large));
        };
    };
    const double indexed =
        timeStatements(largeFile, kIndexedUpdates,
                       updateWhere([](int i) { return "Code='changed " + std::to_string(i) + "'"; }));
    const double plain = timeStatements(largeFile, kIndexedUpdates,
                                        updateWhere([](int i) { return "Qty=" + std::to_string(i); }));
    printRatio("UPDATE of an indexed column / of an unindexed one, " + counted(large) + " rows",
               indexed / plain, "<= 3", microseconds(indexed, plain) + " per statement");
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            g_sizeFactor = 0.1;
        } else if (std::strcmp(argv[i], "--large") == 0) {
            g_sizeFactor = 10;
        } else {
            std::fprintf(stderr, "usage: storage_bench [--quick | --large]\n");
            return 2;
        }
    }
    g_dir = fs::temp_directory_path() / ("storage-bench-" + std::to_string(::getpid()));
    fs::create_directories(g_dir);
    benchInsertsAndUpdates();
    benchImportsAndIndexedUpdates();
    fs::remove_all(g_dir);
    return 0;
}

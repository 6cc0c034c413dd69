// SQL and DAO lookups against their floors, each against a baseline measured in the same run (CPU time of
// this process, best of five rounds):
//
//   sql_bench [--rows N]
//
// Builds a price file (Price: ID primary key, MateID unique index, Price; N rows, 100,000 by default) and
// an errata table (EditRecord: ID primary key, DMID without an index, four rows per DMID value) with the
// writer in a temporary folder, then measures:
//   - one "SELECT * FROM Price WHERE MateID=n" through the DAO API, the statement text built per row as a
//     caller builds it, the recordset opened and its price read, against the bare index seek on the
//     engine's own API (a cursor on the MateID index, the seek, the row, its values) (goal: <= 2x, or
//     <= 1 us per statement);
//   - "SELECT * FROM EditRecord WHERE DMID=n" through the SQL layer, answered by a hash of the unindexed
//     field, against the same statements as "... WHERE DMID+0=n", which give the planner nothing to use
//     and scan the table (goal: >= 50x);
//   - every price read once into rows by field and looked up by MateID, against the same lookups by
//     statement through the DAO API.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "jet/cursor.h"
#include "jet/dao.h"
#include "jet/database.h"
#include "jet/sql.h"
#include "jet/writer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 5;
constexpr int64_t kLookups = 20000;
constexpr int64_t kErrataRows = 20000;
constexpr int64_t kErrataIds = 5000;
// The scan baseline answers a sample of the ids: thousands of full scans add nothing but minutes.
constexpr int64_t kScannedIds = 100;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// The best CPU time of `kRounds` runs of `work`, in seconds.
double bestOf(const std::function<void()>& work) {
    double best = 1e300;
    for (int round = 0; round < kRounds; ++round) {
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

template <typename T>
T valueOrDie(const std::string& what, jet::Result<T> result) {
    if (!result.ok()) fail(what, result.status());
    return std::move(result).value();
}

void check(const std::string& what, const jet::Status& status) {
    if (!status.ok()) fail(what, status);
}

/// The MateID of the k-th lookup: spread over the table, one in ten missing from it.
int64_t lookupId(int64_t k, int64_t rows) {
    return (k * 7919) % (rows + rows / 10) + 1;
}

void buildFile(const fs::path& path, int64_t rows) {
    check("create", jet::createDatabase(path.string()));
    jet::OpenOptions rw;
    rw.mode = jet::OpenMode::ReadWrite;
    auto db = valueOrDie("open", jet::Database::open(path.string(), rw));
    jet::TableSpec price{"Price",
                         {{"ID", jet::ColumnType::Long},
                          {"MateID", jet::ColumnType::Long},
                          {"Price", jet::ColumnType::Double}},
                         {{"PrimaryKey", {"ID"}, {}, true, true}, {"MateID", {"MateID"}, {}, false, true}}};
    std::vector<jet::Row> prices;
    for (int64_t i = 1; i <= rows; ++i) prices.push_back({i, (i * 48271) % rows + 1, 10.0 + i % 997 / 4.0});
    check("Price", jet::createTable(*db, price, prices));
    jet::TableSpec edit{
        "EditRecord",
        {{"ID", jet::ColumnType::Long}, {"DMID", jet::ColumnType::Long}, {"Note", jet::ColumnType::Text, 60}},
        {{"PrimaryKey", {"ID"}, {}, true, true}}};
    std::vector<jet::Row> errata;
    for (int64_t i = 1; i <= kErrataRows; ++i)
        errata.push_back({i, (i * 7919) % kErrataIds + 1, "edit " + std::to_string(i) + " of a quota item"});
    check("EditRecord", jet::createTable(*db, edit, errata));
}

/// Per statement: "SELECT * FROM Price WHERE MateID=n" through DAO, reading the price when there is one.
double daoLookups(jet::dao::Database& db, int64_t rows, double& checksum) {
    return bestOf([&] {
               checksum = 0;
               check("hold reads", db.HoldReads());
               for (int64_t k = 0; k < kLookups; ++k) {
                   auto rs = valueOrDie("lookup", db.OpenRecordset("SELECT * FROM Price WHERE MateID=" +
                                                                   std::to_string(lookupId(k, rows))));
                   if (rs->RecordCount() > 0)
                       checksum += std::get<double>(valueOrDie("field", rs->Fields("Price")).Value());
               }
               db.ReleaseReads();
           }) /
           kLookups;
}

/// Per seek: the same rows by a seek on the MateID index through the engine's own API.
double bareSeeks(jet::Database& db, int64_t rows, double& checksum) {
    auto table = valueOrDie("table", db.table("Price"));
    return bestOf([&] {
               checksum = 0;
               for (int64_t k = 0; k < kLookups; ++k) {
                   auto cursor = valueOrDie("cursor", db.indexCursor(table, "MateID"));
                   check("seek", cursor.seekEqual({jet::Value(lookupId(k, rows))}));
                   if (valueOrDie("next", cursor.next()))
                       checksum += std::get<double>(valueOrDie("values", cursor.values())[2]);
               }
           }) /
           kLookups;
}

/// Per lookup: the prices read once into rows by MateID, then looked up.
double mapLookups(jet::dao::Database& db, int64_t rows, double& checksum) {
    return bestOf([&] {
               checksum = 0;
               auto byId = valueOrDie("rows by field", db.ReadRowsByField("Price", "MateID"));
               const size_t priceColumn = 2;
               for (int64_t k = 0; k < kLookups; ++k) {
                   jet::sql::RowSpan found = byId->first(jet::Value(lookupId(k, rows)));
                   if (!found.empty()) checksum += std::get<double>(found[priceColumn]);
               }
           }) /
           kLookups;
}

/// Per statement: `prefix` + id for kErrataIds ids (or the first `count`) through the SQL layer.
double errataQueries(jet::sql::Connection& sql, const std::string& prefix, int64_t count) {
    return bestOf([&] {
               size_t found = 0;
               for (int64_t id = 1; id <= count; ++id)
                   found += valueOrDie("errata", sql.query(prefix + std::to_string(id))).rows.size();
               if (found != static_cast<size_t>(count * (kErrataRows / kErrataIds))) {
                   std::fprintf(stderr, "wrong number of errata rows\n");
                   std::exit(1);
               }
           }) /
           static_cast<double>(count);
}

int64_t rowsArgument(int argc, char** argv) {
    int64_t rows = 100000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
            rows = std::strtoll(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: sql_bench [--rows N]\n");
            std::exit(2);
        }
    }
    return std::max<int64_t>(rows, 100);
}

}  // namespace

int main(int argc, char** argv) {
    const int64_t rows = rowsArgument(argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("sql-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "prices.mdb";
    buildFile(file, rows);

    jet::dao::DBEngine engine;
    auto dao = valueOrDie("open", engine.OpenDatabase(file.string(), jet::OpenOptions{}));
    auto bare = valueOrDie("open", jet::Database::open(file.string()));
    double daoSum = 0, seekSum = 0, mapSum = 0;
    const double statement = daoLookups(*dao, rows, daoSum);
    const double seek = bareSeeks(*bare, rows, seekSum);
    const double mapped = mapLookups(*dao, rows, mapSum);
    if (daoSum != seekSum || daoSum != mapSum) {
        std::fprintf(stderr, "the lookups disagree: %.2f, %.2f, %.2f\n", daoSum, seekSum, mapSum);
        return 1;
    }
    jet::sql::Connection sql(*bare);
    const double hashed = errataQueries(sql, "SELECT * FROM EditRecord WHERE DMID=", kErrataIds);
    const double scanned = errataQueries(sql, "SELECT * FROM EditRecord WHERE DMID+0=", kScannedIds);
    fs::remove_all(dir);

    std::printf("Price: %lld rows; %lld lookups, one in eleven missing\n", static_cast<long long>(rows),
                static_cast<long long>(kLookups));
    std::printf("  DAO statement        %8.3f us\n", statement * 1e6);
    std::printf("  bare index seek      %8.3f us\n", seek * 1e6);
    std::printf("  rows by field        %8.3f us per lookup, the read included\n", mapped * 1e6);
    std::printf("RATIO DAO lookup statement / bare index seek (goal <= 2, or <= 1 us): %.2f (%.3f us)\n",
                statement / seek, statement * 1e6);
    std::printf("RATIO DAO lookup statements / rows by field read once: %.2f\n", statement / mapped);
    std::printf("EditRecord: %lld rows, DMID unindexed\n", static_cast<long long>(kErrataRows));
    std::printf("  hashed lookup        %8.3f us\n  full scan            %8.3f us\n", hashed * 1e6,
                scanned * 1e6);
    std::printf("RATIO unindexed lookup, full scan / hash (goal >= 50): %.1f\n", scanned / hashed);
    return 0;
}

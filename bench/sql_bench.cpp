// SQL lookups by an unindexed field against the same statements answered by full scans, in one run.
//
//   sql_bench [google-benchmark flags]
//
// Builds EditRecord (20,000 rows; DMID unindexed, four rows per value) with the writer in a temporary
// folder, then runs "SELECT * FROM EditRecord WHERE DMID=<id>" for 5,000 ids on one open database. The
// baseline runs the same queries as "... WHERE DMID+0=<id>", which selects the same rows but gives the
// planner no field = constant, so every query scans the table. Figures are per query; the ratio is
// printed at the end (goal: >= 50x).
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/sql.h"
#include "jet/writer.h"

namespace {

constexpr int64_t kRows = 20000;
constexpr int64_t kIds = 5000;
// The baseline answers a sample of the ids: 5,000 full scans add nothing but minutes.
constexpr int64_t kBaselineIds = 250;

std::string g_path;
double g_lookupSeconds = 0, g_scanSeconds = 0;

jet::Status buildFile(const std::string& path) {
    JET_RETURN_IF_ERROR(jet::createDatabase(path));
    jet::OpenOptions rw;
    rw.mode = jet::OpenMode::ReadWrite;
    JET_ASSIGN_OR_RETURN(auto db, jet::Database::open(path, rw));
    jet::TableSpec spec;
    spec.name = "EditRecord";
    spec.columns = {
        {"ID", jet::ColumnType::Long}, {"DMID", jet::ColumnType::Long}, {"Note", jet::ColumnType::Text, 60}};
    jet::IndexSpec pk;
    pk.name = "PrimaryKey";
    pk.columns = {"ID"};
    pk.primary = true;
    spec.indexes = {pk};
    std::vector<jet::Row> rows;
    for (int64_t i = 1; i <= kRows; ++i)
        rows.push_back(
            {i, (i * 7919) % kIds + 1, "edit " + std::to_string(i) + " of a bill-of-quantities row"});
    return jet::createTable(*db, spec, rows);
}

/// Runs `count` queries built by `prefix` + id on a fresh open database; seconds per query.
double runQueries(benchmark::State& state, const std::string& prefix, int64_t count) {
    auto db = jet::Database::open(g_path);
    if (!db.ok()) {
        state.SkipWithError(db.status().toString().c_str());
        return 0;
    }
    jet::sql::Connection sql(**db);
    size_t rows = 0;
    auto start = std::chrono::steady_clock::now();
    for (int64_t id = 1; id <= count; ++id) {
        auto rs = sql.query(prefix + std::to_string(id));
        if (!rs.ok()) {
            state.SkipWithError(rs.status().toString().c_str());
            return 0;
        }
        rows += rs->rows.size();
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (rows != static_cast<size_t>(count * (kRows / kIds))) state.SkipWithError("wrong number of rows");
    return elapsed.count() / static_cast<double>(count);
}

void BM_SqlLookupUnindexed(benchmark::State& state) {
    for (auto _ : state) g_lookupSeconds = runQueries(state, "SELECT * FROM EditRecord WHERE DMID=", kIds);
    state.counters["us_per_query"] = g_lookupSeconds * 1e6;
}

void BM_FullScanBaseline(benchmark::State& state) {
    for (auto _ : state)
        g_scanSeconds = runQueries(state, "SELECT * FROM EditRecord WHERE DMID+0=", kBaselineIds);
    state.counters["us_per_query"] = g_scanSeconds * 1e6;
}

BENCHMARK(BM_SqlLookupUnindexed)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FullScanBaseline)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    auto dir = std::filesystem::temp_directory_path() / ("sql-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    g_path = (dir / "edit.mdb").string();
    jet::Status built = buildFile(g_path);
    if (!built.ok()) {
        std::fprintf(stderr, "cannot build the benchmark file: %s\n", built.toString().c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(dir);
    if (g_lookupSeconds > 0 && g_scanSeconds > 0) {
        std::printf(
            "\nWHERE DMID=id, 5,000 ids, 20,000 rows, no index on DMID (per query, hash build included):\n");
        std::printf("  sql lookup  %10.2f us\n  full scan   %10.2f us\n  ratio       %10.1fx (goal >= 50x)\n",
                    g_lookupSeconds * 1e6, g_scanSeconds * 1e6, g_scanSeconds / g_lookupSeconds);
    }
    return 0;
}

// Writer benchmark: inserting 10,000 rows into a table with a primary key and a second index, measured
// against reading the same rows back in the same run; the times and their ratio are printed at the end.
//
//   writer_bench [google-benchmark flags]
//
// The argument is the rows per insert call: one call for all rows, or calls of 100 rows (each call is a
// commit of its own, with its journal, its index entries placed along their paths and its syncs). Each
// run checks that mdb-count, when installed, reads every row.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "jet/cursor.h"
#include "jet/database.h"
#include "jet/writer.h"

namespace {

constexpr int64_t kRows = 10000;

std::map<int64_t, double> g_insertSeconds;
std::map<int64_t, double> g_readSeconds;

jet::TableSpec benchSpec() {
    jet::TableSpec spec;
    spec.name = "Bench";
    spec.columns = {{"ID", jet::ColumnType::Long},
                    {"Name", jet::ColumnType::Text, 50},
                    {"Amount", jet::ColumnType::Double},
                    {"Qty", jet::ColumnType::Long}};
    spec.indexes = {{"PrimaryKey", {"ID"}, {}, true, false}, {"ByName", {"Name"}, {}, false, false}};
    return spec;
}

jet::Row benchRow(int64_t id) {
    return {jet::Value(id), jet::Value("item " + std::to_string((id * 7919) % kRows)),
            jet::Value(static_cast<double>(id) * 1.25), jet::Value(id % 97)};
}

std::string freshPath() {
    auto dir = std::filesystem::temp_directory_path() / ("writer_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto path = dir / "bench.mdb";
    std::filesystem::remove(path);
    return path.string();
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Every value of every row, through a fresh open of the file.
jet::Status readBack(const std::string& path, int64_t& rows) {
    JET_ASSIGN_OR_RETURN(auto db, jet::Database::open(path));
    JET_ASSIGN_OR_RETURN(auto table, db->table("Bench"));
    JET_ASSIGN_OR_RETURN(jet::RowCursor cursor, db->scan(table));
    rows = 0;
    while (true) {
        JET_ASSIGN_OR_RETURN(bool more, cursor.next());
        if (!more) break;
        JET_ASSIGN_OR_RETURN(auto values, cursor.values());
        benchmark::DoNotOptimize(values.data());
        ++rows;
    }
    return {};
}

bool mdbtoolsCounts(const std::string& path, int64_t expected) {
    if (std::system("command -v mdb-count > /dev/null 2>&1") != 0) return true;
    std::string command = "mdb-count '" + path + "' Bench";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    long long counted = -1;
    int fields = std::fscanf(pipe, "%lld", &counted);
    ::pclose(pipe);
    return fields == 1 && counted == expected;
}

void BM_Insert10000ThenReadBack(benchmark::State& state) {
    const int64_t batch = state.range(0);
    double insertTotal = 0, readTotal = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string path = freshPath();
        jet::Status s = jet::createDatabase(path);
        jet::OpenOptions options;
        options.mode = jet::OpenMode::ReadWrite;
        auto db = jet::Database::open(path, options);
        if (s.ok() && db.ok()) s = jet::createTable(**db, benchSpec());
        if (!s.ok() || !db.ok()) {
            state.SkipWithError((s.ok() ? db.status() : s).toString().c_str());
            return;
        }
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        for (int64_t first = 1; first <= kRows && s.ok(); first += batch) {
            std::vector<jet::Row> rows;
            for (int64_t id = first; id < first + batch && id <= kRows; ++id) rows.push_back(benchRow(id));
            s = jet::insertRows(**db, "Bench", rows);
        }
        insertTotal += secondsSince(start);
        db->reset();
        start = std::chrono::steady_clock::now();
        int64_t readRows = 0;
        if (s.ok()) s = readBack(path, readRows);
        readTotal += secondsSince(start);
        state.PauseTiming();
        if (!s.ok() || readRows != kRows || !mdbtoolsCounts(path, kRows)) {
            state.SkipWithError(s.ok() ? "the rows read back differ from those written"
                                       : s.toString().c_str());
            return;
        }
        state.ResumeTiming();
    }
    auto runs = static_cast<double>(state.iterations());
    state.counters["insert_ms"] = 1000 * insertTotal / runs;
    state.counters["read_ms"] = 1000 * readTotal / runs;
    state.counters["insert/read"] = insertTotal / readTotal;
    g_insertSeconds[batch] = insertTotal / runs;
    g_readSeconds[batch] = readTotal / runs;
}
BENCHMARK(BM_Insert10000ThenReadBack)->Arg(kRows)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [batch, seconds] : g_insertSeconds) {
        std::printf("insert %lld rows in calls of %lld: %.1f ms; read back: %.1f ms; insert/read = %.1fx\n",
                    static_cast<long long>(kRows), static_cast<long long>(batch), 1000 * seconds,
                    1000 * g_readSeconds[batch], seconds / g_readSeconds[batch]);
    }
    std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                ("writer_bench_" + std::to_string(::getpid())));
    return 0;
}

// Engine benchmarks, each measured against a baseline in the same run; the ratios are printed at the end.
//
//   jet_bench SMALL_FILE LARGE_FILE KEYED_FILE [google-benchmark flags]
//
// SMALL_FILE and LARGE_FILE (about 50 KB and 50 MB) compare the cost of opening and closing a database.
// KEYED_FILE holds table "Bench" with a Long primary key "ID" (1..N): a primary-key seek is compared with
// finding the same row by a full scan.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "jet/cursor.h"
#include "jet/database.h"

namespace {

std::string g_small, g_large, g_keyed;

/// Opens `path` or aborts the benchmark run with the engine's message.
std::unique_ptr<jet::Database> openOrDie(const std::string& path, benchmark::State& state) {
    auto db = jet::Database::open(path);
    if (!db.ok()) {
        state.SkipWithError(db.status().toString().c_str());
        return nullptr;
    }
    return std::move(db).value();
}

void openClose(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        auto db = openOrDie(path, state);
        if (!db) return;
        benchmark::DoNotOptimize(db->tables().size());
    }
}

void BM_OpenCloseSmall(benchmark::State& state) {
    openClose(state, g_small);
}
void BM_OpenCloseLarge(benchmark::State& state) {
    openClose(state, g_large);
}

/// Row ids to look up, the same sequence for both contenders.
std::vector<int64_t> lookupIds(int64_t rows) {
    std::mt19937_64 rng(42);
    std::uniform_int_distribution<int64_t> pick(1, rows);
    std::vector<int64_t> ids(256);
    for (auto& id : ids) id = pick(rng);
    return ids;
}

void BM_PrimaryKeySeek(benchmark::State& state) {
    auto db = openOrDie(g_keyed, state);
    if (!db) return;
    auto table = db->table("Bench");
    auto ids = lookupIds(table.ok() ? (*table)->rowCount : 1);
    size_t i = 0;
    for (auto _ : state) {
        auto cursor = db->indexCursor(*table, "PrimaryKey");
        if (!cursor.ok() || !cursor->seekEqual({jet::Value(ids[i++ % ids.size()])}).ok()) {
            state.SkipWithError("seek failed");
            return;
        }
        auto found = cursor->next();
        if (!found.ok() || !*found) {
            state.SkipWithError("row not found");
            return;
        }
        benchmark::DoNotOptimize(cursor->value(0));
    }
}

void BM_FullScanFind(benchmark::State& state) {
    auto db = openOrDie(g_keyed, state);
    if (!db) return;
    auto table = db->table("Bench");
    auto ids = lookupIds(table.ok() ? (*table)->rowCount : 1);
    int idColumn = (*table)->columnIndex("ID");
    size_t i = 0;
    for (auto _ : state) {
        int64_t wanted = ids[i++ % ids.size()];
        auto cursor = db->scan(*table);
        bool found = false;
        while (!found) {
            auto more = cursor->next();
            if (!more.ok() || !*more) break;
            auto v = cursor->value(static_cast<size_t>(idColumn));
            found = v.ok() && std::get_if<int64_t>(&*v) != nullptr && std::get<int64_t>(*v) == wanted;
        }
        if (!found) {
            state.SkipWithError("row not found by scan");
            return;
        }
    }
}

BENCHMARK(BM_OpenCloseSmall);
BENCHMARK(BM_OpenCloseLarge);
BENCHMARK(BM_PrimaryKeySeek);
BENCHMARK(BM_FullScanFind)->Iterations(64);

/// Console output plus a record of each benchmark's time per iteration, for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // Keyed by the function name alone ("BM_FullScanFind/iterations:64" -> "BM_FullScanFind").
            std::string name = run.benchmark_name();
            name = name.substr(0, name.find('/'));
            if (!run.error_occurred) m_times[name] = run.GetAdjustedCPUTime();
        }
    }
    void printRatio(const char* what, const std::string& ours, const std::string& baseline,
                    bool higherIsBetter) {
        if (!m_times.count(ours) || !m_times.count(baseline)) {
            std::printf("RATIO %s: missing measurement\n", what);
            return;
        }
        double ratio = higherIsBetter ? m_times[baseline] / m_times[ours] : m_times[ours] / m_times[baseline];
        std::printf("RATIO %s: %.3g (CPU time: ours %s %.4g ns, baseline %s %.4g ns)\n", what, ratio,
                    ours.c_str(), m_times[ours], baseline.c_str(), m_times[baseline]);
    }

private:
    std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: jet_bench SMALL_FILE LARGE_FILE KEYED_FILE [benchmark flags]\n");
        return 2;
    }
    g_small = argv[1];
    g_large = argv[2];
    g_keyed = argv[3];
    argv[3] = argv[0];
    int rest = argc - 3;
    benchmark::Initialize(&rest, argv + 3);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatio("open+close 50 MB / 50 KB (goal <= 2)", "BM_OpenCloseLarge", "BM_OpenCloseSmall",
                        false);
    reporter.printRatio("full-scan find / primary-key seek (goal >= 100)", "BM_PrimaryKeySeek",
                        "BM_FullScanFind", true);
    return 0;
}

// The browser on a big quota library, against baselines measured in the same run:
//
//   browser_bench [--app-dir DIR] [google-benchmark flags]
//
// Builds the sample application directory at scale 20 in a temporary folder (or uses DIR, which must be
// such a directory), then measures, in CPU time of the benchmark thread:
//   - listing category "01" of the building library (7,200 quota items, one errata query per item) with
//     KXView::LoadData, against the bare engine query that selects the same rows (goal: <= 5x);
//   - KXView::Load of that library (tree of every category, toolbar, layout, and the listing of node 2),
//     and KXTree::LoadTree alone;
//   - painting the grid's viewport with 50,000 rows against painting it with 500 rows, at the top and while
//     scrolling page by page (goal: about 1x), counting the cells painted per frame.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <memory>

#include "browser/kxview.h"
#include "browser/modsql.h"
#include "jet/dao.h"
#include "platform/kxtree.h"
#include "platform/outlinegrid.h"
#include "sample/builder.h"
#include "sample/names.h"

namespace {

constexpr int kScale = 20;
const QString kCategory = QStringLiteral("01");

QString g_library;  // the building quota library
QString g_appPath;  // its application directory, ending with '/'
double g_bareQuery = 0, g_listing = 0, g_load = 0, g_tree = 0;
double g_paintSmall = 0, g_paintLarge = 0, g_scrollSmall = 0, g_scrollLarge = 0;
int g_listedRows = 0, g_cellsPerFrame = 0;

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// Runs `work` once per benchmark iteration; the best CPU time of one run, in seconds.
template <typename Work>
double bestOf(benchmark::State& state, Work work) {
    double best = 1e300;
    for (auto _ : state) {
        const double start = threadCpuSeconds();
        work();
        best = std::min(best, threadCpuSeconds() - start);
    }
    return best;
}

void BM_BareEngineQuery(benchmark::State& state) {
    const std::string sql = modSQL_DM::GetDMClassSQL(kCategory).toStdString();
    jet::dao::DBEngine engine;
    g_bareQuery = bestOf(state, [&] {
        auto db = engine.OpenDatabase(g_library.toStdString());
        auto rs = (*db)->OpenRecordset(sql);
        size_t rows = 0;
        for (; !(*rs)->Eof(); (void)(*rs)->MoveNext()) ++rows;
        benchmark::DoNotOptimize(rows);
    });
}

std::unique_ptr<kx::KXView> quotaView() {
    auto view = std::make_unique<kx::KXView>();
    view->resize(1000, 700);
    view->SetAppPath(g_appPath);
    view->setFindStyle(QStringLiteral("DE"));
    return view;
}

void BM_ListCategory(benchmark::State& state) {
    auto view = quotaView();
    g_listing = bestOf(state, [&] { view->LoadData(g_library, kCategory); });
    g_listedRows = view->findChild<kx::OutlineGrid*>(QStringLiteral("F"))->cells().Rows() - 1;
    state.counters["rows"] = g_listedRows;
}

void BM_Load(benchmark::State& state) {
    auto view = quotaView();
    g_load = bestOf(state, [&] { view->Load(g_library); });
}

void BM_LoadTree(benchmark::State& state) {
    kx::KXTree tree;
    g_tree = bestOf(state, [&] { tree.LoadTree(g_library, QStringLiteral("DMIndex")); });
    state.counters["nodes"] = tree.NodeCount();
}

/// Counts the cells the grid paints.
class CountingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    mutable int painted = 0;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        ++painted;
        QStyledItemDelegate::paint(painter, option, index);
    }
};

/// A shown grid of `rows` quota-like rows in the browser's column layout.
std::unique_ptr<kx::OutlineGrid> filledGrid(int rows, CountingDelegate*& delegate) {
    auto grid = std::make_unique<kx::OutlineGrid>();
    kx::GridModel& g = grid->cells();
    {
        kx::GridModel::Batch batch(g);
        g.setCols(10);
        for (int c = 5; c < 10; ++c) g.setColWidth(c, 0);
        g.setColWidth(3, 3000);
        for (int r = 1; r <= rows; ++r) {
            g.AddItem(QStringLiteral("\t\t%1-%2\t挖一般土方 三类土 深度4m以内 型%3\t100m3\t%4")
                          .arg(r / 100)
                          .arg(r % 100)
                          .arg(r % 7)
                          .arg(r));
            g.setIsSubtotal(r, true);
        }
    }
    delegate = new CountingDelegate(grid.get());
    grid->setItemDelegate(delegate);
    grid->resize(900, 600);
    grid->show();
    return grid;
}

/// CPU seconds to paint the grid's viewport once at its current scroll position.
double paintOnce(kx::OutlineGrid& grid) {
    QImage frame(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const double start = threadCpuSeconds();
    grid.viewport()->render(&frame);
    return threadCpuSeconds() - start;
}

void paintBenchmark(benchmark::State& state, int rows, double& top, double& scroll) {
    CountingDelegate* delegate = nullptr;
    auto grid = filledGrid(rows, delegate);
    QApplication::processEvents();
    double bestTop = 1e300, bestScroll = 1e300;
    for (auto _ : state) {
        grid->verticalScrollBar()->setValue(0);
        delegate->painted = 0;
        bestTop = std::min(bestTop, paintOnce(*grid));
        g_cellsPerFrame = delegate->painted;
        // Page down through the middle of the grid, painting each page.
        const int pages = 50;
        const int step = grid->verticalScrollBar()->pageStep();
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum() / 2 - pages * step / 2);
        double total = 0;
        for (int p = 0; p < pages; ++p) {
            grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->value() + step);
            total += paintOnce(*grid);
        }
        bestScroll = std::min(bestScroll, total / pages);
    }
    top = bestTop;
    scroll = bestScroll;
    state.counters["cells_per_frame"] = g_cellsPerFrame;
}

void BM_PaintGrid500(benchmark::State& state) {
    paintBenchmark(state, 500, g_paintSmall, g_scrollSmall);
}
void BM_PaintGrid50000(benchmark::State& state) {
    paintBenchmark(state, 50000, g_paintLarge, g_scrollLarge);
}

BENCHMARK(BM_BareEngineQuery)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ListCategory)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadTree)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PaintGrid500)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PaintGrid50000)->Unit(benchmark::kMillisecond)->Iterations(3);

/// The application directory to measure: DIR from --app-dir, else one built at scale 20 in `scratch`.
QString applicationDirectory(int& argc, char** argv, const QTemporaryDir& scratch) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) != "--app-dir") continue;
        const QString dir = QString::fromLocal8Bit(argv[i + 1]);
        for (int j = i; j + 2 < argc; ++j) argv[j] = argv[j + 2];
        argc -= 2;
        return dir;
    }
    const QString dir = scratch.filePath(QStringLiteral("app"));
    std::printf("building the sample directory at scale %d in %s ...\n", kScale, qPrintable(dir));
    sample::BuildReport report;
    const jet::Status built =
        sample::buildApplicationDirectory(dir.toStdString(), sample::BuildOptions{kScale}, report);
    if (!built.ok()) {
        std::fprintf(stderr, "cannot build the sample directory: %s\n", built.toString().c_str());
        return {};
    }
    return dir;
}

void printResults() {
    std::printf("\nBuilding library, scale %d, category %s (%d quota items):\n", kScale,
                qPrintable(kCategory), g_listedRows);
    std::printf("  bare engine query     %8.1f ms\n", g_bareQuery * 1e3);
    std::printf("  KXView::LoadData      %8.1f ms\n", g_listing * 1e3);
    std::printf("  KXView::Load          %8.1f ms (tree alone %.1f ms)\n", g_load * 1e3, g_tree * 1e3);
    std::printf("Grid viewport paint, 900x600, %d cells per frame:\n", g_cellsPerFrame);
    std::printf("  500 rows: top %.2f ms, scrolling %.2f ms per page\n", g_paintSmall * 1e3,
                g_scrollSmall * 1e3);
    std::printf("  50,000 rows: top %.2f ms, scrolling %.2f ms per page\n", g_paintLarge * 1e3,
                g_scrollLarge * 1e3);
    std::printf("RATIO listing 7,200 quota items with errata lookups / bare engine query (goal <= 5): %.2f\n",
                g_listing / g_bareQuery);
    std::printf("RATIO grid paint 50,000 rows / 500 rows (goal about 1): top %.2f, scrolling %.2f\n",
                g_paintLarge / g_paintSmall, g_scrollLarge / g_scrollSmall);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString dir = applicationDirectory(argc, argv, scratch);
    if (dir.isEmpty()) return 1;
    g_appPath = QDir(dir).absolutePath() + QLatin1Char('/');
    g_library = g_appPath + QString::fromUtf8(sample::names::kQuotaDir) + QLatin1Char('/') +
                QString::fromUtf8(sample::names::kBuildingTitle) + QStringLiteral(".QTDE");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_bareQuery > 0 && g_listing > 0 && g_paintSmall > 0 && g_scrollSmall > 0) printResults();
    return 0;
}

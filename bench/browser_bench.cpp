// The browser on a big quota library, against baselines measured in the same run:
//
//   browser_bench [--app-dir DIR] [google-benchmark flags]
//
// Builds the sample application directory at scale 20 in a temporary folder (or uses DIR, which must be
// such a directory), then measures, in CPU time of the benchmark thread:
//   - listing category "01" of the building library (7,200 quota items, each marked when the errata table
//   lists it; at scales
//     where "01" holds more rows than the grid may list, its first sub-category that holds few enough) with
//     KXView::LoadData, against the bare engine query that selects the same rows (goal: <= 2x);
//   - the listing's query alone through the SQL layer (with its ORDER BY), against reading the same rows
//     by a prefix seek on the Class index without sorting (goal: <= 1.5x);
//   - KXView::Load of that library (tree of every category, toolbar, layout, and the listing of node 2),
//     and KXTree::LoadTree alone;
//   - painting the grid's viewport with 50,000 rows against painting it with 500 rows, at the top and while
//     scrolling page by page (goal: about 1x), counting the cells painted per frame;
//   - filling three price columns for the 5,120 materials of group "07" against the bare engine query that
//     lists those materials and reads the fields a listing shows (goal: <= 3x), and against the same
//     15,360 price lookups on the bare engine (the component's own share); the fills read each price file's
//     Price table once and keep it while the file is unchanged, so the fill is also measured with every
//     table read afresh;
//   - moving down 1,000 quota rows of category "01" with the arrow key, each row change showing the item's
//     work content and inserting its conversion rows, against the bare engine statements those row changes
//     issue (goal: <= 3x).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>

#include "core/data/modpub_hs.h"
#include "core/data/modsql.h"
#include "core/db/dbengine.h"
#include "core/io/filesystem.h"
#include "core/services/messages.h"
#include "jet/cursor.h"
#include "jet/dao.h"
#include "jet/database.h"
#include "jet/sql.h"
#include "kxview/kxview.h"
#include "sample/builder.h"
#include "sample/names.h"
#include "widgets/browser/library_profile.h"
#include "widgets/browser/price_columns.h"
#include "widgets/controls/kxtree.h"
#include "widgets/controls/outlinegrid.h"

namespace {

constexpr int kScale = 20;
// The grid lists at most this many rows; the browser refuses more with std::overflow_error.
constexpr int kMostListed = 32767;
// The categories listed: "01" and "07", or at large scales, where those hold more rows than a list may,
// their first sub-category that holds few enough (see listableCategory).
QString g_category = QStringLiteral("01");

QString g_materialCategory = QStringLiteral("07");
const char* const kPriceTitles[] = {"北京2024年1月信息价", "北京2024年2月信息价", "上海2024年1月信息价"};
constexpr int kSelections = 1000;

QString g_library;   // the building quota library
QString g_material;  // the material library
QString g_appPath;   // their application directory, ending with '/'
double g_bareQuery = 0, g_listing = 0, g_load = 0, g_tree = 0;
bool g_loadRefused = false;  // the library's first category holds more rows than a list may
double g_paintSmall = 0, g_paintLarge = 0, g_scrollSmall = 0, g_scrollLarge = 0;
double g_materialListing = 0, g_priceFill = 0, g_priceFillAfresh = 0, g_bareLookups = 0, g_bareRowChanges = 0,
       g_arrowDown = 0;
double g_listingQuery = 0, g_indexSeek = 0;
int g_listingQueryRows = 0, g_indexSeekRows = 0;
int g_listedRows = 0, g_cellsPerFrame = 0, g_materialRows = 0, g_selections = 0, g_conversionRows = 0;

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

/// The engine opened as the component opens it.
std::unique_ptr<jet::dao::Database> openBare(jet::dao::DBEngine& engine, const QString& file) {
    jet::OpenOptions options;
    options.mode = jet::OpenMode::ReadWriteIfPermitted;
    return std::move(engine.OpenDatabase(file.toStdString(), options)).value();
}

/// Reads `fields` of every row of `rs`; the number of rows.
size_t readRows(jet::dao::Recordset& rs, std::initializer_list<const char*> fields) {
    size_t rows = 0;
    for (; !rs.Eof(); (void)rs.MoveNext(), ++rows) {
        for (const char* f : fields) benchmark::DoNotOptimize(rs.Fields(f)->Value());
    }
    return rows;
}

void BM_BareEngineQuery(benchmark::State& state) {
    const std::string sql = modSQL_DM::GetDMClassSQL(g_category).toStdString();
    jet::dao::DBEngine engine;
    g_bareQuery = bestOf(state, [&] {
        auto db = engine.OpenDatabase(g_library.toStdString());
        auto rs = (*db)->OpenRecordset(sql);
        size_t rows = 0;
        for (; !(*rs)->Eof(); (void)(*rs)->MoveNext()) ++rows;
        benchmark::DoNotOptimize(rows);
    });
}

/// The engine's own share of a listing: the category query with its ORDER BY through the SQL layer, against
/// the same rows read by a prefix seek on the Class index without sorting (the listing's floor).
void BM_ListingQuery(benchmark::State& state) {
    auto db = std::move(jet::Database::open(g_library.toStdString())).value();
    jet::sql::Connection sql(*db);
    const std::string listing = modSQL_DM::GetDMClassSQL(g_category).toStdString();
    g_listingQuery = bestOf(state, [&] {
        auto rs = sql.query(listing);
        g_listingQueryRows = rs.ok() ? static_cast<int>(rs->rows.size()) : -1;
    });
    state.counters["rows"] = g_listingQueryRows;
}

void BM_ClassIndexSeek(benchmark::State& state) {
    auto db = std::move(jet::Database::open(g_library.toStdString())).value();
    auto table = std::move(db->table("DM")).value();
    g_indexSeek = bestOf(state, [&] {
        auto cursor = std::move(db->indexCursor(table, "Class")).value();
        int rows = 0;
        if (cursor.seekTextPrefix(g_category.toStdString()).ok()) {
            for (auto more = cursor.next(); more.ok() && *more; more = cursor.next()) {
                benchmark::DoNotOptimize(cursor.values());
                ++rows;
            }
        }
        g_indexSeekRows = rows;
    });
    state.counters["rows"] = g_indexSeekRows;
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
    g_listing = bestOf(state, [&] { view->LoadData(g_library, g_category); });
    g_listedRows = view->findChild<kx::OutlineGrid*>(QStringLiteral("F"))->cells().Rows() - 1;
    state.counters["rows"] = g_listedRows;
}

/// KXView::Load, which lists the library's first category; false when that holds more rows than a list may.
bool loadLibrary(kx::KXView& view) {
    try {
        view.Load(g_library);
        return true;
    } catch (const std::overflow_error&) {
        return false;
    }
}

void BM_Load(benchmark::State& state) {
    auto view = quotaView();
    g_load = bestOf(state, [&] { g_loadRefused = !loadLibrary(*view); });
    if (g_loadRefused) state.SkipWithError("the first category holds more rows than a list may");
}

void BM_LoadTree(benchmark::State& state) {
    kx::KXTree tree;
    g_tree = bestOf(state, [&] { tree.LoadTree(g_library, QStringLiteral("DMIndex")); });
    state.counters["nodes"] = tree.NodeCount();
}

void BM_MaterialBareListing(benchmark::State& state) {
    const std::string sql = modSQL_Mate::GetMateClassSQL(g_materialCategory).toStdString();
    jet::dao::DBEngine engine;
    g_materialListing = bestOf(state, [&] {
        auto db = openBare(engine, g_material);
        auto rs = std::move(db->OpenRecordset(sql)).value();
        g_materialRows = static_cast<int>(readRows(*rs, {"ID", "Code", "Name", "Unit"}));
    });
    state.counters["rows"] = g_materialRows;
}

QString priceFolder() {
    return g_appPath + QString::fromUtf8(sample::names::kPriceRoot) + QLatin1Char('/') +
           QString::fromUtf8(sample::names::kMaterialKey) + QLatin1Char('/');
}

/// The same price lookups on the bare engine: one statement per material and price file.
void BM_BarePriceLookups(benchmark::State& state) {
    jet::dao::DBEngine engine;
    std::vector<int64_t> ids;
    {
        auto db = openBare(engine, g_material);
        auto rs = std::move(db->OpenRecordset(modSQL_Mate::GetMateClassSQL(g_materialCategory).toStdString()))
                      .value();
        for (; !rs->Eof(); (void)rs->MoveNext()) ids.push_back(std::get<int64_t>(rs->Fields("ID")->Value()));
    }
    g_bareLookups = bestOf(state, [&] {
        for (const char* title : kPriceTitles) {
            auto db = openBare(engine, priceFolder() + QString::fromUtf8(title) + QStringLiteral(".QTJG"));
            for (int64_t id : ids) {
                auto rs =
                    std::move(db->OpenRecordset("SELECT * FROM Price WHERE MateID=" + std::to_string(id)))
                        .value();
                if (rs->RecordCount() > 0) benchmark::DoNotOptimize(rs->Fields("Price")->Value());
            }
            db->Close();
        }
    });
}

/// Fills three price columns of the material group's listing again and again; `afresh`: as the first fill
/// after every price file changed, each Price table read whole again.
double fillThreePriceColumns(benchmark::State& state, bool afresh) {
    kx::KXView view;
    view.SetAppPath(g_appPath);
    view.setFindStyle(QStringLiteral("Mate"));
    view.LoadData(g_material, g_materialCategory);
    kx::PriceColumns columns(*view.findChild<kx::OutlineGrid*>(QStringLiteral("F")), &view);
    const QString folder = g_appPath + QString::fromUtf8(sample::names::kPriceRoot) + QLatin1Char('/') +
                           QString::fromUtf8(sample::names::kMaterialKey) + QLatin1Char('/');
    const kx::PriceSource& materialPrices = kx::libraryProfile(QStringLiteral("Mate")).prices;
    for (const char* title : kPriceTitles)
        columns.AddPriceColumn(folder + QString::fromUtf8(title) + QStringLiteral(".QTJG"), materialPrices);
    return bestOf(state, [&] {
        if (afresh) columns.lookups() = kx::TableLookups();
        columns.fillEvery(materialPrices);
    });
}

void BM_FillThreePriceColumns(benchmark::State& state) {
    g_priceFill = fillThreePriceColumns(state, false);
}

void BM_FillThreePriceColumnsAfresh(benchmark::State& state) {
    g_priceFillAfresh = fillThreePriceColumns(state, true);
}

/// The statements one row change of a quota row runs the first time the row is current: the item's text,
/// then the conversion load (the library's two KeyInfo values, one query per conversion file).
void bareRowChange(jet::dao::DBEngine& engine, int64_t id, const std::vector<QString>& conversionFiles) {
    const std::string dmid = std::to_string(id);
    auto db = openBare(engine, g_library);
    auto item = std::move(db->OpenRecordset("SELECT * From DM WHERE ID =" + dmid)).value();
    if (item->RecordCount() > 0) readRows(*item, {"WorkInfo", "DESM"});
    auto library = openBare(engine, g_library);
    auto keyInfo = [&](const char* code) {
        auto rs =
            std::move(library->OpenRecordset(std::string("SELECT * FROM KeyInfo WHERE Code='") + code + "'"))
                .value();
        return rs->RecordCount() > 0 ? std::get<std::string>(rs->Fields("WithCode")->Value()) : std::string();
    };
    const std::string key = keyInfo("Key");
    benchmark::DoNotOptimize(keyInfo("WithHSK"));
    for (const QString& file : conversionFiles) {
        auto hs = openBare(engine, file);
        auto rs = std::move(hs->OpenRecordset("SELECT * FROM HS WHERE DMID=" + dmid + " AND DEKey='" + key +
                                              "' ORDER BY Code"))
                      .value();
        readRows(*rs, {"Kind", "HSName", "HSInfo", "SM"});
        hs->Close();
    }
    library->Close();
    db->Close();
}

/// The IDs of the first `count` items of the category, in list order, and the library's conversion files.
std::vector<int64_t> firstItems(jet::dao::DBEngine& engine, int count) {
    auto db = openBare(engine, g_library);
    auto rs = std::move(db->OpenRecordset(modSQL_DM::GetDMClassSQL(g_category).toStdString())).value();
    std::vector<int64_t> ids;
    for (; !rs->Eof() && static_cast<int>(ids.size()) < count; (void)rs->MoveNext())
        ids.push_back(std::get<int64_t>(rs->Fields("ID")->Value()));
    return ids;
}

std::vector<QString> existingConversionFiles() {
    auto db = kx::openDatabase(g_library);
    auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM KeyInfo WHERE Code='WithHSK'"));
    std::vector<QString> files;
    for (const QString& f : modPub_HS::conversionFiles(g_library, rs->Text(QStringLiteral("WithCode"))))
        if (kx::fs::isFile(f)) files.push_back(kx::fs::resolve(f));
    return files;
}

void BM_BareRowChangeStatements(benchmark::State& state) {
    jet::dao::DBEngine engine;
    const std::vector<int64_t> ids = firstItems(engine, kSelections);
    const std::vector<QString> files = existingConversionFiles();
    g_bareRowChanges = bestOf(state, [&] {
        for (int64_t id : ids) bareRowChange(engine, id, files);
    });
    state.counters["files"] = static_cast<double>(files.size());
}

void BM_ArrowDown(benchmark::State& state) {
    auto view = quotaView();
    loadLibrary(*view);  // the listing measured is the category's, whatever the first one holds
    view->show();
    auto* grid = view->findChild<kx::OutlineGrid*>(QStringLiteral("F"));
    int selections = 0;
    QObject::connect(grid, &kx::OutlineGrid::rowColChanged, [&] { ++selections; });
    double best = 1e300;
    for (auto _ : state) {
        view->LoadData(g_library, g_category);  // a fresh listing: no row has looked up its conversions yet
        const int listed = grid->cells().Rows();
        selections = 0;
        const double start = threadCpuSeconds();
        grid->setRow(1);
        for (int i = 1; i < kSelections; ++i) {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(grid, &down);
        }
        best = std::min(best, threadCpuSeconds() - start);
        g_selections = selections;
        g_conversionRows = grid->cells().Rows() - listed;
    }
    g_arrowDown = best;
    state.counters["selections"] = g_selections;
    state.counters["conversion_rows"] = g_conversionRows;
}

/// Message boxes written to stderr: a benchmark has nobody to close them, and a box means it failed.
class FailingMessages : public kx::MessageService {
public:
    kx::MessageAnswer show(const kx::MessageBoxSpec& spec, QObject*) override {
        std::fprintf(stderr, "message box %s: %s\n", qPrintable(spec.title), qPrintable(spec.text));
        ++shown;
        return kx::MessageAnswer::Ok;
    }
    int shown = 0;
};

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
BENCHMARK(BM_ListingQuery)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ClassIndexSeek)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ListCategory)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadTree)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PaintGrid500)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PaintGrid50000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MaterialBareListing)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BarePriceLookups)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FillThreePriceColumns)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FillThreePriceColumnsAfresh)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareRowChangeStatements)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ArrowDown)->Unit(benchmark::kMillisecond)->Iterations(3);

/// `code`, or its first sub-category (code + "01"), and so on, until the category of `table` in `file` holds
/// no more rows than a list may.
QString listableCategory(const QString& file, const char* table, QString code) {
    jet::dao::DBEngine engine;
    auto db = openBare(engine, file);
    while (true) {
        const std::string count = std::string("SELECT COUNT(*) AS n FROM ") + table + " WHERE Mid(Class,1," +
                                  std::to_string(code.size()) + ")='" + code.toStdString() + "'";
        auto rs = std::move(db->OpenRecordset(count)).value();
        if (std::get<int64_t>(rs->Fields("n")->Value()) <= kMostListed) return code;
        code += QStringLiteral("01");
    }
}

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
    std::printf("\nBuilding library in %s, category %s (%d quota items):\n", qPrintable(g_appPath),
                qPrintable(g_category), g_listedRows);
    std::printf("  bare engine query     %8.1f ms\n", g_bareQuery * 1e3);
    std::printf("  KXView::LoadData      %8.1f ms\n", g_listing * 1e3);
    if (g_loadRefused)
        std::printf(
            "  KXView::Load          refused: the first category holds more than %d rows (tree alone %.1f "
            "ms)\n",
            kMostListed, g_tree * 1e3);
    else
        std::printf("  KXView::Load          %8.1f ms (tree alone %.1f ms)\n", g_load * 1e3, g_tree * 1e3);
    std::printf("Grid viewport paint, 900x600, %d cells per frame:\n", g_cellsPerFrame);
    std::printf("  500 rows: top %.2f ms, scrolling %.2f ms per page\n", g_paintSmall * 1e3,
                g_scrollSmall * 1e3);
    std::printf("  50,000 rows: top %.2f ms, scrolling %.2f ms per page\n", g_paintLarge * 1e3,
                g_scrollLarge * 1e3);
    std::printf(
        "RATIO listing the quota category with errata lookups / bare engine query (goal <= 2): %.2f\n",
        g_listing / g_bareQuery);
    std::printf("  listing query alone   %8.1f ms (%d rows); Class index seek, no sort %.1f ms (%d rows)\n",
                g_listingQuery * 1e3, g_listingQueryRows, g_indexSeek * 1e3, g_indexSeekRows);
    std::printf(
        "RATIO category listing query with its ORDER BY / the same rows by an index seek (goal <= 1.5): "
        "%.2f\n",
        g_listingQuery / g_indexSeek);
    std::printf("RATIO grid paint 50,000 rows / 500 rows (goal about 1): top %.2f, scrolling %.2f\n",
                g_paintLarge / g_paintSmall, g_scrollLarge / g_scrollSmall);
    std::printf("\nMaterial group %s (%d materials), three price columns:\n", qPrintable(g_materialCategory),
                g_materialRows);
    std::printf("  bare engine listing   %8.1f ms\n", g_materialListing * 1e3);
    std::printf("  filling the columns   %8.1f ms (%d price lookups)\n", g_priceFill * 1e3,
                g_materialRows * static_cast<int>(std::size(kPriceTitles)));
    std::printf("  the same, every price table read afresh %.1f ms\n", g_priceFillAfresh * 1e3);
    std::printf("  the same lookups on the bare engine %.1f ms (%.1f us per statement)\n",
                g_bareLookups * 1e3,
                g_bareLookups * 1e6 / (g_materialRows * static_cast<double>(std::size(kPriceTitles))));
    std::printf("RATIO filling 3 price columns / bare listing of the same rows (goal <= 3): %.2f\n",
                g_priceFill / g_materialListing);
    std::printf(
        "RATIO filling 3 price columns, every price table read afresh / bare listing of the same rows: "
        "%.2f\n",
        g_priceFillAfresh / g_materialListing);
    std::printf(
        "RATIO filling 3 price columns / their lookups on the bare engine (the component's share): %.2f\n",
        g_priceFill / g_bareLookups);
    std::printf("\nMoving down %d quota rows of category %s (%d row changes, %d conversion rows inserted):\n",
                kSelections, qPrintable(g_category), g_selections, g_conversionRows);
    std::printf("  bare engine statements %7.1f ms (%.3f ms per row)\n", g_bareRowChanges * 1e3,
                g_bareRowChanges * 1e3 / kSelections);
    std::printf("  arrow key in KXView    %7.1f ms (%.3f ms per selection)\n", g_arrowDown * 1e3,
                g_arrowDown * 1e3 / kSelections);
    std::printf("RATIO arrow-key row changes / their bare engine statements (goal <= 3): %.2f\n",
                g_arrowDown / g_bareRowChanges);
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
    g_material = g_appPath + QString::fromUtf8(sample::names::kMaterialDir) + QLatin1Char('/') +
                 QString::fromUtf8(sample::names::kMaterialTitle) + QStringLiteral(".QTCJ");
    g_category = listableCategory(g_library, "DM", g_category);
    g_materialCategory = listableCategory(g_material, "Mate", g_materialCategory);
    auto messages = std::make_unique<FailingMessages>();
    const FailingMessages& boxes = *messages;
    kx::setMessageService(std::move(messages));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (boxes.shown > 0) {
        std::fprintf(stderr, "%d message boxes: the measured operations failed\n", boxes.shown);
        return 1;
    }
    if (g_bareQuery > 0 && g_listing > 0 && g_paintSmall > 0 && g_scrollSmall > 0 && g_materialListing > 0 &&
        g_bareLookups > 0 && g_bareRowChanges > 0)
        printResults();
    return 0;
}

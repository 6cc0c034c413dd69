// The estimator's additions on a library of more than 100,000 quota items, against baselines measured in
// the same run (CPU time of this thread, best of several runs):
//
//   estimator_bench [--app-dir DIR] [--scale N]
//
// Builds the sample application directory at scale 38 (103,360 quota items in the building library) in a
// temporary folder, or uses DIR, then measures:
//   - the keystrokes of the filter over the whole library while a text is typed (the first matches every
//     item's code, unit and name, names also by pinyin; each further one narrows the matches before it, as
//     the filter box does), the slowest of them against the specified find's statement
//     "SELECT * FROM DM WHERE Name Like '*t*'" for the whole text, read to its end (goal: <= 0.1), and one
//     pass of the whole text over every item beside it;
//   - building the library's index for the filter and pinyin find against listing the whole library once in
//     the browser (KXView::LoadData of every leaf category, which together hold every item) (goal: <= 1),
//     and, for comparison, against the bare engine reading every item row;
//   - writing 50,000 rows to XLSX against writing the same rows as CSV (goal: <= 3), and how much of it is
//     the sheet's XML and how much the zipping.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

#include "core/data/item_index.h"
#include "core/data/modpub_db.h"
#include "core/data/pinyin.h"
#include "core/io/spreadsheet.h"
#include "core/io/xlsx_package.h"
#include "core/services/messages.h"
#include "kxview/kxview.h"
#include "sample/builder.h"
#include "sample/names.h"

namespace {

constexpr int kDefaultScale = 38;
constexpr int kRuns = 3;
constexpr int kSheetRows = 50000;
// Typed texts: pinyin initials, a whole syllable run, characters, and a code.
const char* const kTexts[] = {"tf", "hunningtu", "土方", "4-2"};

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

/// The best CPU time of `runs` runs of `work`, in seconds.
double bestOf(int runs, const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const double start = threadCpuSeconds();
        work();
        best = std::min(best, threadCpuSeconds() - start);
    }
    return best;
}

/// The value following `name` on the command line; `fallback` without one.
QString option(const QStringList& args, const QString& name, const QString& fallback) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

/// The rows of the specified find's contains-search for `text` in the building library, read to the end.
int likeSearch(const QString& library, const QString& text) {
    auto db = modPub_DB::OpenDB(library);
    auto rs =
        db->OpenRecordset(QStringLiteral("SELECT * FROM DM WHERE Name Like '*") + text + QStringLiteral("*'"),
                          kx::dbOpenDynaset);
    int rows = 0;
    for (; !rs->isEOF(); rs->MoveNext()) rows += !rs->Text(QStringLiteral("Name")).isEmpty();
    return rows;
}

/// Every leaf category's class (a category with no category below it), read from DMIndex.
QStringList leafClasses(const QString& library) {
    QStringList classes;
    auto db = modPub_DB::OpenDB(library);
    for (auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM DMIndex")); !rs->isEOF(); rs->MoveNext()) {
        const QString cls = rs->Text(QStringLiteral("Class"));
        if (!cls.isEmpty()) classes << cls;
    }
    QStringList leaves;
    for (const QString& cls : classes) {
        const bool parent = std::any_of(classes.begin(), classes.end(), [&](const QString& other) {
            return other != cls && other.startsWith(cls);
        });
        if (!parent) leaves << cls;
    }
    return leaves;
}

kx::SheetTable sheetOf(const kx::ItemIndex& index) {
    kx::SheetTable table;
    table.title = QStringLiteral("定额");
    table.columns = {{QStringLiteral("定额号"), 1000, false},
                     {QStringLiteral("名称"), 3000, false},
                     {QStringLiteral("单位"), 800, false},
                     {QStringLiteral("京24.01"), 1000, true}};
    for (int i = 0; i < kSheetRows; ++i) {
        const kx::IndexedItem& item = index.item(i % index.size());
        table.rows.append({{item.code, item.name, item.unit, QString::number(100.0 + i % 997, 'f', 2)},
                           i % 7 == 0 ? 1 : 0,
                           false,
                           false});
    }
    return table;
}

void ratio(const char* what, double ours, double baseline, double goal) {
    std::printf("RATIO %s (goal <= %g): %.3f (%.1f ms / %.1f ms)\n", what, goal, ours / baseline, ours * 1e3,
                baseline * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir scratch;
    QString dir = option(args, QStringLiteral("--app-dir"), QString());
    if (dir.isEmpty()) {
        const int scale = option(args, QStringLiteral("--scale"), QString::number(kDefaultScale)).toInt();
        dir = scratch.filePath(QStringLiteral("app"));
        std::printf("building the sample directory at scale %d in %s ...\n", scale, qPrintable(dir));
        sample::BuildReport report;
        const jet::Status built = sample::buildApplicationDirectory(dir.toStdString(), {scale}, report);
        if (!built.ok()) {
            std::fprintf(stderr, "cannot build the sample directory: %s\n", built.toString().c_str());
            return 1;
        }
    }
    const QString appPath = QDir(dir).absolutePath() + QLatin1Char('/');
    const QString library = appPath + QString::fromUtf8(sample::names::kQuotaDir) + QLatin1Char('/') +
                            QString::fromUtf8(sample::names::kBuildingTitle) + QStringLiteral(".QTDE");
    const kx::ItemTable dm{QStringLiteral("DM"), QStringLiteral("DECode")};

    // The pinyin tables are read once per process; they are part of the first index's cost.
    const double readingsLoad = bestOf(1, [] { (void)kx::PinyinReadings::shared(); });
    const kx::PinyinReadings* readings = &kx::PinyinReadings::shared();
    std::shared_ptr<const kx::ItemIndex> index;
    const double indexBuild = bestOf(kRuns, [&] { index = kx::ItemIndex::build(library, dm, readings); });
    std::printf("building library: %d quota items; pinyin tables read in %.1f ms\n", index->size(),
                readingsLoad * 1e3);

    // Listing the whole library once in the browser: every leaf category, as the tree lists it.
    kx::KXView view;
    view.SetAppPath(appPath);
    view.setFindStyle(QStringLiteral("DE"));
    const QStringList leaves = leafClasses(library);
    const QAbstractItemModel* grid = view.findChild<QAbstractItemView*>(QStringLiteral("F"))->model();
    int listed = 0;
    const double listing = bestOf(1, [&] {
        listed = 0;
        for (const QString& cls : leaves) {
            view.LoadData(library, cls);
            listed += grid->rowCount();
        }
    });
    const double bareRead = bestOf(kRuns, [&] {
        auto db = modPub_DB::OpenDB(library);
        auto rs = db->OpenRecordset(QStringLiteral("SELECT * FROM DM"), kx::dbOpenDynaset);
        for (; !rs->isEOF(); rs->MoveNext())
            (void)(rs->Text(QStringLiteral("DECode")) + rs->Text(QStringLiteral("Name")));
    });
    std::printf(
        "listing: %lld leaf categories with %d items, %.1f ms in the browser; bare read of every row %.1f "
        "ms\n",
        static_cast<long long>(leaves.size()), listed, listing * 1e3, bareRead * 1e3);

    // Typing a text: the first keystroke matches the whole library, each further one narrows the matches of
    // the text before it (as the filter box does); the slowest keystroke counts, and a pass of the whole
    // text over every item is shown beside it.
    double worstKeystroke = 0, worstLike = 1, worstPass = 0, passLike = 1;
    for (const char* typed : kTexts) {
        const QString text = QString::fromUtf8(typed);
        double slowest = 0;
        std::vector<int> matches;
        for (int length = 1; length <= text.size(); ++length) {
            const kx::RowFilter f(text.left(length), readings);
            const std::vector<int> before = matches;
            slowest = std::max(slowest, bestOf(kRuns, [&] {
                                   matches =
                                       length == 1 ? index->matching(f) : index->matchingAmong(f, before);
                               }));
        }
        const double pass = bestOf(kRuns, [&] { (void)index->matching(kx::RowFilter(text, readings)); });
        int found = 0;
        const double like = bestOf(kRuns, [&] { found = likeSearch(library, text); });
        std::printf(
            "  \"%s\": slowest keystroke %.2f ms, whole text in one pass %.2f ms (%zu items); Like %.1f ms "
            "(%d rows)\n",
            typed, slowest * 1e3, pass * 1e3, matches.size(), like * 1e3, found);
        if (slowest / like > worstKeystroke / worstLike) {
            worstKeystroke = slowest;
            worstLike = like;
        }
        if (pass / like > worstPass / passLike) {
            worstPass = pass;
            passLike = like;
        }
    }
    ratio(
        "filter keystroke over the whole library / the find's Like statement, slowest keystroke of the worst "
        "text",
        worstKeystroke, worstLike, 0.1);
    std::printf("(the whole text in one pass over every item / Like, worst text: %.3f)\n",
                worstPass / passLike);
    ratio("index for filter and pinyin find / listing the whole library in the browser", indexBuild, listing,
          1);
    ratio("index for filter and pinyin find, with the pinyin tables / listing the whole library",
          indexBuild + readingsLoad, listing, 1);
    std::printf("(index / bare engine read of every item row: %.2f)\n", indexBuild / bareRead);

    const kx::SheetTable sheet = sheetOf(*index);
    const double xlsx =
        bestOf(kRuns, [&] { kx::writeXlsx(scratch.filePath(QStringLiteral("rows.xlsx")), sheet); });
    const double csv =
        bestOf(kRuns, [&] { kx::writeCsv(scratch.filePath(QStringLiteral("rows.csv")), sheet); });
    ratio("XLSX export of 50,000 rows / CSV of the same rows", xlsx, csv, 3);
    // What the export spends beside the sheet's XML is mostly deflating it.
    const double sheetXml = bestOf(kRuns, [&] { (void)kx::worksheetXml(sheet); });
    std::printf(
        "(of the XLSX export: the sheet's XML in memory %.1f ms, zipping and writing the rest %.1f ms)\n",
        sheetXml * 1e3, (xlsx - sheetXml) * 1e3);
    return 0;
}
